#include "account/BindPhoneView.h"
#include "account/ChangePasswordView.h"
#include "net/ServiceClient.h"
#include "session/User.h"
#include "support/ManualScheduler.h"
#include "support/TestData.h"
#include "support/https/HttpsTestServer.h"
#include "support/https/TestClientConfig.h"

#include <QNetworkReply>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace orvelle;
using namespace std::chrono_literals;
using orvelle::test::addRows;
using orvelle::test::Answer;
using orvelle::test::HttpsTestServer;
using orvelle::test::ManualScheduler;

namespace {
QString bodyValue(const orvelle::test::RecordedRequest &request, const QString &key)
{
    return QUrlQuery(QString::fromStdString(request.body)).queryItemValue(key, QUrl::FullyDecoded);
}
} // namespace

// Phone binding and password change against a real HTTPS server.
class TestAccountScreens : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    HttpsTestServer server;
    ManualScheduler scheduler;
    // Ready before the first request, so a request is on the wire once sent.
    std::shared_ptr<TlsTrust> trust;

    QString storeFile() const { return dir.filePath("account.ini"); }

    template <typename View> static void waitForAlert(View &view)
    {
        QTRY_VERIFY_WITH_TIMEOUT(view.alert()->shown(), 20000);
    }
    // Requests on the wire now: read at once, it needs no wait for a request
    // that might still come.
    static int running(const ServiceClient &client)
    {
        const auto replies = client.findChildren<QNetworkReply *>();
        return int(std::count_if(replies.begin(), replies.end(),
                                 [](QNetworkReply *reply) { return reply->isRunning(); }));
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
        QVERIFY(server.isListening());
        trust = std::make_shared<TlsTrust>(orvelle::test::testConfig().caFile);
        bool ready = false;
        trust->whenReady(this, [&ready](const QSslConfiguration &) { ready = true; });
        QVERIFY(QTest::qWaitFor([&ready] { return ready; }));
    }

    void init()
    {
        QFile::remove(storeFile());
        server.clear();
    }

    void bindingChecksThePhoneNumberFirst_data()
    {
        addRows(QStringLiteral("account/wrong-phone-numbers.json"));
    }
    void bindingChecksThePhoneNumberFirst()
    {
        QFETCH(QJsonObject, row);
        User appState(storeFile()), shared(storeFile());
        ServiceClient client(orvelle::test::testConfig(), shared, trust);
        BindPhoneView view(appState, shared, client, scheduler, "zhang.san", "pw");
        view.setPhoneNumber(row["phone"].toString());
        view.requestCode();
        QCOMPARE(view.alert()->message(), QStringLiteral("请输入正确的手机号"));
        view.alert()->acknowledge();
        view.bind();
        QCOMPARE(view.alert()->message(), QStringLiteral("请输入验证码"));
        QCOMPARE(running(client), 0);
    }

    void codeCountdown()
    {
        User appState(storeFile()), shared(storeFile());
        ServiceClient client(orvelle::test::testConfig(), shared, trust);
        BindPhoneView view(appState, shared, client, scheduler, "zhang.san", "pw");
        CodeCountdown &countdown = *view.countdown();

        // A refused request leaves the button ready for another try.
        server.enqueue("/TolvKsServer/notes/verifyRegistCode",
                       Answer::json(R"({"code":3,"msg":"发送太频繁"})"));
        view.setPhoneNumber("13800000000");
        view.requestCode();
        waitForAlert(view);
        QCOMPARE(view.alert()->message(), QStringLiteral("发送太频繁"));
        QVERIFY(countdown.buttonEnabled());
        view.alert()->acknowledge();

        view.requestCode();
        waitForAlert(view);
        QCOMPARE(view.alert()->message(), QStringLiteral("发送验证码成功！"));
        QCOMPARE(bodyValue(server.requests().back(), "mobile"), QStringLiteral("13800000000"));
        QCOMPARE(countdown.buttonText(), QStringLiteral("30秒后重试"));
        QVERIFY(!countdown.buttonEnabled());

        // While it counts, a second tap sends nothing.
        view.requestCode();
        QCOMPARE(running(client), 0);

        scheduler.advance(29s);
        QCOMPARE(countdown.buttonText(), QStringLiteral("1秒后重试"));
        scheduler.advance(1s);
        QCOMPARE(countdown.buttonText(), QStringLiteral("获取验证码"));
        QVERIFY(countdown.buttonEnabled());
        QVERIFY(countdown.isTicking());
        scheduler.advance(1s);
        QVERIFY(!countdown.isTicking());
        QCOMPARE(scheduler.pending(), size_t(0));
    }

    void bindingFromSettingsUsesTheStoredAccountAndSignsOut()
    {
        {
            QSettings store(storeFile(), QSettings::IniFormat);
            store.setValue("islogin", "true");
            store.setValue("username", "li.si");
            store.setValue("password", "old pw");
        }
        User appState(storeFile()), shared(storeFile());
        ServiceClient client(orvelle::test::testConfig(), shared, trust);
        BindPhoneView view(appState, shared, client, scheduler, QString(), QString());
        server.enqueue("/TolvKsServer/notes/NotesTellNo",
                       Answer::json(R"({"code":1,"msg":"绑定成功了"})"));
        view.setPhoneNumber("13900000009");
        view.setVerificationCode("4321");
        view.bind();
        view.bind(); // a second tap while the first runs
        QCOMPARE(running(client), 1);
        waitForAlert(view);
        QCOMPARE(server.requests().size(), size_t(1));
        const auto request = server.requests().back();
        QCOMPARE(request.path, std::string("/TolvKsServer/notes/NotesTellNo"));
        QCOMPARE(bodyValue(request, "username"), QStringLiteral("li.si"));
        QCOMPARE(bodyValue(request, "password"), QStringLiteral("old pw"));
        QCOMPARE(bodyValue(request, "code"), QStringLiteral("4321"));
        QCOMPARE(bodyValue(request, "mobile"), QStringLiteral("13900000009"));
        QCOMPARE(view.alert()->message(), QStringLiteral("绑定成功了"));
        QCOMPARE(shared.mobile(), QStringLiteral("13900000009"));

        view.alert()->acknowledge();
        QVERIFY(!appState.isSignedIn());
        QCOMPARE(QSettings(storeFile(), QSettings::IniFormat).value("isGuest").toString(),
                 QStringLiteral("false"));
        QVERIFY(!view.shouldlogin());
    }

    void bindingAfterARefusedSignInLeadsToAFreshSignIn()
    {
        User appState(storeFile()), shared(storeFile());
        ServiceClient client(orvelle::test::testConfig(), shared, trust);
        BindPhoneView view(appState, shared, client, scheduler, "wang.wu", "pw");
        // A refusal changes nothing.
        server.enqueue("/TolvKsServer/notes/NotesTellNo",
                       Answer::json(R"({"code":2,"msg":"验证码错误"})"));
        view.setPhoneNumber("13900000009");
        view.setVerificationCode("1");
        view.bind();
        waitForAlert(view);
        QCOMPARE(view.alert()->message(), QStringLiteral("验证码错误"));
        QVERIFY(!shared.mobile());
        view.alert()->acknowledge();
        QVERIFY(!view.shouldlogin());

        view.bind(); // the fallback answer is a success without "msg"
        waitForAlert(view);
        QVERIFY(!view.alert()->message().isEmpty());
        QCOMPARE(bodyValue(server.requests().back(), "username"), QStringLiteral("wang.wu"));
        view.alert()->acknowledge();
        QVERIFY(view.shouldlogin());
    }

    void passwordChecksInOrder_data() { addRows(QStringLiteral("account/password-checks.json")); }
    void passwordChecksInOrder()
    {
        QFETCH(QJsonObject, row);
        User appState(storeFile()), shared(storeFile());
        ServiceClient client(orvelle::test::testConfig(), shared, trust);
        ChangePasswordView view(appState, shared, client, scheduler);
        view.setVerificationCode(row["code"].toString());
        view.setNewpassword(row["first"].toString());
        view.setCenterpassword(row["second"].toString());
        view.change();
        QCOMPARE(view.alert()->message(), row["message"].toString());
        QCOMPARE(running(client), 0);
    }

    void passwordChangeSignsOutOnce()
    {
        {
            QSettings store(storeFile(), QSettings::IniFormat);
            store.setValue("islogin", "true");
            store.setValue("isGuest", "false");
            store.setValue("mobile", "13800000001");
            store.setValue("token", "T");
        }
        User appState(storeFile()), shared(storeFile());
        ServiceClient client(orvelle::test::testConfig(), shared, trust);
        ChangePasswordView view(appState, shared, client, scheduler);
        QCOMPARE(view.mobileText(), QStringLiteral("13800000001"));

        view.requestCode();
        waitForAlert(view);
        QCOMPARE(server.requests().back().path,
                 std::string("/TolvKsServer/notes/verifyRegistReCode"));
        QCOMPARE(view.alert()->message(), QStringLiteral("发送验证码成功！"));
        QVERIFY(!view.countdown()->buttonEnabled());
        view.alert()->acknowledge();

        // Six Chinese characters are six characters, though 18 bytes.
        view.setVerificationCode("8888");
        view.setNewpassword("岚石水泥集团");
        view.setCenterpassword("岚石水泥集团");
        view.change();
        view.change();
        QCOMPARE(running(client), 1);
        waitForAlert(view);
        QCOMPARE(server.requests().size(), size_t(2));
        const auto request = server.requests().back();
        QCOMPARE(request.path, std::string("/TolvKsServer/notes/NotesChangePassword"));
        QCOMPARE(bodyValue(request, "repassword"), QStringLiteral("岚石水泥集团"));
        QCOMPARE(bodyValue(request, "mobile"), QStringLiteral("13800000001"));
        // No stored account name: the key is sent empty.
        QVERIFY2(request.body.find("name=&") != std::string::npos
                     || request.body.ends_with("name="),
                 request.body.c_str());
        QCOMPARE(view.alert()->message(),
                 QStringLiteral("修改密码成功,请等5分钟之后登录，否则引起账号锁定"));

        view.alert()->acknowledge();
        QVERIFY(!appState.isSignedIn());
        QCOMPARE(QSettings(storeFile(), QSettings::IniFormat).value("token").toString(),
                 QStringLiteral("T"));
        QSignalSpy login(&appState, &User::isloginChanged);
        view.setVerificationCode(QString());
        view.change();
        view.alert()->acknowledge();
        QCOMPARE(login.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAccountScreens)
#include "tst_accountscreens.moc"
