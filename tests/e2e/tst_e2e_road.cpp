#include "AppContext.h"
#include "ContentView.h"
#include "DevServiceChild.h"
#include "HomeView.h"
#include "Pilot.h"
#include "RootView.h"
#include "SettingsView.h"
#include "account/LoginView.h"
#include "app/QmlPlugins.h"
#include "core/AppConfig.h"
#include "hazard/SHazardDescriptorView.h"
#include "inspection/DetailedOnspectionListView.h"
#include "net/Endpoints.h"
#include "net/FileStorePhotoAccess.h"
#include "session/Session.h"
#include "support/LogCapture.h"
#include "support/QmlPageFixture.h"
#include "support/ScreenAlert.h"
#include "support/TestData.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QProcess>
#include <QQuickItem>
#include <QQuickStyle>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <functional>
#include <memory>
#include <sqlite3.h>

using namespace orvelle;
using namespace orvelle::test;

namespace {

// ASan builds are slow, and the machine is shared.
constexpr int patience = 30000;

// A screen's message box as its view holds it: on a failure it tells why.
template <typename View> QString alertOf(View *view)
{
    if (!view)
        return QStringLiteral("(screen closed)");
    if (view->alert()->shown())
        return view->alert()->message();
    return view->isLoading() ? QStringLiteral("(uploading)") : QString();
}

bool isServedBy(const QUrl &url, const DevServiceChild &service)
{
    return url.scheme() == QLatin1String("http") && url.host() == service.host()
           && url.port() == 50080;
}

} // namespace

// One inspector's day through the real pages against the real dev service,
// run as a child process on this test's own loopback address, and driven as
// a tester drives them (fields found by their names, typed into, buttons
// tapped): a sign-in, a check sheet, its review, a hazard report, a sheet
// that meets a service that went away and came back; then a colleague binds
// a phone and changes the password. Every log line of every category, Qt's
// own included, is captured at debug level.
class TestEndToEndRoad : public QObject
{
    Q_OBJECT

    // A temporary home for the client's files and the dev service's data;
    // a child run of this test takes its parent's.
    QTemporaryDir home;
    QString homePath = home.path();
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<DevServiceChild> server;
    // The client, on its root page.
    std::unique_ptr<AppContext> context;
    std::unique_ptr<RootView> root;
    std::unique_ptr<FileStorePhotoAccess> photoAccess; // outlives the pages' engine
    std::unique_ptr<QmlPageFixture> fixture;
    QObject *window = nullptr;
    std::unique_ptr<Pilot> pilot; // on the fixture's window

    // What no log may show: the sessions' tokens and the SMS codes.
    QStringList tokens;
    QStringList codes;

    QString lastCodeSentTo(const QString &mobile) const
    {
        const QRegularExpression line(QStringLiteral("SMS to %1: verification code (\\d+)")
                                          .arg(QRegularExpression::escape(mobile)));
        const QStringList &lines = server->log();
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (const auto match = line.match(*it); match.hasMatch())
                return match.captured(1);
        return {};
    }

    // What the dev service holds, read from its database beside it.
    QList<QStringList> stored(const char *sql) const
    {
        QList<QStringList> rows;
        const auto keep = [](void *to, int columns, char **values, char **) {
            QStringList row;
            for (int c = 0; c < columns; ++c)
                row << QString::fromUtf8(values[c]);
            static_cast<QList<QStringList> *>(to)->append(row);
            return 0;
        };
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(server->databaseFile().toUtf8().constData(), &db, SQLITE_OPEN_READONLY,
                            nullptr)
                != SQLITE_OK
            || sqlite3_exec(db, sql, keep, &rows, nullptr) != SQLITE_OK)
            qWarning("sqlite: %s", sqlite3_errmsg(db));
        sqlite3_close(db);
        return rows;
    }

    bool signIn(const QString &phone = "13800000001", const QString &password = "orvelle1")
    {
        if (!enter(phone, password) || !pilot->waitFor("HomeView"))
            return false;
        tokens << context->session->account().token().value_or(QString());
        return !tokens.last().isEmpty();
    }

    // Which of each of the first `rows` rows' two marks is lit: "合格", "不合格" or "".
    QStringList marksOf(QQuickItem *sheet, int rows)
    {
        QStringList marks;
        for (int i = 0; i < rows; ++i) {
            marks << QString();
            for (const QString &mark : {QStringLiteral("合格"), QStringLiteral("不合格")})
                if (QQuickItem *item = pilot->find(mark, pilot->row(sheet, i));
                    item && item->property("highlighted_").toBool())
                    marks.last() = mark;
        }
        return marks;
    }

    // Waits for the view's box to say `message`, then closes it.
    template <typename View> bool answered(View *view, const QString &message)
    {
        if (QTest::qWaitFor([&] { return alertOf(view) == message; }, 120000))
            return pilot->acknowledge(message);
        // What the client was doing meanwhile, for the failure's report.
        const QStringList said = log->lines();
        qWarning("the screen shows \"%s\", not \"%s\"; the client's last words:\n%s",
                 qPrintable(alertOf(view)), qPrintable(message),
                 qPrintable(said.mid(said.size() - 40).join('\n')));
        return false;
    }
    DetailedOnspectionListView *sheetView() const
    {
        return root->contentView()->homeView()->onSiteCheck()->detailView();
    }

    // Every photo address of these records, each uploaded once since line
    // `from` of the service's log, and served.
    bool eachPhotoUploadedOnce(qsizetype from, const QList<QStringList> &records) const
    {
        QSet<QString> addresses;
        for (const QStringList &record : records)
            for (const QString &column : record)
                for (const QString &address : column.split("----"))
                    if (!isServedBy(QUrl(address), *server))
                        return false;
                    else
                        addresses.insert(address);
        return server->log().mid(from).filter(QString(endpoints::photoUpload)).size()
               == addresses.size();
    }

    // The client as it starts on this home's files, on its root page.
    bool startClient()
    {
        // No ORVELLE_* variable of the machine may slip in.
        auto loaded =
            AppConfig::load(QDir(homePath).filePath("orvelle.ini"), QProcessEnvironment());
        if (const auto *problem = std::get_if<ConfigError>(&loaded)) {
            qWarning("%s", qPrintable(problem->line()));
            return false;
        }
        context = buildAppContext(std::get<AppConfig>(loaded));
        root = std::make_unique<RootView>(*context);
        photoAccess = std::make_unique<FileStorePhotoAccess>(std::get<AppConfig>(loaded));
        fixture = std::make_unique<QmlPageFixture>();
        fixture->engine().setNetworkAccessManagerFactory(photoAccess.get());
        window = fixture->load(QUrl("qrc:/Orvelle/App/qml/RootPage.qml"),
                               {{"view", QVariant::fromValue(root.get())}})
                     ? &fixture->window()
                     : nullptr;
        if (!window)
            qWarning("%s", qPrintable(fixture->warningText()));
        // The fixture's own wait for an item to settle, 20 s.
        pilot = std::make_unique<Pilot>(fixture->window(), patience, 20000);
        return window;
    }
    void stopClient()
    {
        window = nullptr;
        pilot.reset();
        fixture.reset();
        photoAccess.reset();
        root.reset();
        context.reset();
    }

    // From the home menu to a check point's sheet, with the on-site photo:
    // the point is tapped by name, or picked ("扫描二维码") by the code the
    // camera sees.
    QQuickItem *openSheet(const QString &checkPoint)
    {
        if (!pilot->tap("现场检查")
            || !pilot->tap(checkPoint, pilot->waitFor("OnInspectionListView"))
            || !pilot->takePhoto())
            return nullptr;
        return pilot->waitFor("DetailedOnspectionListView");
    }

    // Every item "合格" but row `bad`, described and photographed.
    bool fillSheet(QQuickItem *sheet, int rows, int bad, const QString &description)
    {
        for (int i = 0; i < rows; ++i)
            if (!pilot->tap(i == bad ? "不合格" : "合格", pilot->row(sheet, i)))
                return false;
        if (!type("description", description))
            return false;
        pilot->row(sheet, -1);
        return pilot->addPhotoByCamera();
    }

    bool backHome(const QString &page) { return pilot->back(page) && pilot->waitFor("HomeView"); }

    // The settings show who is signed in; signing out ends on the sign-in page.
    bool signOut(const QString &phone)
    {
        return pilot->tap("设置") && pilot->waitFor(phone) && pilot->tap("登出")
               && pilot->waitFor("LoginView");
    }

    // Taps the field, selects what it holds and types over it; characters
    // beyond ASCII arrive as an input method commits them.
    bool type(const QString &field, const QString &text)
    {
        QQuickItem *item = pilot->waitFor(field);
        if (!pilot->tap(item) || !QTest::qWaitFor([&] { return item->hasActiveFocus(); }, patience))
            return false;
        QTest::keyClick(&fixture->window(), Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(&fixture->window(), c.toLatin1());
                continue;
            }
            QInputMethodEvent commit;
            commit.setCommitString(c);
            QCoreApplication::sendEvent(fixture->window().focusObject(), &commit);
        }
        return true;
    }
    // Types both on the sign-in page and taps "登入".
    bool enter(const QString &phone, const QString &password)
    {
        return type("手机号", phone) && type("密码", password) && pilot->tap("登入");
    }
    // Whatever the view's box says, once it shows.
    template <typename View> bool acknowledgeAlert(View *view)
    {
        return alertShown(*view) && pilot->acknowledge(view->alert()->message());
    }

public:
    // As a child of the road, with the service down: files a report, which
    // waits in the outbox, and fills a sheet in without filing it; says
    // "ready" once the sheet's draft holds its last photo, then waits to be killed.
    int fillOfflineUntilKilled(const QString &parentHome)
    {
        homePath = parentHome;
        QQuickStyle::setStyle(QStringLiteral("Material"));
        QQuickItem *form = nullptr;
        QQuickItem *sheet = nullptr;
        const QList<std::pair<const char *, std::function<bool()>>> steps{
            {"home", [&] { return startClient() && pilot->waitFor("HomeView"); }},
            {"report",
             [&] {
                 return pilot->tap("隐患登记") && (form = pilot->waitFor("SHazardDescriptorView"))
                        && pilot->addPhotoByCamera()
                        && type("descriptionText", "地下水泵房积水 C-3")
                        && pilot->choose("隐患来源", "班组隐患排查")
                        && pilot->choose("隐患地点", "破碎车间") && pilot->choose("天气", "雨")
                        && pilot->tap("新增", form);
             }},
            {"report queued",
             [&] {
                 return answered(root->contentView()->homeView()->hazardForm(),
                                 "网络不可用，已保存到待上传，联网后自动上传。")
                        && pilot->waitGone("SHazardDescriptorView");
             }},
            {"sheet", [&] { return (sheet = openSheet("矿山运输道路")); }},
            {"sheet filled",
             [&] {
                 return pilot->waitFor("挡车墙高度足够", sheet)
                        && fillSheet(sheet, 3, 2, "水沟堵塞 D-4");
             }},
            {"sheet kept",
             [&] {
                 return QTest::qWaitFor(
                     [&] {
                         const auto drafts =
                             context->deviceStore()->drafts(context->session->account().storeKey());
                         return !drafts.isEmpty() && drafts.first().key == "sheet/KS-05"
                                && drafts.first().photos.value("added").size() == 1;
                     },
                     patience);
             }},
        };
        for (const auto &[name, step] : steps) {
            if (!step()) {
                std::printf("stopped at: %s (%s)\n", name, qPrintable(pilot->lastMiss()));
                std::fflush(stdout);
                return 1;
            }
        }
        std::puts("ready");
        std::fflush(stdout);
        while (true)
            QTest::qWait(1000);
    }

private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        log = std::make_unique<LogCapture>();
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        server = std::make_unique<DevServiceChild>(ORVELLE_DEVSERVER_EXE,
                                                   home.filePath("devserver"), ORVELLE_TEST_HOST);
        QString error;
        QVERIFY2(server->start({}, &error), qPrintable(error));
        // The camera sees the code posted at the mine road's check point.
        QVERIFY2(server->printQrCodes(home.filePath("codes"), &error), qPrintable(error));

        // The client's configuration as an installer would write it: the INI
        // file, read by the client's own loader, pointing at the dev service
        // and trusting its CA.
        QFile file(home.filePath("orvelle.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            QStringLiteral("[service]\nhost = %1\n[filestore]\nhost = %1\n"
                           "[site]\nurl = http://%1:50080/site/\n[tls]\nca_file = %2\n"
                           "[camera]\nimage = %3\n")
                .arg(server->host(), server->caFile(), home.filePath("codes/checkpoint-KS-05.png"))
                .toUtf8());
        file.close();
        QVERIFY(startClient());
    }

    void cleanupTestCase()
    {
        stopClient();
        log.reset();
        server.reset();
    }

    void signInAfterAWrongPassword()
    {
        // A wrong password is refused with the service's reason.
        QVERIFY(enter("13800000001", "wrong"));
        QVERIFY(acknowledgeAlert(root->loginView()));
        root->loginView()->setProperty("password", QString());
        QVERIFY(signIn());

        // Today's check points of the department come from the service.
        QVERIFY(pilot->tap("今日检查"));
        QVERIFY(pilot->waitFor("InspectionListView"));
        HomeView *menu = root->contentView()->homeView();
        {
            // The list's model keeps its contract while the rows come in.
            const QAbstractItemModelTester tester(
                menu->todayChecks()->checkitems(),
                QAbstractItemModelTester::FailureReportingMode::QtTest);
            QTRY_VERIFY_WITH_TIMEOUT(menu->todayChecks()->checkitems()->rowCount() > 0, 20000);
        }
        QVERIFY(!menu->todayChecks()->hasErrorMessage());
        QVERIFY(pilot->tap("返回"));
        QTRY_VERIFY(!menu->isinLogin());
        QTRY_VERIFY(!QmlPageFixture::findItem(window, "InspectionListView"));
    }

    void submitAnOnSiteSheet()
    {
        QQuickItem *sheet = openSheet("扫描二维码");
        QVERIFY(sheet);
        // The sheet's model keeps its contract while the rows are marked.
        const QAbstractItemModelTester tester(
            sheetView()->checkitems(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(pilot->waitFor("挡车墙高度足够", sheet));
        QVERIFY(fillSheet(sheet, 3, 1, "急停按钮失灵，需更换 E-7"));
        QVERIFY(pilot->tap("上传", sheet));
        QVERIFY(answered(sheetView(), "检查表提交成功"));
        QVERIFY(pilot->waitGone("DetailedOnspectionListView"));
        QVERIFY(pilot->waitFor("矿山运输道路"));
        QVERIFY(backHome("OnInspectionListView"));
    }

    void reviewTheSubmittedSheet()
    {
        QVERIFY(pilot->tap("今日检查"));
        QVERIFY(pilot->tap("矿山运输道路", pilot->waitFor("InspectionListView")));
        QVERIFY(pilot->tap("矿山运输道路日常检查表", pilot->waitFor("InspectionItemDetailView")));
        QQuickItem *review = pilot->waitFor("DetailedInspectionListView");
        QVERIFY(review);
        QVERIFY(pilot->waitFor("急停按钮失灵，需更换 E-7", review));
        QCOMPARE(marksOf(review, 3), QStringList({"合格", "不合格", "合格"}));

        // The on-site photo and the added one, fetched from the service's HTTP port.
        pilot->row(review, -1);
        for (const char *name : {"照片 1", "照片 2"}) {
            QQuickItem *cell = pilot->waitFor(name, review);
            QVERIFY(cell);
            const QUrl source =
                cell->property("contentItem").value<QQuickItem *>()->property("source").toUrl();
            QVERIFY2(isServedBy(source, *server), qPrintable(source.toString()));
            QQuickItem *photo = pilot->waitFor("remotePhoto", cell);
            QTRY_COMPARE_WITH_TIMEOUT(photo->property("status").toInt(), 1 /* Image.Ready */,
                                      30000);
        }
        QVERIFY(!QmlPageFixture::findItem(review, "照片 3"));

        QVERIFY(pilot->back("DetailedInspectionListView", review));
        QVERIFY(pilot->back("InspectionItemDetailView"));
        QVERIFY(backHome("InspectionListView"));
    }

    void reportAHazardWithThreePhotos()
    {
        QVERIFY(pilot->tap("隐患登记"));
        QQuickItem *form = pilot->waitFor("SHazardDescriptorView");
        QVERIFY(form);
        for (int i = 0; i < 3; ++i)
            QVERIFY(pilot->addPhotoByCamera());
        QVERIFY(type("descriptionText", "皮带机尾部托辊脱落 B-2"));
        QVERIFY(pilot->choose("隐患来源", "班组隐患排查"));
        QVERIFY(pilot->choose("隐患地点", "破碎车间"));
        QVERIFY(pilot->choose("天气", "雨"));
        QVERIFY(pilot->tap("新增", form));
        QVERIFY(answered(root->contentView()->homeView()->hazardForm(), "隐患登记成功"));
        QVERIFY(pilot->waitGone("SHazardDescriptorView"));

        const auto reports = stored("SELECT image, yhfrom, place, weather, distription"
                                    " FROM sheets JOIN sheet_items USING (frmno) WHERE hazard = 1");
        QCOMPARE(reports.size(), 1);
        const QStringList report = reports.first();
        QCOMPARE(report.mid(1),
                 QStringList({"班组隐患排查", "破碎车间", "雨", "皮带机尾部托辊脱落 B-2"}));
        const QStringList addresses = report.first().split("----");
        QCOMPARE(addresses.size(), 3);
        for (const QString &address : addresses)
            QVERIFY2(isServedBy(QUrl(address), *server), qPrintable(address));
    }

    // Underground: the list as last loaded, and a sheet never opened (kept as
    // the list loaded) are filled in, the sheet waits on the home menu, and
    // reaches the service once it is back: one sheet, every photo stored by it.
    void uploadWhileTheServiceIsDown()
    {
        QVERIFY(signOut("13800000001"));
        QVERIFY(signIn());
        const char *sheetsOfTheCrusher =
            "SELECT openimageurl, image FROM sheets WHERE key = 'KS-02'";
        const qsizetype filed = stored(sheetsOfTheCrusher).size();
        server->kill();
        QVERIFY(pilot->tap("现场检查"));
        QQuickItem *list = pilot->waitFor("OnInspectionListView");
        QVERIFY(pilot->waitFor("keptList", list) && pilot->waitFor("已保存 5/5 张检查表", list)
                && pilot->tap("破碎机房", list) && pilot->takePhoto());
        QQuickItem *sheet = pilot->waitFor("DetailedOnspectionListView");
        QVERIFY(sheet && pilot->waitFor("粉尘浓度符合要求", sheet));
        QVERIFY(fillSheet(sheet, 3, 2, "粉尘浓度超标 F-2"));
        QVERIFY(pilot->tap("上传", sheet));
        QVERIFY(answered(sheetView(), "网络不可用，已保存到待上传，联网后自动上传。"));
        QVERIFY(pilot->waitGone("DetailedOnspectionListView"));
        QVERIFY(backHome("OnInspectionListView"));
        QVERIFY(pilot->waitFor("待上传 1"));
        // Signing out asks while it waits; "取消" keeps the account in.
        QVERIFY(pilot->tap("设置") && pilot->tap("登出"));
        QQuickItem *question = pilot->waitFor("signOutChoices");
        QVERIFY(question && pilot->tap("取消", question) && pilot->waitGone("signOutChoices"));
        QVERIFY(context->session->appState().isSignedIn() && pilot->tap("首页"));

        // Filed, but the answer is lost: the outbox finds it among today's sheets.
        const qsizetype from = server->log().size();
        QString error;
        QVERIFY2(server->start({"--fault", "drop-after-store"}, &error), qPrintable(error));
        QVERIFY(pilot->tap("outboxRetry"));
        QVERIFY(pilot->waitGone("outboxRow"));
        const auto sheets = stored(sheetsOfTheCrusher);
        QCOMPARE(sheets.size(), filed + 1);
        QVERIFY(!server->log().mid(from).filter("fault drop-after-store").isEmpty());
        // Each photo once: the same picture taken twice is one upload.
        QVERIFY(eachPhotoUploadedOnce(from, {sheets.last()}));
    }

    // Killed underground with a report queued and a sheet half done: the
    // next start shows both, and both reach the service once it is back.
    void startAfterAKillUnderground()
    {
        const char *sheets = "SELECT openimageurl, image FROM sheets WHERE hazard = 0";
        const char *reports = "SELECT image FROM sheets WHERE hazard = 1";
        const qsizetype sheetsBefore = stored(sheets).size();
        const qsizetype reportsBefore = stored(reports).size();
        server->kill();
        stopClient();
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {"--fill-offline", homePath});
        QByteArray said;
        QVERIFY(QTest::qWaitFor(
            [&] {
                said += child.readAllStandardOutput();
                return said.contains("ready") || child.state() == QProcess::NotRunning;
            },
            patience * 4));
        QVERIFY2(said.contains("ready"), said.constData());
        child.kill();
        QVERIFY(child.waitForFinished(patience));

        QVERIFY(startClient() && pilot->waitFor("待上传 1"));
        const qsizetype from = server->log().size();
        QString error;
        QVERIFY2(server->start({}, &error), qPrintable(error));
        QQuickItem *sheet = openSheet("矿山运输道路");
        QVERIFY(sheet && pilot->tap("继续填写"));
        QTRY_COMPARE_WITH_TIMEOUT(marksOf(sheet, 3), QStringList({"合格", "合格", "不合格"}),
                                  patience);
        QVERIFY(pilot->tap("上传", sheet));
        QVERIFY(answered(sheetView(), "检查表提交成功"));
        QVERIFY(backHome("OnInspectionListView"));
        root->contentView()->homeView()->outbox()->retry();
        QVERIFY(pilot->waitGone("outboxRow"));
        const auto newSheets = stored(sheets).mid(sheetsBefore);
        const auto newReports = stored(reports).mid(reportsBefore);
        QCOMPARE(newSheets.size(), 1);
        QCOMPARE(newReports.size(), 1);
        QVERIFY(eachPhotoUploadedOnce(from, newSheets + newReports));
    }

    // A Notes account without a phone is led to the binding screen with what
    // was typed, binds a number with the code from the SMS, and signs in
    // again on a fresh screen.
    void bindAPhone()
    {
        QVERIFY(signOut("13800000001"));
        root->loginView()->setProperty("phoneNumber", QString());
        root->loginView()->setProperty("password", QString());
        QVERIFY(enter("wangfang", "orvelle3"));
        QVERIFY(pilot->acknowledge("此账号未绑定手机号，请绑定手机号"));
        QVERIFY(pilot->waitFor("BindPhoneView"));
        QVERIFY(type("请输入您的手机号码", "13800000003"));
        QVERIFY(pilot->tap("获取验证码"));
        QVERIFY(pilot->acknowledge("发送验证码成功！"));
        // The code line may still be on its way through the pipe.
        QTRY_VERIFY_WITH_TIMEOUT(!lastCodeSentTo("13800000003").isEmpty(), 20000);
        codes << lastCodeSentTo("13800000003");
        QVERIFY(type("请输入验证码", codes.last()));
        QVERIFY(pilot->tap("绑定手机号"));
        BindPhoneView *binding = root->loginView()->bindPhoneView();
        QVERIFY(acknowledgeAlert(binding));
        QTRY_VERIFY(binding->loginView());
        QTRY_VERIFY(!QmlPageFixture::findItem(window, "BindPhoneView"));
        QCOMPARE(context->session->account().mobile(), QStringLiteral("13800000003"));
        QVERIFY(signIn("13800000003", "orvelle3"));
        QVERIFY(context->session->appState().isSignedIn());
    }

    // The change needs a code sent to the bound phone, and ends in a
    // sign-out; the new password signs in.
    void changeThePassword()
    {
        QVERIFY(pilot->tap("设置"));
        QVERIFY(pilot->tap("修改密码"));
        QVERIFY(pilot->waitFor("ChangePasswordView"));
        QVERIFY(pilot->tap("获取验证码"));
        QVERIFY(acknowledgeAlert(root->contentView()->settingsView()->changePasswordView()));
        QTRY_VERIFY_WITH_TIMEOUT(lastCodeSentTo("13800000003") != codes.value(0), 20000);
        codes << lastCodeSentTo("13800000003");
        QVERIFY(type("请输入验证码", codes.last()));
        QVERIFY(type("请输入密码", "fresh-pass9"));
        QVERIFY(type("请重新输入密码", "fresh-pass9"));
        QVERIFY(pilot->tap("修改"));
        QVERIFY(pilot->acknowledge("修改密码成功,请等5分钟之后登录，否则引起账号锁定"));
        QVERIFY(pilot->waitFor("LoginView"));
        root->loginView()->setProperty("phoneNumber", QString());
        QVERIFY(signIn("13800000003", "fresh-pass9"));
        QVERIFY2(fixture->warnings().isEmpty(), qPrintable(fixture->warningText()));
    }

    // The passwords and the tokens are in the keychain, in no file of the
    // client's: a restart finds the sign-in there.
    void secretsOnlyInTheKeychain()
    {
        stopClient();
        QVERIFY(startClient() && context->session->account().token() == tokens.last());
        QDirIterator files(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            for (const QString &secret :
                 QStringList{"orvelle1", "orvelle3", "fresh-pass9"} + tokens)
                QVERIFY2(file.contains("/devserver/")
                             || !fileContents(file).contains(secret.toUtf8()),
                         qPrintable(file + " holds " + secret));
        }
    }

    // With every category at debug level, nothing secret was written; the
    // service prints the codes it sends by SMS.
    void noSecretInAnyLog()
    {
        QCOMPARE(tokens.size(), 4);
        QCOMPARE(codes.size(), 2);
        const QStringList secrets = QStringList{"orvelle1"} + tokens;
        QVERIFY(log->lines().size() > 10); // the categories did speak
        for (const QStringList &lines : {log->lines(), server->log()}) {
            const QString leak = LogCapture::lineWithSecret(lines, secrets);
            QVERIFY2(leak.isEmpty(), qPrintable(leak));
        }
        const QString leak = LogCapture::lineWithSecret(
            log->lines(), QStringList{"orvelle3", "fresh-pass9"} + codes);
        QVERIFY2(leak.isEmpty(), qPrintable(leak));
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--fill-offline") == 0)
        return TestEndToEndRoad().fillOfflineUntilKilled(QString::fromLocal8Bit(argv[2]));
    TestEndToEndRoad test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_e2e_road.moc"
