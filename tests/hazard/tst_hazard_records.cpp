#include "hazard/HazardRecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace orvelle;

namespace {
QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}
} // namespace

class TestHazardRecords : public QObject
{
    Q_OBJECT

private slots:
    void standardPlaces()
    {
        auto places = decodeRecord<PlacedData>(
            parse(R"({"code":1,"dbVw":"vw-StandardPlace","checkitems":[{"place":"一号窑"},{}]})"));
        QVERIFY(places && places->checkitems);
        QCOMPARE(places->checkitems->size(), 2);
        QCOMPARE(places->checkitems->at(0).place, QStringLiteral("一号窑"));
        QCOMPARE(places->checkitems->at(1).place, std::nullopt);

        // A list that cannot be read is absent; the record still decodes.
        for (const char *json : {R"({"checkitems":{}})", R"({"checkitems":["一号窑"]})",
                                 R"({"checkitems":[{"place":3}]})"}) {
            auto record = decodeRecord<PlacedData>(parse(json));
            QVERIFY2(record && !record->checkitems, json);
        }
        for (const char *json : {R"({"code":"1"})", R"({"dbVw":1})", R"({"server":false})"})
            QVERIFY2(!decodeRecord<PlacedData>(parse(json)), json);
    }

    void reportItemAndAnswer()
    {
        const QJsonObject item =
            SHDCheckItem::forReport(QStringLiteral("皮带跑偏"), QStringLiteral("一般隐患"),
                                    std::nullopt, QStringLiteral("机械"))
                .toJson();
        const QJsonObject expected = parse(R"({"id":"1","projectitem":"皮带跑偏",
            "yhlevel":"一般隐患","yhtype":"","yhtypes":"机械","isapprove":"1",
            "distription":"皮带跑偏"})");
        QCOMPARE(item, expected);

        auto answer = decodeRecord<SHazardDescriptorModel>(parse(R"({"code":1,"msg":"提交成功"})"));
        QVERIFY(answer);
        QCOMPARE(answer->msg, QStringLiteral("提交成功"));
        QVERIFY(!decodeRecord<SHazardDescriptorModel>(parse(R"({"code":1,"msg":7})")));
        QVERIFY(!decodeRecord<SHazardDescriptorModel>(parse(R"({"code":"1"})")));
    }
};

QTEST_GUILESS_MAIN(TestHazardRecords)
#include "tst_hazard_records.moc"
