#include "hazard/SHazardDescriptorView.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "platform/Camera.h"
#include "session/User.h"
#include "support/NotesService.h"
#include "support/QmlPageFixture.h"
#include "support/https/TestClientConfig.h"

#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QQuickStyle>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleHazardPlugin)

using namespace orvelle;
using orvelle::test::HttpsTestServer;
using orvelle::test::NotesService;
using orvelle::test::QmlPageFixture;
namespace json = endpoints::json;

// A tester files a report through the real page, as a person would.
class TestHazardPage : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    HttpsTestServer server;

    static QQuickItem *waitFor(QObject *root, const QString &name)
    {
        QQuickItem *item = nullptr;
        [&] { QTRY_VERIFY_WITH_TIMEOUT((item = QmlPageFixture::findItem(root, name)), 20000); }();
        return item;
    }
    // Taps a row, then one of the first rows of its sheet, then "完成".
    static void choose(SHazardDescriptorView &view, QmlPageFixture &fixture, QObject *page,
                       const QString &row, const QString &choice)
    {
        // A sheet still fading out would take the tap (and one tapped
        // outside closes).
        QTRY_VERIFY_WITH_TIMEOUT(QmlPageFixture::popupsClosed(fixture.window()), 20000);
        QQuickItem *rowItem = waitFor(page, row);
        QVERIFY(QmlPageFixture::settled(rowItem));
        // A tap lost to the form's own settling is tried again, never once open.
        QTRY_VERIFY(view.picker() || (QmlPageFixture::tap(rowItem), view.picker()));
        // The wheel turns to the current value and drops rows it scrolls past.
        QQuickItem *choiceItem = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((choiceItem = QmlPageFixture::findItem(page, choice))
                                     && QmlPageFixture::settled(choiceItem),
                                 20000);
        QVERIFY(QmlPageFixture::tap(choiceItem));
        QVERIFY(QmlPageFixture::tap(waitFor(page, QStringLiteral("完成"))));
        QTRY_VERIFY(!view.picker());
        QTRY_VERIFY(QmlPageFixture::findItem(page, choice));
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
        QQuickStyle::setStyle(QStringLiteral("Material"));
        QVERIFY(server.isListening());
        User::shared().setOu1(QStringLiteral("岚石水泥"));
        User::shared().setOu2(QStringLiteral("矿山分厂"));
    }

    void fileAReportWithACameraPhoto()
    {
        NotesService service(server);
        service.answer(json::standardPlace,
                       R"({"code":1,"checkitems":[{"place":"一号窑"},{"place":"原料库"}]})");
        service.answer(json::createDanger, R"({"code":1,"msg":"隐患登记成功"})");
        const QString cameraImage = dir.filePath("site.png");
        QImage site(640, 480, QImage::Format_RGB32);
        site.fill(Qt::darkCyan);
        QVERIFY(site.save(cameraImage));
        auto camera = CameraProvider::imageFile(cameraImage);
        ServiceClient client(orvelle::test::testConfig());
        PhotoUploader uploader(orvelle::test::testConfig());
        uploader.setStagingDirectory(dir.path());
        SHazardDescriptorView view(client, uploader, *camera,
                                   orvelle::test::testConfig().notesServer, User::shared());
        QSignalSpy closing(&view, &SHazardDescriptorView::closeRequested);

        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Hazard/qml/SHazardDescriptorPage.qml"),
                                     {{"view", QVariant::fromValue(&view)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QCOMPARE(page->objectName(), QStringLiteral("SHazardDescriptorView"));
        QVERIFY(QmlPageFixture::findItem(page, "一般隐患"));
        QVERIFY(QmlPageFixture::findItem(page, "选择隐患来源"));
        QTRY_COMPARE_WITH_TIMEOUT(view.place().size(), 2, 20000);

        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(page, "添加图片")));
        QVERIFY(QmlPageFixture::tap(waitFor(page, "拍照")));
        QQuickItem *cameraPage = waitFor(page, "CameraPicker");
        QVERIFY(QmlPageFixture::tap(waitFor(cameraPage, "拍照")));
        QVERIFY(QmlPageFixture::tap(waitFor(cameraPage, "使用照片")));
        QTRY_COMPARE(view.photos()->selectedImages()->count(), 1);
        QTRY_VERIFY(!view.photos()->showCameraPicker());

        QQuickItem *editor = QmlPageFixture::findItem(page, "descriptionText");
        // Taps reach the form once the camera sheet has finished closing.
        QTRY_VERIFY((QmlPageFixture::tap(editor), editor->hasActiveFocus()));
        // Chinese arrives from the input method as committed text.
        QInputMethodEvent typing;
        typing.setCommitString(QStringLiteral("护罩脱落"));
        QGuiApplication::sendEvent(fixture.window().focusObject(), &typing);
        QCOMPARE(view.descriptionText(), QStringLiteral("护罩脱落"));
        QCOMPARE(view.focusedField(), QStringLiteral("descriptionText"));

        choose(view, fixture, page, "隐患来源", "班组隐患排查");
        QVERIFY(!editor->hasActiveFocus());
        choose(view, fixture, page, "隐患地点", "原料库");
        choose(view, fixture, page, "天气", "晴");

        QQuickItem *submit = QmlPageFixture::findItem(page, "新增");
        QTRY_VERIFY((QmlPageFixture::tap(submit), view.isLoading() || view.showAlert()));
        QTRY_VERIFY_WITH_TIMEOUT(view.showAlert(), 30000);
        // The message box lives in the window's overlay.
        QVERIFY(QmlPageFixture::tap(waitFor(&fixture.window(), "确定")));
        QTRY_VERIFY(!view.showAlert());
        QCOMPARE(view.alertMessage(), QStringLiteral("隐患登记成功"));
        QCOMPARE(closing.size(), 1);

        const QJsonObject body = service.lastBody(json::createDanger);
        QCOMPARE(body.value("image").toString(), QStringLiteral("http://g/w640.jpg"));
        QCOMPARE(body.value("yhfrom").toString(), QStringLiteral("班组隐患排查"));
        QCOMPARE(body.value("place").toString(), QStringLiteral("原料库"));
        QCOMPARE(body.value("weather").toString(), QStringLiteral("晴"));
        QCOMPARE(body.value("checkdept").toString(), QStringLiteral("岚石水泥/矿山分厂"));
        const QJsonObject item = body.value("checkitems").toArray().at(0).toObject();
        QCOMPARE(item.value("distription").toString(), QStringLiteral("护罩脱落"));
        QCOMPARE(item.value("yhlevel").toString(), QStringLiteral("一般隐患"));
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }
};

QTEST_MAIN(TestHazardPage)
#include "tst_hazard_page.moc"
