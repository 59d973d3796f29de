#include "AppContext.h"
#include "ContentView.h"
#include "FirstFrameGate.h"
#include "HomeView.h"
#include "OrvelleApp.h"
#include "OutboxView.h"
#include "RootView.h"
#include "SettingsView.h"
#include "account/LoginView.h"
#include "app/QmlPlugins.h"
#include "net/ServiceClient.h"
#include "session/Session.h"
#include "support/AccountStore.h"
#include "support/FullDisk.h"
#include "support/NotesService.h"
#include "support/QmlPageFixture.h"
#include "support/SqlAnswer.h"
#include "support/StoredWork.h"
#include "support/TestData.h"
#include "support/https/TestClientConfig.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QQuickStyle>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <sys/prctl.h>
#include <unistd.h>

using namespace orvelle;
using namespace orvelle::test;

// The frame's views over real store files in a temporary config folder, the
// real pages, offscreen, driven by their visible texts as a person would, and
// the client executable: options, config errors, screenshot.
class TestApp : public QObject
{
    Q_OBJECT

    // The root page over a fresh client, as main() builds it.
    struct RootScreen
    {
        std::unique_ptr<AppContext> context = buildAppContext(AppConfig::defaults());
        RootView root{*context};
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/App/qml/RootPage.qml"),
                                     {{"view", QVariant::fromValue(&root)}});
    };

    // Waits until an item with that name is shown and still, then taps it.
    static bool tapWhenShown(QObject *root, const QString &name)
    {
        QQuickItem *item = nullptr;
        return QTest::qWaitFor([&] { return (item = QmlPageFixture::findItem(root, name)); })
               && QmlPageFixture::settled(item) && QmlPageFixture::tap(item);
    }

    // The client executable as a user starts it, with a config folder of its own.
    QTemporaryDir home;

    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };

    // Its config, data and runtime folders are the test's own.
    QProcessEnvironment clientEnvironment(const QStringList &extraEnvironment = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", home.path());
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        environment.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.remove("ORVELLE_CONFIG");
        for (const QString &entry : extraEnvironment)
            environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
        return environment;
    }

    Run run(const QStringList &arguments, const QStringList &extraEnvironment = {},
            const QString &program = QStringLiteral(ORVELLE_CLIENT))
    {
        QProcess process;
        process.setProcessEnvironment(clientEnvironment(extraEnvironment));
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return {
                -1, {}, process.errorString() + QString::fromUtf8(process.readAllStandardError())};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString placed(QString text) const
    {
        return text.replace("$HOME", home.path())
            .replace("$DATA", ORVELLE_TEST_DATA)
            .replace("$VERSION", ORVELLE_VERSION)
            .replace("$BUILD", ORVELLE_BUILD);
    }

    std::unique_ptr<AppContext> makeContext() { return buildAppContext(AppConfig::defaults()); }

    // The client in `install` as a copy of it beside Qt's QML folder as
    // links, less the missing module; Qt reads qt.conf beside the program.
    static bool installWithout(const QString &missing, const QTemporaryDir &install)
    {
        const QString qml = QLibraryInfo::path(QLibraryInfo::QmlImportsPath);
        const QString parent = missing.section(u'/', 0, 0);
        bool made = QDir().mkpath(install.filePath("qml/" + parent));
        for (const QString &folder : {QString(), parent}) {
            const QDir from(qml + u'/' + folder);
            for (const QString &entry : from.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
                const QString name = folder.isEmpty() ? entry : folder + u'/' + entry;
                if (name != parent && name != missing)
                    made =
                        made && QFile::link(from.filePath(entry), install.filePath("qml/" + name));
            }
        }
        const QString client = install.filePath("orvelle");
        QFile conf(install.filePath("qt.conf"));
        if (!made
            || !(::link(ORVELLE_CLIENT, qPrintable(client)) == 0
                 || QFile::copy(ORVELLE_CLIENT, client))
            || !conf.open(QIODevice::WriteOnly))
            return false;
        QTextStream paths(&conf);
        paths << "[Paths]\nPrefix=" << QLibraryInfo::path(QLibraryInfo::PrefixPath) << "\n";
        for (const auto &[key, path] :
             {std::pair{"Libraries", QLibraryInfo::LibrariesPath},
              {"LibraryExecutables", QLibraryInfo::LibraryExecutablesPath},
              {"Plugins", QLibraryInfo::PluginsPath},
              {"Data", QLibraryInfo::DataPath},
              {"ArchData", QLibraryInfo::ArchDataPath},
              {"Translations", QLibraryInfo::TranslationsPath}})
            paths << key << "=" << QLibraryInfo::path(path) << "\n";
        paths << "QmlImports=" << install.filePath("qml") << "\n";
        return paths.status() == QTextStream::Ok;
    }

    // Multimedia and its audio and codec libraries wait for the first scan.
    static bool multimediaLoaded()
    {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Multimedia.so");
    }

public:
    // With ORVELLE_STARTED_CLIENT naming a screenshot file, this process is
    // a client started as main() starts it, to its first frame; then it
    // prints what the start left in force, for startedClientDrawsAndKeepsItsSecrets.
    static void initMain()
    {
        QByteArray shot = qgetenv("ORVELLE_STARTED_CLIENT");
        if (shot.isEmpty())
            return;
        char program[] = "orvelle";
        char option[] = "--screenshot";
        char *argv[] = {program, option, shot.data(), nullptr};
        const int code = runOrvelle(3, argv);
        std::printf("dumpable %d\n", ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0));
        QFile limits(QStringLiteral("/proc/self/limits"));
        if (limits.open(QIODevice::ReadOnly))
            std::printf("%s", limits.readAll().constData());
        std::fflush(stdout);
        std::_Exit(code);
    }

private slots:
    void initTestCase()
    {
        // The store lives under the config folder; never the tester's own.
        const QString home = configHome().path();
        QVERIFY(User::defaultStoreFile().startsWith(home));
        QQuickStyle::setStyle(QStringLiteral("Material"));
        FullDisk::install();
        QVERIFY(QDir(this->home.path()).mkdir("runtime"));
        QVERIFY(QFile::setPermissions(this->home.filePath("runtime"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    // Every case starts signed out.
    void init() { writeAccountStore({}); }

    // "storeFails": a folder where the store file must go, so every write
    // fails, also for root.
    void mainWindowLoadsWithoutWarnings_data() { addRows("app/main-window.json"); }
    void mainWindowLoadsWithoutWarnings()
    {
        QFETCH(QJsonObject, row);
        const bool storeFails = row["storeFails"].toBool();
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
        QVERIFY(!multimediaLoaded());
        // Loading writes the flags back before the root listens: that failure
        // shows on the first screen, and a later one as well.
        const QString failure = context->session->appState().storeError();
        QCOMPARE(failure.isEmpty(), !storeFails);
        if (storeFails) {
            QTRY_VERIFY(QmlPageFixture::findItem(window, failure));
            QVERIFY(tapWhenShown(window, "确定"));
            QTRY_VERIFY(!root.storeAlert()->shown());
            context->session->appState().setIsGuest(QStringLiteral("true"));
            QTRY_VERIFY(QmlPageFixture::findItem(window, failure));
        }
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // Typing, the message boxes and the binding after a refusal are driven end
    // to end in tst_e2e_road; here, what that road does not show.
    void signInScreenToastsAndLeadsToTheBinding()
    {
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
        // The password is never shown as typed; the phone number is not guessed.
        QObject *password = QmlPageFixture::findItem(page, "密码");
        QVERIFY(password);
        const QMetaObject *field = password->metaObject();
        QCOMPARE(password->property("echoMode").toInt(),
                 field->enumerator(field->indexOfEnumerator("EchoMode")).keyToValue("Password"));
        QObject *phone = QmlPageFixture::findItem(page, "手机号");
        QVERIFY(phone);
        QVERIFY(phone->property("inputMethodHints").toInt() & Qt::ImhNoPredictiveText);

        QVERIFY(tapWhenShown(page, "登入"));
        QVERIFY(QmlPageFixture::findItem(page, "手机号不能为空"));

        login->handleFailure(QStringLiteral("此账号未绑定手机号，请绑定手机号"));
        QVERIFY(tapWhenShown(&fixture.window(), "确定"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "BindPhoneView"));
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
        RootScreen screen;
        QVERIFY2(screen.page, qPrintable(screen.fixture.warningText()));
        RootView &root = screen.root;
        QmlPageFixture &fixture = screen.fixture;
        QObject *page = screen.page;

        QVERIFY(tapWhenShown(page, "游客访问"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "HomeView"));
        QVERIFY(QmlPageFixture::findItem(page, "尊敬的用户 : 游客模式"));

        // The inspection tiles are closed to a guest.
        HomeView *home = root.contentView()->homeView();
        for (const char *tile : {"今日检查", "现场检查"}) {
            QVERIFY(tapWhenShown(page, tile));
            QTRY_VERIFY(QmlPageFixture::findItem(&fixture.window(), "游客模式不能使用"));
            QVERIFY(tapWhenShown(&fixture.window(), "确定"));
            QTRY_VERIFY(!home->alert()->shown());
            QVERIFY(!home->isinLogin() && !home->isonLogin());
            // The modal box takes the taps until it has finished closing.
            QTRY_VERIFY(!QmlPageFixture::findItem(&fixture.window(), "游客模式不能使用"));
        }
        // The hazard form is open to a guest.
        QVERIFY(tapWhenShown(page, "隐患登记"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "SHazardDescriptorView"));
        QVERIFY(home->showHazardForm() && !home->alert()->shown());
        // Closed by its owner: with no service its place list fails, and the
        // failure box stands over the page.
        home->setShowHazardForm(false);
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "SHazardDescriptorView"));

        // The notice scanner is open to a guest, and loads the camera only now;
        // closed without a code, it changes nothing else.
        QVERIFY(tapWhenShown(page, "信息公告"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "QRCodeScannerView"));
        QVERIFY(multimediaLoaded());
        home->setIsScannerPresented(false);
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "QRCodeScannerView"));
        QVERIFY(!home->shouldNavigate() && !home->selectedKey());
        // A code opens its notice (a hostile one, no page); the camera keeps
        // reporting while the closed scanner's page leaves.
        QVERIFY(tapWhenShown(page, "信息公告"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "QRCodeScannerView"));
        QPointer<QRCodeScannerView> scanner = home->scanner();
        const QString code = QStringLiteral("javascript:alert(1)");
        emit scanner->didFindCode(code);
        RiskAnnouncementWebView *shown = home->announcement();
        QVERIFY(scanner && shown && shown->keyText() == code);
        emit scanner->didFindCode(QStringLiteral("http://other.example/"));
        QVERIFY(home->announcement() == shown && home->selectedKey() == code);
        QTRY_VERIFY(QmlPageFixture::findItem(page, "链接错误，请重试"));
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "QRCodeScannerView"));
        QVERIFY(tapWhenShown(page, "返回"));
        QTRY_VERIFY(!home->shouldNavigate());
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "RiskAnnouncementWebView"));
        // The next visit has a scanner of its own.
        QVERIFY(tapWhenShown(page, "信息公告"));
        QTRY_VERIFY(!scanner && home->scanner());
        home->setIsScannerPresented(false);
        QTRY_VERIFY(!QmlPageFixture::findItem(page, "QRCodeScannerView"));

        // Escape on the forms is driven in tst_waits, through the same back keys.
        QVERIFY(tapWhenShown(page, "设置"));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "SettingsView"));
        QVERIFY(QmlPageFixture::findItem(page, "游客"));
        // Signing out through "登出" is driven end to end in tst_e2e_road.
        QQuickItem *changePassword = QmlPageFixture::findItem(page, "修改密码");
        QVERIFY(changePassword && !changePassword->isEnabled());
        SettingsView *settings = root.contentView()->settingsView();
        settings->openChangePassword();
        settings->openBindPhone();
        QVERIFY(!settings->showChangePassword() && !settings->showBindPhone());
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    void fixtureCatchesQmlWarnings()
    {
        // The harness itself must fail a page that has a broken binding.
        QmlPageFixture fixture;
        fixture.engine().setOutputWarningsToStandardError(false);
        QVERIFY(fixture.load(QUrl::fromLocalFile(ORVELLE_TEST_DATA "/app/Broken.qml")));
        QVERIFY(!fixture.warnings().isEmpty());
    }

    // Signed in (as a guest too) it starts on the main tabs; signing out
    // keeps the account for the next sign-in but not its token, so a guest
    // after it sends none. The near misses of "true" are the store's own test.
    void rootSwitchesWhenTheFlagChanges()
    {
        writeAccountStore({{"islogin", "true"},
                           {"isGuest", "true"},
                           {"mobile", "13800000001"},
                           {"token", "t-1"},
                           {"password", "secret"}});
        auto context = makeContext();
        // Work of two accounts waits on the device: the sign-in screen says so.
        QVERIFY(queueReport(*context->deviceStore(), "job:1", "a", {}, {})
                && queueReport(*context->deviceStore(), "job:2", "b", {}, {}));
        RootView root(*context);
        QSignalSpy screens(&root, &RootView::screenChanged);
        QVERIFY(root.contentView() && !root.loginView());
        root.contentView()->setSelectedTab(1);
        root.contentView()->settingsView()->signOut();
        QCOMPARE(storedEntry("islogin"), QStringLiteral("false"));
        QCOMPARE(storedEntry("isGuest"), QStringLiteral("false"));
        QCOMPARE(storedEntry("mobile"), QStringLiteral("13800000001"));
        const User nextRun(User::defaultStoreFile());
        QCOMPARE(nextRun.password(), QStringLiteral("secret"));
        QVERIFY(!nextRun.token() && !context->session->account().token());
        QVERIFY(screens.wait());
        QPointer<LoginView> login = root.loginView();
        QVERIFY(login);
        const int waiting = context->deviceStore()->undeliveredCount();
        QVERIFY(waiting >= 2);
        QTRY_VERIFY(login->waitingWorkText().contains(QStringLiteral(" %1 条").arg(waiting)));

        login->enterGuestMode();
        QVERIFY(screens.wait());
        QVERIFY(root.contentView() && !root.loginView());
        // The old screen goes once its page had a chance to let go.
        QTRY_VERIFY(!login);
        // A fresh main screen after every sign-in: tab 0, home flags false.
        QCOMPARE(root.contentView()->selectedTab(), 0);
        QVERIFY(!root.contentView()->homeView()->isinLogin());
        const QJsonObject common = context->serviceClient->withCommonParameters({});
        QVERIFY(!common.contains("token") && common["mobile"] == QStringLiteral("游客"));

        // Setting the flag to what it already is does not rebuild the screen:
        // checked once an event queued after the root's own has run.
        QPointer<ContentView> content = root.contentView();
        screens.clear();
        context->session->appState().setIslogin(QStringLiteral("true"));
        bool later = false;
        QMetaObject::invokeMethod(
            &root, [&later] { later = true; }, Qt::QueuedConnection);
        QVERIFY(QTest::qWaitFor([&later] { return later; }));
        QCOMPARE(screens.count(), 0);
        QCOMPARE(root.contentView(), content.data());
    }

    // A device store that cannot be read is moved aside and told once on home;
    // in the new one, the outbox asks first for "删除" and "已提交", and
    // "编辑" of a report opens its form offering it as a draft.
    void theDeviceStoreOnTheHomePage()
    {
        writeAccountStore({{"islogin", "true"}, {"username", "zhangwei"}, {"jobnumber", "10001"}});
        AppConfig config = AppConfig::defaults();
        QTemporaryDir folder;
        config.deviceFolder = folder.path();
        QFile damaged(folder.filePath("device.sqlite"));
        QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(8192, 'x'))
                && damaged.flush());
        const QString photo = "/photos/" + QString(64, 'a') + ".jpg";
        QFile named(folder.filePath(photo.mid(1)));
        QVERIFY(QDir().mkpath(folder.filePath("photos")) && named.open(QIODevice::WriteOnly)
                && named.write("a photo its rows name") && named.flush());
        auto context = buildAppContext(config);
        DeviceStore &store = *context->deviceStore();
        const qint64 failed = queueReport(store, "job:10001", "hazard", {}, {});
        const qint64 maybe = queueReport(store, "job:10001", "漏水", {}, {});
        QVERIFY(store.setState(failed, OutboxState::Failed, "已关闭"));
        QVERIFY(store.setState(maybe, OutboxState::MaybeDelivered));
        HomeView home(*context);
        home.appeared();
        OutboxView &outbox = *home.outbox();
        QTRY_COMPARE(outbox.count(), 2);
        QVERIFY(home.alert()->message().contains(folder.filePath("device-unreadable-")));
        // Its photo went with it, out of reach of the new store's collection.
        const QString aside = QDir(folder.path()).entryList({"device-unreadable-*"}).value(0);
        QCOMPARE(fileContents(folder.filePath(aside) + photo), "a photo its rows name");
        home.alert()->acknowledge();
        home.appeared();
        QVERIFY(!home.alert()->shown());
        outbox.remove(maybe);
        QVERIFY(outbox.question().contains("可能已经提交"));
        outbox.answer(false);
        // The page draws each row from its roles; "已提交" is the one that may have arrived.
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/App/qml/OutboxPage.qml"),
                                     {{"view", QVariant::fromValue(&outbox)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QVERIFY2(tapWhenShown(page, "已提交"), qPrintable(fixture.warningText()));
        QTRY_VERIFY(outbox.question().contains("已经提交成功"));
        QVERIFY(tapWhenShown(&fixture.window(), "确定"));
        QTRY_COMPARE(outbox.count(), 1);
        outbox.edit(failed);
        QVERIFY(home.showHazardForm() && home.hazardForm()->draft()->offered());
        QCOMPARE(outbox.count(), 0);
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // The folder of a newer client, or one another client holds, is never
    // opened: only why is shown, nothing goes out, nothing of it changes. A
    // full disk is told, and the store is left as it was, not set aside.
    void storeProblemsAtStart_data() { addRows("app/store-problems.json"); }
    void storeProblemsAtStart()
    {
        QFETCH(QJsonObject, row);
        const QString problem = row["problem"].toString();
        const QString refusal = row["refusal"].toString();
        AppConfig config = AppConfig::defaults();
        QTemporaryDir folder;
        config.deviceFolder = folder.path();
        QVERIFY(queueReport(*buildAppContext(config)->deviceStore(), "zhangwei", "漏水",
                            {QImage(8, 8, QImage::Format_RGB32)}, {}));
        if (problem == "newer")
            sqlAnswer(folder.filePath("device.sqlite"), "PRAGMA user_version=99");
        const auto before = filesUnder(folder.path());
        const auto holder = problem == "held elsewhere" ? buildAppContext(config) : nullptr;
        std::optional<FullDisk> noRoom;
        if (problem == "full")
            noRoom.emplace(folder.path());

        auto context = buildAppContext(config);
        RootView root(*context);
        QmlPageFixture fixture;
        if (refusal.isEmpty()) {
            QString said;
            QTRY_VERIFY(!(said += context->takeStoreNotice()).isEmpty());
            QVERIFY2(said.contains(row["notice"].toString()), qPrintable(said));
            QVERIFY(root.loginView() && root.refusal().isEmpty());
            QVERIFY(context->deviceStore()->databaseFile() != folder.filePath("device.sqlite"));
        } else {
            QObject *page = fixture.load(QUrl("qrc:/Orvelle/App/qml/RootPage.qml"),
                                         {{"view", QVariant::fromValue(&root)}});
            QVERIFY2(page, qPrintable(fixture.warningText()));
            QTRY_VERIFY(root.refusal().contains(refusal));
            QVERIFY(QmlPageFixture::findItem(page, root.refusal()));
            QVERIFY(QmlPageFixture::findItem(page, "退出"));
            QTRY_VERIFY(!root.loginView() && !root.contentView());
            QVERIFY(!context->deviceStore()->isOpen() && !context->outbox());
        }
        noRoom.reset();
        QCOMPARE(filesUnder(folder.path()), before);
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // The standard places are kept from the start and at each sign-in,
    // whatever page is up, and when home shows with a kept list a day old: a
    // report filed underground has its place.
    void placesKeptAtEachSignIn()
    {
        writeAccountStore({{"islogin", "true"}, {"username", "zhangwei"}, {"jobnumber", "10001"}});
        HttpsTestServer server;
        NotesService service(server);
        service.answerAlways(endpoints::json::standardPlace,
                             R"({"code":1,"checkitems":[{"place":"破碎车间"}]})");
        AppConfig config = testConfig();
        QTemporaryDir folder;
        config.deviceFolder = folder.path();
        auto context = buildAppContext(config);
        Session &session = *context->session;
        // Waits for a copy kept after the one seen last: counting the
        // requests alone would take an answer still on its way for kept.
        QDateTime lastKept;
        const auto keptAgain = [&](int requests) {
            return QTest::qWaitFor([&] {
                const auto kept = context->deviceStore()->cached("job:10001", "places");
                if (!kept || kept->loadedAt <= lastKept
                    || service.requestCount(endpoints::json::standardPlace) != requests)
                    return false;
                lastKept = kept->loadedAt;
                return true;
            });
        };
        QVERIFY(keptAgain(1));
        HomeView home(*context);
        home.appeared(); // kept just now: not asked again
        session.signOut();
        session.signIn(QJsonObject{{"userinfo", QJsonObject{{"username", "zhangwei"},
                                                            {"jobnumber", "10001"},
                                                            {"token", "t-2"}}}},
                       [](int, const QString &message) { QFAIL(qPrintable(message)); });
        QVERIFY(keptAgain(2));
        sqlAnswer(context->deviceStore()->databaseFile(),
                  "UPDATE cache SET loaded_at = loaded_at - 25 * 3600000");
        lastKept = context->deviceStore()->cached("job:10001", "places")->loadedAt;
        home.appeared();
        QVERIFY(keptAgain(3));
    }

    // What the rows show, and opening the password change, are driven on the
    // pages (in guestWalksThroughTheTabs for a guest, in tst_e2e_road for a
    // member); here a member's binding.
    void settingsBindPhoneForAMember()
    {
        writeAccountStore({{"islogin", "true"}, {"isGuest", "false"}});
        auto context = makeContext();
        SettingsView settings(*context->session, *context->serviceClient);
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

    // A client started as main() starts it draws its first screen, writes no
    // core dump that would carry the password and the token, and no other
    // process of the user may read its memory.
    void startedClientDrawsAndKeepsItsSecrets()
    {
        const QString shot = home.filePath("started.png");
        // Qt 6.4's software scene graph keeps its image textures past the end
        // of exec(); the same pages are leak-checked above.
        const Run result =
            run({}, {"ORVELLE_STARTED_CLIENT=" + shot, "LSAN_OPTIONS=detect_leaks=0"},
                QCoreApplication::applicationFilePath());
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains(shot) && result.out.contains("dumpable 0\n"),
                 qPrintable(result.out + result.err));
        static const QRegularExpression noCore(QStringLiteral("Max core file size +0 +0 "));
        QVERIFY2(result.out.contains(noCore), qPrintable(result.out));
        QImage image(shot);
        QVERIFY(!image.isNull() && image.width() >= 320);
        // Something was drawn: not one flat colour.
        QVERIFY(image.pixel(image.width() / 2, image.height() / 8) != image.pixel(5, 5)
                || image.pixel(image.width() / 2, image.height() / 4) != image.pixel(5, 5));
    }

    // Options and unusable configurations (exit code 2); Qt may add its own
    // notes about the environment to stderr, so only our lines are counted.
    // A damaged installation, whose QML import path lacks a module ("missing"):
    // the client says which, with the file (and the line, where the file names
    // the module) that imports it, and ends with status 1, not a crash.
    void commandLines_data() { addRows("app/runs.json"); }
    void commandLines()
    {
        QFETCH(QJsonObject, row);
        QStringList arguments;
        for (const QJsonValue &argument : row["args"].toArray())
            arguments << placed(argument.toString());
        QTemporaryDir install;
        QString client = QStringLiteral(ORVELLE_CLIENT);
        QStringList environment;
        if (row.contains("missing")) {
            client = install.filePath("orvelle");
            QVERIFY(installWithout(row["missing"].toString(), install));
            environment << "LSAN_OPTIONS=detect_leaks=0";
        }
        const Run result = run(arguments, environment, client);
        QCOMPARE(result.exitCode, row["exit"].toInt());
        for (const char *key : {"out", "alsoOut"})
            QVERIFY2(result.out.contains(placed(row[key].toString())), qPrintable(result.out));
        QVERIFY2(result.err.contains(placed(row["err"].toString())), qPrintable(result.err));
        QVERIFY2(result.err.contains(QRegularExpression(row["said"].toString())),
                 qPrintable(result.err));
        if (row.contains("ourLines"))
            QCOMPARE(result.err.count(QStringLiteral("orvelle: ")), row["ourLines"].toInt());
        QVERIFY(!QFile::exists(home.filePath("never.png")));
    }

    // Held (the client until its first frame), the gate keeps work back;
    // work whose context is gone by the time it opens is dropped.
    void firstFrameGateHoldsWorkUntilOpen()
    {
        FirstFrameGate gate;
        QObject context;
        auto gone = std::make_unique<QObject>();
        int ran = 0;
        gate.hold();
        gate.whenOpen(&context, [&] { ran += 1; });
        gate.whenOpen(gone.get(), [&] { ran += 10; });
        gone.reset();
        QCoreApplication::processEvents();
        QCOMPARE(ran, 0);
        gate.open();
        QTRY_COMPARE(ran, 1);
        gate.whenOpen(&context, [&] { ran += 1; });
        QTRY_COMPARE(ran, 2);
    }

    // A second start on the same folder brings the first window forward and
    // leaves; a client killed outright keeps no later one out.
    void secondStartBringsTheFirstForward()
    {
        const QString runtime = home.filePath("runtime");
        for (int start = 0; start < 2; ++start) {
            QProcess first;
            first.setProcessEnvironment(clientEnvironment());
            first.start(QStringLiteral(ORVELLE_CLIENT));
            // Listening: a socket left by the killed one refuses connections.
            QVERIFY(QTest::qWaitFor(
                [&] {
                    const QStringList sockets =
                        QDir(runtime).entryList({"orvelle-*"}, QDir::System);
                    QLocalSocket probe;
                    probe.connectToServer(runtime + '/' + sockets.value(0));
                    return !sockets.isEmpty() && probe.waitForConnected(200);
                },
                60000));
            const Run second = run({});
            QCOMPARE(second.exitCode, 0);
            QVERIFY2(second.out.contains("already running"), qPrintable(second.out + second.err));
            QCOMPARE(first.state(), QProcess::Running);
            first.kill();
            QVERIFY(first.waitForFinished(10000));
        }
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
