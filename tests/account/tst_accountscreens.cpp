#include "account/BindPhoneView.h"
#include "account/ChangePasswordView.h"
#include "support/AccountStore.h"
#include "support/ManualScheduler.h"
#include "support/ServiceFixture.h"
#include "support/TestData.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QUrlQuery>

using namespace orvelle;
using namespace orvelle::test;
using namespace std::chrono_literals;

namespace {
QString bodyValue(const RecordedRequest &request, const QString &key)
{
    return QUrlQuery(QString::fromStdString(request.body)).queryItemValue(key, QUrl::FullyDecoded);
}
} // namespace

// Phone binding and password change against a real HTTPS server.
class TestAccountScreens : public QObject
{
    Q_OBJECT

    HttpsTestServer server;
    ManualScheduler scheduler;
    // Ready before the first request, so a request is on the wire once sent.
    std::shared_ptr<TlsTrust> trust;
    std::unique_ptr<User> appState, shared;
    std::unique_ptr<ServiceClient> client;

    // A run over a store that holds these entries.
    void start(const QVariantMap &entries = {})
    {
        client.reset();
        shared.reset();
        appState.reset();
        writeAccountStore(entries);
        appState = std::make_unique<User>();
        shared = std::make_unique<User>();
        client = std::make_unique<ServiceClient>(testConfig(), *shared, trust);
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
        configHome();
        QVERIFY(server.isListening());
        trust = std::make_shared<TlsTrust>(testConfig().caFile);
        bool ready = false;
        trust->whenReady(this, [&ready](const QSslConfiguration &) { ready = true; });
        QVERIFY(QTest::qWaitFor([&ready] { return ready; }));
    }

    void init()
    {
        server.clear();
        start();
    }

    void bindingChecksThePhoneNumberFirst_data()
    {
        addRows(QStringLiteral("account/wrong-phone-numbers.json"));
    }
    void bindingChecksThePhoneNumberFirst()
    {
        QFETCH(QJsonObject, row);
        BindPhoneView view(*appState, *shared, *client, scheduler, "zhang.san", "pw");
        view.setPhoneNumber(row["phone"].toString());
        view.requestCode();
        QVERIFY(acknowledged(view, QStringLiteral("请输入正确的手机号")));
        view.bind();
        QVERIFY(acknowledged(view, QStringLiteral("请输入验证码")));
        QCOMPARE(running(*client), 0);
    }

    void codeCountdown()
    {
        BindPhoneView view(*appState, *shared, *client, scheduler, "zhang.san", "pw");
        CodeCountdown &countdown = *view.countdown();

        // A refused request leaves the button ready for another try.
        server.enqueue("/TolvKsServer/notes/verifyRegistCode",
                       Answer::json(R"({"code":3,"msg":"发送太频繁"})"));
        view.setPhoneNumber("13800000000");
        view.requestCode();
        QVERIFY(acknowledged(view, QStringLiteral("发送太频繁")));
        QVERIFY(countdown.buttonEnabled());

        view.requestCode();
        QVERIFY(acknowledged(view, QStringLiteral("发送验证码成功！")));
        QCOMPARE(countdown.buttonText(), QStringLiteral("30秒后重试"));
        QVERIFY(!countdown.buttonEnabled());

        // While it counts, a second tap sends nothing.
        view.requestCode();
        QCOMPARE(running(*client), 0);

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

    // The binding after a sign-in (what was typed, the code, the number) is
    // driven in tst_e2e_road.
    void bindingFromSettingsUsesTheStoredAccountAndSignsOut()
    {
        start({{"islogin", "true"}, {"username", "li.si"}, {"password", "old pw"}});
        BindPhoneView view(*appState, *shared, *client, scheduler, QString(), QString());
        server.enqueue("/TolvKsServer/notes/NotesTellNo",
                       Answer::json(R"({"code":1,"msg":"绑定成功了"})"));
        view.setPhoneNumber("13900000009");
        view.setVerificationCode("4321");
        view.bind();
        view.bind(); // a second tap while the first runs
        QCOMPARE(running(*client), 1);
        QVERIFY(acknowledged(view, QStringLiteral("绑定成功了")));
        QCOMPARE(server.requests().size(), size_t(1));
        QCOMPARE(bodyValue(server.requests().back(), "username"), QStringLiteral("li.si"));
        QCOMPARE(bodyValue(server.requests().back(), "password"), QStringLiteral("old pw"));
        QVERIFY(!appState->isSignedIn());
        QCOMPARE(storedEntry("isGuest"), QStringLiteral("false"));
        QVERIFY(!view.shouldlogin());
    }

    void bindingAfterARefusedSignInLeadsToAFreshSignIn()
    {
        BindPhoneView view(*appState, *shared, *client, scheduler, "wang.wu", "pw");
        // A refusal changes nothing.
        server.enqueue("/TolvKsServer/notes/NotesTellNo",
                       Answer::json(R"({"code":2,"msg":"验证码错误"})"));
        view.setPhoneNumber("13900000009");
        view.setVerificationCode("1");
        view.bind();
        QVERIFY(acknowledged(view, QStringLiteral("验证码错误")));
        QVERIFY(!shared->mobile());
        QVERIFY(!view.shouldlogin());

        view.bind(); // the fallback answer is a success without "msg"
        QVERIFY(alertShown(view));
        QVERIFY(!view.alert()->message().isEmpty());
        view.alert()->acknowledge();
        QVERIFY(view.shouldlogin());
    }

    void passwordChecksInOrder_data() { addRows(QStringLiteral("account/password-checks.json")); }
    void passwordChecksInOrder()
    {
        QFETCH(QJsonObject, row);
        ChangePasswordView view(*appState, *shared, *client, scheduler);
        view.setVerificationCode(row["code"].toString());
        view.setNewpassword(row["first"].toString());
        view.setCenterpassword(row["second"].toString());
        view.change();
        QVERIFY(acknowledged(view, row["message"].toString()));
        QCOMPARE(running(*client), 0);
    }

    // The code request and a change that signs in again are driven in
    // tst_e2e_road.
    void passwordChangeSignsOutOnce()
    {
        start(
            {{"islogin", "true"}, {"isGuest", "false"}, {"mobile", "13800000001"}, {"token", "T"}});
        ChangePasswordView view(*appState, *shared, *client, scheduler);
        // Six Chinese characters are six characters, though 18 bytes.
        view.setVerificationCode("8888");
        view.setNewpassword("岚石水泥集团");
        view.setCenterpassword("岚石水泥集团");
        view.change();
        view.change(); // a second tap while the first runs
        QCOMPARE(running(*client), 1);
        QVERIFY(
            acknowledged(view, QStringLiteral("修改密码成功,请等5分钟之后登录，否则引起账号锁定")));
        QCOMPARE(server.requests().size(), size_t(1));
        const auto request = server.requests().back();
        QCOMPARE(bodyValue(request, "repassword"), QStringLiteral("岚石水泥集团"));
        // No stored account name: the key is sent empty.
        QVERIFY2(request.body.find("name=&") != std::string::npos
                     || request.body.ends_with("name="),
                 request.body.c_str());
        QCOMPARE(storedEntry("token"), QStringLiteral("T"));

        QSignalSpy login(appState.get(), &User::isloginChanged);
        view.setVerificationCode(QString());
        view.change();
        view.alert()->acknowledge();
        QCOMPARE(login.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAccountScreens)
#include "tst_accountscreens.moc"
