#include "PlacePickerView.h"

namespace orvelle {

PlacePickerView::PlacePickerView(const QString &title, const QStringList &choices,
                                 const std::optional<QString> &selection, Assign assign,
                                 QObject *parent)
    : QObject(parent)
    , m_title(title)
    , m_choices(choices)
    , m_shown(choices)
    , m_assign(std::move(assign))
{
    if (selection)
        m_startRow = qMax(0, int(choices.indexOf(*selection)));
    m_initialRow = m_startRow;
}

void PlacePickerView::setFilterText(const QString &text)
{
    if (m_filterText == text)
        return;
    m_filterText = text;
    const QStringList shown =
        text.isEmpty() ? m_choices : m_choices.filter(text, Qt::CaseInsensitive);
    m_shown.setStringList(shown);
    // What the wheel shows after narrowing is what "完成" takes.
    m_initialRow = text.isEmpty() ? m_startRow : 0;
    m_selectedRow = shown.isEmpty() || text.isEmpty() ? std::nullopt : std::optional<int>(0);
    emit filterTextChanged();
    emit selectionChanged();
}

void PlacePickerView::turn(int row)
{
    if (row < 0 || row >= m_shown.rowCount() || m_selectedRow == row)
        return;
    m_selectedRow = row;
    emit selectionChanged();
}

void PlacePickerView::done()
{
    const QStringList shown = m_shown.stringList();
    if (m_selectedRow && *m_selectedRow < shown.size())
        m_assign(shown.at(*m_selectedRow));
    emit finished();
}

void PlacePickerView::cancel()
{
    m_assign(std::nullopt);
    emit finished();
}

} // namespace orvelle
