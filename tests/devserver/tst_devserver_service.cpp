#include "DevServerFixture.h"

#include <httplib.h>

#include <QJsonArray>
#include <QtTest>

// The service's frame: TLS it made itself, data kept across restarts, the
// JSON envelope and the refusal of malformed requests.
class TestDevServerService : public DevServerTest
{
    Q_OBJECT

private slots:
    // The fixture's client trusts that CA and checks the host's IP SAN.
    void tlsIsVerifiedAgainstTheCaItMade()
    {
        // Without that CA the handshake fails.
        httplib::SSLClient untrusting(fixture->host().toStdString(), 50000);
        untrusting.enable_server_certificate_verification(true);
        QVERIFY(!untrusting.Post("/TolvKsServer/notes/QueryVersion2", "edition=ios",
                                 "application/x-www-form-urlencoded"));
        // There is no plain-HTTP service endpoint.
        httplib::Client plain(fixture->host().toStdString(), 50000);
        const auto answer = plain.Post("/TolvKsServer/notes/QueryVersion2", "edition=ios",
                                       "application/x-www-form-urlencoded");
        QVERIFY(!answer || answer->status >= 400);
    }

    // The end-to-end road's client goes on with its CA and token after a
    // restart; the seed is laid once, not at every start.
    void restartKeepsDataAndSeedsOnce()
    {
        QString error;
        QVERIFY2(fixture->start(&error), qPrintable(error));
        const auto places = call("/notes/notestodayqzDeptKs", {{"db_vw", "vw-ProjectByQzdept"},
                                                               {"qzDept", "岚石水泥/矿山分厂"}});
        QCOMPARE(places.code(), 1);
        QCOMPARE(places.json.value("checkitems").toArray().size(), 5);
    }

    void unknownPathsAndMethodsAnswerJson()
    {
        const auto unknown =
            fixture->postRaw("/notes/NoSuchOperation", "a=1", "application/x-www-form-urlencoded");
        QCOMPARE(unknown.status, 404);
        QCOMPARE(unknown.code(), 0);
        QCOMPARE(unknown.msg(), QStringLiteral("未知的接口"));

        httplib::SSLClient client(fixture->host().toStdString(), 50000);
        client.set_ca_cert_path(fixture->caFile().toStdString().c_str());
        const auto get = client.Get("/TolvKsServer/notes/MobileLogin");
        QVERIFY(get);
        QCOMPARE(get->status, 404);
        QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(get->body))["code"].toInt(-1),
                 0);
    }

    void malformedBodiesAreRefused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("msg");
        const auto row = [](const char *tag, const char *path, const QByteArray &body,
                            const char *contentType, int status, const char *msg) {
            QTest::newRow(tag) << QString(path) << body << QByteArray(contentType) << status
                               << QString(msg);
        };
        const char *json = "application/json";
        const char *form = "application/x-www-form-urlencoded";
        const char *notJson = "请求体不是JSON对象";
        row("not JSON", "/notes/notesStandardPlace", "{db:", json, 400, notJson);
        row("JSON array", "/notes/notesStandardPlace", "[1]", json, 400, notJson);
        row("empty JSON body", "/notes/notescreate", QByteArray(), json, 400, notJson);
        row("JSON to a form operation", "/notes/MobileLogin", R"({"mobile":"1"})", json, 400,
            "请求体不是表单数据");
        row("missing password", "/notes/MobileLogin", "mobile=13800000001", form, 200,
            "缺少参数 password");
        row("service body over 1 MiB", "/notes/notesStandardPlace",
            QByteArray(1024 * 1024 + 1, ' '), json, 413, "请求体过大");
    }

    void malformedBodiesAreRefused()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        const auto reply =
            fixture->postRaw(path.toStdString(), body.toStdString(), contentType.toStdString());
        QTEST(reply.status, "status");
        QCOMPARE(reply.code(), 0);
        QTEST(reply.msg(), "msg");
    }

    void formBodiesAreReadAsTheClientEncodesThem()
    {
        // A charset parameter on the type, percent-encoded UTF-8 and '+' as %2B.
        const auto reply = fixture->postRaw("/notes/NotesLogin",
                                            "mobile=zhangwei&password=orvelle%31&PhoneSystemDevice="
                                            "%E5%BC%A0%2B1",
                                            "application/x-www-form-urlencoded; charset=utf-8");
        QCOMPARE(reply.code(), 1);
    }

    void uploadsOver32MiBAreRefused()
    {
        const auto big = fixture->upload(fakeJpeg(std::string(32 * 1024 * 1024, 'x')));
        QCOMPARE(big.status, 413);
        const auto small = fixture->upload(fakeJpeg("small"));
        QCOMPARE(small.json.value("success").toBool(), true);
    }

    void logHasOneLinePerRequestAndNoPasswords()
    {
        // The fixture signed in with orvelle1 before the test.
        fixture->postForm("/notes/NotesLogin",
                          {{"mobile", "zhangwei"}, {"password", "secret-typo"}});
        const QStringList lines = fixture->logLines();
        QCOMPARE(lines.filter(QStringLiteral("POST /TolvKsServer/notes/NotesLogin -> 200")).size(),
                 2);
        for (const QString &line : lines) {
            QVERIFY2(!line.contains(QLatin1String("orvelle1")), qPrintable(line));
            QVERIFY2(!line.contains(QLatin1String("secret-typo")), qPrintable(line));
        }
    }

    void secondInstanceOnTheSameAddressFailsClearly()
    {
        DevServerFixture other;
        QString error;
        QVERIFY(!other.start(&error));
        QVERIFY2(error.contains(QLatin1String("cannot listen")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestDevServerService)
#include "tst_devserver_service.moc"
