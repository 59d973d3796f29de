#pragma once

#include <QAbstractListModel>
#include <QImage>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

// A photo once it is in the photo store: its content hash, its file and a
// display-size copy. The full picture is never held.
struct StoredPhoto
{
    QString hash;
    QString file;
    QImage thumbnail;
};

// One photo of a sheet or report, with an id that stays with it while rows
// come and go.
struct Photo
{
    int id = 0;
    StoredPhoto stored;
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
    // The content hashes, in the order the user sees them.
    QStringList hashes() const;

    // Returns the new photo's id.
    int append(const StoredPhoto &photo);
    Q_INVOKABLE void remove(int row);
    void clear();

signals:
    void countChanged();

private:
    QList<Photo> m_photos;
    int m_nextId = 1;
};

} // namespace orvelle
