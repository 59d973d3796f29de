#pragma once

#include "HazardChoiceRows.h"
#include "HazardRecords.h"
#include "PlacePickerView.h"
#include "StandardPlaces.h"
#include "outbox/FormShell.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

class User;

// The hazard report form ("隐患登记"): photos, a description and six option
// rows, then "新增": validation, the photo upload and "/notes/notescreateDanger".
class SHazardDescriptorView : public FormShell, public FormRules
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the home menu")
    Q_PROPERTY(QString title READ title CONSTANT)
    // The place list is being fetched because the place row asked for it; the
    // row shows it, and the form stays free to leave.
    Q_PROPERTY(bool isLoadingPlaces READ isLoadingPlaces NOTIFY choicesChanged)
    // The six option rows, each with its value and whether its picker is open.
    Q_PROPERTY(orvelle::HazardChoiceRows *rows READ rows CONSTANT)
    // The open picker, whichever row it belongs to; null when none is open.
    Q_PROPERTY(PlacePickerView *picker READ picker NOTIFY choicesChanged)
    Q_PROPERTY(bool navigateToContentView READ navigateToContentView NOTIFY filingChanged)
    Q_PROPERTY(QStringList secondaryTypes READ secondaryTypes NOTIFY choicesChanged)
    Q_PROPERTY(QStringList place READ place NOTIFY choicesChanged)
    Q_PROPERTY(QString descriptionText READ descriptionText WRITE setDescriptionText NOTIFY
                   descriptionTextChanged)
    Q_PROPERTY(bool canSubmit READ canSubmit NOTIFY filingChanged)

public:
    // The six option rows, top to bottom, as HazardChoiceRows lists them.
    enum class Row { Source, Level, PrimaryType, SecondaryType, Place, Weather };
    Q_ENUM(Row)

    static const QStringList SourceOptions;
    static const QStringList LiveOptions;
    static const QStringList OneTypeOptions;
    static const QStringList WeatherOptions;
    // The second-level choices of a first-level type; empty for any other text.
    static QStringList secondaryTypesOf(const QString &primaryType);

    explicit SHazardDescriptorView(FormServices &services, QObject *parent = nullptr);
    ~SHazardDescriptorView() override;

    QString title() const { return QStringLiteral("隐患登记"); }
    bool isLoadingPlaces() const { return m_placeRowWaiting; }

    HazardChoiceRows *rows() { return &m_rows; }
    bool showsPicker(Row row) const { return m_picker && m_pickerRow == row; }
    PlacePickerView *picker() const { return m_picker; }

    bool navigateToContentView() const { return closing(); }

    const std::optional<QString> &selectedSource() const { return m_selectedSource; }
    const std::optional<QString> &selectedLevel() const { return m_selectedLevel; }
    const std::optional<QString> &selectedPrimaryType() const { return m_selectedPrimaryType; }
    const std::optional<QString> &selectedSecondaryType() const { return m_selectedSecondaryType; }
    const std::optional<QString> &selectedPlace() const { return m_selectedPlace; }
    const std::optional<QString> &selectedWeather() const { return m_selectedWeather; }
    QStringList secondaryTypes() const { return m_secondaryTypes; }
    QStringList place() const { return m_places.names(); }
    QString descriptionText() const { return m_descriptionText; }
    void setDescriptionText(const QString &text);

    // A second "新增" while one runs would file the report twice.
    bool canSubmit() const { return !isLoading() && !navigateToContentView(); }

    // Each time the form is shown: the standard places again.
    Q_INVOKABLE void appeared();
    // The button of an option row (the Row value as an int).
    void tapRow(int row);
    // The sheet of the open picker was swiped away: nothing changes.
    Q_INVOKABLE void dismissPicker();
    // "新增"
    Q_INVOKABLE void submit();
    // The form was left: places still on their way open nothing and say nothing.
    void screenLeft();

    QString validate() const override;
    Submission submission() const override;
    std::optional<FormDraft::Snapshot> snapshot() const override;
    void restore(const QJsonObject &fields, const PhotoGroups &photos) override;
    bool isFilledIn() const override;

signals:
    void descriptionTextChanged();
    // A row's value, the open picker, or the lists the pickers offer.
    void choicesChanged();

private:
    // The value that a row shows and its picker edits, and the picker's choices.
    struct Field
    {
        std::optional<QString> &value;
        const QStringList &choices;
    };
    Field field(Row row);
    void openPicker(Row row);
    void closePicker();
    void assign(Row row, const std::optional<QString> &value);
    void placesArrived();
    void placesFailed(const QString &message);
    // The "/notes/notescreateDanger" parameters from the form as it stands;
    // the filing road adds "image", the photo addresses.
    QJsonObject createDangerParameters() const;

    QString m_notesServer;
    User &m_user;

    QPointer<PlacePickerView> m_picker;
    Row m_pickerRow = Row::Source;
    std::optional<QString> m_selectedSource = QString();
    std::optional<QString> m_selectedLevel = QStringLiteral("一般隐患");
    std::optional<QString> m_selectedPrimaryType;
    std::optional<QString> m_selectedSecondaryType;
    std::optional<QString> m_selectedPlace;
    std::optional<QString> m_selectedWeather;
    QStringList m_secondaryTypes;
    // The place row waits for the list before it opens its picker.
    bool m_placeRowWaiting = false;
    QString m_descriptionText;
    StandardPlaces m_places;
    // Last: it reads the values above when it is made.
    HazardChoiceRows m_rows;
};

} // namespace orvelle
