#include "AppContext.h"
#include "ContentView.h"
#include "HomeView.h"
#include "RootView.h"
#include "account/LoginView.h"
#include "app/QmlPlugins.h"
#include "net/ServiceClient.h"
#include "session/User.h"
#include "support/AccountStore.h"
#include "support/QmlPageFixture.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickStyle>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace orvelle;
using orvelle::test::QmlPageFixture;
using orvelle::test::writeAccountStore;

// The real pages, offscreen, driven by their visible texts as a person would.
class TestPages : public QObject
{
    Q_OBJECT

    QTemporaryDir configHome;

    // The root page over a fresh client, as main() builds it.
    struct RootScreen
    {
        std::unique_ptr<AppContext> context = buildAppContext(AppConfig::defaults());
        RootView root{*context};
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/App/qml/RootPage.qml"),
                                     {{"view", QVariant::fromValue(&root)}});
    };

    // Waits until an item with that name is shown, then taps it.
    static bool tapWhenShown(QObject *root, const QString &name)
    {
        QQuickItem *item = nullptr;
        if (!QTest::qWaitFor([&] { return (item = QmlPageFixture::findItem(root, name)); }))
            return false;
        return QmlPageFixture::tap(item);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(configHome.isValid());
        qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
        QQuickStyle::setStyle(QStringLiteral("Material"));
    }

    void mainWindowLoadsWithoutWarnings_data()
    {
        QTest::addColumn<bool>("storeFails");
        QTest::newRow("store") << false;
        // A folder where the file must go: every write fails, also for root.
        QTest::newRow("folder in the way of the store") << true;
    }
    void mainWindowLoadsWithoutWarnings()
    {
        QFETCH(bool, storeFails);
        writeAccountStore({});
        const QString file = User::defaultStoreFile();
        auto restore = qScopeGuard([&] {
            QDir(file).removeRecursively();
            writeAccountStore({});
        });
        if (storeFails)
            QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        auto context = buildAppContext(AppConfig::defaults());
        RootView root(*context);
        QmlPageFixture fixture;
        QObject *window = fixture.load(QUrl("qrc:/Orvelle/App/qml/Main.qml"),
                                       {{"rootView", QVariant::fromValue(&root)}});
        QVERIFY2(window, qPrintable(fixture.warningText()));
        QVERIFY(QmlPageFixture::findItem(window, "岚石中国"));
        // Loading writes the flags back before the root listens: that failure
        // shows on the first screen, and a later one as well.
        const QString failure = context->appState->storeError();
        QCOMPARE(failure.isEmpty(), !storeFails);
        if (storeFails) {
            QTRY_VERIFY(QmlPageFixture::findItem(window, failure));
            QVERIFY(tapWhenShown(window, "确定"));
            QTRY_VERIFY(!root.storeAlert()->shown());
            context->appState->setIsGuest(QStringLiteral("true"));
            QTRY_VERIFY(QmlPageFixture::findItem(window, failure));
        }
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // The real sign-in with the binding and the message boxes is driven end to
    // end in tst_e2e_signin; here, what that road does not show.
    void signInScreenToastsAndLeadsToTheBinding()
    {
        writeAccountStore({});
        RootScreen screen;
        QVERIFY2(screen.page, qPrintable(screen.fixture.warningText()));
        QmlPageFixture &fixture = screen.fixture;
        QObject *page = screen.page;
        LoginView *login = screen.root.loginView();
        // Every appearance of the sign-in screen asks for the version.
        auto *network = screen.context->serviceClient->findChild<QNetworkAccessManager *>();
        int versionQueries = 0;
        QObject::connect(network, &QNetworkAccessManager::finished, page, [&](QNetworkReply *r) {
            versionQueries += r->url().path().endsWith(QLatin1String("/QueryVersion2"));
        });
        QTRY_COMPARE(versionQueries, 1);
        // The sign-in screen shows no bar to go back with.
        QVERIFY(!QmlPageFixture::findItem(page, "返回"));

        QVERIFY(tapWhenShown(page, "登入"));
        QVERIFY(QmlPageFixture::findItem(page, "手机号不能为空"));
        QQuickItem *phone = QmlPageFixture::findItem(page, "手机号");
        QVERIFY(QmlPageFixture::tap(phone));
        QTRY_VERIFY(phone->hasActiveFocus());
        QTest::keyClick(&fixture.window(), '1');
        QCOMPARE(login->phoneNumber(), QStringLiteral("1"));
        QCOMPARE(login->focusedField(), LoginView::Field::PhoneNumber);
        QVERIFY(tapWhenShown(page, "忘记密码"));
        QTRY_VERIFY(
            QmlPageFixture::findItem(&fixture.window(), "请填写资讯服务申请单申请重置密码"));
        QVERIFY(tapWhenShown(&fixture.window(), "确定"));
        QTRY_VERIFY(!login->alert()->shown());
        QTRY_VERIFY(!QmlPageFixture::findItem(&fixture.window(), "确定"));

        login->handleFailure(QStringLiteral("此账号未绑定手机号，请绑定手机号"));
        QVERIFY(tapWhenShown(&fixture.window(), "确定"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "BindPhoneView"));
        QVERIFY(QmlPageFixture::findItem(page, "创建新账号"));
        // The modal box takes the taps until it has finished closing.
        QTRY_VERIFY(!QmlPageFixture::findItem(&fixture.window(), "确定"));

        // Back returns to the sign-in screen and clears the flag, so the next
        // refusal leads to the binding again.
        QVERIFY(tapWhenShown(page, "返回"));
        QTRY_VERIFY(!login->shouldNavigatemobile());
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "BindPhoneView"));
        QTRY_COMPARE(versionQueries, 2);
        login->handleFailure(QStringLiteral("此账号未绑定手机号，请绑定手机号"));
        QVERIFY(tapWhenShown(&fixture.window(), "确定"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "BindPhoneView"));

        // The fresh sign-in after a binding has no bar either.
        login->bindPhoneView()->setShouldlogin(true);
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "BindPhoneView"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "LoginView"));
        QVERIFY(!QmlPageFixture::findItem(page, "返回"));
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    void guestWalksThroughTheTabs()
    {
        writeAccountStore({});
        RootScreen screen;
        QVERIFY2(screen.page, qPrintable(screen.fixture.warningText()));
        RootView &root = screen.root;
        QmlPageFixture &fixture = screen.fixture;
        QObject *page = screen.page;

        QVERIFY(tapWhenShown(page, "游客访问"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "HomeView"));
        QVERIFY(QmlPageFixture::findItem(page, "尊敬的用户 : 游客模式"));

        // The inspection tiles are closed to a guest.
        QVERIFY(tapWhenShown(page, "今日检查"));
        QTRY_VERIFY(QmlPageFixture::findItem(&fixture.window(), "游客模式不能使用"));
        QVERIFY(tapWhenShown(&fixture.window(), "确定"));
        QTRY_VERIFY(!root.contentView()->homeView()->alert()->shown());
        QVERIFY(!root.contentView()->homeView()->isinLogin());
        // The modal box takes the taps until it has finished closing.
        QTRY_VERIFY(!QmlPageFixture::findItem(&fixture.window(), "游客模式不能使用"));

        // The notice scanner is open to a guest; a hostile code opens no page.
        HomeView *home = root.contentView()->homeView();
        QVERIFY(tapWhenShown(page, "信息公告"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "QRCodeScannerView"));
        emit home->scanner()->didFindCode(QStringLiteral("javascript:alert(1)"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "链接错误，请重试"));
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "QRCodeScannerView"));
        QVERIFY(tapWhenShown(page, "返回"));
        QTRY_VERIFY(!home->shouldNavigate());
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "RiskAnnouncementWebView"));
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));

        QVERIFY(tapWhenShown(page, "设置"));
        QTRY_COMPARE(root.contentView()->selectedTab(), 1);
        QTRY_VERIFY(QmlPageFixture::findItem(page, "SettingsView"));
        QVERIFY(QmlPageFixture::findItem(page, "游客"));
        QQuickItem *changePassword = QmlPageFixture::findItem(page, "修改密码");
        QVERIFY(changePassword);
        QVERIFY(!changePassword->isEnabled());

        QVERIFY(tapWhenShown(page, "登出"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "LoginView"));
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    void navigationFlagPushesAndGoingBackClearsIt()
    {
        writeAccountStore({{"islogin", "true"}});
        auto context = buildAppContext(AppConfig::defaults());
        HomeView home(*context);
        QmlPageFixture fixture;
        QObject *stack = fixture.load(QUrl::fromLocalFile(QFINDTESTDATA("NavigationHarness.qml")),
                                      {{"view", QVariant::fromValue(&home)}});
        QVERIFY2(stack, qPrintable(fixture.warningText()));

        home.openTodayChecks();
        QTRY_VERIFY(QmlPageFixture::findItem(stack, "Pushed"));
        QCOMPARE(stack->property("depth").toInt(), 2);

        // Back: the flag falls, so tapping the tile again pushes again.
        QQmlExpression(qmlContext(stack), stack, QStringLiteral("pop()")).evaluate();
        QTRY_VERIFY(!home.isinLogin());
        QCOMPARE(stack->property("depth").toInt(), 1);
        home.openTodayChecks();
        QTRY_COMPARE(stack->property("depth").toInt(), 2);

        // The view may withdraw the page itself.
        home.setIsinLogin(false);
        QTRY_COMPARE(stack->property("depth").toInt(), 1);
        QVERIFY(!home.isinLogin());
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    void fixtureCatchesQmlWarnings()
    {
        // The harness itself must fail a page that has a broken binding.
        QmlPageFixture fixture;
        fixture.engine().setOutputWarningsToStandardError(false);
        QTemporaryDir dir;
        QFile file(dir.filePath("Broken.qml"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("import QtQuick\nItem { width: undefinedThing.width }\n");
        file.close();
        QVERIFY(fixture.load(QUrl::fromLocalFile(file.fileName())));
        QVERIFY(!fixture.warnings().isEmpty());
    }
};

QTEST_MAIN(TestPages)
#include "tst_pages.moc"
