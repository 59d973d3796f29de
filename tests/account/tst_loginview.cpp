#include "account/LoginView.h"
#include "account/VersionChecker.h"
#include "core/Scheduler.h"
#include "core/UrlOpener.h"
#include "net/ServiceClient.h"
#include "session/User.h"
#include "support/AccountStore.h"
#include "support/ScreenAlert.h"
#include "support/TestData.h"
#include "support/https/HttpsTestServer.h"
#include "support/https/TestClientConfig.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

using namespace orvelle;
using orvelle::test::acknowledged;
using orvelle::test::addRows;
using orvelle::test::Answer;
using orvelle::test::HttpsTestServer;
using orvelle::test::testJson;

namespace {
// One sign-in screen with its own service client and version checker.
struct Screen
{
    User appState; // both on the default store
    User shared;
    ServiceClient client{orvelle::test::testConfig(), shared};
    VersionChecker checker{VersionChecker::serviceQuery(client), QStringLiteral("5"),
                           Scheduler::system(), UrlOpener::system()};
    LoginView view;

    explicit Screen(const QUrl &site = {})
        : view(appState, shared, client, checker, site)
    {}
};
} // namespace

// The part of the sign-in screen that needs no service.
class TestLoginView : public QObject
{
    Q_OBJECT

    HttpsTestServer server;

private slots:
    void initTestCase()
    {
        // The service client reads mobile and token from the shared record.
        orvelle::test::configHome();
        QVERIFY(server.isListening());
    }

    void init()
    {
        orvelle::test::writeAccountStore({});
        server.clear();
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
            view.setPhoneNumber(typed["phone"].toString());
            view.setPassword(typed["password"].toString());
            view.signIn();
            QCOMPARE(view.toastManager()->message(), typed["toast"].toString());
            QVERIFY(view.toastManager()->isShowing());
        }

        QSignalSpy login(&screen.appState, &User::isloginChanged);
        view.setPassword(QStringLiteral("a+b &c"));
        view.signIn();
        QVERIFY(login.wait());
        QCOMPARE(screen.shared.ou1(), QStringLiteral("岚石水泥"));
        QCOMPARE(server.requests().size(), size_t(1));
        const auto request = server.requests().at(0);
        const QUrlQuery body(QString::fromStdString(request.body));
        QCOMPARE(body.queryItemValue("mobile", QUrl::FullyDecoded), QStringLiteral(" zhang.san"));
        QVERIFY2(request.body.find("password=a%2Bb%20%26c") != std::string::npos,
                 request.body.c_str());
        QVERIFY(!view.alert()->shown());
    }

    void failedSignInsEndInTheMessageBox_data()
    {
        addRows(QStringLiteral("account/failed-sign-ins.json"));
    }

    void failedSignInsEndInTheMessageBox()
    {
        QFETCH(QJsonObject, row);
        server.setFallback(Answer::json(row["answer"].toString().toStdString()));
        Screen screen;
        screen.view.setPhoneNumber(QStringLiteral("13800000000"));
        screen.view.setPassword(QStringLiteral("pw"));
        screen.view.signIn();
        QVERIFY(acknowledged(screen.view, row["message"].toString()));
        QCOMPARE(screen.view.shouldNavigatemobile(), row["bindPhone"].toBool());
        // The typed texts stay; nothing was signed in.
        QCOMPARE(screen.view.phoneNumber(), QStringLiteral("13800000000"));
        QCOMPARE(screen.view.password(), QStringLiteral("pw"));
        QVERIFY(!screen.appState.isSignedIn());
        QVERIFY(!screen.shared.token());
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

        view.setPhoneNumber(QStringLiteral("zhang.wei"));
        view.setPassword(QStringLiteral("typed-secret"));
        view.handleFailure(QStringLiteral("此账号未绑定手机号，请绑定手机号"));
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
        orvelle::test::writeAccountStore(
            {{"token", "old-token"}, {"ou1", "岚石水泥"}, {"password", "pw"}});
        Screen screen;
        QSignalSpy login(&screen.appState, &User::isloginChanged);
        screen.view.enterGuestMode();
        QCOMPARE(login.count(), 1);
        QVERIFY(screen.appState.isSignedIn() && screen.appState.isGuestMode());
        QCOMPARE(screen.shared.username(), QStringLiteral("游客模式"));
        QCOMPARE(screen.shared.ou1(), QString());
        // Every entry present; an earlier sign-in's token and password stay.
        const QJsonObject expected = testJson("account/guest-store.json").toObject();
        const QSettings store(User::defaultStoreFile(), QSettings::IniFormat);
        for (const QString &key : expected.keys())
            QVERIFY2(store.contains(key) && store.value(key).toString() == expected[key].toString(),
                     qPrintable(key));
    }
};

QTEST_MAIN(TestLoginView)
#include "tst_loginview.moc"
