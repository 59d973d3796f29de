#include "AccountFixture.h"
#include "account/BindPhoneView.h"
#include "account/ChangePasswordView.h"
#include "account/LoginView.h"
#include "account/VersionChecker.h"
#include "core/UrlOpener.h"
#include "support/AccountStore.h"
#include "support/ManualScheduler.h"
#include "support/ServiceFixture.h"
#include "support/TestData.h"

#include <QNetworkReply>
#include <QRegularExpression>
#include <QSettings>
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

// One sign-in screen with its own service client and version checker.
struct Screen
{
    Session session; // on the default store
    User &appState = session.appState();
    User &shared = session.account();
    ServiceClient client{testConfig(), session};
    VersionChecker checker{VersionChecker::serviceQuery(client), QStringLiteral("5"),
                           Scheduler::system(), UrlOpener::system()};
    LoginView view;

    explicit Screen(const QUrl &site = {})
        : view(session, client, checker, site)
    {}
};

struct RecordingOpener final : UrlOpener
{
    void open(const QUrl &url) override { opened << url; }
    QList<QUrl> opened;
};

// Answers each query with the next canned answer (or a failure when empty).
struct CannedService
{
    QList<QJsonObject> answers;
    int queries = 0;
    VersionChecker::Query query()
    {
        return [this](QObject *, VersionChecker::OnAnswer onAnswer,
                      VersionChecker::OnFailure onFailure) {
            ++queries;
            if (answers.isEmpty())
                onFailure(-2, QStringLiteral("网络错误!"));
            else
                onAnswer(answers.takeFirst());
        };
    }
};
} // namespace

// The account screens: sign-in, the version check, phone binding and password
// change, against a real HTTPS server.
class TestAccount : public QObject, AccountFixture
{
    Q_OBJECT

    ManualScheduler scheduler;

private slots:
    void initTestCase() { QVERIFY(prepare()); }

    void init()
    {
        server.clear();
        QVERIFY(start());
    }

    void bindingChecksThePhoneNumberFirst_data()
    {
        addRows(QStringLiteral("account/wrong-phone-numbers.json"));
    }
    void bindingChecksThePhoneNumberFirst()
    {
        QFETCH(QJsonObject, row);
        BindPhoneView view(*session, *client, scheduler, "zhang.san", "pw");
        view.setProperty("phoneNumber", row["phone"].toString());
        view.requestCode();
        QVERIFY(acknowledged(view, QStringLiteral("请输入正确的手机号")));
        view.bind();
        QVERIFY(acknowledged(view, QStringLiteral("请输入验证码")));
        QCOMPARE(running(), 0);
    }

    void codeCountdown()
    {
        BindPhoneView view(*session, *client, scheduler, "zhang.san", "pw");
        CodeCountdown &countdown = *view.countdown();

        // A refused request leaves the button ready for another try.
        server.enqueue("/TolvKsServer/notes/verifyRegistCode",
                       Answer::json(R"({"code":3,"msg":"发送太频繁"})"));
        view.setProperty("phoneNumber", "13800000000");
        view.requestCode();
        QVERIFY(acknowledged(view, QStringLiteral("发送太频繁")));
        QVERIFY(countdown.buttonEnabled());

        view.requestCode();
        QVERIFY(acknowledged(view, QStringLiteral("发送验证码成功！")));
        QCOMPARE(countdown.buttonText(), QStringLiteral("30秒后重试"));
        QVERIFY(!countdown.buttonEnabled());

        // While it counts, a second tap sends nothing.
        view.requestCode();
        QCOMPARE(running(), 0);

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
        QVERIFY(start({{"islogin", "true"}, {"username", "li.si"}, {"password", "old pw"}}));
        BindPhoneView view(*session, *client, scheduler, QString(), QString());
        server.enqueue("/TolvKsServer/notes/NotesTellNo",
                       Answer::json(R"({"code":1,"msg":"绑定成功了"})"));
        view.setProperty("phoneNumber", "13900000009");
        view.setProperty("verificationCode", "4321");
        view.bind();
        view.bind(); // a second tap while the first runs
        QCOMPARE(running(), 1);
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
        BindPhoneView view(*session, *client, scheduler, "wang.wu", "pw");
        // A refusal changes nothing.
        server.enqueue("/TolvKsServer/notes/NotesTellNo",
                       Answer::json(R"({"code":2,"msg":"验证码错误"})"));
        view.setProperty("phoneNumber", "13900000009");
        view.setProperty("verificationCode", "1");
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
        ChangePasswordView view(*session, *client, scheduler);
        view.setProperty("verificationCode", row["code"].toString());
        view.setProperty("newpassword", row["first"].toString());
        view.setProperty("centerpassword", row["second"].toString());
        view.change();
        QVERIFY(acknowledged(view, row["message"].toString()));
        QCOMPARE(running(), 0);
    }

    // The code request and a change that signs in again are driven in
    // tst_e2e_road.
    void passwordChangeSignsOutOnce()
    {
        QVERIFY(start({{"islogin", "true"},
                       {"isGuest", "false"},
                       {"mobile", "13800000001"},
                       {"token", "T"}}));
        ChangePasswordView view(*session, *client, scheduler);
        // Six Chinese characters are six characters, though 18 bytes.
        view.setProperty("verificationCode", "8888");
        view.setProperty("newpassword", "岚石水泥集团");
        view.setProperty("centerpassword", "岚石水泥集团");
        view.change();
        view.change(); // a second tap while the first runs
        QCOMPARE(running(), 1);
        QVERIFY(
            acknowledged(view, QStringLiteral("修改密码成功,请等5分钟之后登录，否则引起账号锁定")));
        QCOMPARE(server.requests().size(), size_t(1));
        const auto request = server.requests().back();
        QCOMPARE(bodyValue(request, "repassword"), QStringLiteral("岚石水泥集团"));
        // No stored account name: the key is sent empty.
        QVERIFY2(request.body.find("name=&") != std::string::npos
                     || request.body.ends_with("name="),
                 request.body.c_str());
        // The service ended every sign-in of the account; the sign-out drops the token.
        QVERIFY(!session->account().token());

        QSignalSpy login(appState, &User::isloginChanged);
        view.setProperty("verificationCode", QString());
        view.change();
        view.alert()->acknowledge();
        QCOMPARE(login.count(), 0);
    }

    void phoneNumberChoosesTheEndpoint_data()
    {
        addRows(QStringLiteral("account/sign-in-paths.json"));
    }
    void phoneNumberChoosesTheEndpoint()
    {
        QFETCH(QJsonObject, row);
        QCOMPARE(LoginView::signInPath(row["typed"].toString()), row["path"].toString());
    }

    // Empty fields are toasted, not sent: the one request the server saw is
    // the later sign-in, whose texts arrive as typed, blank and "+" intact.
    void signInSendsWhatWasTypedOnceBothAreFilled()
    {
        server.enqueue("/TolvKsServer/notes/NotesLogin",
                       Answer::json(R"({"code":1,"userinfo":{"token":"T-1","username":"zhang.san",)"
                                    R"("mobile":"13800000001","ou1":"岚石水泥"}})"));
        Screen screen;
        LoginView &view = screen.view;
        for (const QJsonValue &typed : testJson("account/empty-sign-in-fields.json").toArray()) {
            view.setProperty("phoneNumber", typed["phone"].toString());
            view.setProperty("password", typed["password"].toString());
            view.signIn();
            QCOMPARE(view.toastManager()->message(), typed["toast"].toString());
            QVERIFY(view.toastManager()->isShowing());
        }

        QSignalSpy login(&screen.appState, &User::isloginChanged);
        view.setProperty("password", QStringLiteral("a+b &c"));
        view.signIn();
        QVERIFY(login.wait());
        QCOMPARE(screen.shared.ou1(), QStringLiteral("岚石水泥"));
        QCOMPARE(server.requests().size(), size_t(1));
        const auto request = server.requests().at(0);
        QCOMPARE(bodyValue(request, "mobile"), QStringLiteral(" zhang.san"));
        QVERIFY2(request.body.find("password=a%2Bb%20%26c") != std::string::npos,
                 request.body.c_str());
        QVERIFY(!view.alert()->shown());
    }

    // Appearing runs the version check; the web site needs an address.
    void appearingAndTheWebSite()
    {
        server.enqueue("/TolvKsServer/notes/QueryVersion2",
                       Answer::json(R"({"code":1,"version":{"v_number":6,"v_meno":"新版"}})"));
        Screen without;
        without.view.appeared();
        QVERIFY(acknowledged(without.checker, QStringLiteral("新版")));
        QVERIFY2(server.requests().at(0).body.find("edition=ios") != std::string::npos,
                 server.requests().at(0).body.c_str());
        without.view.openWebSite();
        QVERIFY(!without.view.showWebView());
        Screen with(QUrl("https://www.example.org/"));
        with.view.openWebSite();
        QVERIFY(with.view.showWebView());
    }

    void refusalsLeadOnOnceAcknowledged()
    {
        Screen screen;
        LoginView &view = screen.view;

        view.setProperty("phoneNumber", QStringLiteral("zhang.wei"));
        view.setProperty("password", QStringLiteral("typed-secret"));
        // The hint may stand inside a longer text.
        view.handleFailure(QStringLiteral("提示：此账号未绑定手机号，请绑定手机号。"));
        QVERIFY(view.alert()->shown());
        QVERIFY(view.shouldNavigate());
        QVERIFY(!view.shouldNavigatemobile());
        view.alert()->acknowledge();
        QVERIFY(view.shouldNavigatemobile());
        // What was typed reaching the binding is driven in tst_e2e_road; the
        // binding leads to a fresh sign-in.
        BindPhoneView *bindPhone = view.bindPhoneView();
        bindPhone->setShouldlogin(true);
        QVERIFY(bindPhone->loginView());
        QVERIFY(bindPhone->loginView() != &view);
        QCOMPARE(bindPhone->loginView()->phoneNumber(), QString());
        QCOMPARE(bindPhone->loginView()->siteUrl(), view.siteUrl());
        view.setShouldNavigatemobile(false);

        // A later hint must not push the binding screen again.
        view.forgotPassword();
        QCOMPARE(view.alert()->message(), QStringLiteral("请填写资讯服务申请单申请重置密码"));
        view.alert()->acknowledge();
        QVERIFY(!view.shouldNavigatemobile());

        view.handleFailure(QStringLiteral("Notes与APP密码不一致，请前往修改密码"));
        QVERIFY(view.shouldNavigatepass());
        view.alert()->acknowledge();
        QVERIFY(view.shouldNavigatepassword());
    }

    void guestModeWritesTheGuestAccount()
    {
        writeAccountStore({{"token", "old-token"}, {"ou1", "岚石水泥"}, {"password", "pw"}});
        Screen screen;
        QSignalSpy login(&screen.appState, &User::isloginChanged);
        screen.view.enterGuestMode();
        QCOMPARE(login.count(), 1);
        QVERIFY(screen.appState.isSignedIn() && screen.appState.isGuestMode());
        QCOMPARE(screen.shared.username(), QStringLiteral("游客模式"));
        QCOMPARE(screen.shared.ou1(), QString());
        // Every entry present; an earlier sign-in's password stays, the token
        // a sign-out left behind does not.
        const QJsonObject expected = testJson("account/guest-store.json").toObject();
        const QSettings store(User::defaultStoreFile(), QSettings::IniFormat);
        QVERIFY(!store.contains("token") && !store.contains("password"));
        QCOMPARE(screen.shared.password(), QStringLiteral("pw"));
        QVERIFY(!screen.shared.token());
        for (const QString &key : expected.keys())
            QVERIFY2(store.contains(key) && store.value(key).toString() == expected[key].toString(),
                     qPrintable(key));
    }

    // A row without "number" is refused.
    void buildNumbers_data() { addRows(QStringLiteral("account/build-numbers.json")); }
    void buildNumbers()
    {
        QFETCH(QJsonObject, row);
        const auto parsed = parseBuildNumber(row["text"].toString());
        QCOMPARE(parsed.has_value(), row.contains("number"));
        if (parsed)
            QCOMPARE(*parsed, row["number"].toString().toLongLong());
    }

    // What an answer to build 12 raises (a row without "message" raises
    // nothing), what "确认" opens, and that the alert comes back.
    void answersToBuildTwelve_data() { addRows(QStringLiteral("account/version-answers.json")); }
    void answersToBuildTwelve()
    {
        QFETCH(QJsonObject, row);
        ManualScheduler clock;
        RecordingOpener opener;
        CannedService service{{row["answer"].toObject()}};
        VersionChecker checker(service.query(), "12", clock, opener);
        checker.check();
        QVERIFY(!checker.alert()->shown()); // after the current event
        QCoreApplication::processEvents();
        QCOMPARE(service.queries, 1);
        QCOMPARE(checker.alert()->shown(), row.contains("message"));
        if (!checker.alert()->shown())
            return;
        QCOMPARE(checker.alert()->message(), row["message"].toString());
        const QUrl opens(row["opens"].toString());
        QCOMPARE(checker.updateUrlValue(), opens);
        if (row.contains("refused"))
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("not an http\\(s\\) address"));
        checker.alert()->acknowledge();
        QCOMPARE(opener.opened, opens.isEmpty() ? QList<QUrl>() : QList<QUrl>{opens});
        clock.advance(99ms);
        QVERIFY(!checker.alert()->shown());
        clock.advance(1ms);
        QVERIFY(checker.alert()->shown());
    }

    void failuresChangeNothing()
    {
        ManualScheduler clock;
        RecordingOpener opener;
        CannedService service; // every query fails
        VersionChecker checker(service.query(), "12", clock, opener);
        QSignalSpy changes(&checker, &VersionChecker::updateUrlChanged);
        checker.check();
        checker.check();
        QCoreApplication::processEvents();
        QCOMPARE(service.queries, 2); // every appearance asks again
        QCOMPARE(changes.count(), 0);

        // An installed build that is no number cannot be compared: no query.
        VersionChecker unknown(service.query(), "1.0.0", clock, opener);
        unknown.check();
        QCOMPARE(service.queries, 2);
    }
};

QTEST_MAIN(TestAccount)
#include "tst_account.moc"
