#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <functional>
#include <optional>

namespace orvelle {

// The six option rows of the hazard form, top to bottom, as the page draws
// them: title, placeholder, the chosen text as `detail`, whether a choice
// counts as made, whether the row's picker is open, and whether the row
// waits for its choices from the service. The form keeps the
// values; the rows only read them.
class HazardChoiceRows : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the hazard form")

public:
    enum Role {
        TitleRole = Qt::UserRole + 1,
        PlaceholderRole,
        DetailRole,
        ChosenRole,
        PickerShownRole,
        LoadingRole
    };
    struct State
    {
        std::optional<QString> value;
        bool pickerShown = false;
        bool loading = false;
        bool operator==(const State &) const = default;
    };
    using Read = std::function<State(int row)>;
    using Open = std::function<void(int row)>;

    static constexpr int count = 6;
    static QString title(int row);
    static QString placeholder(int row);

    HazardChoiceRows(Read read, Open open, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The row's button: the form opens its picker, or says why not.
    Q_INVOKABLE void open(int row);
    // Reads the form again and announces the rows that changed.
    void refresh();

private:
    Read m_read;
    Open m_open;
    QList<State> m_states;
};

} // namespace orvelle
