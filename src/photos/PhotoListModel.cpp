#include "PhotoListModel.h"

namespace orvelle {

int PhotoListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant PhotoListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Photo &photo = m_photos.at(index.row());
    if (role == PhotoIdRole)
        return photo.id;
    if (role == Qt::DecorationRole)
        return photo.stored.thumbnail;
    return {};
}

QHash<int, QByteArray> PhotoListModel::roleNames() const
{
    return {{PhotoIdRole, "photoId"}};
}

QStringList PhotoListModel::hashes() const
{
    QStringList hashes;
    hashes.reserve(m_photos.size());
    for (const Photo &photo : m_photos)
        hashes << photo.stored.hash;
    return hashes;
}

int PhotoListModel::append(const StoredPhoto &photo)
{
    const int row = count();
    beginInsertRows({}, row, row);
    m_photos.append({m_nextId++, photo});
    endInsertRows();
    emit countChanged();
    return m_photos.constLast().id;
}

void PhotoListModel::remove(int row)
{
    if (row < 0 || row >= count())
        return;
    beginRemoveRows({}, row, row);
    m_photos.removeAt(row);
    endRemoveRows();
    emit countChanged();
}

void PhotoListModel::clear()
{
    if (m_photos.isEmpty())
        return;
    beginResetModel();
    m_photos.clear();
    endResetModel();
    emit countChanged();
}

} // namespace orvelle
