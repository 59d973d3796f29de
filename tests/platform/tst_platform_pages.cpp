#include "Beeper.h"
#include "Camera.h"
#include "CameraPicker.h"
#include "ImagePicker.h"
#include "PhotoAttachments.h"
#include "PhotoImageProvider.h"
#include "PhotoListModel.h"
#include "QRCodeScannerView.h"
#include "RiskAnnouncementWebView.h"
#include "TestImages.h"
#include "support/QmlPageFixture.h"

#include <QFile>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>

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
        QQuickItem *field = QmlPageFixture::findItem(form, "问题描述 0");
        QVERIFY(QmlPageFixture::tap(field));
        QTRY_VERIFY(field->hasActiveFocus());
        for (const char key : QByteArray("abc"))
            QTest::keyClick(&fixture.window(), key);
        QCOMPARE(field->property("text").toString(), QStringLiteral("abc"));

        // Tapping a control is the control's business, not the background's.
        QQuickItem *button = QmlPageFixture::findItem(form, "上传");
        QVERIFY(QmlPageFixture::tap(button));
        QTRY_VERIFY(!field->hasActiveFocus());

        // The list takes every press on its area: a row's title, the empty
        // rows below, and the form beside the list all end editing.
        const std::pair<const char *, QPoint> backgrounds[] = {
            {"a row's title", QPoint(100, 60 + 24)},
            {"below the rows", QPoint(150, 500)},
            {"beside the list", QPoint(380, 300)}};
        for (const auto &[where, point] : backgrounds) {
            QmlPageFixture::tap(field);
            QTRY_VERIFY(field->hasActiveFocus());
            QTest::mouseClick(&fixture.window(), Qt::LeftButton, Qt::NoModifier, point);
            QTRY_VERIFY2(!field->hasActiveFocus(), where);
        }
        QVERIFY(!QGuiApplication::inputMethod()->isVisible());
        QCOMPARE(field->property("text").toString(), QStringLiteral("abc"));
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // Thumbnails are scaled copies served by the provider; the list keeps the
    // full images for upload, and a removed photo is no longer served.
    void photoGridShowsRemovesAndPreviews()
    {
        auto none = CameraProvider::none();
        PhotoAttachments attachments(*none, 4);
        PhotoListModel &photos = *attachments.selectedImages();
        const QList<QColor> colours{Qt::red, Qt::green, Qt::blue};
        for (const QColor &colour : colours) {
            QImage image(2400, 1800, QImage::Format_RGB32);
            image.fill(colour);
            photos.append(image);
        }
        QmlPageFixture fixture;
        QObject *grid = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/PhotoGrid.qml"),
                                     {{"attachments", QVariant::fromValue(&attachments)}});
        QVERIFY2(grid, qPrintable(fixture.warningText()));

        // Delegates belong to the item tree only.
        const auto thumbnails = [grid] {
            QList<QQuickItem *> found;
            QList<QQuickItem *> pending{qobject_cast<QQuickItem *>(grid)};
            while (!pending.isEmpty()) {
                QQuickItem *item = pending.takeFirst();
                if (item->objectName() == QLatin1String("thumbnail"))
                    found << item;
                pending << item->childItems();
            }
            // In reading order, as the user sees them.
            std::sort(found.begin(), found.end(), [](QQuickItem *a, QQuickItem *b) {
                const QPointF pa = a->mapToScene({}), pb = b->mapToScene({});
                return std::pair(pa.y(), pa.x()) < std::pair(pb.y(), pb.x());
            });
            return found;
        };
        QTRY_COMPARE(thumbnails().size(), 3);
        for (QQuickItem *thumbnail : thumbnails()) {
            QTRY_COMPARE(thumbnail->property("status").toInt(), 1); // Image.Ready
            QVERIFY(thumbnail->property("implicitWidth").toInt() <= 100);
            QCOMPARE(thumbnail->property("implicitHeight").toInt(), 70);
        }
        QCOMPARE(photos.photos().at(0).image.size(), QSize(2400, 1800));

        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(grid, "添加图片")));
        QVERIFY(attachments.showImageSourceActionSheet());
        QImage fourth(100, 100, QImage::Format_RGB32);
        fourth.fill(Qt::yellow);
        photos.append(fourth);
        QTRY_VERIFY(!QmlPageFixture::findItem(grid, "添加图片"));
        // Laid out after the current event: then it is the last in reading order.
        QTRY_VERIFY(thumbnails().size() == 4
                    && thumbnails().at(3)->property("source").toString().endsWith("/4"));

        auto *provider = static_cast<PhotoImageProvider *>(
            fixture.engine().imageProvider(QStringLiteral("photos")));
        QVERIFY(provider);
        const QString firstId = thumbnails().at(0)->property("source").toUrl().path().mid(1);
        QVERIFY(!provider->requestImage(firstId, nullptr, {}).isNull());
        QQuickItem *firstTile = thumbnails().at(0)->parentItem()->parentItem();
        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(firstTile, "删除图片")));
        QCOMPARE(photos.count(), 3);
        QCOMPARE(photos.photos().at(0).image.pixelColor(0, 0), QColor(Qt::green));
        QCOMPARE(photos.photos().at(2).image.pixelColor(0, 0), QColor(Qt::yellow));
        QVERIFY(QmlPageFixture::findItem(grid, "添加图片"));
        QVERIFY(provider->requestImage(firstId, nullptr, {}).isNull());

        // The enlarged photo is the tapped one, stretched over the window.
        QVERIFY(QmlPageFixture::tap(
            QmlPageFixture::findItem(thumbnails().at(0)->parentItem(), "查看图片")));
        QTRY_VERIFY(QmlPageFixture::findItem(grid, "previewImage")->isVisible());
        QCOMPARE(attachments.selectedImageForPreview(), photos.photos().at(0).id);
        QQuickItem *large = QmlPageFixture::findItem(grid, "previewImage");
        QVERIFY(large);
        QTRY_COMPARE(large->property("status").toInt(), 1);
        // The sheet's fade may still tint it by a shade.
        const auto shown = [&fixture] {
            return fixture.window().grabWindow().pixelColor(200, 600);
        };
        QTRY_VERIFY(shown().green() > 230 && shown().red() < 25 && shown().blue() < 25);
        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(grid, "关闭")));
        QTRY_VERIFY(!attachments.showImagePreview());
        // A second preview opens again: nothing was cut by the close.
        attachments.previewPhoto(photos.photos().at(1).id);
        QTRY_VERIFY(large->isVisible());
        attachments.closePreview();
        QTRY_VERIFY(!large->isVisible());
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // Start-up and every page short of a web page leave the web engine
    // unloaded; it costs 100 MB and seconds on a handheld. Without a camera
    // the scanner and camera pages offer a file instead.
    void withoutCameraOrWebEngineThePagesOfferAFile()
    {
        auto none = CameraProvider::none();
        auto beeper = Beeper::silent();
        QRCodeScannerView scanner(*none, *beeper);
        RiskAnnouncementWebView refused(QStringLiteral("notice 7"));
        PhotoListModel photos;
        ImagePicker picker(photos);
        QTemporaryDir album;
        CameraPicker camera(*none, photos, PhotoAlbum(album.path()));
        QSignalSpy finished(&camera, &CameraPicker::finished);
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/QRCodeScannerPage.qml"),
                                     {{"view", QVariant::fromValue(&scanner)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QCOMPARE(page->objectName(), QStringLiteral("QRCodeScannerView"));
        QVERIFY(QmlPageFixture::findItem(page, "选择二维码图片"));
        QVERIFY(scanner.videoSink());
        delete page;
        QVERIFY(fixture.load(QUrl("qrc:/Orvelle/Platform/qml/ImagePickerDialog.qml"),
                             {{"view", QVariant::fromValue(&picker)}}));
        QObject *notice = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/RiskAnnouncementPage.qml"),
                                       {{"view", QVariant::fromValue(&refused)}});
        QVERIFY(QmlPageFixture::findItem(notice, "链接错误，请重试"));
        delete notice;
        page = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/CameraPickerPage.qml"),
                            {{"view", QVariant::fromValue(&camera)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QVERIFY(QmlPageFixture::findItem(page, "选择图片"));
        QVERIFY(!QmlPageFixture::findItem(page, "拍照"));
        QVERIFY(QmlPageFixture::tap(QmlPageFixture::findItem(page, "取消")));
        QCOMPARE(finished.size(), 1);
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
};

QTEST_MAIN(TestPages)
#include "tst_platform_pages.moc"
