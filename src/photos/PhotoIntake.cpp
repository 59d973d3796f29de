#include "PhotoIntake.h"

#include "core/BackgroundTask.h"
#include "core/Logging.h"
#include "photos/Jpeg.h"
#include "platform/ImageFiles.h"
#include "store/PhotoFileStore.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <type_traits>
#include <utility>

namespace orvelle {

namespace {
// Each task holds one full picture (48 MB at 12 megapixels) while it runs,
// so two at most.
QThreadPool &intakePool()
{
    static QThreadPool *const pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, 2));
        return created;
    }();
    return *pool;
}

// From the picture still in memory, not by decoding the JPEG again.
QImage thumbnailOf(const QImage &image)
{
    constexpr int side = PhotoIntake::thumbnailLongSide;
    return shrunk(image, image.size().scaled(side, side, Qt::KeepAspectRatio).expandedTo({1, 1}));
}
} // namespace

PhotoIntake::PhotoIntake(PhotoFileStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{}

PhotoIntake::Encoded PhotoIntake::encode(const QImage &image)
{
    Encoded encoded;
    if (image.isNull())
        return encoded;
    encoded.jpeg = uploadJpeg(image);
    if (!encoded.jpeg.isEmpty())
        encoded.thumbnail = thumbnailOf(image);
    return encoded;
}

template <typename Work, typename Then> void PhotoIntake::run(Work work, Then then)
{
    begin();
    // What comes back for a closed form is dropped.
    runInBackground(
        intakePool(), this,
        [work = std::move(work)]() mutable {
            yieldToTheGuiThread();
            return work();
        },
        std::move(then));
}

void PhotoIntake::keepImage(const QImage &image, Done done, std::optional<PhotoAlbum> album)
{
    holdPicture();
    run(
        [given = image, album = std::move(album)]() mutable {
            // Let go of before the result goes back, when the next may come.
            const QImage picture = std::exchange(given, {});
            Encoded encoded = encode(picture);
            if (album && !encoded.jpeg.isEmpty())
                album->save(picture);
            return encoded;
        },
        [this, done = std::move(done)](const Encoded &encoded) {
            releasePicture();
            store(encoded, [done](const std::optional<StoredPhoto> &photo, bool) { done(photo); });
        });
}

void PhotoIntake::keepFile(const QString &path, FileDone done)
{
    run([path] { return encode(readPicture(path)); },
        [this, done = std::move(done)](const Encoded &encoded) { store(encoded, done); });
}

void PhotoIntake::scaleForPreview(const QImage &picture, const QSize &size,
                                  std::function<void(const QImage &)> done)
{
    holdPicture();
    runInBackground(
        intakePool(), this,
        [given = picture, size]() mutable {
            yieldToTheGuiThread();
            const QImage full = std::exchange(given, {});
            return shrunk(full, size);
        },
        [this, done = std::move(done)](const QImage &preview) {
            releasePicture();
            done(preview);
        });
}

void PhotoIntake::store(const Encoded &encoded, const FileDone &done)
{
    if (encoded.jpeg.isEmpty() || encoded.thumbnail.isNull()) {
        done(std::nullopt, false);
        return end();
    }
    m_store.storePhotos(
        {encoded.jpeg}, this,
        [this, done, thumbnail = encoded.thumbnail](const QStringList &hashes,
                                                    const QString &error) {
            if (!error.isEmpty() || hashes.size() != 1) {
                qCWarning(lcStore) << "photo not stored:" << error;
                done(std::nullopt, true);
            } else {
                done(StoredPhoto{hashes.first(), m_store.photoFile(hashes.first()), thumbnail},
                     true);
            }
            end();
        });
}

void PhotoIntake::recall(const QStringList &hashes, std::function<void(const StoredPhoto &)> each)
{
    QList<StoredPhoto> photos;
    for (const QString &hash : hashes)
        photos << StoredPhoto{hash, m_store.photoFile(hash), {}};
    run(
        [photos]() mutable {
            QList<StoredPhoto> read;
            for (StoredPhoto &photo : photos) {
                // A JPEG is read at a fraction of its size, never whole.
                constexpr int side = thumbnailLongSide;
                photo.thumbnail = readFitted(photo.file, {side, side}, Qt::KeepAspectRatio);
                if (!photo.thumbnail.isNull())
                    read << photo;
            }
            return read;
        },
        [this, each = std::move(each)](const QList<StoredPhoto> &read) {
            deliverInTurn(read, each);
        });
}

void PhotoIntake::deliverInTurn(QList<StoredPhoto> photos,
                                const std::function<void(const StoredPhoto &)> &each)
{
    if (photos.isEmpty())
        return end();
    each(photos.takeFirst());
    // One tile per turn of the event loop: eight at once would stall a frame.
    QTimer::singleShot(0, this, [this, photos, each] { deliverInTurn(photos, each); });
}

void PhotoIntake::whenSettled(std::function<void()> action)
{
    if (m_pending > 0)
        m_whenSettled = std::move(action);
    else
        action();
}

void PhotoIntake::begin()
{
    ++m_pending;
    emit pendingChanged();
}

void PhotoIntake::holdPicture()
{
    ++m_picturesHeld;
    emit picturesHeldChanged();
}

void PhotoIntake::releasePicture()
{
    --m_picturesHeld;
    emit picturesHeldChanged();
}

void PhotoIntake::end()
{
    --m_pending;
    emit pendingChanged();
    if (m_pending == 0)
        if (auto action = std::exchange(m_whenSettled, {}))
            action();
}

} // namespace orvelle
