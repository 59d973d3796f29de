#include "Beeper.h"
#include "Camera.h"
#include "CameraPicker.h"
#include "ImagePicker.h"
#include "PhotoListModel.h"
#include "QRCodeScannerView.h"
#include "RiskAnnouncementWebView.h"
#include "TestImages.h"
#include "support/QmlPageFixture.h"

#include <QFile>
#include <QQuickStyle>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)

using namespace orvelle;
using orvelle::test::QmlPageFixture;

class TestPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QQuickStyle::setStyle(QStringLiteral("Material")); }

    void tapOnTheBackgroundEndsEditing()
    {
        QmlPageFixture fixture;
        QObject *form = fixture.load(QUrl::fromLocalFile(HARNESS_DIR "/DismissHarness.qml"));
        QVERIFY2(form, qPrintable(fixture.warningText()));
        QQuickItem *field = QmlPageFixture::findItem(form, "问题描述");
        QVERIFY(QmlPageFixture::tap(field));
        QTRY_VERIFY(field->hasActiveFocus());
        for (const char key : QByteArray("abc"))
            QTest::keyClick(&fixture.window(), key);
        QCOMPARE(field->property("text").toString(), QStringLiteral("abc"));

        // Tapping a control is the control's business, not the background's.
        QQuickItem *button = QmlPageFixture::findItem(form, "上传");
        QmlPageFixture::tap(field);
        QTRY_VERIFY(field->hasActiveFocus());
        QVERIFY(QmlPageFixture::tap(button));
        QTRY_VERIFY(!field->hasActiveFocus());

        QmlPageFixture::tap(field);
        QTRY_VERIFY(field->hasActiveFocus());
        QTest::mouseClick(&fixture.window(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 500));
        QTRY_VERIFY(!field->hasActiveFocus());
        QVERIFY(!QGuiApplication::inputMethod()->isVisible());
        QCOMPARE(field->property("text").toString(), QStringLiteral("abc"));
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // Start-up and every page short of a web page leave the web engine
    // unloaded; it costs 100 MB and seconds on a handheld.
    void theWebEngineLoadsOnlyForAWebPage()
    {
        auto none = CameraProvider::none();
        auto beeper = Beeper::silent();
        QRCodeScannerView scanner(*none, *beeper);
        RiskAnnouncementWebView refused(QStringLiteral("notice 7"));
        PhotoListModel photos;
        ImagePicker picker(photos);
        QmlPageFixture fixture;
        QVERIFY(fixture.load(QUrl("qrc:/Orvelle/Platform/qml/QRCodeScannerPage.qml"),
                             {{"view", QVariant::fromValue(&scanner)}}));
        QVERIFY(fixture.load(QUrl("qrc:/Orvelle/Platform/qml/ImagePickerDialog.qml"),
                             {{"view", QVariant::fromValue(&picker)}}));
        QObject *notice = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/RiskAnnouncementPage.qml"),
                                       {{"view", QVariant::fromValue(&refused)}});
        QVERIFY(QmlPageFixture::findItem(notice, "链接错误，请重试"));
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("libQt6WebEngine"));
    }

    // The page's VideoOutput hands its sink to the view: what the camera shows
    // there is what gets decoded.
    void scannerPageReadsWhatThePreviewShows()
    {
        QTemporaryDir dir;
        const QString codeFile = dir.filePath("code.png");
        QVERIFY(test::qrImage(QStringLiteral("https://notice.example.cn/7")).save(codeFile));
        auto camera = CameraProvider::imageFile(codeFile);
        auto beeper = Beeper::silent();
        QRCodeScannerView scanner(*camera, *beeper);
        QSignalSpy codes(&scanner, &QRCodeScannerView::didFindCode);
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/QRCodeScannerPage.qml"),
                                     {{"view", QVariant::fromValue(&scanner)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QVERIFY(codes.wait(20000));
        QCOMPARE(codes.at(0).at(0).toString(), QStringLiteral("https://notice.example.cn/7"));
        delete page;
        QVERIFY(!scanner.videoSink());
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    void withoutCameraThePagesOfferAFile()
    {
        auto none = CameraProvider::none();
        auto beeper = Beeper::silent();
        QRCodeScannerView scanner(*none, *beeper);
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/QRCodeScannerPage.qml"),
                                     {{"view", QVariant::fromValue(&scanner)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QCOMPARE(page->objectName(), QStringLiteral("QRCodeScannerView"));
        QVERIFY(QmlPageFixture::findItem(page, "选择二维码图片"));
        QVERIFY(scanner.videoSink());
        delete page;

        PhotoListModel photos;
        QTemporaryDir album;
        CameraPicker picker(*none, photos, PhotoAlbum(album.path()));
        QSignalSpy finished(&picker, &CameraPicker::finished);
        page = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/CameraPickerPage.qml"),
                            {{"view", QVariant::fromValue(&picker)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QVERIFY(QmlPageFixture::findItem(page, "选择图片"));
        QVERIFY(!QmlPageFixture::findItem(page, "拍照"));
        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(page, "取消")));
        QCOMPARE(finished.size(), 1);
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }
};

QTEST_MAIN(TestPages)
#include "tst_platform_pages.moc"
