#pragma once

#include "InspectionRecords.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>
#include <functional>

namespace orvelle {

// Rows of records for a ListView. Replacing the list resets the model; the
// records stay as they arrived and each role reads what its row shows.
template <typename Record> class RecordListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_records.size());
    }
    const QList<Record> &records() const { return m_records; }
    const Record *at(int row) const
    {
        return row >= 0 && row < m_records.size() ? &m_records.at(row) : nullptr;
    }
    void setRecords(QList<Record> records)
    {
        beginResetModel();
        m_records = std::move(records);
        endResetModel();
    }

protected:
    QList<Record> m_records;
};

// Check points of today's task list (InspectionRow).
class CheckitemListModel : public RecordListModel<Checkitem>
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by a task list")

public:
    enum Role {
        ProjectRole = Qt::UserRole + 1,
        SheetKeptRole, // its blank sheet is kept for use without a network
    };
    using RecordListModel::RecordListModel;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    // Asks again which rows' sheets are kept.
    void setSheetKept(std::function<bool(const QString &key)> kept);
    int keptCount() const;

private:
    bool sheetKept(const Checkitem &item) const { return item.key && m_sheetKept(*item.key); }

    std::function<bool(const QString &)> m_sheetKept = [](const QString &) { return false; };
};

// Submitted sheets of a check point (InspectionView).
class DetailCheckitemListModel : public RecordListModel<DetailCheckitem>
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by a record list")

public:
    enum Role { CheckNameRole = Qt::UserRole + 1, CheckDateRole, CheckPeopleRole };
    using RecordListModel::RecordListModel;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
};

// Items of a submitted sheet, read only.
class DetailitemListModel : public RecordListModel<DetailitemCheckitem>
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by a submitted sheet")

public:
    enum Role {
        TitleRole = Qt::UserRole + 1,
        QualifiedRole,   // the "合格" mark is highlighted
        UnqualifiedRole, // the "不合格" mark is highlighted
        DescriptionRole, // shown only for an unqualified item
    };
    using RecordListModel::RecordListModel;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
};

} // namespace orvelle
