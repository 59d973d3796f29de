#include "InspectionListModels.h"

#include "InspectionRules.h"

namespace orvelle {

QVariant CheckitemListModel::data(const QModelIndex &index, int role) const
{
    const Checkitem *item = at(index.row());
    if (!item || index.parent().isValid())
        return {};
    if (role == ProjectRole || role == Qt::DisplayRole)
        return item->project.value_or(unknownItemText());
    if (role == SheetKeptRole)
        return sheetKept(*item);
    return {};
}

QHash<int, QByteArray> CheckitemListModel::roleNames() const
{
    return {{ProjectRole, "project"}, {SheetKeptRole, "sheetKept"}};
}

void CheckitemListModel::setSheetKept(std::function<bool(const QString &)> kept)
{
    m_sheetKept = std::move(kept);
    if (!m_records.isEmpty())
        emit dataChanged(index(0), index(int(m_records.size()) - 1), {SheetKeptRole});
}

int CheckitemListModel::keptCount() const
{
    return int(std::count_if(m_records.begin(), m_records.end(),
                             [this](const Checkitem &item) { return sheetKept(item); }));
}

QVariant DetailCheckitemListModel::data(const QModelIndex &index, int role) const
{
    const DetailCheckitem *item = at(index.row());
    if (!item || index.parent().isValid())
        return {};
    switch (role) {
    case CheckNameRole:
        return item->checkname.value_or(QString());
    case CheckDateRole:
        return item->checkdate.value_or(QString());
    case CheckPeopleRole:
        return item->checkpeople.value_or(QString());
    default:
        return {};
    }
}

QHash<int, QByteArray> DetailCheckitemListModel::roleNames() const
{
    return {{CheckNameRole, "checkname"},
            {CheckDateRole, "checkdate"},
            {CheckPeopleRole, "checkpeople"}};
}

QVariant DetailitemListModel::data(const QModelIndex &index, int role) const
{
    const DetailitemCheckitem *item = at(index.row());
    if (!item || index.parent().isValid())
        return {};
    const bool unqualified = item->isapprove == QStringLiteral("1");
    switch (role) {
    case TitleRole:
        return item->projectitem.value_or(unknownItemText());
    case QualifiedRole:
        return item->isapprove == QStringLiteral("0");
    case UnqualifiedRole:
        return unqualified;
    case DescriptionRole:
        return unqualified ? QVariant(item->distription.value_or(QString())) : QVariant();
    default:
        return {};
    }
}

QHash<int, QByteArray> DetailitemListModel::roleNames() const
{
    return {{TitleRole, "title"},
            {QualifiedRole, "qualified"},
            {UnqualifiedRole, "unqualified"},
            {DescriptionRole, "description"}};
}

} // namespace orvelle
