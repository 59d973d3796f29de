#include "AppContext.h"
#include "ContentView.h"
#include "EndToEnd.h"
#include "HomeView.h"
#include "RootView.h"
#include "SettingsView.h"
#include "account/LoginView.h"
#include "app/QmlPlugins.h"
#include "session/User.h"

#include <QAbstractItemModelTester>
#include <QRegularExpression>
#include <QTest>

using namespace orvelle;
using namespace orvelle::test;

// The client's real pages against the local dev service, driven as a tester
// drives them: fields found by their names, typed into, buttons tapped.
class TestEndToEndSignIn : public EndToEndTest
{
    Q_OBJECT

    QString lastCodeSentTo(const QString &mobile) const
    {
        const QRegularExpression line(QStringLiteral("SMS to %1: verification code (\\d+)")
                                          .arg(QRegularExpression::escape(mobile)));
        const QStringList &log = server->log();
        for (auto it = log.crbegin(); it != log.crend(); ++it)
            if (const auto match = line.match(*it); match.hasMatch())
                return match.captured(1);
        return {};
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(startService(&error), qPrintable(error));
    }

    void cleanupTestCase() { stopService(); }

    void signInBindAPhoneChangeThePassword()
    {
        auto context = buildAppContext(clientConfig(*server, home.path()));
        RootView root(*context);
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/App/qml/RootPage.qml"),
                                     {{"view", QVariant::fromValue(&root)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));

        // A wrong password is refused with the service's reason.
        QVERIFY(type(fixture, "手机号", "13800000001"));
        QVERIFY(type(fixture, "密码", "wrong"));
        QVERIFY(tap(page, "登入"));
        QTRY_VERIFY_WITH_TIMEOUT(root.loginView()->alert()->shown(), 20000);
        QVERIFY(acknowledge(fixture, root.loginView()->alert()->message()));

        root.loginView()->setPassword(QString());
        QVERIFY(type(fixture, "密码", "orvelle1"));
        QVERIFY(tap(page, "登入"));
        QVERIFY(waitFor(page, "HomeView"));
        QVERIFY(context->sharedUser->token());

        // Today's check points of the department come from the service.
        QVERIFY(tap(page, "今日检查"));
        QVERIFY(waitFor(page, "InspectionListView"));
        HomeView *home = root.contentView()->homeView();
        {
            // The list's model keeps its contract while the rows come in.
            const QAbstractItemModelTester tester(
                home->todayChecks()->checkitems(),
                QAbstractItemModelTester::FailureReportingMode::QtTest);
            QTRY_VERIFY_WITH_TIMEOUT(home->todayChecks()->checkitems()->rowCount() > 0, 20000);
        }
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
        // The code line may still be on its way through the pipe.
        QTRY_VERIFY_WITH_TIMEOUT(!lastCodeSentTo("13800000003").isEmpty(), 20000);
        const QString bindingCode = lastCodeSentTo("13800000003");
        QVERIFY(type(fixture, "请输入验证码", bindingCode));
        QVERIFY(tap(page, "绑定手机号"));
        BindPhoneView *binding = root.loginView()->bindPhoneView();
        QTRY_VERIFY_WITH_TIMEOUT(binding->alert()->shown(), 20000);
        QVERIFY(acknowledge(fixture, binding->alert()->message()));
        QTRY_VERIFY(binding->loginView());
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "BindPhoneView"));
        QCOMPARE(context->sharedUser->mobile(), QStringLiteral("13800000003"));

        QVERIFY(type(fixture, "手机号", "13800000003"));
        QVERIFY(type(fixture, "密码", "orvelle3"));
        QVERIFY(tap(page, "登入"));
        QVERIFY(waitFor(page, "HomeView"));
        QVERIFY(context->appState->isSignedIn());

        // The password change needs a code sent to the bound phone, and ends
        // in a sign-out; the new password signs in.
        QVERIFY(tap(page, "设置"));
        QVERIFY(tap(page, "修改密码"));
        QVERIFY(waitFor(page, "ChangePasswordView"));
        ChangePasswordView *change = root.contentView()->settingsView()->changePasswordView();
        QVERIFY(tap(page, "获取验证码"));
        QTRY_VERIFY_WITH_TIMEOUT(change->alert()->shown(), 20000);
        QVERIFY(acknowledge(fixture, change->alert()->message()));
        QTRY_VERIFY_WITH_TIMEOUT(lastCodeSentTo("13800000003") != bindingCode, 20000);
        const QString passwordCode = lastCodeSentTo("13800000003");
        QVERIFY(type(fixture, "请输入验证码", passwordCode));
        QVERIFY(type(fixture, "请输入密码", "fresh-pass9"));
        QVERIFY(type(fixture, "请重新输入密码", "fresh-pass9"));
        QVERIFY(tap(page, "修改"));
        QVERIFY(acknowledge(fixture,
                            QStringLiteral("修改密码成功,请等5分钟之后登录，否则引起账号锁定")));
        QVERIFY(waitFor(page, "LoginView"));
        root.loginView()->setPhoneNumber(QString());
        QVERIFY(type(fixture, "手机号", "13800000003"));
        QVERIFY(type(fixture, "密码", "fresh-pass9"));
        QVERIFY(tap(page, "登入"));
        QVERIFY(waitFor(page, "HomeView"));
        const QString token = context->sharedUser->token().value_or(QString());
        QVERIFY(!token.isEmpty());
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));

        // With every category at debug level, nothing secret was written.
        const QStringList secrets{"orvelle1",  "orvelle3",   "fresh-pass9",
                                  bindingCode, passwordCode, token};
        const QString leak = LogCapture::lineWithSecret(log->lines(), secrets);
        QVERIFY2(leak.isEmpty(), qPrintable(leak));
        QVERIFY(log->lines().size() > 10); // the categories did speak
    }
};

QTEST_MAIN(TestEndToEndSignIn)
#include "tst_e2e_signin.moc"
