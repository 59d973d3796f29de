#include "AppContext.h"
#include "ContentView.h"
#include "RootView.h"
#include "SettingsView.h"
#include "account/LoginView.h"
#include "account/VersionChecker.h"
#include "devserver/DevServer.h"
#include "session/User.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvelle;

// The client's own frame against the local dev service, as a tester uses it.
class TestEndToEndSignIn : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    std::unique_ptr<devserver::DevServer> server;

    AppConfig clientConfig() const
    {
        AppConfig config = AppConfig::defaults();
        config.serviceHost = QStringLiteral(ORVELLE_TEST_HOST);
        config.fileStoreHost = config.serviceHost;
        config.caFile = server->caFile();
        return config;
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        devserver::DevServerOptions options;
        options.dataDir = home.filePath("devserver");
        options.listenAddress = QStringLiteral(ORVELLE_TEST_HOST);
        options.httpPort = 50080;
        options.log = [](const QString &) {};
        server = std::make_unique<devserver::DevServer>(options);
        QString error;
        QVERIFY2(server->start(&error), qPrintable(error));
    }
    void cleanupTestCase() { server.reset(); }

    void seededAccountsSignInAndOut()
    {
        auto context = buildAppContext(clientConfig());
        RootView root(*context);
        QSignalSpy screens(&root, &RootView::screenChanged);

        // A wrong password is refused with the service's reason.
        LoginView *login = root.loginView();
        QVERIFY(login);
        login->setPhoneNumber(QStringLiteral("13800000001"));
        login->setPassword(QStringLiteral("wrong"));
        login->signIn();
        QTRY_VERIFY_WITH_TIMEOUT(login->showAlert(), 20000);
        QVERIFY(!login->alertMessage().isEmpty());
        login->acknowledgeAlert();

        login->setPassword(QStringLiteral("orvelle1"));
        login->signIn();
        QVERIFY(screens.wait(20000));
        QVERIFY(root.contentView());
        QVERIFY(context->sharedUser->token());
        QCOMPARE(root.contentView()->settingsView()->accountText(), QStringLiteral("13800000001"));

        // The published build is not newer than ours: no alert.
        root.contentView()->appeared();
        QTest::qWait(500);
        QVERIFY(!context->versionChecker->showAlert());

        root.contentView()->settingsView()->signOut();
        QVERIFY(screens.wait(20000));

        // A Notes account without a phone is led to the binding screen.
        login = root.loginView();
        login->setPhoneNumber(QStringLiteral("wangfang"));
        login->setPassword(QStringLiteral("orvelle3"));
        login->signIn();
        QTRY_VERIFY_WITH_TIMEOUT(login->showAlert(), 20000);
        QCOMPARE(login->alertMessage(), QStringLiteral("此账号未绑定手机号，请绑定手机号"));
        QVERIFY(login->shouldNavigate());
    }
};

QTEST_GUILESS_MAIN(TestEndToEndSignIn)
#include "tst_e2e_signin.moc"
