#include "AppContext.h"
#include "ContentView.h"
#include "HomeView.h"
#include "RootView.h"
#include "SettingsView.h"
#include "account/LoginView.h"
#include "net/ServiceClient.h"
#include "session/User.h"
#include "support/AccountStore.h"
#include "support/https/TestClientConfig.h"

#include <QSignalSpy>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;

// The frame's views over real store files in a temporary config folder.
class TestViews : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppContext> makeContext() { return buildAppContext(AppConfig::defaults()); }

private slots:
    void initTestCase()
    {
        // The store lives under the config folder; never the tester's own.
        const QString home = configHome().path();
        QVERIFY(User::defaultStoreFile().startsWith(home));
    }

    void rootSwitchesWhenTheFlagChanges()
    {
        writeAccountStore({});
        auto context = makeContext();
        RootView root(*context);
        QSignalSpy screens(&root, &RootView::screenChanged);
        QPointer<LoginView> login = root.loginView();
        QVERIFY(login);

        login->enterGuestMode();
        QVERIFY(screens.wait());
        QVERIFY(root.contentView());
        QVERIFY(!root.loginView());
        // The old screen goes once its page had a chance to let go.
        QTRY_VERIFY(!login);

        // A fresh main screen after every sign-in: tab 0, home flags false.
        root.contentView()->setSelectedTab(1);
        root.contentView()->settingsView()->signOut();
        QVERIFY(screens.wait());
        QVERIFY(root.loginView());
        root.loginView()->enterGuestMode();
        QVERIFY(screens.wait());
        QCOMPARE(root.contentView()->selectedTab(), 0);
        QVERIFY(!root.contentView()->homeView()->isinLogin());

        // Setting the flag to what it already is does not rebuild the screen:
        // checked once an event queued after the root's own has run.
        QPointer<ContentView> content = root.contentView();
        screens.clear();
        context->appState->setIslogin(QStringLiteral("true"));
        bool later = false;
        QMetaObject::invokeMethod(
            &root, [&later] { later = true; }, Qt::QueuedConnection);
        QVERIFY(QTest::qWaitFor([&later] { return later; }));
        QCOMPARE(screens.count(), 0);
        QCOMPARE(root.contentView(), content.data());
    }

    // tst_pages taps "今日检查" and the notice scanner as a guest; members open
    // the checks end to end.
    void guestOpensTheHazardFormNotTheOnSiteCheck()
    {
        writeAccountStore({{"islogin", "true"}, {"isGuest", "true"}});
        auto context = makeContext();
        HomeView home(*context);
        home.openOnSiteCheck();
        QVERIFY(home.alert()->shown());
        QVERIFY(!home.isonLogin());
        home.alert()->acknowledge();
        home.openHazardReport();
        QVERIFY(home.showHazardForm());
        QVERIFY(!home.alert()->shown());
    }

    void scannedCodeOpensTheNotice()
    {
        writeAccountStore({{"islogin", "true"}});
        auto context = makeContext();
        HomeView home(*context);

        // Closing the scanner without a code changes nothing else.
        home.openNotice();
        QVERIFY(home.scanner());
        home.setIsScannerPresented(false);
        QVERIFY(!home.shouldNavigate());
        QCOMPARE(home.selectedKey(), std::nullopt);

        home.openNotice();
        QPointer<QRCodeScannerView> scanner = home.scanner();
        emit scanner->didFindCode(QStringLiteral("http://notices.example/GG-2026-017"));
        QCOMPARE(home.selectedKey(), QStringLiteral("http://notices.example/GG-2026-017"));
        QCOMPARE(home.announcement()->keyText(),
                 QStringLiteral("http://notices.example/GG-2026-017"));

        // The camera keeps reporting while the closed scanner's page leaves.
        RiskAnnouncementWebView *shown = home.announcement();
        QVERIFY(scanner);
        emit scanner->didFindCode(QStringLiteral("http://other.example/"));
        QCOMPARE(home.announcement(), shown);
        QCOMPARE(home.selectedKey(), QStringLiteral("http://notices.example/GG-2026-017"));
        home.openNotice();
        QTRY_VERIFY(!scanner);
    }

    // What the rows show, and opening the password change, are driven on
    // the pages (tst_pages for a guest, tst_e2e_road for a member).
    void settingsRowsForGuestAndMember()
    {
        writeAccountStore({{"islogin", "true"}, {"isGuest", "true"}});
        auto context = makeContext();
        User &appState = *context->appState;
        ServiceClient &client = *context->serviceClient;
        {
            SettingsView settings(appState, *context->sharedUser, client);
            settings.openChangePassword();
            settings.openBindPhone();
            QVERIFY(!settings.showChangePassword() && !settings.showBindPhone());
        }
        writeAccountStore({{"islogin", "true"}, {"isGuest", "false"}});
        appState.reloadThroughSetters();
        context->sharedUser->reloadThroughSetters();
        SettingsView settings(appState, *context->sharedUser, client);
        settings.openBindPhone();
        QVERIFY(settings.showBindPhone());
        QPointer<BindPhoneView> bind = settings.bindPhoneView();
        QVERIFY(bind);
        QCOMPARE(bind->username(), QString()); // the stored account is used
        bind->countdown()->start();
        settings.setShowBindPhone(false);
        QVERIFY(!bind->countdown()->isTicking()); // leaving stops the countdown
        settings.openBindPhone();
        QTRY_VERIFY(!bind); // a new visit, a new screen
    }

    // Signed in (as a guest too) it starts on the main tabs; signing out
    // keeps the account for the next sign-in. The near misses of "true" are
    // the store's own test; a guest's screens are driven in tst_pages.
    void signedInStartsOnTheTabsAndSignOutKeepsTheAccount()
    {
        writeAccountStore({{"islogin", "true"},
                           {"isGuest", "true"},
                           {"mobile", "13800000001"},
                           {"token", "t-1"},
                           {"password", "secret"}});
        auto context = makeContext();
        RootView root(*context);
        QVERIFY(root.contentView() && !root.loginView());
        root.contentView()->settingsView()->signOut();
        QCOMPARE(storedEntry("islogin"), QStringLiteral("false"));
        QCOMPARE(storedEntry("isGuest"), QStringLiteral("false"));
        for (const auto &[key, value] :
             {std::pair{"mobile", "13800000001"}, {"password", "secret"}, {"token", "t-1"}})
            QCOMPARE(storedEntry(key), QString::fromUtf8(value));
    }
};

QTEST_MAIN(TestViews)
#include "tst_views.moc"
