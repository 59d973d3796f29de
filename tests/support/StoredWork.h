#pragma once

#include "net/Endpoints.h"
#include "outbox/Delivery.h"
#include "photos/Jpeg.h"
#include "photos/PhotoListModel.h"

#include <QTest>
#include <QThread>

namespace orvelle::test {

// Writes the JPEGs into the store and waits; their hashes. False when the
// store failed or answered on another thread than the caller's.
inline bool storePhotos(DeviceStore &store, const QList<QByteArray> &jpegs, QStringList &hashes)
{
    QObject context;
    bool answered = false;
    bool onCallersThread = false;
    QString error;
    store.storePhotos(jpegs, &context, [&](const QStringList &stored, const QString &e) {
        hashes = stored, error = e, answered = true;
        onCallersThread = QThread::currentThread() == context.thread();
    });
    return QTest::qWaitFor([&] { return answered; }, 10000) && error.isEmpty() && onCallersThread;
}

// A photo as the intake leaves it in a form's list: stored, with the picture
// itself as its thumbnail (test photos are small). Empty when not stored.
inline StoredPhoto storedPhoto(DeviceStore &store, const QImage &picture)
{
    QStringList hashes;
    if (!storePhotos(store, {uploadJpeg(picture)}, hashes))
        return {};
    return {hashes.first(), store.photoFile(hashes.first()), picture};
}

// Saves a draft of these photos under `key` and moves it into the outbox as
// a hazard report with `parameters`, as a form that met no network leaves it;
// the entry's id, or 0.
inline qint64 queueReport(DeviceStore &store, const QString &account, const QString &key,
                          const QList<QImage> &photos, const QJsonObject &parameters)
{
    QList<QByteArray> jpegs;
    for (const QImage &photo : photos)
        jpegs.append(uploadJpeg(photo));
    QStringList hashes;
    if (!storePhotos(store, jpegs, hashes)
        || !store.saveDraft({account, key, {}, {{"photos", hashes}}, {}}))
        return 0;
    const Submission filed{key,        "hazard",
                           key,        endpoints::json::createDanger,
                           parameters, {{"image", "photos", "----"}},
                           {}};
    return store.enqueue(account, key, "hazard", key, filed.payload()).value_or(OutboxEntry{}).id;
}

} // namespace orvelle::test
