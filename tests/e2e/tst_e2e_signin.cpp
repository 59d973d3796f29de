#include "AppContext.h"
#include "ContentView.h"
#include "HomeView.h"
#include "RootView.h"
#include "account/LoginView.h"
#include "app/QmlPlugins.h"
#include "devserver/DevServer.h"
#include "session/User.h"
#include "support/QmlPageFixture.h"

#include <QQuickItem>
#include <QQuickStyle>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace orvelle;
using orvelle::test::QmlPageFixture;

// The client's real pages against the local dev service, driven as a tester
// drives them: fields found by their names, typed into, buttons tapped.
class TestEndToEndSignIn : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    std::unique_ptr<devserver::DevServer> server;
    QStringList serverLog;

    AppConfig clientConfig() const
    {
        AppConfig config = AppConfig::defaults();
        config.serviceHost = QStringLiteral(ORVELLE_TEST_HOST);
        config.fileStoreHost = config.serviceHost;
        config.caFile = server->caFile();
        return config;
    }

    static QQuickItem *waitFor(QObject *root, const QString &name)
    {
        QQuickItem *item = nullptr;
        if (!QTest::qWaitFor([&] { return (item = QmlPageFixture::findItem(root, name)); }, 20000))
            return nullptr;
        return item;
    }

    static bool tap(QObject *root, const QString &name)
    {
        QQuickItem *item = waitFor(root, name);
        return item && QmlPageFixture::tap(item);
    }

    static bool type(QmlPageFixture &fixture, const QString &field, const QString &text)
    {
        QQuickItem *item = waitFor(&fixture.window(), field);
        if (!item || !QmlPageFixture::tap(item)
            || !QTest::qWaitFor([&] { return item->hasActiveFocus(); }))
            return false;
        for (const QChar c : text)
            QTest::keyClick(&fixture.window(), c.toLatin1());
        return true;
    }

    // Taps "确定" and waits until the box has finished closing.
    static bool acknowledge(QmlPageFixture &fixture, const QString &message)
    {
        QObject *window = &fixture.window();
        if (!waitFor(window, message) || !tap(window, QStringLiteral("确定")))
            return false;
        return QTest::qWaitFor(
            [&] { return !QmlPageFixture::findItem(window, QStringLiteral("确定")); });
    }

    QString lastCodeSentTo(const QString &mobile) const
    {
        const QRegularExpression line(QStringLiteral("SMS to %1: verification code (\\d+)")
                                          .arg(QRegularExpression::escape(mobile)));
        for (auto it = serverLog.crbegin(); it != serverLog.crend(); ++it)
            if (const auto match = line.match(*it); match.hasMatch())
                return match.captured(1);
        return {};
    }

private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        devserver::DevServerOptions options;
        options.dataDir = home.filePath("devserver");
        options.listenAddress = QStringLiteral(ORVELLE_TEST_HOST);
        options.httpPort = 50080;
        options.log = [this](const QString &line) { serverLog << line; };
        server = std::make_unique<devserver::DevServer>(options);
        QString error;
        QVERIFY2(server->start(&error), qPrintable(error));
    }

    void cleanupTestCase() { server.reset(); }

    void signInBindAPhoneAndSignInAgain()
    {
        auto context = buildAppContext(clientConfig());
        RootView root(*context);
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/App/qml/RootPage.qml"),
                                     {{"view", QVariant::fromValue(&root)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));

        // A wrong password is refused with the service's reason.
        QVERIFY(type(fixture, "手机号", "13800000001"));
        QVERIFY(type(fixture, "密码", "wrong"));
        QVERIFY(tap(page, "登入"));
        QTRY_VERIFY_WITH_TIMEOUT(root.loginView()->showAlert(), 20000);
        QVERIFY(acknowledge(fixture, root.loginView()->alertMessage()));

        root.loginView()->setPassword(QString());
        QVERIFY(type(fixture, "密码", "orvelle1"));
        QVERIFY(tap(page, "登入"));
        QVERIFY(waitFor(page, "HomeView"));
        QVERIFY(context->sharedUser->token());

        // Today's check points of the department come from the service.
        QVERIFY(tap(page, "今日检查"));
        QVERIFY(waitFor(page, "InspectionListView"));
        HomeView *home = root.contentView()->homeView();
        QTRY_VERIFY_WITH_TIMEOUT(home->todayChecks()->checkitems()->rowCount() > 0, 20000);
        QVERIFY(!home->todayChecks()->hasErrorMessage());
        QVERIFY(tap(page, "返回"));
        QTRY_VERIFY(!home->isinLogin());
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "InspectionListView"));
        QVERIFY(tap(page, "设置"));
        QVERIFY(waitFor(page, "13800000001"));
        QVERIFY(tap(page, "登出"));
        QVERIFY(waitFor(page, "LoginView"));

        // A Notes account without a phone is led to the binding screen with
        // what was typed, binds a number with the code from the SMS, and signs
        // in again on a fresh screen.
        root.loginView()->setPhoneNumber(QString());
        root.loginView()->setPassword(QString());
        QVERIFY(type(fixture, "手机号", "wangfang"));
        QVERIFY(type(fixture, "密码", "orvelle3"));
        QVERIFY(tap(page, "登入"));
        QVERIFY(acknowledge(fixture, QStringLiteral("此账号未绑定手机号，请绑定手机号")));
        QVERIFY(waitFor(page, "BindPhoneView"));
        QVERIFY(type(fixture, "请输入您的手机号码", "13800000003"));
        QVERIFY(tap(page, "获取验证码"));
        QVERIFY(acknowledge(fixture, QStringLiteral("发送验证码成功！")));
        QVERIFY(!lastCodeSentTo("13800000003").isEmpty());
        QVERIFY(type(fixture, "请输入验证码", lastCodeSentTo("13800000003")));
        QVERIFY(tap(page, "绑定手机号"));
        BindPhoneView *binding = root.loginView()->bindPhoneView();
        QTRY_VERIFY_WITH_TIMEOUT(binding->showAlert(), 20000);
        QVERIFY(acknowledge(fixture, binding->alertMessage()));
        QTRY_VERIFY(binding->loginView());
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "BindPhoneView"));
        QCOMPARE(context->sharedUser->mobile(), QStringLiteral("13800000003"));

        QVERIFY(type(fixture, "手机号", "13800000003"));
        QVERIFY(type(fixture, "密码", "orvelle3"));
        QVERIFY(tap(page, "登入"));
        QVERIFY(waitFor(page, "HomeView"));
        QVERIFY(context->appState->isSignedIn());
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }
};

QTEST_MAIN(TestEndToEndSignIn)
#include "tst_e2e_signin.moc"
