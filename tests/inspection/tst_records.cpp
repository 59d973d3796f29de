#include "inspection/InspectionRecords.h"
#include "support/TestData.h"

#include <QJsonDocument>
#include <QTest>

using namespace orvelle;
using orvelle::test::recordIn;

namespace {
QJsonObject record(const char *name)
{
    return recordIn(QStringLiteral("inspection/records.json"), QLatin1String(name));
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
        auto today = decodeRecord<TodayInspectionData>(record("today"));
        QVERIFY(today && today->checkitems);
        QCOMPARE(today->code, 1);
        QCOMPARE(today->dbvw, QStringLiteral("vw-ProjectByQzdept"));
        QCOMPARE(today->checkitems->size(), 2);
        QCOMPARE(today->checkitems->at(0).key, QStringLiteral("K-1"));
        QCOMPARE(today->checkitems->at(0).project, QStringLiteral("破碎机"));
        QCOMPARE(today->checkitems->at(0).qzdept, QStringLiteral("岚石水泥/矿山分厂"));
        QCOMPARE(today->checkitems->at(1).qzdept, std::nullopt);

        auto bare = decodeRecord<TodayInspectionData>(record("bare"));
        QVERIFY(bare);
        QCOMPARE(bare->checkitems, std::nullopt);
        auto empty = decodeRecord<TodayInspectionData>(record("empty list"));
        QVERIFY(empty && empty->checkitems && empty->checkitems->isEmpty());
    }

    // A faulty list is absent, not a failure; a wrongly typed scalar fails.
    void faultyListsAndScalars_data()
    {
        orvelle::test::addRows(QStringLiteral("inspection/today-answers.json"));
    }
    void faultyListsAndScalars()
    {
        QFETCH(QJsonObject, row);
        const auto decoded = decodeRecord<TodayInspectionData>(
            QJsonDocument::fromJson(row["answer"].toString().toUtf8()).object());
        QCOMPARE(bool(decoded), row["decodes"].toBool(true));
        if (decoded)
            QVERIFY(!decoded->checkitems);
    }

    void nullPointsLargeNumbersAndUnknownKeys()
    {
        // Null is absent, and a whole number may be written with a point.
        auto pointed = decodeRecord<TodayInspectionData>(record("null and a point"));
        QVERIFY(pointed);
        QCOMPARE(pointed->code, 1);
        QCOMPARE(pointed->msg, std::nullopt);
        // 64-bit values arrive exactly.
        auto big = decodeRecord<OnInspectionModel>(record("64-bit code"));
        QVERIFY(big);
        QCOMPARE(big->code, Q_INT64_C(9007199254740993));
        QVERIFY(decodeRecord<OnInspectionModel>(record("unknown keys")));

        auto created = decodeRecord<OnInspectionModel>(record("created"));
        QVERIFY(created);
        QCOMPARE(created->docid, QStringLiteral("D-77"));
        QCOMPARE(created->msg, QStringLiteral("提交成功"));
    }

    void blankSheetNeedsItemIds()
    {
        auto sheet = decodeRecord<OnInspectionDetaildData>(record("blank without an id"));
        QVERIFY(sheet);
        QCOMPARE(sheet->checkitems, std::nullopt);
        QCOMPARE(sheet->checkname, QStringLiteral("日检"));
        QCOMPARE(sheet->key, QStringLiteral("K-1"));
        QCOMPARE(sheet->rowcount, 2);
        auto numericId = decodeRecord<OnInspectionDetaildData>(record("numeric id"));
        QVERIFY(numericId);
        QCOMPARE(numericId->checkitems, std::nullopt);

        auto good = decodeRecord<OnInspectionDetaildData>(record("blank"));
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
        auto submitted = decodeRecord<DetailitemTodayData>(record("rowcount as text"));
        QVERIFY(submitted);
        QCOMPARE(submitted->rowcount, QStringLiteral("3"));
        QVERIFY(!decodeRecord<OnInspectionDetaildData>(record("rowcount as text")));

        auto numberItem = decodeRecord<DetailitemTodayData>(record("numeric item"));
        QVERIFY(numberItem);
        QCOMPARE(numberItem->checkitems, std::nullopt);
        QCOMPARE(numberItem->image, QStringLiteral("a----b"));

        auto sheet = decodeRecord<DetailitemTodayData>(record("submitted"));
        QVERIFY(sheet);
        QCOMPARE(sheet->checkitems->at(0).distription, QStringLiteral("松动"));
        QCOMPARE(sheet->frmno, QStringLiteral("F-1"));

        // The list of a check point's sheets spells its view key "dbVw".
        auto sheets = decodeRecord<DetailTodayInspectionDetailData>(record("sheets"));
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
