#include "InspectionRecords.h"

#include "core/JsonRecordReader.h"

namespace orvelle {

namespace {
void putText(QJsonObject &object, const char *key, const Text &value)
{
    object.insert(QLatin1String(key), value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null));
}
} // namespace

QString recordErrorMessage()
{
    return QStringLiteral("数据错误!!!");
}

QString noCheckItemsMessage()
{
    return QStringLiteral("没有检查项数据");
}

void Checkitem::read(JsonRecordReader &r)
{
    r.text("id", id);
    r.text("key", key);
    r.text("project", project);
    r.text("qzdept", qzdept);
}

std::optional<TodayInspectionData> TodayInspectionData::decode(const QJsonObject &json)
{
    JsonRecordReader r(json);
    TodayInspectionData d;
    r.lenientList("checkitems", d.checkitems);
    r.integer("code", d.code);
    r.text("db", d.db);
    r.text("dbvw", d.dbvw);
    r.text("msg", d.msg);
    r.text("server", d.server);
    return r.finish(std::move(d));
}

void OnCheckitem::read(JsonRecordReader &r)
{
    r.requiredText("id", id);
    r.text("projectitem", projectitem);
    r.text("yhtype", yhtype);
    r.text("yhtypes", yhtypes);
    r.text("yhlevel", yhlevel);
}

std::optional<OnInspectionDetaildData> OnInspectionDetaildData::decode(const QJsonObject &json)
{
    JsonRecordReader r(json);
    OnInspectionDetaildData d;
    r.text("checkdept", d.checkdept);
    r.lenientList("checkitems", d.checkitems);
    r.text("checkname", d.checkname);
    r.text("checkpl", d.checkpl);
    r.integer("code", d.code);
    r.text("key", d.key);
    r.text("msg", d.msg);
    r.text("place", d.place);
    r.integer("rowcount", d.rowcount);
    r.text("yhfrom", d.yhfrom);
    return r.finish(std::move(d));
}

OnXCheckitem OnXCheckitem::fromBlank(const OnCheckitem &item)
{
    OnXCheckitem x;
    x.id = item.id;
    x.projectitem = item.projectitem;
    x.yhtype = item.yhtype;
    x.yhtypes = item.yhtypes;
    x.yhlevel = item.yhlevel;
    x.isapprove = QStringLiteral("");
    x.distription = QStringLiteral("");
    return x;
}

QJsonObject OnXCheckitem::toJson() const
{
    QJsonObject object;
    putText(object, "id", id);
    putText(object, "projectitem", projectitem);
    putText(object, "yhtype", yhtype);
    putText(object, "yhtypes", yhtypes);
    putText(object, "yhlevel", yhlevel);
    putText(object, "isapprove", isapprove);
    putText(object, "distription", distription);
    return object;
}

void DetailCheckitem::read(JsonRecordReader &r)
{
    r.text("checkdate", checkdate);
    r.text("checkname", checkname);
    r.text("checkpeople", checkpeople);
    r.text("frmno", frmno);
    r.text("id", id);
}

std::optional<DetailTodayInspectionDetailData>
DetailTodayInspectionDetailData::decode(const QJsonObject &json)
{
    JsonRecordReader r(json);
    DetailTodayInspectionDetailData d;
    r.lenientList("checkitems", d.checkitems);
    r.integer("code", d.code);
    r.text("db", d.db);
    r.text("dbVw", d.dbVw);
    r.text("msg", d.msg);
    r.text("server", d.server);
    return r.finish(std::move(d));
}

void DetailitemCheckitem::read(JsonRecordReader &r)
{
    r.text("distription", distription);
    r.text("id", id);
    r.text("isapprove", isapprove);
    r.text("projectitem", projectitem);
    r.text("yhlevel", yhlevel);
    r.text("yhtype", yhtype);
    r.text("yhtypes", yhtypes);
}

std::optional<DetailitemTodayData> DetailitemTodayData::decode(const QJsonObject &json)
{
    JsonRecordReader r(json);
    DetailitemTodayData d;
    r.text("checkdept", d.checkdept);
    r.lenientList("checkitems", d.checkitems);
    r.integer("code", d.code);
    r.text("frmno", d.frmno);
    r.text("image", d.image);
    r.text("msg", d.msg);
    r.text("rowcount", d.rowcount);
    return r.finish(std::move(d));
}

std::optional<OnInspectionModel> OnInspectionModel::decode(const QJsonObject &json)
{
    JsonRecordReader r(json);
    OnInspectionModel m;
    r.text("checkdept", m.checkdept);
    r.text("checkname", m.checkname);
    r.integer("code", m.code);
    r.text("db", m.db);
    r.text("docid", m.docid);
    r.text("frmno", m.frmno);
    r.text("msg", m.msg);
    r.text("server", m.server);
    return r.finish(std::move(m));
}

} // namespace orvelle
