#include "FormDraft.h"

#include "core/Jpeg.h"
#include "core/Logging.h"

#include <QFile>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>
#include <chrono>
#include <utility>

using namespace std::chrono_literals;

namespace orvelle {

FormDraft::FormDraft(DeviceStore *store, const QString &account, const QString &key, Take take,
                     QObject *parent)
    : QObject(parent)
    , m_store(store && store->isOpen() ? store : nullptr)
    , m_account(account)
    , m_key(key)
    , m_take(std::move(take))
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(300ms);
    connect(&m_pause, &QTimer::timeout, this, &FormDraft::save);
    if (m_store)
        m_offered = m_store->loadDraft(m_account, m_key);
}

QString FormDraft::savedAtText() const
{
    return m_offered
               ? QLocale(QLocale::Chinese)
                     .toString(m_offered->savedAt.toLocalTime(), QStringLiteral("M月d日 HH:mm"))
               : QString();
}

void FormDraft::touch()
{
    if (m_store && !m_offered && !m_finished)
        m_pause.start();
}

void FormDraft::save()
{
    m_pause.stop();
    // An offered draft stays as it was until the user has chosen.
    if (!m_store || m_offered || m_finished)
        return;
    const std::optional<Snapshot> taken = m_take();
    if (!taken)
        return remove();
    const Snapshot &snapshot = *taken;
    Draft draft{m_account, m_key, snapshot.fields, {}, {}};
    bool complete = true;
    for (auto group = snapshot.photos.begin(); group != snapshot.photos.end(); ++group) {
        QStringList &hashes = draft.photos[group.key()];
        for (const QImage &photo : group.value()) {
            if (const QString hash = m_hashes.value(photo.cacheKey()); !hash.isEmpty())
                hashes << hash;
            else
                complete = false;
        }
    }
    if (!complete)
        storeNewPhotos(snapshot);
    // What is on disk now; the photos still being written follow.
    const bool saved = m_store->saveDraft(draft);
    if (!saved)
        qCDebug(lcStore) << "draft" << m_key << "not saved:" << m_store->errorString();
    if (m_whenWhole && (!saved || (complete && m_writing.isEmpty())))
        std::exchange(m_whenWhole, {})(saved);
}

void FormDraft::saveWhole(std::function<void(bool kept)> done)
{
    if (!m_store || m_offered || m_finished || !m_take())
        return done(false);
    m_whenWhole = std::move(done);
    save();
}

void FormDraft::storeNewPhotos(const Snapshot &snapshot)
{
    QList<QImage> photos;
    for (const QList<QImage> &group : snapshot.photos) {
        for (const QImage &photo : group) {
            const qint64 key = photo.cacheKey();
            if (!m_hashes.contains(key) && !m_writing.contains(key)) {
                m_writing.insert(key);
                photos << photo;
            }
        }
    }
    if (photos.isEmpty())
        return;
    const int generation = m_generation;
    QtConcurrent::run([photos] {
        QList<QByteArray> jpegs;
        for (const QImage &photo : photos)
            jpegs << uploadJpeg(photo);
        return jpegs;
    }).then(this, [this, photos, generation](const QList<QByteArray> &jpegs) {
        m_store->storePhotos(
            jpegs, this,
            [this, photos, generation](const QStringList &hashes, const QString &error) {
                for (const QImage &photo : photos)
                    m_writing.remove(photo.cacheKey());
                if (!error.isEmpty() || hashes.size() != photos.size()) {
                    qCDebug(lcStore) << "draft photos not written:" << error;
                    if (m_whenWhole)
                        std::exchange(m_whenWhole, {})(false);
                    return;
                }
                for (qsizetype i = 0; i < photos.size(); ++i)
                    m_hashes.insert(photos[i].cacheKey(), hashes[i]);
                if (generation == m_generation)
                    save();
            });
    });
}

void FormDraft::remove()
{
    m_pause.stop();
    ++m_generation;
    if (m_whenWhole)
        std::exchange(m_whenWhole, {})(false);
    if (m_store && !m_store->removeDraft(m_account, m_key))
        qCDebug(lcStore) << "draft" << m_key << "not removed:" << m_store->errorString();
}

void FormDraft::finish()
{
    m_finished = true;
    remove();
}

void FormDraft::resume()
{
    m_finished = false;
    save();
}

PhotoGroups FormDraft::savedPhotos() const
{
    const auto draft = m_store ? m_store->loadDraft(m_account, m_key) : std::nullopt;
    return draft ? draft->photos : PhotoGroups();
}

void FormDraft::restore()
{
    if (!m_offered)
        return;
    const Draft draft = *m_offered;
    QMap<QString, QStringList> files;
    for (auto group = draft.photos.begin(); group != draft.photos.end(); ++group)
        for (const QString &hash : group.value())
            files[group.key()] << m_store->photoFile(hash);
    QtConcurrent::run([draft, files] {
        QMap<QString, QList<QImage>> photos;
        QHash<qint64, QString> hashes;
        for (auto group = files.begin(); group != files.end(); ++group) {
            QList<QImage> &images = photos[group.key()];
            for (qsizetype i = 0; i < group.value().size(); ++i) {
                const QImage image(group.value()[i]);
                if (image.isNull())
                    continue;
                images << image;
                hashes.insert(image.cacheKey(), draft.photos[group.key()][i]);
            }
        }
        return std::make_pair(photos, hashes);
    })
        .then(this,
              [this, draft](
                  const std::pair<QMap<QString, QList<QImage>>, QHash<qint64, QString>> &decoded) {
                  // The decoded photos are the stored JPEGs: they need no second write.
                  m_hashes.insert(decoded.second);
                  m_offered.reset();
                  emit changed();
                  emit restored(draft.payload, decoded.first);
              });
}

void FormDraft::discard()
{
    if (!m_offered)
        return;
    if (!m_confirmingDiscard) {
        m_confirmingDiscard = true;
        emit changed();
        return;
    }
    m_confirmingDiscard = false;
    m_offered.reset();
    remove();
    emit changed();
}

void FormDraft::cancelDiscard()
{
    if (!m_confirmingDiscard)
        return;
    m_confirmingDiscard = false;
    emit changed();
}

} // namespace orvelle
