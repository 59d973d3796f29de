#include "InspectionItemView.h"

#include "InspectionRules.h"

#include <algorithm>

namespace orvelle {

InspectionItemView::InspectionItemView(const OnCheckitem &item, QObject *parent)
    : QObject(parent)
    , m_item(item)
    , m_itemx(OnXCheckitem::fromBlank(item))
{}

QString InspectionItemView::title() const
{
    return m_item.projectitem.value_or(unknownItemText());
}

QVariant InspectionItemView::isQualifiedValue() const
{
    return m_isQualified ? QVariant(*m_isQualified) : QVariant();
}

void InspectionItemView::setInputText(const QString &text)
{
    if (m_inputText == text && m_itemx.distription == text)
        return;
    m_inputText = text;
    m_itemx.distription = text;
    emit edited();
}

bool InspectionItemView::isTouched() const
{
    return !m_itemx.isapprove.value_or(QString()).isEmpty()
           || !m_itemx.distription.value_or(QString()).isEmpty();
}

void InspectionItemView::qualify()
{
    m_isQualified = true;
    m_itemx.isapprove = QStringLiteral("0");
    m_showTextField = false;
    emit edited();
}

void InspectionItemView::disqualify()
{
    m_isQualified = false;
    m_itemx.isapprove = QStringLiteral("1");
    m_showTextField = true;
    m_itemx.projectitem = m_item.projectitem;
    const QString written = m_itemx.distription.value_or(QString());
    m_inputText = written.isEmpty() ? title() + QStringLiteral(" 不合格") : written;
    m_itemx.distription = m_inputText;
    emit edited();
}

int InspectionItemListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant InspectionItemListModel::data(const QModelIndex &index, int role) const
{
    if (role != ItemViewRole || index.parent().isValid())
        return {};
    InspectionItemView *item = at(index.row());
    return item ? QVariant::fromValue(item) : QVariant();
}

QHash<int, QByteArray> InspectionItemListModel::roleNames() const
{
    return {{ItemViewRole, "itemView"}};
}

InspectionItemView *InspectionItemListModel::at(int row) const
{
    if (row < 0 || row >= count())
        return nullptr;
    if (!m_items[row]) {
        auto *self = const_cast<InspectionItemListModel *>(this);
        m_items[row] = new InspectionItemView(m_blank.at(row), self);
        connect(m_items[row], &InspectionItemView::edited, self,
                &InspectionItemListModel::itemChanged);
    }
    return m_items[row];
}

QList<OnXCheckitem> InspectionItemListModel::itemxs() const
{
    QList<OnXCheckitem> items;
    items.reserve(count());
    for (int row = 0; row < count(); ++row)
        items << (m_items[row] ? m_items[row]->itemx() : OnXCheckitem::fromBlank(m_blank[row]));
    return items;
}

bool InspectionItemListModel::isTouched() const
{
    return std::any_of(m_items.cbegin(), m_items.cend(),
                       [](const InspectionItemView *item) { return item && item->isTouched(); });
}

void InspectionItemListModel::reset(const QList<OnCheckitem> &blank)
{
    beginResetModel();
    // Delegates may still read the old items until the reset is drawn.
    for (InspectionItemView *item : std::as_const(m_items))
        if (item)
            item->deleteLater();
    m_blank = blank;
    m_items = QList<InspectionItemView *>(blank.size(), nullptr);
    endResetModel();
}

} // namespace orvelle
