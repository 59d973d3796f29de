#include "net/Endpoints.h"
#include "net/ServiceClient.h"
#include "session/User.h"
#include "support/https/TestClientConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QSettings>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>
#include <limits>

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

QStringList logLines;
void captureLog(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (QByteArray(context.category) == "orvelle.net")
        logLines.append(message);
}
} // namespace

class TestServiceClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<HttpsTestServer> server;
    QTemporaryDir scratch;

    QString derCopyOfTheTestCa()
    {
        const auto ca =
            QSslCertificate::fromPath(QString::fromStdString(HttpsTestServer::caFile()));
        QFile der(scratch.filePath(QStringLiteral("ca.der")));
        if (ca.isEmpty() || !der.open(QIODevice::WriteOnly) || der.write(ca.first().toDer()) <= 0)
            qFatal("cannot write the DER copy of the test CA");
        return der.fileName();
    }

    Outcome send(ServiceClient &client, bool form, const QString &path, const QJsonObject &params,
                 QObject *context)
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
            client.sendFormRequest(path, params, context, onSuccess, onFailure);
        else
            client.sendJSONRequest(path, params, context, onSuccess, onFailure);
        if (!QTest::qWaitFor([&] { return outcome.called; }, 20000))
            qWarning("no answer");
        return outcome;
    }

    Outcome answered(const std::string &body, int status = 200,
                     const std::string &contentType = "application/json")
    {
        server->clear();
        Answer answer = Answer::json(body, status);
        answer.contentType = contentType;
        server->setFallback(answer);
        ServiceClient client(testConfig());
        return send(client, false, endpoints::json::todayByDept, {}, this);
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
        User::shared().setMobile(std::nullopt);
        User::shared().setToken(std::nullopt);
        User::shared().setIslogin(QStringLiteral("true"));
    }

    void formBodyIsExactAndKeepsSecretsOutOfTheLog()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("orvelle.net.debug=true"));
        logLines.clear();
        const auto previous = qInstallMessageHandler(captureLog);
        ServiceClient client(testConfig());
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
        const Outcome outcome = send(client, true, endpoints::form::mobileLogin, params, this);
        qInstallMessageHandler(previous);
        QVERIFY(outcome.success);

        const auto requests = server->requests();
        QCOMPARE(requests.size(), size_t(1));
        const RecordedRequest &request = requests.front();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.path, "/TolvKsServer/notes/MobileLogin");
        QCOMPARE(request.header("Content-Type"),
                 "application/x-www-form-urlencoded; charset=utf-8");
        // Keys sorted, arrays repeated with brackets, booleans 1/0, the caller's
        // "mobile" kept, "verson" and "PhoneAppType" replaced, no "token".
        QCOMPARE(request.body,
                 "PhoneAppType=ios&PhoneDeviceBrand=Apple&PhoneSystemDevice=Field%20Phone"
                 "&PhoneSystemModel=iPhone%207&PhoneSystemVersion=16.1&flag=1&list%5B%5D=x"
                 "&list%5B%5D=y&mobile=13800000000&n=3&off=0"
                 "&password=a%2Bb%26c%3Dd%20%E4%B8%AD%5B%5D&verson=ios");

        const QString log = logLines.join(u'\n');
        QVERIFY(log.contains(QLatin1String("/notes/MobileLogin")));
        QVERIFY(!log.contains(QLatin1String("a+b")));
        QVERIFY(!log.contains(QLatin1String("13800000000")));
    }

    void jsonBodyIsExactWithStoredMobileAndToken()
    {
        User::shared().setMobile(QStringLiteral("13900000000"));
        User::shared().setToken(QStringLiteral("tok+1"));
        ServiceClient client(testConfig());
        const QJsonObject params{
            {"qzDept", "岚石/一厂"},
            {"items", QJsonArray{QJsonObject{{"isapprove", "1"}, {"n", 2}}}},
            {"ok", true},
        };
        QVERIFY(send(client, false, endpoints::json::createSheet, params, this).success);
        const RecordedRequest request = server->requests().front();
        QCOMPARE(request.path, "/TolvKsServer/notes/notescreate");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QCOMPARE(QString::fromStdString(request.body),
                 QStringLiteral("{\"PhoneAppType\":\"ios\",\"PhoneDeviceBrand\":\"Apple\","
                                "\"PhoneSystemDevice\":\"Field Phone\",\"PhoneSystemModel\":"
                                "\"iPhone 7\",\"PhoneSystemVersion\":\"16.1\",\"items\":[{"
                                "\"isapprove\":\"1\",\"n\":2}],\"mobile\":\"13900000000\","
                                "\"ok\":true,\"qzDept\":\"岚石/一厂\",\"token\":\"tok+1\","
                                "\"verson\":\"ios\"}"));

        // A caller's own "token" wins over the stored one.
        server->clear();
        send(client, true, endpoints::form::tellNo, {{"token", "mine"}}, this);
        const std::string body = server->requests().front().body;
        QVERIFY(body.find("&token=mine&") != std::string::npos);
        QVERIFY(body.find("mobile=13900000000") != std::string::npos);
    }

    void answerCodesAreDecodedByTheRules()
    {
        struct Row
        {
            std::string body;
            bool success;
            qint64 code;
            QString message;
            int status = 200;
        };
        const qint64 max = std::numeric_limits<qint64>::max();
        const QList<Row> rows{
            {R"({"code":1,"msg":"好"})", true, 1, {}},
            {R"({"code":"1"})", true, 1, {}},
            {R"({"code":1.0})", true, 1, {}},
            {R"({"code":" 1","msg":"x"})", false, -1, "返回数据错误"},
            {R"({"code":1.5})", false, -1, "返回数据错误"},
            {R"({"code":"abc"})", false, -1, "返回数据错误"},
            {R"({"code":""})", false, -1, "返回数据错误"},
            {R"({"code":"9223372036854775808"})", false, -1, "返回数据错误"},
            {R"({"code":true})", false, -1, "返回数据错误"},
            {R"({"code":9223372036854775807,"msg":"big"})", false, max, "big"},
            {R"({"code":"-7","msg":"拒绝"})", false, -7, "拒绝"},
            {R"({"code":3,"msg":5})", false, 3, ""},
            {R"({"msg":"x"})", false, -1, "返回数据错误"},
            {"{}", false, -1, "返回数据错误"},
            {"[]", false, -1, "返回数据错误"},
            {"1", false, -1, "返回数据错误"},
            {R"("x")", false, -1, "返回数据错误"},
            {"null", false, -1, "返回数据错误"},
            {"", false, -2, "网络错误!"},
            {"  ", false, -2, "网络错误!"},
            {"<html>", false, -2, "网络错误!"},
            {"1,2", false, -2, "网络错误!"},
            {R"({"code":1} x)", false, -2, "网络错误!"},
            // The HTTP status is not what decides.
            {R"({"code":4,"msg":"m"})", false, 4, "m", 500},
            {R"({"code":1})", true, 1, {}, 404},
            {"<html><body><h1>500 Internal Server Error</h1></body></html>", false, -2, "网络错误!",
             500},
        };
        for (const Row &row : rows) {
            const bool html = row.body.starts_with("<html");
            const Outcome outcome =
                answered(row.body, row.status, html ? "text/html" : "application/json");
            const QByteArray what = QByteArray::fromStdString(row.body);
            QVERIFY2(outcome.called, what);
            QVERIFY2(outcome.success == row.success, what);
            QVERIFY2(outcome.code == row.code, what);
            QVERIFY2(outcome.message == row.message, what);
        }
        const Outcome good = answered(R"({"code":1,"msg":"好","userinfo":{"token":"t"}})");
        QCOMPARE(good.msg, QStringLiteral("好"));
        QCOMPARE(good.json.value("userinfo").toObject().value("token").toString(), "t");
        QCOMPARE(answered(R"({"code":1})").msg, std::nullopt);
    }

    void codeNineSignsOutEvenWhenTheScreenIsGone()
    {
        QCOMPARE(storedIslogin(), QStringLiteral("true"));
        const Outcome outcome = answered(R"({"code":"+9"})");
        QCOMPARE(outcome.code, 9);
        QCOMPARE(outcome.message, QString());
        QCOMPARE(User::shared().islogin(), QStringLiteral("false"));
        QCOMPARE(storedIslogin(), QStringLiteral("false"));

        User::shared().setIslogin(QStringLiteral("true"));
        server->clear();
        server->setFallback([] {
            Answer answer = Answer::json(R"({"code":9,"msg":"登录已失效"})");
            answer.delay = std::chrono::milliseconds(100);
            return answer;
        }());
        ServiceClient client(testConfig());
        bool called = false;
        auto *screen = new QObject;
        client.sendJSONRequest(
            endpoints::json::todayByDept, {}, screen, [&](auto &&...) { called = true; },
            [&](auto &&...) { called = true; });
        QTRY_COMPARE(server->startedCount(), 1);
        delete screen;
        QTRY_COMPARE(storedIslogin(), QStringLiteral("false"));
        QTest::qWait(20);
        QVERIFY(!called);
    }

    void transferFailuresAreNetworkErrorsWithoutRetry()
    {
        ServiceClient client(testConfig());
        client.setTransferTimeout(std::chrono::milliseconds(150));

        Answer dropped = Answer::json(R"({"code":1,"msg":"a long enough answer"})");
        dropped.fault = Answer::Fault::DropHalfway;
        server->setFallback(dropped);
        Outcome outcome = send(client, false, endpoints::json::receiveSheet, {}, this);
        QCOMPARE(outcome.code, -2);
        QCOMPARE(outcome.message, QStringLiteral("网络错误!"));
        QCOMPARE(server->startedCount(), 1);

        Answer slow = Answer::json(R"({"code":1})");
        slow.delay = std::chrono::milliseconds(3000);
        server->clear();
        server->setFallback(slow);
        QCOMPARE(send(client, true, endpoints::form::queryVersion, {}, this).code, -2);

        // Silent after half the body: the time-out ends it, not the server
        // (whose stall outlasts the wait in send()).
        Answer stalled = Answer::json(R"({"code":1,"msg":"half of it comes"})");
        stalled.fault = Answer::Fault::StallHalfway;
        stalled.delay = std::chrono::minutes(1);
        server->clear();
        server->setFallback(stalled);
        outcome = send(client, false, endpoints::json::todayByDept, {}, this);
        QVERIFY(outcome.called);
        QCOMPARE(outcome.code, -2);
        QCOMPARE(server->startedCount(), 1);

        // Connection refused, then a host that does not resolve.
        for (const char *host : {"127.0.0.9", "orvelle-service.invalid"}) {
            AppConfig elsewhere = testConfig();
            elsewhere.serviceHost = QString::fromLatin1(host);
            ServiceClient unreachable(elsewhere);
            outcome = send(unreachable, true, endpoints::form::notesLogin, {}, this);
            QVERIFY2(outcome.code == -2, host);
            QCOMPARE(outcome.message, QStringLiteral("网络错误!"));
        }
    }

    // 96 MiB against the 16 MiB cap, valid JSON if read whole: cut off, not
    // read whole, whether announced, chunked, or compressed. Loopback socket
    // buffers may take in 36 MiB after the client stopped reading, so a
    // smaller answer could all leave the server.
    void oversizedAnswersAreCutOff()
    {
        const std::size_t size = 96 << 20;
        ServiceClient client(testConfig());
        for (const char *type : {"application/json", "application/octet-stream", "compressed"}) {
            const bool compressed = type == std::string("compressed");
            server->clear();
            Answer huge = Answer::json(R"({"code":1})");
            huge.streamedBytes = size;
            huge.chunked = type != std::string("application/json");
            huge.contentType = compressed ? "application/json" : type;
            server->setFallback(huge);
            const Outcome outcome = send(client, false, endpoints::json::todayByDept, {}, this);
            QVERIFY2(outcome.code == -2, type);
            QCOMPARE(outcome.message, QStringLiteral("网络错误!"));
            // The server counts what it packed, not what it sent.
            if (!compressed)
                QVERIFY2(server->sentBytes() < size, type);
        }
    }

    void leavingMidRequestCallsNothing()
    {
        Answer stalled = Answer::json(R"({"code":1,"msg":"never whole"})");
        stalled.fault = Answer::Fault::StallHalfway;
        stalled.delay = std::chrono::minutes(1);
        server->setFallback(stalled);
        bool called = false;
        const auto mark = [&called](auto &&...) { called = true; };

        // The screen goes, then the transfer fails.
        ServiceClient client(testConfig());
        client.setTransferTimeout(std::chrono::milliseconds(200));
        auto *screen = new QObject;
        const QPointer<QNetworkReply> reply =
            client.sendJSONRequest(endpoints::json::todayByDept, {}, screen, mark, mark);
        QTRY_COMPARE(server->startedCount(), 1);
        delete screen;
        // The answer was handled: the reply is gone.
        QTRY_VERIFY_WITH_TIMEOUT(reply.isNull(), 5000);
        QVERIFY(!called);

        // The client itself goes while its request runs (the application quits).
        auto *quitting = new ServiceClient(testConfig());
        quitting->sendFormRequest(endpoints::form::queryVersion, {}, this, mark, mark);
        QTRY_COMPARE(server->startedCount(), 2);
        delete quitting;
        QTest::qWait(50);
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
        ServiceClient client(config);
        const Outcome outcome = send(client, true, endpoints::form::mobileLogin, {}, this);
        qunsetenv("SSL_CERT_FILE");
        QVERIFY(outcome.called);
        QCOMPARE(outcome.code == -2, !reached);
        QCOMPARE(server->startedCount(), reached ? 1 : 0);
    }

    void certificateFaultsNeverReachTheService()
    {
        // Each is refused for its own reason, which the debug log names.
        const QList<std::pair<Certificate, QString>> faults{
            {Certificate::WrongHost, "host name"},
            {Certificate::Expired, "expired"},
        };
        for (const auto &[certificate, reason] : faults) {
            server.reset();
            server = std::make_unique<HttpsTestServer>(certificate);
            QVERIFY(server->isListening());
            ServiceClient client(testConfig());
            QLoggingCategory::setFilterRules(QStringLiteral("orvelle.net.debug=true"));
            logLines.clear();
            const auto previous = qInstallMessageHandler(captureLog);
            const Outcome outcome = send(client, true, endpoints::form::mobileLogin, {}, this);
            qInstallMessageHandler(previous);
            QCOMPARE(outcome.code, -2);
            QCOMPARE(outcome.message, QStringLiteral("网络错误!"));
            QCOMPARE(server->startedCount(), 0);
            QVERIFY2(logLines.join(u'\n').contains(reason, Qt::CaseInsensitive),
                     qPrintable(logLines.join(u'\n')));
        }
        server = std::make_unique<HttpsTestServer>();
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
