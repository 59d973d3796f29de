#pragma once

#include "PhotoListModel.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QQuickImageProvider>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <memory>

namespace orvelle {

// The photos the provider may hand out, keyed by "<list>/<photo id>". Filled
// on the GUI thread, read on the engine's image loading thread.
class PublishedPhotos
{
public:
    // Makes `photos` the whole content of one list.
    void replace(const QString &list, const QList<Photo> &photos);
    StoredPhoto find(const QString &key) const;

private:
    mutable QMutex m_mutex;
    QHash<QString, StoredPhoto> m_photos;
};

// "image://photos/<list>/<photo id>": a photo covering the size the Image
// asks for (its sourceSize), as a cropped tile needs; with "/stretched"
// after it, exactly that size, as the stretched preview shows it. Tiles are
// drawn from the thumbnail; a larger size (the preview) is decoded from the
// stored file at that size, on the loader thread, and is the Image's alone:
// it goes when the Image lets it go.
class PhotoImageProvider : public QQuickImageProvider
{
public:
    static constexpr auto providerId = "photos";
    // What the provider hands out when an Image gives no sourceSize.
    static constexpr int defaultLongSide = 1280;

    PhotoImageProvider();

    const std::shared_ptr<PublishedPhotos> &published() const { return m_published; }
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

private:
    std::shared_ptr<PublishedPhotos> m_published;
};

// Gives the photos of one PhotoListModel their provider addresses. It installs
// the provider in its engine on first use, so no start-up code is needed.
class PhotoImageSource : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    Q_PROPERTY(orvelle::PhotoListModel *model READ model WRITE setModel NOTIFY modelChanged)

public:
    explicit PhotoImageSource(QObject *parent = nullptr);
    ~PhotoImageSource() override;

    PhotoListModel *model() const { return m_model; }
    void setModel(PhotoListModel *model);

    // The address of the photo with this id; empty when the list has none.
    Q_INVOKABLE QUrl url(int photoId);
    // The same photo at exactly the Image's sourceSize, for a stretched Image.
    Q_INVOKABLE QUrl stretchedUrl(int photoId);

    void classBegin() override;
    void componentComplete() override {}

signals:
    void modelChanged();

private:
    void publish();

    QPointer<PhotoListModel> m_model;
    std::shared_ptr<PublishedPhotos> m_published;
    QString m_list;
};

} // namespace orvelle
