#pragma once

#include <QAbstractListModel>
#include <QImage>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

// One photo of a sheet or report: the image at full size (scaled only for
// display) and an id that stays with it while rows come and go.
struct Photo
{
    int id = 0;
    QImage image;
};

// The host's list of photos that the pickers append to.
class PhotoListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the screen that holds the photos")
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { PhotoIdRole = Qt::UserRole + 1 };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_photos.size()); }
    const QList<Photo> &photos() const { return m_photos; }
    QList<QImage> images() const;

    // Returns the new photo's id.
    int append(const QImage &image);
    Q_INVOKABLE void remove(int row);

signals:
    void countChanged();

private:
    QList<Photo> m_photos;
    int m_nextId = 1;
};

} // namespace orvelle
