#pragma once

#include "HazardChoiceRows.h"
#include "HazardRecords.h"
#include "PlacePickerView.h"
#include "StandardPlaces.h"
#include "core/AlertState.h"
#include "core/DiscardGuard.h"
#include "outbox/FormFiling.h"
#include "photos/PhotoAttachments.h"
#include "store/FormDraft.h"

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
class SHazardDescriptorView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the home menu")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY changed)
    // How far a filing has come, and its "转入待上传".
    Q_PROPERTY(QObject *filing READ filing CONSTANT)
    // The place list is being fetched because the place row asked for it.
    Q_PROPERTY(bool isLoadingPlaces READ isLoadingPlaces NOTIFY changed)
    Q_PROPERTY(PhotoAttachments *photos READ photos CONSTANT)
    // The six option rows, each with its value and whether its picker is open.
    Q_PROPERTY(orvelle::HazardChoiceRows *rows READ rows CONSTANT)
    // The open picker, whichever row it belongs to; null when none is open.
    Q_PROPERTY(PlacePickerView *picker READ picker NOTIFY changed)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)
    Q_PROPERTY(bool navigateToContentView READ navigateToContentView NOTIFY changed)
    Q_PROPERTY(QStringList secondaryTypes READ secondaryTypes NOTIFY changed)
    Q_PROPERTY(QStringList place READ place NOTIFY changed)
    Q_PROPERTY(QString descriptionText READ descriptionText WRITE setDescriptionText NOTIFY changed)
    // "descriptionText" while the editor has the keyboard, "" otherwise.
    Q_PROPERTY(QString focusedField READ focusedField WRITE setFocusedField NOTIFY changed)
    Q_PROPERTY(bool canSubmit READ canSubmit NOTIFY changed)
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY changed)
    Q_PROPERTY(orvelle::DiscardGuard *discardGuard READ discardGuard CONSTANT)
    Q_PROPERTY(QObject *draft READ draft CONSTANT)
    Q_PROPERTY(bool hidesPlatformBack READ hidesPlatformBack CONSTANT)

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
    bool isLoading() const { return m_filing.isLoading(); }
    FormFiling *filing() { return &m_filing; }
    bool isLoadingPlaces() const { return m_placeRowWaiting; }
    PhotoAttachments *photos() { return &m_photos; }

    HazardChoiceRows *rows() { return &m_rows; }
    bool showsPicker(Row row) const { return m_picker && m_pickerRow == row; }
    PlacePickerView *picker() const { return m_picker; }

    AlertState *alert() { return &m_alert; }
    bool navigateToContentView() const { return m_filing.closing(); }

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
    QString focusedField() const { return m_focusedField; }
    void setFocusedField(const QString &field);

    // A second "新增" while one runs would file the report twice.
    bool canSubmit() const { return !isLoading() && !navigateToContentView(); }
    // Not while the photos and the report are on their way.
    bool canGoBack() const { return !isLoading(); }
    DiscardGuard *discardGuard() { return &m_discardGuard; }
    FormDraft *draft() { return &m_draft; }
    bool hidesPlatformBack() const { return true; }

    // Each time the form is shown: the standard places again.
    Q_INVOKABLE void appeared();
    // The button of an option row (the Row value as an int).
    void tapRow(int row);
    // The sheet of the open picker was swiped away: nothing changes.
    Q_INVOKABLE void dismissPicker();
    // "新增"
    Q_INVOKABLE void submit();
    // "返回": asks first when photos or text would be lost.
    Q_INVOKABLE void goBack();

signals:
    void changed();
    // What the user entered changed (not focus, not an open picker).
    void edited();
    // Asks the screen that opened the form to close it.
    void closeRequested();

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
    FormFiling::Rules filingRules();
    // The "/notes/notescreateDanger" parameters from the form as it stands;
    // the filing road adds "image", the photo addresses.
    QJsonObject createDangerParameters() const;
    QString firstProblem() const;
    bool isFilledIn() const;
    std::optional<FormDraft::Snapshot> snapshot() const;
    void restore(const QJsonObject &fields, const PhotoGroups &photos);

    QString m_notesServer;
    User &m_user;

    PhotoAttachments m_photos;
    QPointer<PlacePickerView> m_picker;
    Row m_pickerRow = Row::Source;
    AlertState m_alert;
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
    QString m_focusedField;
    DiscardGuard m_discardGuard;
    FormDraft m_draft;
    FormFiling m_filing;
    StandardPlaces m_places;
    // Last: it reads the values above when it is made.
    HazardChoiceRows m_rows;
};

} // namespace orvelle
