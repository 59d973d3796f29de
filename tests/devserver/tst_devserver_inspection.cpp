#include "DevServerFixture.h"

#include <QJsonArray>
#include <QtTest>

namespace {

const QString db = QStringLiteral("QMDB/gongan/SafetyCheck.nsf");
const QString mine = QStringLiteral("岚石水泥/矿山分厂");
const QString clinker = QStringLiteral("岚石水泥/熟料分厂");

} // namespace

// Today's check points, blank sheets, places, and the road from an uploaded
// photo and a submitted sheet or hazard report back to the review lists.
class TestDevServerInspection : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<DevServerFixture>();
        QString error;
        QVERIFY2(m_fixture->start(&error), qPrintable(error));
        m_token = m_fixture->signIn("zhangwei", "orvelle1");
        QVERIFY(!m_token.isEmpty());
    }
    void cleanup() { m_fixture.reset(); }

    void checkPointsOfEachDepartment()
    {
        for (const QString &dept : {mine, clinker}) {
            const auto reply = call("/notes/notestodayqzDeptKs",
                                    {{"db_vw", "vw-ProjectByQzdept"}, {"qzDept", dept}});
            QCOMPARE(reply.code(), 1);
            QCOMPARE(reply.json.value("dbvw").toString(), QStringLiteral("vw-ProjectByQzdept"));
            const QJsonArray points = reply.json.value("checkitems").toArray();
            QVERIFY(points.size() >= 5);
            for (const QJsonValue &point : points) {
                for (const char *key : {"id", "key", "project", "qzdept"})
                    QVERIFY2(point[QLatin1String(key)].isString(), key);
                QCOMPARE(point["qzdept"].toString(), dept);

                const auto sheet = call("/notes/notesreceiveKs",
                                        {{"db_vw", "vw-ProjectByKey"}, {"key", point["key"]}});
                QCOMPARE(sheet.code(), 1);
                QCOMPARE(sheet.json.value("key"), point["key"]);
                QVERIFY(sheet.json.value("rowcount").isDouble());
                const QJsonArray items = sheet.json.value("checkitems").toArray();
                QCOMPARE(sheet.json.value("rowcount").toInt(), items.size());
                QVERIFY(items.size() >= 3 && items.size() <= 8);
                for (const QJsonValue &item : items)
                    for (const char *key : {"id", "projectitem", "yhtype", "yhtypes", "yhlevel"})
                        QVERIFY2(item[QLatin1String(key)].isString(), key);
                for (const char *key : {"checkdept", "checkname", "checkpl", "place", "yhfrom"})
                    QVERIFY2(sheet.json.value(QLatin1String(key)).isString(), key);
            }
        }
        const auto guestDept =
            call("/notes/notestodayqzDeptKs", {{"db_vw", "vw-ProjectByQzdept"}, {"qzDept", "/"}});
        QCOMPARE(guestDept.json.value("checkitems").toArray().size(), 0);
    }

    void notesNamesAreChecked_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("params");
        const auto row = [](const char *tag, const char *path, const QJsonObject &params) {
            QTest::newRow(tag) << QString(path) << params;
        };
        row("wrong db", "/notes/notesStandardPlace",
            {{"db", "Other.nsf"}, {"db_vw", "vw-StandardPlace"}});
        row("wrong view", "/notes/notesreceiveKs",
            {{"db_vw", "vw-ProjectByQzdept"}, {"key", "KS-01"}});
        row("missing view", "/notes/notestodayCheckNo", {{"frmno", "JC1"}});
        row("view as a number", "/notes/notestodayqzDeptKs", {{"db_vw", 7}, {"qzDept", mine}});
        row("unknown check point", "/notes/notesreceiveKs",
            {{"db_vw", "vw-ProjectByKey"}, {"key", "XX"}});
        row("unknown form number", "/notes/notestodayCheckNo",
            {{"db_vw", "vw-ByTodayCheckByNo"}, {"frmno", "JC0"}});
    }

    void notesNamesAreChecked()
    {
        QFETCH(QString, path);
        QFETCH(QJsonObject, params);
        const auto reply = call(path.toStdString(), params);
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
            QCOMPARE(m_fixture->postJson(path, guest).code(), 9);
        QCOMPARE(
            m_fixture->postJson("/notes/notescreateDanger", {{"mobile", "13800000001"}}).code(), 9);

        QJsonObject places{
            {"db", db}, {"db_vw", "vw-StandardPlace"}, {"server", "S"}, {"mobile", "游客"}};
        const auto reply = m_fixture->postJson("/notes/notesStandardPlace", places);
        QCOMPARE(reply.code(), 1);
        QCOMPARE(reply.json.value("dbVw").toString(), QStringLiteral("vw-StandardPlace"));
        const QJsonArray list = reply.json.value("checkitems").toArray();
        QVERIFY(!list.isEmpty());
        QVERIFY(list.first()["place"].isString());
    }

    void submittedSheetComesBackWithItsPhotos()
    {
        const QString site = uploadPhoto("on site");
        const QString finding = uploadPhoto("the finding");
        QCOMPARE(m_fixture->fetch(site).body, fakeJpeg("on site"));
        QCOMPARE(m_fixture->fetch(finding).body, fakeJpeg("the finding"));

        const auto blank =
            call("/notes/notesreceiveKs", {{"db_vw", "vw-ProjectByKey"}, {"key", "KS-02"}});
        QJsonArray items;
        for (const QJsonValue &item : blank.json.value("checkitems").toArray())
            items.append(QJsonObject{{"id", item["id"]},
                                     {"projectitem", item["projectitem"]},
                                     {"yhlevel", item["yhlevel"]},
                                     {"yhtype", item["yhtype"]},
                                     {"yhtypes", item["yhtypes"]},
                                     {"isapprove", "0"},
                                     {"distription", ""}});
        QJsonObject unqualified = items[1].toObject();
        unqualified["isapprove"] = "1";
        unqualified["distription"] = "急停按钮失灵";
        unqualified["projectitem"] = QJsonValue::Null;
        items[1] = unqualified;

        QJsonObject sheet = sheetOf(blank.json, items);
        sheet["openimageurl"] = "http://" + site;
        sheet["image"] = "http://" + finding;
        sheet["allapprove"] = "0";
        const auto created = call("/notes/notescreate", sheet);
        QCOMPARE(created.code(), 1);
        QVERIFY(!created.msg().isEmpty());
        const QString frmno = created.json.value("frmno").toString();
        QVERIFY(!frmno.isEmpty());
        QVERIFY(created.json.value("docid").isString());

        const auto list =
            call("/notes/notestodayqzDeptCheck",
                 {{"db_vw", "vw-ByTodayCheckByQzdeptForApp"}, {"key", "KS-02"}, {"qzDept", mine}});
        const QJsonArray rows = list.json.value("checkitems").toArray();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["frmno"].toString(), frmno);
        QCOMPARE(rows[0]["checkname"], blank.json.value("checkname"));
        QCOMPARE(rows[0]["checkpeople"].toString(), QStringLiteral("zhangwei"));
        QCOMPARE(rows[0]["checkdate"].toString(), QStringLiteral("2026-06-01 09:30:00"));

        const auto stored =
            call("/notes/notestodayCheckNo", {{"db_vw", "vw-ByTodayCheckByNo"}, {"frmno", frmno}});
        QCOMPARE(stored.code(), 1);
        QCOMPARE(stored.json.value("checkitems").toArray(), items);
        QCOMPARE(stored.json.value("rowcount"), QJsonValue(QString::number(items.size())));
        const QStringList photos = stored.json.value("image").toString().split("----");
        QCOMPARE(photos, QStringList({"http://" + site, "http://" + finding}));

        // Another check point and another day list nothing.
        QCOMPARE(reviewed("KS-01"), 0);
        m_fixture->advance(24LL * 3600 * 1000);
        m_token = m_fixture->signIn("zhangwei", "orvelle1");
        QCOMPARE(reviewed("KS-02"), 0);
    }

    void refusedSheetsStoreNothing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("rowcount as text") << "rowcount" << QJsonValue("3");
        QTest::newRow("rowcount not matching") << "rowcount" << QJsonValue(2);
        QTest::newRow("unknown check point") << "key" << QJsonValue("XX-99");
        QTest::newRow("item field not text")
            << "checkitems" << QJsonValue(QJsonArray{QJsonObject{{"id", 1}}});
        QTest::newRow("db_vw is not part of a sheet, db is") << "db" << QJsonValue("x.nsf");
        QTest::newRow("allapprove not a flag") << "allapprove" << QJsonValue("yes");
    }

    void refusedSheetsStoreNothing()
    {
        QFETCH(QString, field);
        QFETCH(QJsonValue, value);
        const auto blank =
            call("/notes/notesreceiveKs", {{"db_vw", "vw-ProjectByKey"}, {"key", "KS-01"}});
        QJsonArray items;
        for (const QJsonValue &item : blank.json.value("checkitems").toArray())
            items.append(QJsonObject{{"id", item["id"]}, {"isapprove", "0"}});
        QJsonObject sheet = sheetOf(blank.json, items);
        sheet[field] = value;
        const auto refused = call("/notes/notescreate", sheet);
        QCOMPARE(refused.code(), 0);
        QVERIFY(!refused.msg().isEmpty());
        QCOMPARE(reviewed("KS-01"), 0);
    }

    void guestHazardReportIsStored()
    {
        const QString photo = uploadPhoto("hazard");
        const QJsonObject item{{"id", "1"},
                               {"projectitem", "皮带护栏断裂\n需更换"},
                               {"yhlevel", "一般隐患"},
                               {"yhtype", "现场管理"},
                               {"yhtypes", "设备设施"},
                               {"isapprove", "1"},
                               {"distription", "皮带护栏断裂\n需更换"}};
        QJsonObject report{{"ou1", ""},
                           {"ou2", ""},
                           {"allapprove", "0"},
                           {"checkdept", "/"},
                           {"checkname", "隐患登记"},
                           {"db", db},
                           {"image", "http://" + photo},
                           {"openimageurl", ""},
                           {"place", "破碎车间"},
                           {"rowcount", "1"},
                           {"server", "DevNotes/Orvelle"},
                           {"username", "游客模式"},
                           {"yhfrom", "专项检查"},
                           {"weather", "雨"},
                           {"checkitems", QJsonArray{item}},
                           {"mobile", "游客"}};
        QJsonObject numeric = report;
        numeric["rowcount"] = 1;
        QCOMPARE(m_fixture->postJson("/notes/notescreateDanger", numeric).msg(),
                 QStringLiteral("参数 rowcount 应为文本"));

        const auto created = m_fixture->postJson("/notes/notescreateDanger", report);
        QCOMPARE(created.code(), 1);
        const QString frmno = created.json.value("frmno").toString();
        const auto stored =
            call("/notes/notestodayCheckNo", {{"db_vw", "vw-ByTodayCheckByNo"}, {"frmno", frmno}});
        QCOMPARE(stored.json.value("checkitems").toArray(), QJsonArray{item});
        QCOMPARE(stored.json.value("image").toString(), "http://" + photo);
        QCOMPARE(stored.json.value("checkdept").toString(), QStringLiteral("/"));
    }

    void fileStoreRefusesWhatIsNotAPhoto()
    {
        QCOMPARE(m_fixture->upload(fakeJpeg("x"), "photo").json.value("success").toBool(true),
                 false);
        QCOMPARE(m_fixture->upload("plain text").json.value("success").toBool(true), false);
        const auto notMultipart = m_fixture->postRaw("/fastdfs/fastdfs/upload/file/sample",
                                                     "file=1", "application/x-www-form-urlencoded");
        QCOMPARE(notMultipart.json.value("success").toBool(true), false);
        QCOMPARE(m_fixture->fetch(m_fixture->host() + ":50080/group1/M00/00/none.jpg").status, 404);
        QCOMPARE(m_fixture->fetch(m_fixture->host() + ":50080/group1/M00/../tls/ca-key.pem").status,
                 404);
        QVERIFY(m_fixture->fetch(m_fixture->host() + ":50080/site/").body.find("<html")
                != std::string::npos);
        QCOMPARE(m_fixture->fetch(m_fixture->host() + ":50080/notice/1").status, 200);
    }

private:
    DevServerFixture::Reply call(const std::string &path, const QJsonObject &params)
    {
        return m_fixture->call(path, params, m_token);
    }

    // How many sheets the review list of a check point in the mine shows.
    qsizetype reviewed(const char *key)
    {
        return call("/notes/notestodayqzDeptCheck",
                    {{"db_vw", "vw-ByTodayCheckByQzdeptForApp"}, {"key", key}, {"qzDept", mine}})
            .json.value("checkitems")
            .toArray()
            .size();
    }

    QString uploadPhoto(const std::string &filler)
    {
        const auto reply = m_fixture->upload(fakeJpeg(filler));
        if (reply.json.value("success") != QJsonValue(true))
            return {};
        return reply.json.value("httpUrl").toString();
    }

    static QJsonObject sheetOf(const QJsonObject &blank, const QJsonArray &items)
    {
        return {{"allapprove", "1"},
                {"checkdept", blank.value("checkdept")},
                {"checkname", blank.value("checkname")},
                {"checkpl", blank.value("checkpl")},
                {"key", blank.value("key")},
                {"openimageurl", ""},
                {"image", ""},
                {"ou1", "岚石水泥"},
                {"ou2", "矿山分厂"},
                {"place", ""},
                {"username", "zhangwei"},
                {"rowcount", items.size()},
                {"weather", "晴"},
                {"yhfrom", blank.value("yhfrom")},
                {"checkitems", items}};
    }

    std::unique_ptr<DevServerFixture> m_fixture;
    QString m_token;
};

QTEST_GUILESS_MAIN(TestDevServerInspection)
#include "tst_devserver_inspection.moc"
