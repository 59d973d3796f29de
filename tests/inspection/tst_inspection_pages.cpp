#include "inspection/InspectionListView.h"
#include "inspection/OnInspectionListView.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "platform/Beeper.h"
#include "platform/Camera.h"
#include "session/User.h"
#include "support/NotesService.h"
#include "support/QmlPageFixture.h"
#include "support/https/TestClientConfig.h"

#include <QJsonArray>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleInspectionPlugin)

using namespace orvelle;
using namespace orvelle::test;
namespace json = orvelle::endpoints::json;

namespace {
// Every visible button called `name`, top to bottom.
QList<QQuickItem *> findButtons(QQuickItem *root, const QString &name)
{
    QList<QQuickItem *> found;
    QList<QQuickItem *> pending{root};
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        if (!item->isVisible())
            continue;
        if (item->inherits("QQuickAbstractButton") && QmlPageFixture::findItem(item, name) == item)
            found << item;
        pending << item->childItems();
    }
    std::sort(found.begin(), found.end(), [](QQuickItem *a, QQuickItem *b) {
        return a->mapToScene({0, 0}).y() < b->mapToScene({0, 0}).y();
    });
    return found;
}

QQuickItem *find(QQuickWindow &window, const QString &name)
{
    return QmlPageFixture::findItem(window.contentItem(), name);
}
} // namespace

// The inspection pages driven through their controls, as an inspector would.
class TestInspectionPages : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    HttpsTestServer server;
    std::unique_ptr<NotesService> service;
    std::unique_ptr<ServiceClient> client;
    std::unique_ptr<PhotoUploader> uploader;
    std::unique_ptr<User> user;
    std::unique_ptr<Beeper> beeper = Beeper::silent();
    AppConfig config = testConfig();

private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        QVERIFY(server.isListening());
        qputenv("HOME", dir.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
        service = std::make_unique<NotesService>(server);
        client = std::make_unique<ServiceClient>(config);
        uploader = std::make_unique<PhotoUploader>(config);
        uploader->setStagingDirectory(dir.path());
        user = std::make_unique<User>(dir.filePath("account.ini"));
        user->setOu1(QStringLiteral("岚石水泥"));
        user->setOu2(QStringLiteral("矿山分厂"));
        user->setUsername(QStringLiteral("zhangwei"));
    }
    void cleanupTestCase() { service.reset(); }

    void wholeOnSiteCheck()
    {
        service->reset();
        service->answer(json::todayByDept, R"({"code":1,"checkitems":[
            {"id":"1","key":"K-1","project":"一号破碎机"},{"id":"2","key":"K-2"}]})");
        service->answer(json::receiveSheet, R"({"code":1,"checkname":"日检表","key":"K-1",
            "rowcount":2,"checkitems":[{"id":"1","projectitem":"护栏"},
                                       {"id":"2","projectitem":"照明"}]})");
        service->answer(json::createSheet, R"({"code":1,"msg":"提交成功"})");
        const QString cameraImage = dir.filePath("site.png");
        QVERIFY(photo(48).save(cameraImage));
        auto camera = CameraProvider::imageFile(cameraImage);
        OnInspectionListView view(*client, *uploader, config, *user, *camera, *beeper);

        QmlPageFixture fixture;
        QObject *harness = fixture.load(QUrl::fromLocalFile(HARNESS_DIR "/StackHarness.qml"),
                                        {{"view", QVariant::fromValue(&view)}});
        QVERIFY2(harness, qPrintable(fixture.warningText()));
        QQuickWindow &window = fixture.window();
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "一号破碎机"), 20000);
        QVERIFY(find(window, "OnInspectionListView"));
        QVERIFY(find(window, "未知检查项"));

        // The row asks for the on-site photo; the camera shows the image file.
        QQuickItem *stack = find(window, "stack");
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QmlPageFixture::tap(find(window, "一号破碎机")));
        QTRY_VERIFY(find(window, "CameraPicker"));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                if (QQuickItem *shutter = find(window, "拍照"); shutter && shutter->isEnabled())
                    QmlPageFixture::tap(shutter);
                return find(window, "使用照片") != nullptr;
            }(),
            20000);
        QVERIFY(QmlPageFixture::tap(find(window, "使用照片")));

        // The sheet opens with its items.
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "照明"), 20000);
        QVERIFY(find(window, "DetailedOnspectionListView"));
        QTRY_VERIFY(!find(window, "CameraPicker"));
        QTRY_VERIFY(!stack->property("busy").toBool());
        QList<QQuickItem *> qualified;
        QTRY_COMPARE((qualified = findButtons(window.contentItem(), "合格")).size(), 2);
        for (QQuickItem *button : qualified)
            QVERIFY(QmlPageFixture::tap(button));
        QTRY_VERIFY(view.detailView()->checkitems()->at(1)->isQualified() == true);

        QVERIFY(QmlPageFixture::tap(find(window, "上传")));
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "提交成功"), 30000);
        const QJsonObject body = service->lastBody(json::createSheet);
        QCOMPARE(body.value("key").toString(), QStringLiteral("K-1"));
        QCOMPARE(body.value("allapprove").toString(), QStringLiteral("1"));
        QCOMPARE(body.value("openimageurl").toString(), QStringLiteral("http://g/w48.jpg"));
        QCOMPARE(body.value("rowcount"), QJsonValue(2));
        QCOMPARE(body.value("checkitems").toArray().size(), 2);
        QCOMPARE(body.value("checkitems").toArray().at(1).toObject().value("isapprove"),
                 QJsonValue("0"));

        // "确定" returns to the list, which loads again.
        const size_t loads = service->requestsTo(NotesService::path(json::todayByDept)).size();
        QVERIFY(QmlPageFixture::tap(find(window, "确定")));
        QTRY_VERIFY_WITH_TIMEOUT(!find(window, "DetailedOnspectionListView"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(service->requestsTo(NotesService::path(json::todayByDept)).size(),
                                  loads + 1, 20000);
        QVERIFY(find(window, "一号破碎机"));
        QCOMPARE(view.selectedImages()->count(), 0);
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
        QTRY_VERIFY(!stack->property("busy").toBool());
    }

    void reviewOfASubmittedSheet()
    {
        service->reset();
        service->answer(json::todayByDept,
                        R"({"code":1,"checkitems":[{"key":"K-1","project":"一号破碎机"}]})");
        service->answer(json::todayDeptCheck, R"({"code":1,"checkitems":[
            {"checkname":"日检表","checkdate":"2026-12-07 08:30","checkpeople":"张伟","frmno":"F-1"}]})");
        // The photo's address refuses connections: the cell shows the symbol.
        service->answer(json::todayCheckNo,
                        "{\"code\":1,\"image\":\"http://127.0.0.1:9/a.jpg\",\"checkitems\":["
                        "{\"id\":\"1\",\"projectitem\":\"护栏\",\"isapprove\":\"1\","
                        "\"distription\":\"护栏松动\"}]}");
        auto noCamera = CameraProvider::none();
        InspectionListView view(*client, config, *user, *noCamera, *beeper);
        QmlPageFixture fixture;
        QObject *harness = fixture.load(QUrl::fromLocalFile(HARNESS_DIR "/TodayHarness.qml"),
                                        {{"view", QVariant::fromValue(&view)}});
        QVERIFY2(harness, qPrintable(fixture.warningText()));
        QQuickWindow &window = fixture.window();
        QQuickItem *stack = find(window, "stack");
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "一号破碎机"), 20000);
        QVERIFY(QmlPageFixture::tap(find(window, "一号破碎机")));
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "日检表"), 20000);
        QVERIFY(find(window, "InspectionItemDetailView"));
        QVERIFY(find(window, "张伟"));
        QTRY_VERIFY(!stack->property("busy").toBool());
        QVERIFY(QmlPageFixture::tap(find(window, "日检表")));
        QTRY_VERIFY_WITH_TIMEOUT(find(window, "护栏松动"), 20000);
        QVERIFY(find(window, "DetailedInspectionListView"));
        QTRY_VERIFY(!stack->property("busy").toBool());
        QQuickItem *cell = find(window, "照片 1");
        QVERIFY(cell);
        // The progress toast takes every tap until it has gone.
        QTRY_VERIFY(!find(window, "Loading..."));
        QVERIFY(QmlPageFixture::tap(cell));
        QTRY_VERIFY(find(window, "关闭"));
        QVERIFY(QmlPageFixture::tap(find(window, "关闭")));
        QTRY_VERIFY(!find(window, "关闭"));

        // Its own "返回" goes back to the record list, which loads again.
        QVERIFY(QmlPageFixture::tap(find(window, "返回")));
        QTRY_VERIFY_WITH_TIMEOUT(!find(window, "DetailedInspectionListView"), 20000);
        QVERIFY(find(window, "InspectionItemDetailView"));
        QTRY_VERIFY(!stack->property("busy").toBool());
        // Only the photo that could not be fetched is reported, by Qt itself.
        for (const QString &warning : fixture.warnings())
            QVERIFY2(warning.contains(QLatin1String("QQuickImage: Connection refused")),
                     qPrintable(warning));
    }

    void cleanup()
    {
        // Popped pages and closed views go after the current event.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestInspectionPages)
#include "tst_inspection_pages.moc"
