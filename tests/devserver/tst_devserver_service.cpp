#include "DevServerFixture.h"
#include "support/TestData.h"

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
        orvelle::test::addRows(QStringLiteral("devserver/malformed-bodies.json"));
    }

    void malformedBodiesAreRefused()
    {
        QFETCH(QJsonObject, row);
        // "blanks": a body of that many spaces.
        const std::string body = row.contains("blanks") ? std::string(row["blanks"].toInt(), ' ')
                                                        : row["body"].toString().toStdString();
        const auto reply = fixture->postRaw(row["path"].toString().toStdString(), body,
                                            row["type"].toString().toStdString());
        QCOMPARE(reply.status, row["status"].toInt());
        QCOMPARE(reply.code(), 0);
        QCOMPARE(reply.msg(), row["msg"].toString());
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
