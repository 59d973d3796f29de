#include "net/Endpoints.h"
#include "net/ServiceClient.h"
#include "session/User.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/https/TestClientConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QSettings>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;

namespace {
struct Outcome
{
    bool called = false;
    bool success = false;
    qint64 code = 0;
    QString message;
    std::optional<QString> msg;
    QJsonObject json;
};

QString storedIslogin()
{
    return QSettings(User::defaultStoreFile(), QSettings::IniFormat)
        .value(QStringLiteral("islogin"))
        .toString();
}

Answer scripted(const std::string &body, Answer::Fault fault, std::chrono::milliseconds delay)
{
    Answer answer = Answer::json(body);
    answer.fault = fault;
    answer.delay = delay;
    return answer;
}
} // namespace

class TestServiceClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<HttpsTestServer> server;
    QTemporaryDir scratch;
    std::unique_ptr<User> account;

    QString derCopyOfTheTestCa()
    {
        const auto ca =
            QSslCertificate::fromPath(QString::fromStdString(HttpsTestServer::caFile()));
        QFile der(scratch.filePath(QStringLiteral("ca.der")));
        if (ca.isEmpty() || !der.open(QIODevice::WriteOnly) || der.write(ca.first().toDer()) <= 0)
            qFatal("cannot write the DER copy of the test CA");
        return der.fileName();
    }

    // Waits for the answer; the caller verifies `called`.
    Outcome send(ServiceClient &client, bool form, const QString &path,
                 const QJsonObject &params = {})
    {
        Outcome outcome;
        auto onSuccess = [&outcome](const std::optional<QString> &msg, qint64 code,
                                    const QJsonObject &json) {
            outcome = {true, true, code, {}, msg, json};
        };
        auto onFailure = [&outcome](qint64 code, const QString &message) {
            outcome = {true, false, code, message, {}, {}};
        };
        if (form)
            client.sendFormRequest(path, params, this, onSuccess, onFailure);
        else
            client.sendJSONRequest(path, params, this, onSuccess, onFailure);
        static_cast<void>(QTest::qWaitFor([&] { return outcome.called; }, 20000));
        return outcome;
    }

    Outcome answered(const Answer &answer, const AppConfig &config = testConfig(),
                     std::chrono::milliseconds timeout = std::chrono::minutes(1))
    {
        server->setFallback(answer);
        ServiceClient client(config, *account);
        client.setTransferTimeout(timeout);
        return send(client, false, endpoints::json::todayByDept);
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<HttpsTestServer>();
        QVERIFY(server->isListening());
    }

    void init()
    {
        server->clear();
        account = std::make_unique<User>();
        account->setMobile(std::nullopt);
        account->setToken(std::nullopt);
        account->setIslogin(QStringLiteral("true"));
    }

    void formBodyIsExactAndKeepsSecretsOutOfTheLog()
    {
        const LogCapture log(QStringLiteral("orvelle.net"));
        ServiceClient client(testConfig(), *account);
        const QJsonObject params{
            {"password", "a+b&c=d 中[]"},
            {"mobile", "13800000000"},
            {"list", QJsonArray{"x", "y"}},
            {"flag", true},
            {"off", false},
            {"n", 3},
            {"verson", "9.9"},
            {"PhoneAppType", "android"},
        };
        QVERIFY(send(client, true, endpoints::form::mobileLogin, params).success);

        const auto requests = server->requests();
        QCOMPARE(requests.size(), size_t(1));
        const RecordedRequest &request = requests.front();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.path, "/TolvKsServer/notes/MobileLogin");
        QCOMPARE(request.header("Content-Type"),
                 "application/x-www-form-urlencoded; charset=utf-8");
        // Keys sorted, arrays repeated with brackets, booleans 1/0, the caller's
        // "mobile" kept, "verson" and "PhoneAppType" replaced, no "token".
        QCOMPARE(QByteArray::fromStdString(request.body),
                 testData("net/form-request.txt").trimmed());
        QVERIFY(log.text().contains(QLatin1String("/notes/MobileLogin")));
        QVERIFY(!log.text().contains(QLatin1String("a+b")));
        QVERIFY(!log.text().contains(QLatin1String("13800000000")));
    }

    void jsonBodyIsExactWithStoredMobileAndToken()
    {
        account->setMobile(QStringLiteral("13900000000"));
        account->setToken(QStringLiteral("tok+1"));
        ServiceClient client(testConfig(), *account);
        const QJsonObject params{
            {"qzDept", "岚石/一厂"},
            {"items", QJsonArray{QJsonObject{{"isapprove", "1"}, {"n", 2}}}},
            {"ok", true},
        };
        QVERIFY(send(client, false, endpoints::json::createSheet, params).success);
        const RecordedRequest request = server->requests().front();
        QCOMPARE(request.path, "/TolvKsServer/notes/notescreate");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QCOMPARE(QByteArray::fromStdString(request.body),
                 testData("net/json-request.json").trimmed());

        // A caller's own "token" wins over the stored one.
        server->clear();
        QVERIFY(send(client, true, endpoints::form::tellNo, {{"token", "mine"}}).called);
        const std::string body = server->requests().front().body;
        QVERIFY(body.find("&token=mine&") != std::string::npos);
        QVERIFY(body.find("mobile=13900000000") != std::string::npos);
    }

    void answerCodesAreDecodedByTheRules_data()
    {
        addRows(QStringLiteral("net/answer-codes.json"));
    }

    void answerCodesAreDecodedByTheRules()
    {
        QFETCH(QJsonObject, row);
        const std::string body = row["body"].toString().toStdString();
        Answer answer = Answer::json(body, row["status"].toInt(200));
        if (body.starts_with("<html"))
            answer.contentType = "text/html";
        const Outcome outcome = answered(answer);
        QVERIFY(outcome.called);
        QCOMPARE(outcome.success, row["success"].toBool());
        QCOMPARE(outcome.code, row["code"].toInteger());
        QCOMPARE(outcome.message, row["message"].toString());
        if (outcome.success) {
            QCOMPARE(outcome.msg, row["msg"].isString() ? row["msg"].toString() : OptionalText());
            QCOMPARE(outcome.json,
                     QJsonDocument::fromJson(row["body"].toString().toUtf8()).object());
        }
    }

    void codeNineSignsOutEvenWhenTheScreenIsGone()
    {
        QCOMPARE(storedIslogin(), QStringLiteral("true"));
        const Outcome outcome = answered(Answer::json(R"({"code":"+9"})"));
        QCOMPARE(outcome.code, 9);
        QCOMPARE(outcome.message, QString());
        QCOMPARE(account->islogin(), QStringLiteral("false"));
        QCOMPARE(storedIslogin(), QStringLiteral("false"));

        account->setIslogin(QStringLiteral("true"));
        server->setFallback(scripted(R"({"code":9,"msg":"登录已失效"})", Answer::Fault::None,
                                     std::chrono::milliseconds(100)));
        ServiceClient client(testConfig(), *account);
        bool called = false;
        auto *screen = new QObject;
        client.sendJSONRequest(
            endpoints::json::todayByDept, {}, screen, [&](auto &&...) { called = true; },
            [&](auto &&...) { called = true; });
        QTRY_COMPARE(server->startedCount(), 1);
        delete screen;
        // Signed out means the answer was handled: the screen's handler had its chance.
        QTRY_COMPARE(storedIslogin(), QStringLiteral("false"));
        QVERIFY(!called);
    }

    void transferFailuresAreNetworkErrorsWithoutRetry_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("host");
        const std::string body = R"({"code":1,"msg":"a long enough answer"})";
        QTest::newRow("dropped halfway") << scripted(body, Answer::Fault::DropHalfway, {}) << "";
        QTest::newRow("too slow") << scripted(body, {}, std::chrono::seconds(3)) << "";
        // Silent after half the body: the time-out ends it, not the server.
        QTest::newRow("stalled halfway")
            << scripted(body, Answer::Fault::StallHalfway, std::chrono::minutes(1)) << "";
        QTest::newRow("refused") << Answer() << "127.0.0.9";
        QTest::newRow("unresolvable") << Answer() << "orvelle-service.invalid";
    }

    void transferFailuresAreNetworkErrorsWithoutRetry()
    {
        QFETCH(Answer, answer);
        QFETCH(QString, host);
        AppConfig config = testConfig();
        if (!host.isEmpty())
            config.serviceHost = host;
        const Outcome outcome = answered(answer, config, std::chrono::milliseconds(150));
        QVERIFY(outcome.called);
        QCOMPARE(outcome.code, -2);
        QCOMPARE(outcome.message, QStringLiteral("网络错误!"));
        QCOMPARE(server->startedCount(), host.isEmpty() ? 1 : 0);
    }

    // 96 MiB against the 16 MiB cap, valid JSON if read whole: cut off, not
    // read whole, whether announced, chunked, or compressed. Loopback socket
    // buffers may take in 36 MiB after the client stopped reading, so a
    // smaller answer could all leave the server.
    void oversizedAnswersAreCutOff_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<bool>("chunked");
        QTest::newRow("announced") << QByteArray("application/json") << false;
        QTest::newRow("chunked") << QByteArray("application/octet-stream") << true;
        // A chunked JSON answer goes compressed.
        QTest::newRow("compressed") << QByteArray("application/json") << true;
    }

    void oversizedAnswersAreCutOff()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(bool, chunked);
        const std::size_t size = 96 << 20;
        Answer huge = Answer::json(R"({"code":1})");
        huge.streamedBytes = size;
        huge.chunked = chunked;
        huge.contentType = contentType.toStdString();
        const Outcome outcome = answered(huge);
        QCOMPARE(outcome.code, -2);
        QCOMPARE(outcome.message, QStringLiteral("网络错误!"));
        // The server counts what it packed, not what it sent.
        if (QByteArray(QTest::currentDataTag()) != "compressed")
            QVERIFY(server->sentBytes() < size);
    }

    void leavingMidRequestCallsNothing()
    {
        server->setFallback(scripted(R"({"code":1,"msg":"never whole"})",
                                     Answer::Fault::StallHalfway, std::chrono::minutes(1)));
        bool called = false;
        const auto mark = [&called](auto &&...) { called = true; };

        // The screen goes, then the transfer fails.
        ServiceClient client(testConfig(), *account);
        client.setTransferTimeout(std::chrono::milliseconds(200));
        auto *screen = new QObject;
        client.sendJSONRequest(endpoints::json::todayByDept, {}, screen, mark, mark);
        QTRY_COMPARE(server->startedCount(), 1);
        delete screen;
        // The answer was handled: the reply is gone.
        QTRY_VERIFY_WITH_TIMEOUT(!client.findChild<QNetworkReply *>(), 5000);
        QVERIFY(!called);

        // The client itself goes while its request runs (the application quits).
        auto *quitting = new ServiceClient(testConfig(), *account);
        quitting->sendFormRequest(endpoints::form::queryVersion, {}, this, mark, mark);
        QTRY_COMPARE(server->startedCount(), 2);
        delete quitting;
        // A later request's answer has come back: the first one's never will.
        QVERIFY(answered(Answer::json(R"({"code":1})")).called);
        QVERIFY(!called);
    }

    void trustIsTheSystemStorePlusTheConfiguredFile_data()
    {
        QTest::addColumn<QByteArray>("systemStore");
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<bool>("reached");
        const QByteArray ca = QByteArray::fromStdString(HttpsTestServer::caFile());
        const QString other = QString::fromStdString(HttpsTestServer::otherCaFile());
        QTest::newRow("system CA, another file") << ca << other << true;
        QTest::newRow("certified by neither") << QFile::encodeName(other) << other << false;
        QTest::newRow("the file in DER") << QByteArray() << derCopyOfTheTestCa() << true;
    }

    void trustIsTheSystemStorePlusTheConfiguredFile()
    {
        QFETCH(QByteArray, systemStore);
        QFETCH(QString, caFile);
        QFETCH(bool, reached);
        if (!systemStore.isEmpty())
            qputenv("SSL_CERT_FILE", systemStore);
        AppConfig config = testConfig();
        config.caFile = caFile;
        ServiceClient client(config, *account);
        const Outcome outcome = send(client, true, endpoints::form::mobileLogin, {});
        qunsetenv("SSL_CERT_FILE");
        QVERIFY(outcome.called);
        QCOMPARE(outcome.code == -2, !reached);
        QCOMPARE(server->startedCount(), reached ? 1 : 0);
    }

    // Each is refused for its own reason, which the debug log names.
    void certificateFaultsNeverReachTheService_data()
    {
        QTest::addColumn<Certificate>("certificate");
        QTest::addColumn<std::string>("caFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown CA")
            << Certificate::Valid << HttpsTestServer::otherCaFile() << "issuer certificate";
        QTest::newRow("wrong host")
            << Certificate::WrongHost << HttpsTestServer::caFile() << "host name";
        QTest::newRow("expired") << Certificate::Expired << HttpsTestServer::caFile() << "expired";
    }

    void certificateFaultsNeverReachTheService()
    {
        QFETCH(Certificate, certificate);
        QFETCH(std::string, caFile);
        QFETCH(QString, reason);
        server.reset();
        server = std::make_unique<HttpsTestServer>(certificate);
        QVERIFY(server->isListening());
        AppConfig config = testConfig();
        config.caFile = QString::fromStdString(caFile);
        const LogCapture log(QStringLiteral("orvelle.net"));
        ServiceClient client(config, *account);
        const Outcome outcome =
            send(client, true, endpoints::form::mobileLogin, {{"password", "p"}});
        QCOMPARE(outcome.code, -2);
        QCOMPARE(outcome.message, QStringLiteral("网络错误!"));
        QCOMPARE(server->startedCount(), 0);
        QVERIFY2(log.text().contains(reason, Qt::CaseInsensitive), qPrintable(log.text()));
    }
};

int main(int argc, char **argv)
{
    configHome();
    QCoreApplication app(argc, argv);
    TestServiceClient test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_serviceclient.moc"
