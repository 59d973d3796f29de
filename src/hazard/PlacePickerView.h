#pragma once

#include <QObject>
#include <QStringList>
#include <QStringListModel>
#include <QtQml/qqmlregistration.h>
#include <functional>
#include <optional>

namespace orvelle {

// The one-column picker of every option row: it starts at the current value,
// "完成" takes the row the user turned to (or keeps the value when none was),
// "取消" clears the value. Long lists can be narrowed by typing.
class PlacePickerView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the form whose value it edits")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QStringListModel *placeOptions READ placeOptions CONSTANT)
    Q_PROPERTY(int selectedRow READ selectedRowOrNone NOTIFY selectionChanged)
    // The row the wheel shows: the turned one, else the current value's.
    Q_PROPERTY(int wheelRow READ wheelRow NOTIFY selectionChanged)
    Q_PROPERTY(bool filterable READ filterable CONSTANT)
    Q_PROPERTY(QString filterText READ filterText WRITE setFilterText NOTIFY filterTextChanged)

public:
    using Assign = std::function<void(const std::optional<QString> &)>;
    // Lists longer than this offer the filter.
    static constexpr int filterThreshold = 12;

    PlacePickerView(const QString &title, const QStringList &choices,
                    const std::optional<QString> &selection, Assign assign,
                    QObject *parent = nullptr);

    QString title() const { return m_title; }
    QStringListModel *placeOptions() { return &m_shown; }
    QStringList shownChoices() const { return m_shown.stringList(); }
    std::optional<int> selectedRow() const { return m_selectedRow; }
    int selectedRowOrNone() const { return m_selectedRow.value_or(-1); }
    int wheelRow() const { return m_selectedRow.value_or(m_initialRow); }
    bool filterable() const { return m_choices.size() > filterThreshold; }
    QString filterText() const { return m_filterText; }
    void setFilterText(const QString &text);

    // The wheel came to rest on this row of the shown choices.
    Q_INVOKABLE void turn(int row);
    Q_INVOKABLE void done();
    Q_INVOKABLE void cancel();

signals:
    void selectionChanged();
    void filterTextChanged();
    // Asks the form to close the picker.
    void finished();

private:
    QString m_title;
    QStringList m_choices;
    QStringListModel m_shown;
    Assign m_assign;
    // The current value's row in the whole list, and in the shown one.
    int m_startRow = 0;
    int m_initialRow = 0;
    std::optional<int> m_selectedRow;
    QString m_filterText;
};

} // namespace orvelle
