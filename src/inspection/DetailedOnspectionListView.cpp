#include "DetailedOnspectionListView.h"

#include "InspectionRules.h"
#include "core/Logging.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"
#include "session/Session.h"

#include <QJsonArray>
#include <utility>

namespace orvelle {

namespace {
const QString photoSeparator = QStringLiteral("----");

// The items of a sheet answer as judgements address them: by place, id and wording.
QJsonArray itemsOf(const QJsonObject &sheet)
{
    QJsonArray items;
    for (const QJsonValue &item : sheet.value(QLatin1String("checkitems")).toArray())
        items.append(QJsonArray{item[QLatin1String("id")], item[QLatin1String("projectitem")]});
    return items;
}
} // namespace

DetailedOnspectionListView::DetailedOnspectionListView(FormServices &services,
                                                       const QStringList &onselectedImages,
                                                       const QString &key, QObject *parent)
    : FormShell(services,
                {QStringLiteral("sheet/") + key,
                 QStringLiteral("已填写的检查内容尚未上传，确定放弃吗？"),
                 PhotoAttachments::noAddTileLimit},
                parent)
    , m_client(services.filing.client)
    , m_notesServer(services.notesServer)
    , m_user(services.filing.session.account())
    , m_onselectedImages(onselectedImages)
    , m_key(key)
    , m_items(this)
    , m_blankSheet(&services.filing.store, m_user.storeKey(), keptBlankSheetName(key))
{
    setRules(this);
    // Every judgement, text and photo is kept until the sheet is filed or let go.
    connect(&m_items, &InspectionItemListModel::itemChanged, this, &FormShell::edited);
    connect(this, &FormShell::closeRequested, this, &DetailedOnspectionListView::finished);
    connect(this, &FormShell::filingChanged, this, &DetailedOnspectionListView::sheetChanged);
    connect(alert(), &AlertState::acknowledged, this, [this] { setFocusedField({}); });
}

DetailedOnspectionListView::~DetailedOnspectionListView() = default;

void DetailedOnspectionListView::appeared()
{
    if (m_loaded || m_loadRunning)
        return;
    m_loadRunning = true;
    m_loadContext = std::make_unique<QObject>();
    emit sheetChanged();
    m_client.sendJSONRequest(
        endpoints::json::receiveSheet, blankSheetParameters(m_notesServer, m_key),
        m_loadContext.get(),
        [this](const std::optional<QString> &, qint64, const QJsonObject &json) {
            sheetArrived(json);
        },
        [this](qint64 code, const QString &message) { sheetFailed(code, message); });
}

void DetailedOnspectionListView::sheetArrived(const QJsonObject &json)
{
    // A restored draft brought its own sheet meanwhile: the fresh one
    // replaces it only where the judgements still fit.
    if (m_loaded) {
        m_loadRunning = false;
        if (itemsOf(json) == itemsOf(m_sheetAnswer)) {
            takeHeader(json);
            m_blankSheet.keep(json);
            emit edited();
        }
        return;
    }
    QString problem;
    if (!takeSheet(json, &problem))
        return loadFailed(problem);
    m_blankSheet.keep(json);
    m_loadRunning = false;
    emit sheetChanged();
}

void DetailedOnspectionListView::sheetFailed(qint64 code, const QString &message)
{
    // A restored draft brought its own sheet meanwhile: it stays in view.
    if (m_loaded) {
        m_loadRunning = false;
        return;
    }
    // Out of reach: the sheet as it was last loaded can be filled in.
    QString problem;
    if (const auto kept = m_blankSheet.instead(code); kept && takeSheet(kept->answer, &problem)) {
        m_loadRunning = false;
        return emit sheetChanged();
    }
    loadFailed(message);
}

void DetailedOnspectionListView::loadFailed(const QString &message)
{
    m_loadRunning = false;
    m_errorMessage = message;
    emit sheetChanged();
}

ListState::Value DetailedOnspectionListView::listState() const
{
    if (m_loaded)
        return m_items.count() == 0 ? ListState::Empty : ListState::Ready;
    return m_errorMessage && !m_loadRunning ? ListState::Failed : ListState::Loading;
}

void DetailedOnspectionListView::upload()
{
    // Only a sheet that was loaded is filed.
    if (!canUpload())
        return;
    // With the on-site photo there, the judgements are read afresh.
    if (!m_onselectedImages.isEmpty()) {
        setFocusedField({});
        m_allapprove = allapproveOf(checkitemOnXs());
        emit sheetChanged();
    }
    file();
}

QString DetailedOnspectionListView::validate() const
{
    if (m_onselectedImages.isEmpty())
        return QStringLiteral("请拍照上传隐患位置照片");
    const QList<OnXCheckitem> items = checkitemOnXs();
    if (hasUnjudged(items))
        return QStringLiteral("有项目未检查完成，请检查完成在上传");
    if (allapproveOf(items) == QStringLiteral("0") && photos()->photos().count() == 0)
        return QStringLiteral("有不合格的项目请上传照片");
    return {};
}

Submission DetailedOnspectionListView::submission() const
{
    return {QStringLiteral("sheet/") + m_key,
            QStringLiteral("sheet"),
            m_sheet.checkname.value_or(m_key),
            endpoints::json::createSheet,
            recordParameters(),
            {{QStringLiteral("openimageurl"), QStringLiteral("onsite"), photoSeparator},
             {QStringLiteral("image"), QStringLiteral("added"), photoSeparator}},
            todaySheetsParameters(m_notesServer, m_key, m_user)};
}

QJsonObject DetailedOnspectionListView::recordParameters() const
{
    const auto text = [](const std::optional<QString> &value) { return value.value_or(QString()); };
    const QList<OnXCheckitem> judged = checkitemOnXs();
    QJsonArray items;
    for (const OnXCheckitem &item : judged)
        items.append(item.toJson());
    return QJsonObject{
        {QStringLiteral("allapprove"), allapproveOf(judged)},
        {QStringLiteral("checkdept"), text(m_sheet.checkdept)},
        {QStringLiteral("checkname"), text(m_sheet.checkname)},
        {QStringLiteral("checkpl"), text(m_sheet.checkpl)},
        {QStringLiteral("db"), endpoints::notesDatabase},
        // Without the sheet's own key it would be filed under no check point.
        {QStringLiteral("key"), m_sheet.key.value_or(m_key)},
        {QStringLiteral("ou1"), text(m_user.ou1())},
        {QStringLiteral("ou2"), text(m_user.ou2())},
        {QStringLiteral("place"), QString()},
        {QStringLiteral("username"), text(m_user.username())},
        {QStringLiteral("rowcount"), m_sheet.rowcount.value_or(0)},
        {QStringLiteral("server"), m_notesServer},
        {QStringLiteral("weather"), QStringLiteral("晴")},
        {QStringLiteral("yhfrom"), text(m_sheet.yhfrom)},
        {QStringLiteral("checkitems"), items},
    };
}

bool DetailedOnspectionListView::isFilledIn() const
{
    return photos()->photos().count() > 0 || m_items.isTouched();
}

bool DetailedOnspectionListView::takeSheet(const QJsonObject &json, QString *problem)
{
    auto record = decodeRecord<OnInspectionDetaildData>(json);
    if (!record || !record->checkitems) {
        *problem = record ? noCheckItemsMessage() : recordErrorMessage();
        return false;
    }
    m_loaded = true;
    m_errorMessage.reset();
    m_sheet = std::move(*record);
    m_sheetAnswer = json;
    m_items.reset(*m_sheet.checkitems);
    return true;
}

std::optional<FormDraft::Snapshot> DetailedOnspectionListView::snapshot() const
{
    if (!m_loaded)
        return std::nullopt;
    QJsonArray items;
    for (const OnXCheckitem &item : checkitemOnXs())
        items.append(
            QJsonObject{{QStringLiteral("isapprove"), item.isapprove.value_or(QString())},
                        {QStringLiteral("distription"), item.distription.value_or(QString())}});
    return FormDraft::Snapshot{
        {{QStringLiteral("sheet"), m_sheetAnswer}, {QStringLiteral("items"), items}},
        {{QStringLiteral("onsite"), m_onselectedImages},
         {QStringLiteral("added"), photos()->photos().hashes()}}};
}

bool DetailedOnspectionListView::takeHeader(const QJsonObject &json)
{
    auto record = decodeRecord<OnInspectionDetaildData>(json);
    if (!record)
        return false;
    m_sheet = std::move(*record);
    m_sheetAnswer = json;
    return true;
}

void DetailedOnspectionListView::restore(const QJsonObject &fields, const PhotoGroups &photos)
{
    // The sheet loaded just now is kept when the draft's judgements fit its
    // items; otherwise the draft's sheet, which they were made on.
    const QJsonObject kept = fields.value(QLatin1String("sheet")).toObject();
    QString problem;
    if (m_loaded && m_sheet.checkitems && itemsOf(m_sheetAnswer) == itemsOf(kept)) {
        m_items.reset(*m_sheet.checkitems);
    } else if (!takeSheet(kept, &problem)) {
        qCDebug(lcStore) << "draft sheet not restored:" << problem;
        return;
    }
    m_loadRunning = false;
    restoreItems(fields.value(QLatin1String("items")).toArray());
    // The photo just taken proves today's visit; the draft's only stands in
    // when none was taken.
    if (m_onselectedImages.isEmpty())
        m_onselectedImages = photos.value(QStringLiteral("onsite"));
    this->photos()->restore(photos.value(QStringLiteral("added")));
    emit sheetChanged();
}

void DetailedOnspectionListView::restoreItems(const QJsonArray &items)
{
    for (int row = 0; row < std::min(int(items.size()), m_items.count()); ++row) {
        const QJsonObject state = items.at(row).toObject();
        const QString isapprove = state.value(QLatin1String("isapprove")).toString();
        const QString text = state.value(QLatin1String("distription")).toString();
        if (isapprove.isEmpty() && text.isEmpty())
            continue;
        InspectionItemView *item = m_items.at(row);
        if (isapprove == QStringLiteral("0"))
            item->qualify();
        else if (isapprove == QStringLiteral("1"))
            item->disqualify();
        item->setInputText(text);
    }
}

} // namespace orvelle
