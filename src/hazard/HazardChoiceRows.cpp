#include "HazardChoiceRows.h"

#include <array>

namespace orvelle {

namespace {
struct Labels
{
    const char16_t *title;
    const char16_t *placeholder;
};
constexpr std::array<Labels, HazardChoiceRows::count> labels{{
    {u"隐患来源", u"选择隐患来源"},
    {u"隐患等级", u""},
    {u"一级隐患类型", u"选择隐患类型"},
    {u"二级隐患类型", u"选择二级隐患类型"},
    {u"隐患地点", u"选择隐患地点"},
    {u"天气", u"挑选目前天气"},
}};
} // namespace

QString HazardChoiceRows::title(int row)
{
    return QString::fromUtf16(labels.at(row).title);
}

QString HazardChoiceRows::placeholder(int row)
{
    return QString::fromUtf16(labels.at(row).placeholder);
}

HazardChoiceRows::HazardChoiceRows(Read read, Open open, QObject *parent)
    : QAbstractListModel(parent)
    , m_read(std::move(read))
    , m_open(std::move(open))
{
    for (int row = 0; row < count; ++row)
        m_states << m_read(row);
}

int HazardChoiceRows::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count;
}

QVariant HazardChoiceRows::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const State &state = m_states.at(index.row());
    switch (role) {
    case TitleRole:
        return title(index.row());
    case PlaceholderRole:
        return placeholder(index.row());
    case DetailRole:
        return state.value.value_or(QString());
    case ChosenRole:
        // Present but empty shows as not chosen, like absent.
        return !state.value.value_or(QString()).isEmpty();
    case PickerShownRole:
        return state.pickerShown;
    case LoadingRole:
        return state.loading;
    default:
        return {};
    }
}

QHash<int, QByteArray> HazardChoiceRows::roleNames() const
{
    return {{TitleRole, "title"},   {PlaceholderRole, "placeholder"}, {DetailRole, "detail"},
            {ChosenRole, "chosen"}, {PickerShownRole, "pickerShown"}, {LoadingRole, "loading"}};
}

void HazardChoiceRows::open(int row)
{
    if (row >= 0 && row < count)
        m_open(row);
}

void HazardChoiceRows::refresh()
{
    for (int row = 0; row < count; ++row) {
        State state = m_read(row);
        if (state == m_states.at(row))
            continue;
        m_states[row] = std::move(state);
        emit dataChanged(index(row), index(row));
    }
}

} // namespace orvelle
