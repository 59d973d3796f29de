#include "AppContext.h"
#include "ContentView.h"
#include "EndToEnd.h"
#include "HomeView.h"
#include "RootView.h"
#include "app/QmlPlugins.h"
#include "hazard/SHazardDescriptorView.h"
#include "inspection/DetailedOnspectionListView.h"
#include "session/User.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <sqlite3.h>

using namespace orvelle;
using namespace orvelle::test;

namespace {

// The delegate of a list's row, scrolled into view as a finger would.
QQuickItem *rowOf(QQuickItem *page, int index)
{
    QQuickItem *list = waitFor(page, QStringLiteral("checkitems"));
    if (!list)
        return nullptr;
    constexpr int contain = 4; // ListView.Contain
    QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, index), Q_ARG(int, contain));
    QQuickItem *row = nullptr;
    QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, row),
                              Q_ARG(int, index));
    return row;
}

void scrollToEnd(QQuickItem *page)
{
    if (QQuickItem *list = waitFor(page, QStringLiteral("checkitems")))
        QMetaObject::invokeMethod(list, "positionViewAtEnd");
}

// Which of a row's two marks is lit: "合格", "不合格" or "".
QString markOf(QQuickItem *row)
{
    for (const QString &mark : {QStringLiteral("合格"), QStringLiteral("不合格")})
        if (QQuickItem *item = QmlPageFixture::findItem(row, mark);
            item && item->property("highlighted_").toBool())
            return mark;
    return {};
}

// The camera is open: shutter, then keep the picture.
bool takePhoto(QmlPageFixture &fixture)
{
    QQuickItem *camera = waitFor(&fixture.window(), QStringLiteral("CameraPicker"));
    // Below the page, whose title is "拍照" as well.
    QQuickItem *controls = camera ? camera->property("contentItem").value<QQuickItem *>() : nullptr;
    return controls && tap(controls, QStringLiteral("拍照"))
           && tap(controls, QStringLiteral("使用照片"))
           && waitGone(&fixture.window(), QStringLiteral("CameraPicker"));
}

bool addPhotoByCamera(QmlPageFixture &fixture)
{
    QObject *window = &fixture.window();
    return tap(window, QStringLiteral("添加图片")) && tap(window, QStringLiteral("拍照"))
           && takePhoto(fixture);
}

// Opens an option row's picker, taps a choice and confirms it.
bool choose(QmlPageFixture &fixture, const QString &row, const QString &choice)
{
    QObject *window = &fixture.window();
    if (!tap(window, row))
        return false;
    QQuickItem *choices = waitFor(window, QStringLiteral("pickerChoices"));
    return choices && tap(choices, choice) && tap(window, QStringLiteral("完成"))
           && waitGone(window, QStringLiteral("pickerChoices"));
}

// A screen's message box as its view holds it: on a failure it tells why.
template <typename View> QString alertOf(View *view)
{
    if (!view)
        return QStringLiteral("(screen closed)");
    if (view->alert()->shown())
        return view->alert()->message();
    return view->isLoading() ? QStringLiteral("(uploading)") : QString();
}

bool isServedBy(const QUrl &url, const DevService &service)
{
    return url.scheme() == QLatin1String("http") && url.host() == service.host()
           && url.port() == 50080;
}

} // namespace

// One inspector's day through the real pages against the real dev service: a
// check sheet, its review, a hazard report, and a sheet that meets a service
// that went away and came back.
class TestEndToEndRoad : public EndToEndTest
{
    Q_OBJECT

    std::unique_ptr<AppContext> context;
    std::unique_ptr<RootView> root;
    std::unique_ptr<QmlPageFixture> fixture;
    QObject *window = nullptr;
    QStringList tokens;

    // What the dev service holds, read from its database beside it.
    QList<QStringList> stored(const char *sql) const
    {
        QList<QStringList> rows;
        sqlite3 *db = nullptr;
        sqlite3_stmt *query = nullptr;
        if (sqlite3_open_v2(server->databaseFile().toUtf8().constData(), &db, SQLITE_OPEN_READONLY,
                            nullptr)
                != SQLITE_OK
            || sqlite3_prepare_v2(db, sql, -1, &query, nullptr) != SQLITE_OK)
            qWarning("sqlite: %s", sqlite3_errmsg(db));
        while (query && sqlite3_step(query) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(query); ++c)
                row << QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(query, c)));
            rows << row;
        }
        sqlite3_finalize(query);
        sqlite3_close(db);
        return rows;
    }

    bool signIn()
    {
        if (!type(*fixture, "手机号", "13800000001") || !type(*fixture, "密码", "orvelle1")
            || !tap(window, "登入") || !waitFor(window, "HomeView"))
            return false;
        tokens << context->sharedUser->token().value_or(QString());
        return !tokens.last().isEmpty();
    }

    // From the home menu to a check point's sheet, with the on-site photo:
    // the point is tapped by name, or picked ("扫描二维码") by the code the
    // camera sees.
    QQuickItem *openSheet(const QString &checkPoint)
    {
        if (!tap(window, "现场检查") || !tap(waitFor(window, "OnInspectionListView"), checkPoint)
            || !takePhoto(*fixture))
            return nullptr;
        return waitFor(window, "DetailedOnspectionListView");
    }

    // Every item "合格" but row `bad`, described and photographed.
    bool fillSheet(QQuickItem *sheet, int rows, int bad, const QString &description)
    {
        for (int i = 0; i < rows; ++i)
            if (!tap(rowOf(sheet, i), i == bad ? "不合格" : "合格"))
                return false;
        if (!type(*fixture, "description", description))
            return false;
        scrollToEnd(sheet);
        return addPhotoByCamera(*fixture);
    }

    HomeView *menu() const { return root->contentView()->homeView(); }

    bool backHome(const QString &page)
    {
        return tap(window, "返回") && waitGone(window, page) && waitFor(window, "HomeView");
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(startService(&error), qPrintable(error));

        // The camera sees the code posted at the mine road's check point.
        QVERIFY2(server->printQrCodes(home.filePath("codes"), &error), qPrintable(error));
        const QString cameraImage = home.filePath("codes/checkpoint-KS-05.png");

        context = buildAppContext(clientConfig(*server, home.path(), cameraImage));
        root = std::make_unique<RootView>(*context);
        fixture = std::make_unique<QmlPageFixture>();
        QObject *page = fixture->load(QUrl("qrc:/Orvelle/App/qml/RootPage.qml"),
                                      {{"view", QVariant::fromValue(root.get())}});
        QVERIFY2(page, qPrintable(fixture->warningText()));
        window = &fixture->window();
    }

    void cleanupTestCase()
    {
        fixture.reset();
        root.reset();
        context.reset();
        stopService();
    }

    void submitAnOnSiteSheet()
    {
        QVERIFY(signIn());
        QQuickItem *sheet = openSheet("破碎机房");
        QVERIFY(sheet);
        // The sheet's model keeps its contract while the rows are marked.
        const QAbstractItemModelTester tester(
            menu()->onSiteCheck()->detailView()->checkitems(),
            QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(waitFor(sheet, "粉尘浓度符合要求"));
        QVERIFY(fillSheet(sheet, 3, 1, "急停按钮失灵，需更换 E-7"));
        QVERIFY(tap(sheet, "上传"));
        QTRY_COMPARE_WITH_TIMEOUT(alertOf(menu()->onSiteCheck()->detailView()),
                                  QStringLiteral("检查表提交成功"), 120000);
        QVERIFY(acknowledge(*fixture, "检查表提交成功"));
        QVERIFY(waitGone(window, "DetailedOnspectionListView"));
        QVERIFY(waitFor(window, "破碎机房"));
        QVERIFY(backHome("OnInspectionListView"));
    }

    void reviewTheSubmittedSheet()
    {
        QVERIFY(tap(window, "今日检查"));
        QVERIFY(tap(waitFor(window, "InspectionListView"), "破碎机房"));
        QVERIFY(tap(waitFor(window, "InspectionItemDetailView"), "破碎机房日常检查表"));
        QQuickItem *review = waitFor(window, "DetailedInspectionListView");
        QVERIFY(review);
        QVERIFY(waitFor(review, "急停按钮失灵，需更换 E-7"));
        QCOMPARE(markOf(rowOf(review, 0)), QStringLiteral("合格"));
        QCOMPARE(markOf(rowOf(review, 1)), QStringLiteral("不合格"));
        QCOMPARE(markOf(rowOf(review, 2)), QStringLiteral("合格"));

        // The on-site photo and the added one, fetched from the service's HTTP port.
        scrollToEnd(review);
        for (const char *name : {"照片 1", "照片 2"}) {
            QQuickItem *cell = waitFor(review, name);
            QVERIFY(cell);
            const QUrl source =
                cell->property("contentItem").value<QQuickItem *>()->property("source").toUrl();
            QVERIFY2(isServedBy(source, *server), qPrintable(source.toString()));
            QQuickItem *photo = waitFor(cell, "remotePhoto");
            QTRY_COMPARE_WITH_TIMEOUT(photo->property("status").toInt(), 1 /* Image.Ready */,
                                      30000);
        }
        QVERIFY(!QmlPageFixture::findItem(review, "照片 3"));

        QVERIFY(tap(review, "返回"));
        QVERIFY(waitGone(window, "DetailedInspectionListView"));
        QVERIFY(tap(window, "返回"));
        QVERIFY(waitGone(window, "InspectionItemDetailView"));
        QVERIFY(backHome("InspectionListView"));
    }

    void reportAHazardWithThreePhotos()
    {
        QVERIFY(tap(window, "隐患登记"));
        QQuickItem *form = waitFor(window, "SHazardDescriptorView");
        QVERIFY(form);
        for (int i = 0; i < 3; ++i)
            QVERIFY(addPhotoByCamera(*fixture));
        QVERIFY(type(*fixture, "descriptionText", "皮带机尾部托辊脱落 B-2"));
        QVERIFY(choose(*fixture, "隐患来源", "班组隐患排查"));
        QVERIFY(choose(*fixture, "隐患地点", "破碎车间"));
        QVERIFY(choose(*fixture, "天气", "雨"));
        QVERIFY(tap(form, "新增"));
        QTRY_COMPARE_WITH_TIMEOUT(alertOf(menu()->hazardForm()), QStringLiteral("隐患登记成功"),
                                  120000);
        QVERIFY(acknowledge(*fixture, "隐患登记成功"));
        QVERIFY(waitGone(window, "SHazardDescriptorView"));

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

    void signOut()
    {
        QVERIFY(tap(window, "设置"));
        QVERIFY(tap(window, "登出"));
        QVERIFY(waitFor(window, "LoginView"));
    }

    // The photos go first, so a dead service fails the upload and the sheet
    // keeps everything; once it is back, one press stores the sheet once.
    void uploadWhileTheServiceIsDown()
    {
        QVERIFY(signIn());
        QQuickItem *sheet = openSheet("扫描二维码");
        QVERIFY(sheet);
        QVERIFY(waitFor(sheet, "挡车墙高度足够"));
        QVERIFY(fillSheet(sheet, 3, 2, "挡车墙仅高 0.8 米"));
        server->kill();
        QVERIFY(tap(sheet, "上传"));
        QTRY_COMPARE_WITH_TIMEOUT(alertOf(menu()->onSiteCheck()->detailView()),
                                  QStringLiteral("上传失败，请重试。"), 120000);
        QVERIFY(acknowledge(*fixture, "上传失败，请重试。"));

        QCOMPARE(markOf(rowOf(sheet, 0)), QStringLiteral("合格"));
        QCOMPARE(markOf(rowOf(sheet, 1)), QStringLiteral("合格"));
        QQuickItem *bad = rowOf(sheet, 2);
        QCOMPARE(markOf(bad), QStringLiteral("不合格"));
        QQuickItem *editor = waitFor(bad, "description");
        QVERIFY(editor);
        QCOMPARE(editor->property("text").toString(), QStringLiteral("挡车墙仅高 0.8 米"));
        scrollToEnd(sheet);
        QVERIFY(waitFor(sheet, "thumbnail"));

        QString error;
        QVERIFY2(server->start(&error), qPrintable(error));
        QVERIFY(tap(sheet, "上传"));
        QTRY_COMPARE_WITH_TIMEOUT(alertOf(menu()->onSiteCheck()->detailView()),
                                  QStringLiteral("检查表提交成功"), 120000);
        QVERIFY(acknowledge(*fixture, "检查表提交成功"));
        QVERIFY(waitGone(window, "DetailedOnspectionListView"));
        // One sheet, with the on-site photo and the added one sent again.
        const auto sheets = stored("SELECT openimageurl, image FROM sheets WHERE key = 'KS-05'");
        QCOMPARE(sheets.size(), 1);
        for (const QString &address : sheets.first())
            QVERIFY2(isServedBy(QUrl(address), *server), qPrintable(address));
        QVERIFY(backHome("OnInspectionListView"));
        QVERIFY2(fixture->warnings().isEmpty(), qPrintable(fixture->warningText()));
    }

    void noSecretInAnyLog()
    {
        QCOMPARE(tokens.size(), 2);
        const QStringList secrets = QStringList{"orvelle1"} + tokens;
        QVERIFY(log->lines().size() > 10); // the categories did speak
        for (const QStringList &lines : {log->lines(), server->log()}) {
            const QString leak = LogCapture::lineWithSecret(lines, secrets);
            QVERIFY2(leak.isEmpty(), qPrintable(leak));
        }
    }
};

QTEST_MAIN(TestEndToEndRoad)
#include "tst_e2e_road.moc"
