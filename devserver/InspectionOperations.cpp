#include "Contract.h"
#include "Operations.h"

namespace orvelle::devserver {

namespace {

using namespace contract;

// "db" and, where the operation has one, "db_vw" must name the Notes
// database and view; "server" is the installation's Notes host, any text.
QString readNotes(Params &params, const char *view)
{
    params.expect("db", notesDatabase);
    if (view)
        params.expect("db_vw", view);
    return params.text("server");
}

QJsonObject listAnswer(const QString &server, const char *view, const char *viewKey,
                       const QJsonArray &rows)
{
    return okAnswer({{QStringLiteral("db"), QLatin1String(notesDatabase)},
                     {QLatin1String(viewKey), QLatin1String(view)},
                     {QStringLiteral("server"), server},
                     {QStringLiteral("checkitems"), rows}});
}

QJsonObject todayCheckPoints(ServiceContext &context, Params &params)
{
    if (auto refused = refuseUnlessSignedIn(context, params, false))
        return *refused;
    const QString server = readNotes(params, views::projectByQzdept);
    const QString qzdept = params.text("qzDept");
    if (auto bad = params.problem())
        return *bad;
    return listAnswer(server, views::projectByQzdept, "dbvw", context.store.checkPoints(qzdept));
}

// Sheets are filed under their check point; the department names the view
// the client reads but does not narrow the list further.
QJsonObject submittedSheets(ServiceContext &context, Params &params)
{
    if (auto refused = refuseUnlessSignedIn(context, params, false))
        return *refused;
    const QString server = readNotes(params, views::todayCheckByQzdept);
    const QString key = params.text("key");
    params.text("qzDept");
    if (auto bad = params.problem())
        return *bad;
    return listAnswer(server, views::todayCheckByQzdept, "dbVw", context.store.sheetsToday(key));
}

QJsonObject oneSheet(ServiceContext &context, Params &params)
{
    if (auto refused = refuseUnlessSignedIn(context, params, false))
        return *refused;
    readNotes(params, views::todayCheckByNo);
    const QString frmno = params.text("frmno");
    if (auto bad = params.problem())
        return *bad;
    Result<QJsonObject> sheet = context.store.sheet(frmno);
    return sheet ? okAnswer(*sheet.value) : refusal(sheet.msg, sheet.code);
}

QJsonObject blankSheet(ServiceContext &context, Params &params)
{
    if (auto refused = refuseUnlessSignedIn(context, params, false))
        return *refused;
    readNotes(params, views::projectByKey);
    const QString key = params.text("key");
    if (auto bad = params.problem())
        return *bad;
    Result<QJsonObject> sheet = context.store.blankSheet(key);
    return sheet ? okAnswer(*sheet.value) : refusal(sheet.msg, sheet.code);
}

QJsonObject standardPlaces(ServiceContext &context, Params &params)
{
    if (auto refused = refuseUnlessSignedIn(context, params, true))
        return *refused;
    const QString server = readNotes(params, views::standardPlace);
    if (auto bad = params.problem())
        return *bad;
    return listAnswer(server, views::standardPlace, "dbVw", context.store.places());
}

// The seven text-or-null fields of each submitted item.
std::optional<QList<SheetItem>> readItems(Params &params, QString *problem)
{
    const QJsonArray array = params.array("checkitems");
    QList<SheetItem> items;
    for (int i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject()) {
            *problem = QStringLiteral("第%1个检查项不是对象").arg(i + 1);
            return std::nullopt;
        }
        const QJsonObject object = array.at(i).toObject();
        SheetItem item;
        const std::pair<const char *, std::optional<QString> SheetItem::*> fields[] = {
            {"id", &SheetItem::id},
            {"projectitem", &SheetItem::projectitem},
            {"yhlevel", &SheetItem::yhlevel},
            {"yhtype", &SheetItem::yhtype},
            {"yhtypes", &SheetItem::yhtypes},
            {"isapprove", &SheetItem::isapprove},
            {"distription", &SheetItem::distription}};
        for (const auto &[key, member] : fields) {
            const QJsonValue value = object.value(QLatin1String(key));
            if (value.isString()) {
                item.*member = value.toString();
            } else if (!value.isNull() && !value.isUndefined()) {
                *problem =
                    QStringLiteral("第%1个检查项的 %2 应为文本").arg(i + 1).arg(QLatin1String(key));
                return std::nullopt;
            }
        }
        items.append(item);
    }
    return items;
}

void readSheetTexts(Params &params, NewSheet &sheet)
{
    sheet.allapprove = params.text("allapprove");
    sheet.checkdept = params.text("checkdept");
    sheet.checkname = params.text("checkname");
    sheet.image = params.text("image");
    sheet.openimageurl = params.text("openimageurl");
    sheet.ou1 = params.text("ou1");
    sheet.ou2 = params.text("ou2");
    sheet.place = params.text("place");
    sheet.username = params.text("username");
    sheet.weather = params.text("weather");
    sheet.yhfrom = params.text("yhfrom");
    sheet.mobile = params.optionalText("mobile").value_or(QString());
}

QJsonObject store(ServiceContext &context, const NewSheet &sheet, QJsonObject answer,
                  const QString &msg)
{
    Result<CreatedSheet> created = context.store.createSheet(sheet);
    if (!created)
        return refusal(created.msg, created.code);
    context.log(QStringLiteral("stored %1 %2 with %3 item(s)")
                    .arg(sheet.hazard ? u"hazard report" : u"check sheet", created.value->frmno)
                    .arg(sheet.items.size()));
    answer.insert(QStringLiteral("db"), QLatin1String(notesDatabase));
    answer.insert(QStringLiteral("docid"), created.value->docid);
    answer.insert(QStringLiteral("frmno"), created.value->frmno);
    answer.insert(QStringLiteral("server"), sheet.server);
    return okAnswer(answer, msg);
}

QJsonObject createSheet(ServiceContext &context, Params &params)
{
    if (auto refused = refuseUnlessSignedIn(context, params, false))
        return *refused;
    NewSheet sheet;
    sheet.server = readNotes(params, nullptr);
    readSheetTexts(params, sheet);
    sheet.checkpl = params.text("checkpl");
    sheet.key = params.text("key");
    const qint64 rowcount = params.integer("rowcount");
    if (auto bad = params.problem())
        return *bad;
    QString problem;
    std::optional<QList<SheetItem>> items = readItems(params, &problem);
    if (!items)
        return refusal(problem);
    if (sheet.allapprove != u"0" && sheet.allapprove != u"1")
        return refusal(QStringLiteral("参数 allapprove 应为 \"0\" 或 \"1\""));
    if (rowcount != items->size())
        return refusal(QStringLiteral("rowcount 与检查项数量不一致"));
    sheet.items = *items;
    sheet.rowcount = QString::number(rowcount);
    return store(context, sheet,
                 {{QStringLiteral("checkdept"), sheet.checkdept},
                  {QStringLiteral("checkname"), sheet.checkname}},
                 QStringLiteral("检查表提交成功"));
}

QJsonObject createDanger(ServiceContext &context, Params &params)
{
    if (auto refused = refuseUnlessSignedIn(context, params, true))
        return *refused;
    NewSheet sheet;
    sheet.hazard = true;
    sheet.server = readNotes(params, nullptr);
    readSheetTexts(params, sheet);
    sheet.rowcount = params.text("rowcount");
    if (auto bad = params.problem())
        return *bad;
    QString problem;
    std::optional<QList<SheetItem>> items = readItems(params, &problem);
    if (!items)
        return refusal(problem);
    if (items->size() != 1 || sheet.rowcount != u"1")
        return refusal(QStringLiteral("隐患登记应有且只有一个检查项"));
    sheet.items = *items;
    return store(context, sheet, {}, QStringLiteral("隐患登记成功"));
}

} // namespace

QList<Operation> inspectionOperations()
{
    using namespace contract::paths;
    return {
        {todayByDept, BodyKind::Json, todayCheckPoints},
        {todayDeptCheck, BodyKind::Json, submittedSheets},
        {todayCheckNo, BodyKind::Json, oneSheet},
        {receiveSheet, BodyKind::Json, devserver::blankSheet},
        {standardPlace, BodyKind::Json, standardPlaces},
        {contract::paths::createSheet, BodyKind::Json, devserver::createSheet},
        {contract::paths::createDanger, BodyKind::Json, devserver::createDanger},
    };
}

} // namespace orvelle::devserver
