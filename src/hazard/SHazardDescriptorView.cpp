#include "SHazardDescriptorView.h"

#include "core/Logging.h"
#include "net/Endpoints.h"
#include "session/Session.h"

#include <QJsonArray>

namespace orvelle {

SHazardDescriptorView::SHazardDescriptorView(FormServices &services, QObject *parent)
    : FormShell(services,
                {QStringLiteral("hazard"), QStringLiteral("已填写的隐患信息尚未提交，确定放弃吗？"),
                 ImagePicker::maximumPhotos},
                parent)
    , m_notesServer(services.notesServer)
    , m_user(services.filing.session.account())
    , m_places(services.filing.client, services.notesServer, &services.filing.store,
               m_user.storeKey())
    , m_rows(
          [this](int row) -> HazardChoiceRows::State {
              return {field(Row(row)).value, showsPicker(Row(row)),
                      Row(row) == Row::Place && m_placeRowWaiting};
          },
          [this](int row) { tapRow(row); })
{
    setRules(this);
    connect(this, &SHazardDescriptorView::choicesChanged, &m_rows, &HazardChoiceRows::refresh);
    connect(&m_places, &StandardPlaces::arrived, this, &SHazardDescriptorView::placesArrived);
    connect(&m_places, &StandardPlaces::failed, this, &SHazardDescriptorView::placesFailed);
}

SHazardDescriptorView::~SHazardDescriptorView() = default;

SHazardDescriptorView::Field SHazardDescriptorView::field(Row row)
{
    switch (row) {
    case Row::Source:
        return {m_selectedSource, SourceOptions};
    case Row::Level:
        return {m_selectedLevel, LiveOptions};
    case Row::PrimaryType:
        return {m_selectedPrimaryType, OneTypeOptions};
    case Row::SecondaryType:
        return {m_selectedSecondaryType, m_secondaryTypes};
    case Row::Place:
        return {m_selectedPlace, m_places.names()};
    case Row::Weather:
        break;
    }
    return {m_selectedWeather, WeatherOptions};
}

void SHazardDescriptorView::setDescriptionText(const QString &text)
{
    if (m_descriptionText == text)
        return;
    m_descriptionText = text;
    emit descriptionTextChanged();
    emit edited();
}

void SHazardDescriptorView::appeared()
{
    m_places.load();
}

void SHazardDescriptorView::screenLeft()
{
    disconnect(&m_places, nullptr, this, nullptr);
    m_places.cancel();
    m_placeRowWaiting = false;
}

void SHazardDescriptorView::placesArrived()
{
    if (m_placeRowWaiting) {
        m_placeRowWaiting = false;
        openPicker(Row::Place);
    }
    emit choicesChanged();
}

void SHazardDescriptorView::placesFailed(const QString &message)
{
    m_placeRowWaiting = false;
    emit choicesChanged();
    alert()->show(message);
}

void SHazardDescriptorView::tapRow(int row)
{
    if (row < int(Row::Source) || row > int(Row::Weather))
        return;
    const Row tapped = Row(row);
    if (tapped == Row::SecondaryType) {
        if (!m_selectedPrimaryType) {
            alert()->show(QStringLiteral("请选择一级隐患类型后再选择二级隐患类型"));
            return;
        }
        const QStringList types = secondaryTypesOf(*m_selectedPrimaryType);
        if (!types.isEmpty())
            m_secondaryTypes = types;
    }
    setFocusedField({});
    if (tapped == Row::Place && !m_places.loaded()) {
        // An empty picker would block every report: fetch the list again.
        m_placeRowWaiting = true;
        m_places.load();
        emit choicesChanged();
        return;
    }
    openPicker(tapped);
}

void SHazardDescriptorView::openPicker(Row row)
{
    // A picker the user opened while the places were loading stays: the
    // places that arrive later do not replace it.
    m_placeRowWaiting = false;
    closePicker();
    m_pickerRow = row;
    const Field edited = field(row);
    m_picker = new PlacePickerView(
        HazardChoiceRows::title(int(row)), edited.choices, edited.value,
        [this, row](const std::optional<QString> &value) { assign(row, value); }, this);
    connect(m_picker, &PlacePickerView::finished, this, &SHazardDescriptorView::closePicker);
    emit choicesChanged();
}

void SHazardDescriptorView::closePicker()
{
    if (!m_picker)
        return;
    // It may still be emitting `finished`.
    m_picker->deleteLater();
    m_picker = nullptr;
    emit choicesChanged();
}

void SHazardDescriptorView::dismissPicker()
{
    closePicker();
}

void SHazardDescriptorView::assign(Row row, const std::optional<QString> &value)
{
    field(row).value = value;
    // A second-level type of another first-level type must not be filed.
    if (row == Row::PrimaryType && m_selectedSecondaryType
        && !secondaryTypesOf(value.value_or(QString())).contains(*m_selectedSecondaryType))
        m_selectedSecondaryType.reset();
    emit choicesChanged();
    emit edited();
}

void SHazardDescriptorView::submit()
{
    setFocusedField({});
    file();
}

QString SHazardDescriptorView::validate() const
{
    if (photos()->photos().count() == 0)
        return QStringLiteral("请拍照上传隐患位置照片");
    if (m_descriptionText.isEmpty())
        return QStringLiteral("请填写隐患描述信息");
    if (m_selectedSource.value_or(QString()).isEmpty())
        return QStringLiteral("请选择隐患来源");
    if (m_selectedPlace.value_or(QString()).isEmpty())
        return QStringLiteral("请选择地点");
    if (m_selectedWeather.value_or(QString()).isEmpty())
        return QStringLiteral("请选择天气");
    return {};
}

Submission SHazardDescriptorView::submission() const
{
    return {QStringLiteral("hazard"),
            QStringLiteral("hazard"),
            m_descriptionText,
            endpoints::json::createDanger,
            createDangerParameters(),
            {{QStringLiteral("image"), QStringLiteral("photos"), QStringLiteral("----")}},
            {}};
}

QJsonObject SHazardDescriptorView::createDangerParameters() const
{
    const QString ou1 = m_user.ou1().value_or(QString());
    const QString ou2 = m_user.ou2().value_or(QString());
    const SHDCheckItem item = SHDCheckItem::forReport(
        m_descriptionText, m_selectedLevel, m_selectedPrimaryType, m_selectedSecondaryType);
    return {
        {QStringLiteral("ou1"), ou1},
        {QStringLiteral("ou2"), ou2},
        {QStringLiteral("allapprove"), QStringLiteral("0")},
        {QStringLiteral("checkdept"), ou1 + QLatin1Char('/') + ou2},
        {QStringLiteral("checkname"), QStringLiteral("隐患登记")},
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("openimageurl"), QString()},
        {QStringLiteral("place"), m_selectedPlace.value_or(QString())},
        {QStringLiteral("rowcount"), QStringLiteral("1")},
        {QStringLiteral("server"), m_notesServer},
        {QStringLiteral("username"), m_user.username().value_or(QString())},
        {QStringLiteral("yhfrom"), m_selectedSource.value_or(QString())},
        {QStringLiteral("weather"), m_selectedWeather.value_or(QString())},
        {QStringLiteral("checkitems"), QJsonArray{item.toJson()}},
    };
}

bool SHazardDescriptorView::isFilledIn() const
{
    return photos()->photos().count() > 0 || !m_descriptionText.isEmpty();
}

std::optional<FormDraft::Snapshot> SHazardDescriptorView::snapshot() const
{
    const auto text = [](const std::optional<QString> &value) {
        return value ? QJsonValue(*value) : QJsonValue();
    };
    return FormDraft::Snapshot{{{QStringLiteral("description"), m_descriptionText},
                                {QStringLiteral("source"), text(m_selectedSource)},
                                {QStringLiteral("level"), text(m_selectedLevel)},
                                {QStringLiteral("primaryType"), text(m_selectedPrimaryType)},
                                {QStringLiteral("secondaryType"), text(m_selectedSecondaryType)},
                                {QStringLiteral("place"), text(m_selectedPlace)},
                                {QStringLiteral("weather"), text(m_selectedWeather)}},
                               {{QStringLiteral("photos"), photos()->photos().hashes()}}};
}

void SHazardDescriptorView::restore(const QJsonObject &fields, const PhotoGroups &photos)
{
    const auto text = [&fields](const char *key) -> std::optional<QString> {
        const QJsonValue value = fields.value(QLatin1String(key));
        return value.isString() ? std::optional(value.toString()) : std::nullopt;
    };
    m_descriptionText = text("description").value_or(QString());
    m_selectedSource = text("source");
    m_selectedLevel = text("level");
    m_selectedPrimaryType = text("primaryType");
    m_selectedSecondaryType = text("secondaryType");
    m_selectedPlace = text("place");
    m_selectedWeather = text("weather");
    m_secondaryTypes = secondaryTypesOf(m_selectedPrimaryType.value_or(QString()));
    this->photos()->restore(photos.value(QStringLiteral("photos")));
    emit descriptionTextChanged();
    emit choicesChanged();
}

} // namespace orvelle
