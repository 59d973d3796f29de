#pragma once

#include "core/JsonRecordReader.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The answers of the hazard operations and the one check item of a report,
// under the service's wire keys.
namespace orvelle {

struct PlaceCheckitem
{
    std::optional<QString> place;
    void read(JsonRecordReader &r);
    static std::optional<PlaceCheckitem> decode(const QJsonObject &json)
    {
        return readRecord<PlaceCheckitem>(json);
    }
};

// "/notes/notesStandardPlace"
struct PlacedData
{
    std::optional<QList<PlaceCheckitem>> checkitems;
    std::optional<qint64> code;
    std::optional<QString> db, dbVw, msg, server;
    static std::optional<PlacedData> decode(const QJsonObject &json);
};

// The check item that carries a report's classification. The description is
// sent twice, as the item's text and as its description.
struct SHDCheckItem
{
    QString id = QStringLiteral("1");
    QString projectitem;
    QString yhlevel;
    QString yhtype;
    QString yhtypes;
    QString isapprove = QStringLiteral("1");
    QString distription;

    static SHDCheckItem forReport(const QString &description, const std::optional<QString> &level,
                                  const std::optional<QString> &primaryType,
                                  const std::optional<QString> &secondaryType);
    QJsonObject toJson() const;
};

// "/notes/notescreateDanger"
struct SHazardDescriptorModel
{
    std::optional<qint64> code;
    std::optional<QString> db, docid, frmno, msg, server;
    static std::optional<SHazardDescriptorModel> decode(const QJsonObject &json);
};

} // namespace orvelle
