#include "inspection/InspectionRecords.h"

#include <QJsonDocument>
#include <QTest>

using namespace orvelle;

namespace {
QJsonObject parse(const char *json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("test JSON does not parse: %s", json);
    return document.object();
}
} // namespace

// The answers of the inspection service under their typing rules, each
// record from an answer as the service sends it, every field filled.
class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void todayCheckPoints()
    {
        auto today = decodeRecord<TodayInspectionData>(parse(
            R"({"code":1,"msg":"成功","db":"QMDB/gongan/SafetyCheck.nsf","dbvw":"vw-ProjectByQzdept",
                "server":"Notes01/LS","checkitems":[{"id":"7","key":"K-1","project":"破碎机",
                "qzdept":"岚石水泥/矿山分厂"},{"id":"8"}]})"));
        QVERIFY(today && today->checkitems);
        QCOMPARE(today->code, 1);
        QCOMPARE(today->dbvw, QStringLiteral("vw-ProjectByQzdept"));
        QCOMPARE(today->checkitems->size(), 2);
        QCOMPARE(today->checkitems->at(0).key, QStringLiteral("K-1"));
        QCOMPARE(today->checkitems->at(0).project, QStringLiteral("破碎机"));
        QCOMPARE(today->checkitems->at(0).qzdept, QStringLiteral("岚石水泥/矿山分厂"));
        QCOMPARE(today->checkitems->at(1).qzdept, std::nullopt);

        auto bare = decodeRecord<TodayInspectionData>(parse(R"({"code":1})"));
        QVERIFY(bare);
        QCOMPARE(bare->checkitems, std::nullopt);
        auto empty = decodeRecord<TodayInspectionData>(parse(R"({"code":1,"checkitems":[]})"));
        QVERIFY(empty && empty->checkitems && empty->checkitems->isEmpty());

        // A faulty list is absent, not a failure.
        for (const char *json :
             {R"({"code":1,"checkitems":"none"})", R"({"code":1,"checkitems":null})",
              R"({"code":1,"checkitems":[{"key":"a"}, 5]})",
              R"({"code":1,"checkitems":[{"key":"a"},{"key":7}]})"}) {
            auto record = decodeRecord<TodayInspectionData>(parse(json));
            QVERIFY2(record, json);
            QVERIFY2(!record->checkitems, json);
        }
    }

    void wronglyTypedScalarsFailTheRecord()
    {
        for (const char *json :
             {R"({"code":"1"})", R"({"code":1.5})", R"({"code":true})", R"({"code":1e30})",
              R"({"code":1,"msg":3})", R"({"code":1,"server":[]})"}) {
            QVERIFY2(!decodeRecord<TodayInspectionData>(parse(json)), json);
        }
        // Null is absent, and a whole number may be written with a point.
        auto record = decodeRecord<TodayInspectionData>(parse(R"({"code":1.0,"msg":null})"));
        QVERIFY(record);
        QCOMPARE(record->code, 1);
        QCOMPARE(record->msg, std::nullopt);
        // 64-bit values arrive exactly.
        auto big = decodeRecord<OnInspectionModel>(parse(R"({"code":9007199254740993})"));
        QVERIFY(big);
        QCOMPARE(big->code, Q_INT64_C(9007199254740993));
        // Keys the record does not name are ignored.
        QVERIFY(decodeRecord<OnInspectionModel>(parse(R"({"code":1,"extra":{"a":[1]}})")));

        auto created = decodeRecord<OnInspectionModel>(
            parse(R"({"code":1,"msg":"提交成功","checkdept":"安全部","checkname":"日检表",
                      "db":"d","docid":"D-77","frmno":"F-2","server":"s"})"));
        QVERIFY(created);
        QCOMPARE(created->docid, QStringLiteral("D-77"));
        QCOMPARE(created->msg, QStringLiteral("提交成功"));
    }

    void blankSheetNeedsItemIds()
    {
        auto sheet = decodeRecord<OnInspectionDetaildData>(parse(
            R"({"code":1,"checkname":"日检","key":"K-1","rowcount":2,
                "checkitems":[{"id":"1","projectitem":"皮带"},{"projectitem":"电机"}]})"));
        QVERIFY(sheet);
        QCOMPARE(sheet->checkitems, std::nullopt);
        QCOMPARE(sheet->checkname, QStringLiteral("日检"));
        QCOMPARE(sheet->key, QStringLiteral("K-1"));
        QCOMPARE(sheet->rowcount, 2);
        auto numericId =
            decodeRecord<OnInspectionDetaildData>(parse(R"({"checkitems":[{"id":1}]})"));
        QVERIFY(numericId);
        QCOMPARE(numericId->checkitems, std::nullopt);

        auto good = decodeRecord<OnInspectionDetaildData>(parse(
            R"({"code":1,"msg":"成功","checkdept":"安全部","checkname":"日检表","checkpl":"PL-1",
                "key":"K-1","place":"一号线","rowcount":1,"yhfrom":"日常检查",
                "checkitems":[{"id":"1","projectitem":"护栏","yhtype":"设备","yhtypes":"防护",
                "yhlevel":"一般隐患"},{"id":"2"}]})"));
        QVERIFY(good && good->checkitems);
        QCOMPARE(good->checkitems->size(), 2);
        QCOMPARE(good->place, QStringLiteral("一号线"));
        QCOMPARE(good->yhfrom, QStringLiteral("日常检查"));
        QCOMPARE(good->checkitems->at(0).yhtypes, QStringLiteral("防护"));
        QCOMPARE(good->checkitems->at(0).yhlevel, QStringLiteral("一般隐患"));
    }

    void submittedSheetAndItsList()
    {
        // "rowcount" is text in the submitted sheet and an integer in the blank one.
        const QJsonObject answer = parse(R"({"code":1,"rowcount":"3"})");
        auto submitted = decodeRecord<DetailitemTodayData>(answer);
        QVERIFY(submitted);
        QCOMPARE(submitted->rowcount, QStringLiteral("3"));
        QVERIFY(!decodeRecord<OnInspectionDetaildData>(answer));

        auto numberItem = decodeRecord<DetailitemTodayData>(
            parse(R"({"code":1,"image":"a----b","checkitems":[{"projectitem":5}]})"));
        QVERIFY(numberItem);
        QCOMPARE(numberItem->checkitems, std::nullopt);
        QCOMPARE(numberItem->image, QStringLiteral("a----b"));

        auto sheet = decodeRecord<DetailitemTodayData>(parse(
            R"({"code":1,"msg":"成功","checkdept":"安全部","frmno":"F-1","rowcount":"1",
                "image":"a----b","checkitems":[{"id":"1","projectitem":"护栏","isapprove":"1",
                "distription":"松动","yhlevel":"一般隐患","yhtype":"设备","yhtypes":"防护"}]})"));
        QVERIFY(sheet);
        QCOMPARE(sheet->checkitems->at(0).distription, QStringLiteral("松动"));
        QCOMPARE(sheet->frmno, QStringLiteral("F-1"));

        // The list of a check point's sheets spells its view key "dbVw".
        auto sheets = decodeRecord<DetailTodayInspectionDetailData>(parse(
            R"({"code":1,"msg":"成功","db":"d","dbVw":"v","dbvw":5,"server":"s","checkitems":[
                {"id":"9","frmno":"F-1","checkname":"日检表","checkdate":"2026-12-07 08:30",
                "checkpeople":"张伟"}]})"));
        QVERIFY(sheets);
        QCOMPARE(sheets->dbVw, QStringLiteral("v"));
        QCOMPARE(sheets->checkitems->at(0).frmno, QStringLiteral("F-1"));
        QCOMPARE(sheets->checkitems->at(0).checkdate, QStringLiteral("2026-12-07 08:30"));
    }

    void filledItemIsSentWithAllSevenKeys()
    {
        OnCheckitem blank;
        blank.id = QStringLiteral("3");
        blank.projectitem = QStringLiteral("护栏");
        const QJsonObject fresh = OnXCheckitem::fromBlank(blank).toJson();
        QVERIFY(fresh.value("isapprove").isString());
        QCOMPARE(fresh.value("isapprove").toString(), QString());
        OnXCheckitem item = OnXCheckitem::fromBlank(blank);
        item.isapprove = QStringLiteral("1");
        item.distription = QStringLiteral("松动");
        const QJsonObject json = item.toJson();
        QCOMPARE(json.size(), 7);
        QCOMPARE(json.value("id").toString(), QStringLiteral("3"));
        QCOMPARE(json.value("isapprove").toString(), QStringLiteral("1"));
        QVERIFY(json.value("yhtype").isNull());
        QCOMPARE(json.value("distription").toString(), QStringLiteral("松动"));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
