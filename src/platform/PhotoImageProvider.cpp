#include "PhotoImageProvider.h"

#include <QAtomicInt>
#include <QMutexLocker>
#include <QQmlEngine>
#include <QtGlobal>
#include <algorithm>
#include <climits>

namespace orvelle {

namespace {
QAtomicInt lastListNumber;

QString photoKey(const QString &list, int photoId)
{
    return list + QLatin1Char('/') + QString::number(photoId);
}
} // namespace

void PublishedPhotos::replace(const QString &list, const QList<Photo> &photos)
{
    const QString prefix = list + QLatin1Char('/');
    QMutexLocker lock(&m_mutex);
    for (auto it = m_images.begin(); it != m_images.end();)
        it = it.key().startsWith(prefix) ? m_images.erase(it) : std::next(it);
    for (const Photo &photo : photos)
        m_images.insert(photoKey(list, photo.id), photo.image);
}

QImage PublishedPhotos::find(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return m_images.value(key);
}

PhotoImageProvider::PhotoImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image,
                          QQmlImageProviderBase::ForceAsynchronousImageLoading)
    , m_published(std::make_shared<PublishedPhotos>())
{}

QImage PhotoImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const QImage image = m_published->find(id);
    if (size)
        *size = image.size();
    if (image.isNull())
        return image;
    if (requestedSize.width() > 0 || requestedSize.height() > 0)
        return scaledForDisplay(image, requestedSize);
    const bool wide = image.width() >= image.height();
    return scaledForDisplay(image, wide ? QSize(defaultLongSide, 0) : QSize(0, defaultLongSide));
}

QImage PhotoImageProvider::scaledForDisplay(const QImage &image, const QSize &requested)
{
    QSize target;
    if (requested.width() > 0 && requested.height() > 0)
        target = image.size().scaled(requested, Qt::KeepAspectRatioByExpanding);
    else if (requested.width() > 0)
        target = image.size().scaled(requested.width(), INT_MAX, Qt::KeepAspectRatio);
    else if (requested.height() > 0)
        target = image.size().scaled(INT_MAX, requested.height(), Qt::KeepAspectRatio);
    else
        return image;
    if (target.width() >= image.width() || target.height() >= image.height())
        return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
