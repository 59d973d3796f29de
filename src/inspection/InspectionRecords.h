#pragma once

#include "core/JsonRecordReader.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The answers of the inspection service, field for field under their wire
// keys (spellings such as "dbvw"/"dbVw" and "distription" are the service's).
// Every field is optional; decode() fails the whole record on a wrongly typed
// value, while a faulty "checkitems" list only leaves that list absent.
namespace orvelle {

using Text = std::optional<QString>;
using Integer = std::optional<qint64>;

// What a screen shows when an answer does not decode, with code -1.
inline constexpr int recordErrorCode = -1;
QString recordErrorMessage(); // "数据错误!!!"
// What a screen shows instead of a list when "checkitems" is absent.
QString noCheckItemsMessage(); // "没有检查项数据"

struct Checkitem
{
    Text id, key, project, qzdept;
    void read(JsonRecordReader &r);
    static std::optional<Checkitem> decode(const QJsonObject &json)
    {
        return readRecord<Checkitem>(json);
    }
};

// "/notes/notestodayqzDeptKs"
struct TodayInspectionData
{
    std::optional<QList<Checkitem>> checkitems;
    Integer code;
    Text db, dbvw, msg, server;
    static std::optional<TodayInspectionData> decode(const QJsonObject &json);
};

struct OnCheckitem
{
    Text id; // required
    Text projectitem, yhtype, yhtypes, yhlevel;
    void read(JsonRecordReader &r);
    static std::optional<OnCheckitem> decode(const QJsonObject &json)
    {
        return readRecord<OnCheckitem>(json);
    }
};

// "/notes/notesreceiveKs": the blank sheet of a check point.
struct OnInspectionDetaildData
{
    Text checkdept;
    std::optional<QList<OnCheckitem>> checkitems;
    Text checkname, checkpl;
    Integer code;
    Text key, msg, place;
    Integer rowcount;
    Text yhfrom;
    static std::optional<OnInspectionDetaildData> decode(const QJsonObject &json);
};

// One item while it is judged on site, and as it is submitted.
struct OnXCheckitem
{
    Text id, projectitem, yhtype, yhtypes, yhlevel;
    // "" not judged yet, "0" qualified (合格), "1" unqualified (不合格).
    Text isapprove;
    Text distription;

    static OnXCheckitem fromBlank(const OnCheckitem &item);
    // Always the seven keys; an absent field is sent as null.
    QJsonObject toJson() const;
};

struct DetailCheckitem
{
    Text checkdate, checkname, checkpeople, frmno, id;
    void read(JsonRecordReader &r);
    static std::optional<DetailCheckitem> decode(const QJsonObject &json)
    {
        return readRecord<DetailCheckitem>(json);
    }
};

// "/notes/notestodayqzDeptCheck": the submitted sheets of a check point.
struct DetailTodayInspectionDetailData
{
    std::optional<QList<DetailCheckitem>> checkitems;
    Integer code;
    Text db, dbVw, msg, server;
    static std::optional<DetailTodayInspectionDetailData> decode(const QJsonObject &json);
};

struct DetailitemCheckitem
{
    Text distription, id, isapprove, projectitem, yhlevel, yhtype, yhtypes;
    void read(JsonRecordReader &r);
    static std::optional<DetailitemCheckitem> decode(const QJsonObject &json)
    {
        return readRecord<DetailitemCheckitem>(json);
    }
};

// "/notes/notestodayCheckNo": one submitted sheet.
struct DetailitemTodayData
{
    Text checkdept;
    std::optional<QList<DetailitemCheckitem>> checkitems;
    Integer code;
    Text frmno;
    // Photo addresses joined with "----".
    Text image;
    Text msg;
    Text rowcount; // text here, unlike the blank sheet's
    static std::optional<DetailitemTodayData> decode(const QJsonObject &json);
};

// "/notes/notescreate": the answer to a submitted sheet.
struct OnInspectionModel
{
    Text checkdept, checkname;
    Integer code;
    Text db, docid, frmno, msg, server;
    static std::optional<OnInspectionModel> decode(const QJsonObject &json);
};

} // namespace orvelle
