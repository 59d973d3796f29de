#include "PhotoImageProvider.h"

#include "platform/ImageFiles.h"

#include <QAtomicInt>
#include <QMutexLocker>
#include <QQmlEngine>
#include <QtGlobal>
#include <algorithm>

namespace orvelle {

namespace {
QAtomicInt lastListNumber;

constexpr QLatin1String stretchedSuffix("/stretched");

QString photoKey(const QString &list, int photoId)
{
    return list + QLatin1Char('/') + QString::number(photoId);
}
} // namespace

void PublishedPhotos::replace(const QString &list, const QList<Photo> &photos)
{
    const QString prefix = list + QLatin1Char('/');
    QMutexLocker lock(&m_mutex);
    for (auto it = m_photos.begin(); it != m_photos.end();)
        it = it.key().startsWith(prefix) ? m_photos.erase(it) : std::next(it);
    for (const Photo &photo : photos)
        m_photos.insert(photoKey(list, photo.id), photo.stored);
}

StoredPhoto PublishedPhotos::find(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return m_photos.value(key);
}

PhotoImageProvider::PhotoImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image,
                          QQmlImageProviderBase::ForceAsynchronousImageLoading)
    , m_published(std::make_shared<PublishedPhotos>())
{}

QImage PhotoImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const bool stretched = id.endsWith(stretchedSuffix);
    const StoredPhoto photo =
        m_published->find(stretched ? id.chopped(stretchedSuffix.size()) : id);
    const Qt::AspectRatioMode mode =
        stretched ? Qt::IgnoreAspectRatio : Qt::KeepAspectRatioByExpanding;
    const QImage &thumbnail = photo.thumbnail;
    QSize bound = requestedSize;
    if (bound.width() <= 0 && bound.height() <= 0)
        bound = thumbnail.width() >= thumbnail.height() ? QSize(defaultLongSide, 0)
                                                        : QSize(0, defaultLongSide);
    QImage image;
    const QSize fromThumbnail = fittedSize(thumbnail.size(), bound, mode);
    // The thumbnail serves every size it is larger than both ways; without a
    // file it is all there is.
    const bool thumbnailServes =
        fromThumbnail.width() < thumbnail.width() && fromThumbnail.height() < thumbnail.height();
    if (!thumbnail.isNull() && (thumbnailServes || photo.file.isEmpty()))
        image = thumbnail.scaled(fromThumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    else if (!photo.file.isEmpty())
        image = readFitted(photo.file, bound, mode);
    if (image.isNull() && !thumbnail.isNull())
        image = thumbnail;
    if (size)
        *size = image.size();
    return image;
}

PhotoImageSource::PhotoImageSource(QObject *parent)
    : QObject(parent)
    , m_list(QString::number(++lastListNumber))
{}

PhotoImageSource::~PhotoImageSource()
{
    if (m_published)
        m_published->replace(m_list, {});
}

void PhotoImageSource::classBegin()
{
    QQmlEngine *engine = qmlEngine(this);
    if (!engine)
        return;
    const QString id = QString::fromLatin1(PhotoImageProvider::providerId);
    auto *provider = dynamic_cast<PhotoImageProvider *>(engine->imageProvider(id));
    if (!provider && !engine->imageProvider(id)) {
        provider = new PhotoImageProvider;
        engine->addImageProvider(id, provider);
    }
    if (provider)
        m_published = provider->published();
}

void PhotoImageSource::setModel(PhotoListModel *model)
{
    if (m_model == model)
        return;
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    // Removed photos stop being served; added ones are published when their
    // address is first asked for, before any Image can request it.
    if (m_model) {
        connect(m_model, &QAbstractItemModel::rowsRemoved, this, &PhotoImageSource::publish);
        connect(m_model, &QAbstractItemModel::modelReset, this, &PhotoImageSource::publish);
        connect(m_model, &QObject::destroyed, this, [this] {
            if (m_published)
                m_published->replace(m_list, {});
        });
    }
    publish();
    emit modelChanged();
}

void PhotoImageSource::publish()
{
    if (m_published)
        m_published->replace(m_list, m_model ? m_model->photos() : QList<Photo>());
}

QUrl PhotoImageSource::stretchedUrl(int photoId)
{
    const QUrl tile = url(photoId);
    return tile.isEmpty() ? tile : QUrl(tile.toString() + stretchedSuffix);
}

QUrl PhotoImageSource::url(int photoId)
{
    if (!m_model || !m_published)
        return {};
    const QList<Photo> &photos = m_model->photos();
    const bool held = std::any_of(photos.cbegin(), photos.cend(),
                                  [photoId](const Photo &photo) { return photo.id == photoId; });
    if (!held)
        return {};
    publish();
    return QUrl(QStringLiteral("image://%1/%2")
                    .arg(QLatin1String(PhotoImageProvider::providerId), photoKey(m_list, photoId)));
}

} // namespace orvelle
