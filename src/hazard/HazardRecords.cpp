#include "HazardRecords.h"

namespace orvelle {

void PlaceCheckitem::read(JsonRecordReader &r)
{
    r.text("place", place);
}

std::optional<PlacedData> PlacedData::decode(const QJsonObject &json)
{
    JsonRecordReader r(json);
    PlacedData d;
    r.lenientList("checkitems", d.checkitems);
    r.integer("code", d.code);
    r.text("db", d.db);
    r.text("dbVw", d.dbVw);
    r.text("msg", d.msg);
    r.text("server", d.server);
    return r.finish(std::move(d));
}

SHDCheckItem SHDCheckItem::forReport(const QString &description,
                                     const std::optional<QString> &level,
                                     const std::optional<QString> &primaryType,
                                     const std::optional<QString> &secondaryType)
{
    SHDCheckItem item;
    item.projectitem = description;
    item.distription = description;
    item.yhlevel = level.value_or(QString());
    item.yhtype = primaryType.value_or(QString());
    item.yhtypes = secondaryType.value_or(QString());
    return item;
}

QJsonObject SHDCheckItem::toJson() const
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("projectitem"), projectitem},
            {QStringLiteral("yhlevel"), yhlevel},
            {QStringLiteral("yhtype"), yhtype},
            {QStringLiteral("yhtypes"), yhtypes},
            {QStringLiteral("isapprove"), isapprove},
            {QStringLiteral("distription"), distription}};
}

std::optional<SHazardDescriptorModel> SHazardDescriptorModel::decode(const QJsonObject &json)
{
    JsonRecordReader r(json);
    SHazardDescriptorModel m;
    r.integer("code", m.code);
    r.text("db", m.db);
    r.text("docid", m.docid);
    r.text("frmno", m.frmno);
    r.text("msg", m.msg);
    r.text("server", m.server);
    return r.finish(std::move(m));
}

} // namespace orvelle
