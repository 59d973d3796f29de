#include "SHazardDescriptorView.h"

#include "core/Logging.h"
#include "net/Endpoints.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "session/User.h"

#include <QJsonArray>

namespace orvelle {

const QStringList SHazardDescriptorView::SourceOptions{
    QStringLiteral("岗位隐患排查"), QStringLiteral("班组隐患排查"),
    QStringLiteral("车间隐患排查"), QStringLiteral("公司隐患排查"),
    QStringLiteral("专项检查"),     QStringLiteral("重大活动和节假日检查"),
    QStringLiteral("季节检查"),     QStringLiteral("其它")};
const QStringList SHazardDescriptorView::LiveOptions{QStringLiteral("一般隐患"),
                                                     QStringLiteral("重大隐患")};
const QStringList SHazardDescriptorView::OneTypeOptions{QStringLiteral("基础管理"),
                                                        QStringLiteral("现场管理")};
const QStringList SHazardDescriptorView::WeatherOptions{QStringLiteral("晴"), QStringLiteral("雨"),
                                                        QStringLiteral("雪")};

QStringList SHazardDescriptorView::secondaryTypesOf(const QString &primaryType)
{
    if (primaryType == QStringLiteral("基础管理"))
        return {QStringLiteral("资质证照"),       QStringLiteral("安全生产管理机构"),
                QStringLiteral("安全规章制度"),   QStringLiteral("安全教育培训"),
                QStringLiteral("安全投入"),       QStringLiteral("相关方面管理"),
                QStringLiteral("重大危险源管理"), QStringLiteral("个体防护装备"),
                QStringLiteral("职业健康"),       QStringLiteral("应急管理"),
                QStringLiteral("隐患排查治理"),   QStringLiteral("事故报告、调查和处理"),
                QStringLiteral("其他基础管理")};
    if (primaryType == QStringLiteral("现场管理"))
        return {QStringLiteral("作业场所"),
                QStringLiteral("设备设施"),
                QStringLiteral("防护、保险、信号等装置装备"),
                QStringLiteral("原辅料、产品"),
                QStringLiteral("职业病危害"),
                QStringLiteral("相关方作业"),
                QStringLiteral("安全技能"),
                QStringLiteral("个体防护"),
                QStringLiteral("作业许可"),
                QStringLiteral("其他现场管理")};
    return {};
}

SHazardDescriptorView::SHazardDescriptorView(ServiceClient &client, PhotoUploader &uploader,
                                             CameraProvider &cameras, const QString &notesServer,
                                             User &user, DeviceStore *store, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_uploader(uploader)
    , m_notesServer(notesServer)
    , m_user(user)
    , m_photos(cameras, ImagePicker::maximumPhotos)
    , m_discardGuard(QStringLiteral("已填写的隐患信息尚未提交，确定放弃吗？"))
    , m_draft(store, user.username().value_or(QString()), QStringLiteral("hazard"),
              [this] { return snapshot(); })
    , m_filing(m_draft)
    , m_keptPlaces(store, user.username().value_or(QString()), QStringLiteral("places"))
    , m_rows(
          [this](int row) -> HazardChoiceRows::State {
              return {field(Row(row)).value, showsPicker(Row(row))};
          },
          [this](int row) { tapRow(row); })
{
    connect(this, &SHazardDescriptorView::changed, &m_rows, &HazardChoiceRows::refresh);
    // Every change is kept on the device until the report is filed or let go.
    connect(this, &SHazardDescriptorView::changed, &m_draft, &FormDraft::touch);
    connect(&m_draft, &FormDraft::restored, this, &SHazardDescriptorView::restore);
    // A report the outbox keeps for later closes like a filed one.
    connect(&m_filing, &FormFiling::delivered, this, &SHazardDescriptorView::filed);
    connect(&m_filing, &FormFiling::queued, this, &SHazardDescriptorView::closeWith);
    connect(&m_filing, &FormFiling::refused, this, &SHazardDescriptorView::refused);
    connect(&m_discardGuard, &DiscardGuard::released, &m_draft, &FormDraft::finish);
    connect(&m_discardGuard, &DiscardGuard::released, this, &SHazardDescriptorView::closeRequested);
    connect(&m_alert, &AlertState::acknowledged, this, &SHazardDescriptorView::alertAcknowledged);
    // The box opens with the state that goes with it (loading ends, a flag is set).
    connect(&m_alert, &AlertState::changed, this, &SHazardDescriptorView::changed);
    connect(&m_photos, &PhotoAttachments::editingPhotos, this, [this] { setFocusedField({}); });
    // Whether the form counts as filled in follows the photos.
    connect(m_photos.selectedImages(), &PhotoListModel::countChanged, this,
            &SHazardDescriptorView::changed);
    // The photos stay as they are while they upload.
    connect(this, &SHazardDescriptorView::changed, this,
            [this] { m_photos.setEditable(!m_isLoading); });
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
        return {m_selectedPlace, m_place};
    case Row::Weather:
        break;
    }
    return {m_selectedWeather, WeatherOptions};
}

void SHazardDescriptorView::set(bool &field, bool on)
{
    if (field == on)
        return;
    field = on;
    emit changed();
}

void SHazardDescriptorView::setDescriptionText(const QString &text)
{
    if (m_descriptionText == text)
        return;
    m_descriptionText = text;
    emit changed();
}

void SHazardDescriptorView::setFocusedField(const QString &field)
{
    if (m_focusedField == field)
        return;
    m_focusedField = field;
    emit changed();
}

void SHazardDescriptorView::appeared()
{
    loadPlaces();
}

void SHazardDescriptorView::loadPlaces()
{
    if (m_placesLoading)
        return;
    m_placesLoading = true;
    const QJsonObject parameters{
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("db_vw"), endpoints::views::standardPlace},
        {QStringLiteral("server"), m_notesServer},
    };
    m_client.sendJSONRequest(
        endpoints::json::standardPlace, parameters, this,
        [this](const std::optional<QString> &, qint64, const QJsonObject &json) {
            if (!takePlaces(json))
                return placesFailed(QStringLiteral("数据错误!!!"));
            m_keptPlaces.keep(json);
        },
        [this](qint64 code, const QString &message) {
            // Out of reach: the places as they were last loaded.
            if (const auto kept = m_keptPlaces.instead(code); !kept || !takePlaces(kept->answer))
                placesFailed(message);
        });
}

bool SHazardDescriptorView::takePlaces(const QJsonObject &json)
{
    const auto record = decodeRecord<PlacedData>(json);
    if (!record)
        return false;
    QStringList names;
    for (const PlaceCheckitem &item : record->checkitems.value_or(QList<PlaceCheckitem>()))
        if (item.place)
            names << *item.place;
    m_place = names;
    m_placesLoading = false;
    m_placesLoaded = true;
    if (m_placeRowWaiting) {
        m_placeRowWaiting = false;
        openPicker(Row::Place);
    }
    emit changed();
    return true;
}

void SHazardDescriptorView::placesFailed(const QString &message)
{
    m_placesLoading = false;
    m_placeRowWaiting = false;
    m_alert.show(message);
}

void SHazardDescriptorView::tapRow(int row)
{
    if (row < int(Row::Source) || row > int(Row::Weather))
        return;
    const Row tapped = Row(row);
    if (tapped == Row::SecondaryType) {
        if (!m_selectedPrimaryType) {
            m_alert.show(QStringLiteral("请选择一级隐患类型后再选择二级隐患类型"));
            return;
        }
        const QStringList types = secondaryTypesOf(*m_selectedPrimaryType);
        if (!types.isEmpty())
            m_secondaryTypes = types;
    }
    setFocusedField({});
    if (tapped == Row::Place && !m_placesLoaded) {
        // An empty picker would block every report: fetch the list again.
        m_placeRowWaiting = true;
        loadPlaces();
        emit changed();
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
    emit changed();
}

void SHazardDescriptorView::closePicker()
{
    if (!m_picker)
        return;
    // It may still be emitting `finished`.
    m_picker->deleteLater();
    m_picker = nullptr;
    emit changed();
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
    emit changed();
}

void SHazardDescriptorView::submit()
{
    if (!canSubmit())
        return;
    setFocusedField({});
    if (m_photos.loadingPhotos()) {
        // "新增" goes on once the photos still being decoded are in; the
        // progress is shown and leaving is held off meanwhile.
        m_isLoading = true;
        emit changed();
        return m_photos.whenPhotosLoaded([this] {
            m_isLoading = false;
            emit changed();
            submit();
        });
    }
    if (m_photos.photos().count() == 0)
        return m_alert.show(QStringLiteral("请拍照上传隐患位置照片"));
    if (m_descriptionText.isEmpty())
        return m_alert.show(QStringLiteral("请填写隐患描述信息"));
    if (m_selectedSource.value_or(QString()).isEmpty())
        return m_alert.show(QStringLiteral("请选择隐患来源"));
    if (m_selectedPlace.value_or(QString()).isEmpty())
        return m_alert.show(QStringLiteral("请选择地点"));
    if (m_selectedWeather.value_or(QString()).isEmpty())
        return m_alert.show(QStringLiteral("请选择天气"));

    m_isLoading = true;
    emit changed();
    if (m_filing.available())
        return m_filing.file(
            {QStringLiteral("hazard"),
             QStringLiteral("hazard"),
             m_descriptionText,
             endpoints::json::createDanger,
             createDangerParameters(QString()),
             {{QStringLiteral("image"), QStringLiteral("photos"), QStringLiteral("----")}},
             {}},
            [this] { uploadDirectly(); });
    m_draft.save();
    uploadDirectly();
}

void SHazardDescriptorView::uploadDirectly()
{
    m_uploader.uploadPhotos(m_photos.photos().images(), this,
                            [this](bool allSucceeded, const QStringList &urls) {
                                if (!allSucceeded) {
                                    m_isLoading = false;
                                    m_alert.show(QStringLiteral("上传失败，请重试。"));
                                    return;
                                }
                                submitHazardReport(urls.join(QStringLiteral("----")));
                            });
}

void SHazardDescriptorView::submitHazardReport(const QString &imageText)
{
    createDanger(createDangerParameters(imageText));
}

QJsonObject SHazardDescriptorView::createDangerParameters(const QString &imageText) const
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
        {QStringLiteral("image"), imageText},
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

void SHazardDescriptorView::createDanger(const QJsonObject &parameters)
{
    m_client.sendRecord(
        endpoints::json::createDanger, parameters, this,
        [this](const std::optional<QString> &, qint64, const QJsonObject &json) { filed(json); },
        [this](const ServiceFailure &failure) { refused(failure.message); });
}

void SHazardDescriptorView::filed(const QJsonObject &json)
{
    // The service answered code 1: the report is stored. An answer
    // that does not decode must not tell the user to file it again.
    QString message;
    if (const auto answer = decodeRecord<SHazardDescriptorModel>(json)) {
        message = answer->msg.value_or(QString());
    } else {
        qCDebug(lcNet) << "Hazard report stored, but its answer does not decode";
        const QJsonValue msg = json.value(QLatin1String("msg"));
        message = msg.isString() ? msg.toString() : QString();
    }
    closeWith(message);
}

void SHazardDescriptorView::closeWith(const QString &message)
{
    m_draft.finish();
    m_navigateToContentView = true;
    m_isLoading = false;
    emit changed();
    m_alert.show(message);
}

void SHazardDescriptorView::refused(const QString &message)
{
    m_isLoading = false;
    m_alert.show(message);
}

void SHazardDescriptorView::setOutbox(Outbox *outbox)
{
    m_filing.setOutbox(outbox);
}

void SHazardDescriptorView::alertAcknowledged()
{
    if (m_navigateToContentView)
        emit closeRequested();
}

bool SHazardDescriptorView::isFilledIn() const
{
    return m_photos.photos().count() > 0 || !m_descriptionText.isEmpty();
}

void SHazardDescriptorView::goBack()
{
    if (!canGoBack())
        return;
    m_discardGuard.leave(isFilledIn() && !m_navigateToContentView);
}

std::optional<FormDraft::Snapshot> SHazardDescriptorView::snapshot() const
{
    if (!isFilledIn())
        return std::nullopt;
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
                               {{QStringLiteral("photos"), m_photos.photos().images()}}};
}

void SHazardDescriptorView::restore(const QJsonObject &fields,
                                    const QMap<QString, QList<QImage>> &photos)
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
    for (const QImage &photo : photos.value(QStringLiteral("photos")))
        m_photos.selectedImages()->append(photo);
    emit changed();
}

} // namespace orvelle
