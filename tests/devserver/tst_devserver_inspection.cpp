#include "DevServerFixture.h"
#include "support/TestData.h"

#include <QJsonArray>
#include <QtTest>

using orvelle::test::addRows;
using orvelle::test::testJson;

namespace {

const QString mine = QStringLiteral("岚石水泥/矿山分厂");

} // namespace

// Today's check points, blank sheets, places, and what a submitted sheet or
// hazard report leaves in the review lists. The end-to-end road takes the
// client's own sheet and report, with their photos, through the same road.
class TestDevServerInspection : public DevServerTest
{
    Q_OBJECT

private slots:
    void checkPointsOfEachDepartment_data()
    {
        QTest::addColumn<QString>("dept");
        QTest::newRow("mine") << mine;
        QTest::newRow("clinker") << QStringLiteral("岚石水泥/熟料分厂");
        QTest::newRow("a guest's, none") << QStringLiteral("/");
    }

    void checkPointsOfEachDepartment()
    {
        QFETCH(QString, dept);
        const auto reply =
            call("/notes/notestodayqzDeptKs", {{"db_vw", "vw-ProjectByQzdept"}, {"qzDept", dept}});
        QCOMPARE(reply.code(), 1);
        QCOMPARE(reply.json.value("dbvw").toString(), QStringLiteral("vw-ProjectByQzdept"));
        const QJsonArray points = reply.json.value("checkitems").toArray();
        QCOMPARE(points.size() >= 5, dept != "/");
        for (const QJsonValue &point : points) {
            for (const char *key : {"id", "key", "project", "qzdept"})
                QVERIFY2(point[QLatin1String(key)].isString(), key);
            QCOMPARE(point["qzdept"].toString(), dept);

            const QJsonObject sheet = blankSheet(point["key"].toString());
            QCOMPARE(sheet.value("code").toInt(), 1);
            QCOMPARE(sheet.value("key"), point["key"]);
            QVERIFY(sheet.value("rowcount").isDouble());
            const QJsonArray items = sheet.value("checkitems").toArray();
            QCOMPARE(sheet.value("rowcount").toInt(), items.size());
            QVERIFY(items.size() >= 3 && items.size() <= 8);
            for (const QJsonValue &item : items)
                for (const char *key : {"id", "projectitem", "yhtype", "yhtypes", "yhlevel"})
                    QVERIFY2(item[QLatin1String(key)].isString(), key);
            for (const char *key : {"checkdept", "checkname", "checkpl", "place", "yhfrom"})
                QVERIFY2(sheet.value(QLatin1String(key)).isString(), key);
        }
    }

    void notesNamesAreChecked_data() { addRows(QStringLiteral("devserver/notes-names.json")); }

    void notesNamesAreChecked()
    {
        QFETCH(QJsonObject, row);
        const auto reply = call(row["path"].toString().toStdString(), row["params"].toObject());
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.code(), 0);
        QVERIFY(!reply.msg().isEmpty());
    }

    void tokenRulesByOperation()
    {
        const QJsonObject guest{{"mobile", "游客"}, {"token", "left-over"}};
        for (const char *path :
             {"/notes/notestodayqzDeptKs", "/notes/notestodayqzDeptCheck",
              "/notes/notestodayCheckNo", "/notes/notesreceiveKs", "/notes/notescreate"})
            QVERIFY2(fixture->postJson(path, guest).code() == 9, path);
        QCOMPARE(fixture->postJson("/notes/notescreateDanger", {{"mobile", "13800000001"}}).code(),
                 9);

        const QJsonObject places{{"db", "QMDB/gongan/SafetyCheck.nsf"},
                                 {"db_vw", "vw-StandardPlace"},
                                 {"server", "S"},
                                 {"mobile", "游客"}};
        const auto reply = fixture->postJson("/notes/notesStandardPlace", places);
        QCOMPARE(reply.code(), 1);
        QCOMPARE(reply.json.value("dbVw").toString(), QStringLiteral("vw-StandardPlace"));
        const QJsonArray list = reply.json.value("checkitems").toArray();
        QVERIFY(!list.isEmpty());
        QVERIFY(list.first()["place"].isString());
    }

    // Listed today under its check point only, stored as it was sent.
    void submittedSheetIsListedTodayAtItsCheckPoint()
    {
        QJsonArray items = itemsOf(blankSheet("KS-02"));
        QJsonObject unqualified = items.at(1).toObject();
        unqualified["isapprove"] = "1";
        unqualified["distription"] = "急停按钮失灵";
        unqualified["projectitem"] = QJsonValue::Null;
        items[1] = unqualified;
        QJsonObject sheet = sheetOf(blankSheet("KS-02"), items);
        sheet["allapprove"] = "0";
        const auto created = call("/notes/notescreate", sheet);
        QCOMPARE(created.code(), 1);
        QVERIFY(!created.msg().isEmpty());
        const QString frmno = created.json.value("frmno").toString();
        QVERIFY(!frmno.isEmpty());
        QVERIFY(created.json.value("docid").isString());

        const QJsonArray rows = reviewList("KS-02");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["frmno"].toString(), frmno);
        QCOMPARE(rows[0]["checkname"], sheet.value("checkname"));
        QCOMPARE(rows[0]["checkpeople"].toString(), QStringLiteral("zhangwei"));
        QCOMPARE(rows[0]["checkdate"].toString(), QStringLiteral("2026-06-01 09:30:00"));

        const auto stored = byNumber(frmno);
        QCOMPARE(stored.code(), 1);
        QCOMPARE(stored.json.value("checkitems").toArray(), items);
        QCOMPARE(stored.json.value("rowcount"), QJsonValue(QString::number(items.size())));

        // Another check point and another day list nothing.
        QCOMPARE(reviewList("KS-01").size(), 0);
        fixture->advance(24LL * 3600 * 1000);
        token = fixture->signIn("zhangwei", "orvelle1");
        QCOMPARE(reviewList("KS-02").size(), 0);
    }

    void refusedSheetsStoreNothing_data()
    {
        addRows(QStringLiteral("devserver/refused-sheets.json"));
    }

    void refusedSheetsStoreNothing()
    {
        QFETCH(QJsonObject, row);
        const QJsonObject blank = blankSheet("KS-01");
        QJsonObject sheet = sheetOf(blank, itemsOf(blank));
        sheet[row["field"].toString()] = row["value"];
        const auto refused = call("/notes/notescreate", sheet);
        QCOMPARE(refused.code(), 0);
        QVERIFY(!refused.msg().isEmpty());
        QCOMPARE(reviewList("KS-01").size(), 0);
    }

    void guestHazardReportIsStored()
    {
        const auto photo = fixture->upload(fakeJpeg("hazard"));
        QVERIFY(photo.json.value("success").toBool());
        QJsonObject report = testJson(QStringLiteral("devserver/hazard-report.json")).toObject();
        report["image"] = "http://" + photo.json.value("httpUrl").toString();
        QJsonObject numeric = report;
        numeric["rowcount"] = 1;
        QCOMPARE(fixture->postJson("/notes/notescreateDanger", numeric).msg(),
                 QStringLiteral("参数 rowcount 应为文本"));

        const auto created = fixture->postJson("/notes/notescreateDanger", report);
        QCOMPARE(created.code(), 1);
        const auto stored = byNumber(created.json.value("frmno").toString());
        QCOMPARE(stored.json.value("checkitems"), report.value("checkitems"));
        QCOMPARE(stored.json.value("image"), report.value("image"));
        QCOMPARE(stored.json.value("checkdept").toString(), QStringLiteral("/"));
    }

    void fileStoreRefusesWhatIsNotAPhoto()
    {
        QCOMPARE(fixture->upload(fakeJpeg("x"), "photo").json.value("success").toBool(true), false);
        QCOMPARE(fixture->upload("plain text").json.value("success").toBool(true), false);
        const auto notMultipart = fixture->postRaw("/fastdfs/fastdfs/upload/file/sample", "file=1",
                                                   "application/x-www-form-urlencoded");
        QCOMPARE(notMultipart.json.value("success").toBool(true), false);
        const QString http = fixture->host() + ":50080";
        QCOMPARE(fixture->fetch(http + "/group1/M00/00/none.jpg").status, 404);
        QCOMPARE(fixture->fetch(http + "/group1/M00/../tls/ca-key.pem").status, 404);
        QVERIFY(fixture->fetch(http + "/site/").body.find("<html") != std::string::npos);
        QCOMPARE(fixture->fetch(http + "/notice/1").status, 200);

        // What the store took comes back as it was sent.
        const auto stored = fixture->upload(fakeJpeg("on site"));
        QCOMPARE(fixture->fetch(stored.json.value("httpUrl").toString()).body, fakeJpeg("on site"));
    }

private:
    QJsonObject blankSheet(const QString &key)
    {
        return call("/notes/notesreceiveKs", {{"db_vw", "vw-ProjectByKey"}, {"key", key}}).json;
    }

    DevServerFixture::Reply byNumber(const QString &frmno)
    {
        return call("/notes/notestodayCheckNo",
                    {{"db_vw", "vw-ByTodayCheckByNo"}, {"frmno", frmno}});
    }

    // Today's review list of a check point in the mine.
    QJsonArray reviewList(const char *key)
    {
        return call("/notes/notestodayqzDeptCheck",
                    {{"db_vw", "vw-ByTodayCheckByQzdeptForApp"}, {"key", key}, {"qzDept", mine}})
            .json.value("checkitems")
            .toArray();
    }

    // Every item of a blank sheet, found qualified.
    static QJsonArray itemsOf(const QJsonObject &blank)
    {
        QJsonArray items;
        for (const QJsonValue &item : blank.value("checkitems").toArray())
            items.append(QJsonObject{{"id", item["id"]},
                                     {"projectitem", item["projectitem"]},
                                     {"yhlevel", item["yhlevel"]},
                                     {"yhtype", item["yhtype"]},
                                     {"yhtypes", item["yhtypes"]},
                                     {"isapprove", "0"},
                                     {"distription", ""}});
        return items;
    }

    static QJsonObject sheetOf(const QJsonObject &blank, const QJsonArray &items)
    {
        QJsonObject sheet = testJson(QStringLiteral("devserver/sheet.json")).toObject();
        for (const char *key : {"checkdept", "checkname", "checkpl", "key", "yhfrom"})
            sheet[QLatin1String(key)] = blank.value(QLatin1String(key));
        sheet["rowcount"] = items.size();
        sheet["checkitems"] = items;
        return sheet;
    }
};

QTEST_GUILESS_MAIN(TestDevServerInspection)
#include "tst_devserver_inspection.moc"
