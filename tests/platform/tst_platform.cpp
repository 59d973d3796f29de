#include "Beeper.h"
#include "Camera.h"
#include "ImageFiles.h"
#include "QRCodeScannerView.h"
#include "QrDecoder.h"
#include "QrFrameScanner.h"
#include "QuickItems.h"
#include "RiskAnnouncementWebView.h"
#include "support/TestImages.h"
#include "support/QmlPageFixture.h"

#include <QDir>
#include <QImageReader>
#include <QQuickStyle>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTransform>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>
#include <cstring>
#include <memory>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)

using namespace orvelle;
using namespace orvelle::test;

namespace {
struct CountingBeeper : Beeper
{
    int beeps = 0;
    void beep() override { ++beeps; }
};

// A camera frame as webcams deliver it: planar or semi-planar with the
// luminance plane first, or UYVY with it in every second byte.
QVideoFrame yuvFrame(const QImage &source, QVideoFrameFormat::PixelFormat format)
{
    const QImage gray = source.convertToFormat(QImage::Format_Grayscale8)
                            .copy(0, 0, source.width() & ~1, source.height() & ~1);
    QVideoFrame frame(QVideoFrameFormat(gray.size(), format));
    if (!frame.map(QVideoFrame::WriteOnly))
        return {};
    const bool packed = format == QVideoFrameFormat::Format_UYVY;
    for (int y = 0; y < gray.height(); ++y) {
        uchar *row = frame.bits(0) + y * frame.bytesPerLine(0);
        if (!packed)
            std::memcpy(row, gray.constScanLine(y), size_t(gray.width()));
        for (int x = 0; packed && x < gray.width(); ++x) {
            row[2 * x] = 128;
            row[2 * x + 1] = gray.constScanLine(y)[x];
        }
    }
    for (int plane = 1; plane < frame.planeCount(); ++plane)
        std::memset(frame.bits(plane), 128, size_t(frame.mappedBytes(plane)));
    frame.unmap();
    return frame;
}
} // namespace

// The camera pieces: QR decoding, the scanner and its page, loaded offscreen.
class TestPlatform : public QObject
{
    Q_OBJECT

    QTemporaryDir files;
    const QString codeText = QStringLiteral("http://127.0.0.1/n/1");
    QString codeFile; // a QR code of codeText
private slots:
    void initTestCase()
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        QVERIFY(files.isValid());
        codeFile = files.filePath("code.png");
        QVERIFY(qrImage(codeText).save(codeFile));
    }

    void decodesQrCodesOnly()
    {
        const QString chinese = QStringLiteral("隐患排查：三号皮带机尾部防护罩缺失");
        const QString json = QStringLiteral(R"({"key":"JC-0042","name":"一号破碎机"})");
        QCOMPARE(decodeQr(qrImage(chinese)).text, chinese);
        // Turned, scaled up and down.
        const QImage code = qrImage(json, 240);
        for (const QImage &shown :
             {code, code.transformed(QTransform().rotate(90)),
              code.transformed(QTransform().rotate(30)), code.scaled(900, 900),
              code.scaled(120, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)})
            QCOMPARE(decodeQr(shown).text, json);
        // A one-dimensional barcode and plain noise are never reported.
        for (const QImage &none : {barcodeImage(QStringLiteral("6901234567892"),
                                                ZXing::BarcodeFormat::Code128, 400, 120),
                                   noiseImage(320, 240), QImage()})
            QVERIFY(!decodeQr(none).text);
    }

    void framesFromTheSinkAreDecodedOffTheGuiThreadOneAtATime()
    {
        QVideoSink sink;
        QrFrameScanner scanner;
        scanner.setVideoSink(&sink);
        QStringList found;
        bool reportedOnGuiThread = true;
        connect(&scanner, &QrFrameScanner::codeFound, this, [&](const QString &code) {
            reportedOnGuiThread &= QThread::currentThread() == thread();
            found << code;
        });

        // A burst as a camera would deliver it while the first one is decoded:
        // the GUI thread does not wait, and the frames in between are dropped.
        // The frames come through the media plugin, as they do in the client.
        const QImage code = qrImage(QStringLiteral("JC-7"));
        const auto frame = [&] { return yuvFrame(code, QVideoFrameFormat::Format_YUV420P); };
        for (int i = 0; i < 20; ++i)
            sink.setVideoFrame(frame());
        QVERIFY(scanner.isBusy());
        QCOMPARE(scanner.droppedFrames(), 19);
        QTRY_COMPARE(found, QStringList{QStringLiteral("JC-7")});
        QVERIFY(reportedOnGuiThread);

        // The same code still in view is reported again; noise is not.
        sink.setVideoFrame(yuvFrame(noiseImage(320, 240), QVideoFrameFormat::Format_YUV420P));
        QTRY_VERIFY(!scanner.isBusy());
        sink.setVideoFrame(frame());
        QTRY_COMPARE(found.size(), 2);
        QCOMPARE(scanner.decodedFrames(), 3);

        // Gone with a decode still running: nothing is reported afterwards,
        // before the code of a frame shown after it either.
        scanner.setVideoSink(nullptr);
        auto *late = new QrFrameScanner;
        late->setVideoSink(&sink);
        connect(late, &QrFrameScanner::codeFound, this, [&] { found << "late"; });
        sink.setVideoFrame(frame());
        delete late;
        scanner.setVideoSink(&sink);
        sink.setVideoFrame(frame());
        QTRY_COMPARE(found, QStringList(3, QStringLiteral("JC-7")));

        // Semi-planar and packed frames give up their luminance too.
        const QString text = QStringLiteral("https://notice.example.cn/公告/17");
        for (const auto format : {QVideoFrameFormat::Format_NV12, QVideoFrameFormat::Format_UYVY}) {
            QTRY_VERIFY(!scanner.isBusy());
            sink.setVideoFrame(yuvFrame(qrImage(text), format));
            QTRY_COMPARE(found.constLast(), text);
            found.removeLast();
        }
    }

    void scannerViewReadsTheCameraOrAChosenFile()
    {
        // No camera: nothing starts, the file still works, through the same decoder.
        CountingBeeper beeper;
        auto none = CameraProvider::none();
        QRCodeScannerView withoutCamera(*none, beeper);
        QVERIFY(!withoutCamera.hasCamera());
        QVideoSink unused;
        withoutCamera.setVideoSink(&unused);
        QSignalSpy codes(&withoutCamera, &QRCodeScannerView::didFindCode);
        QVERIFY(noiseImage(200, 200).save(files.filePath("noise.png")));
        withoutCamera.decodeFile(QUrl::fromLocalFile(files.filePath("noise.png")));
        QVERIFY(withoutCamera.decodingFile());
        QTRY_VERIFY(!withoutCamera.decodingFile());
        QVERIFY(withoutCamera.fileWithoutCode());
        withoutCamera.decodeFile(QUrl::fromLocalFile(files.filePath("missing.png")));
        QTRY_VERIFY(!withoutCamera.decodingFile());
        QCOMPARE(codes.size(), 0);
        withoutCamera.decodeFile(QUrl::fromLocalFile(codeFile));
        QTRY_COMPARE(codes.size(), 1);
        QCOMPARE(codes.at(0).at(0).toString(), codeText);
        QVERIFY(!withoutCamera.fileWithoutCode());
        QCOMPARE(beeper.beeps, 1);

        // A camera aimed at the code: reported again and again until closed.
        auto camera = CameraProvider::imageFile(codeFile);
        QRCodeScannerView scanner(*camera, beeper);
        QVERIFY(scanner.hasCamera());
        QSignalSpy seen(&scanner, &QRCodeScannerView::didFindCode);
        QVideoSink preview;
        scanner.setVideoSink(&preview);
        QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 2, 20000);
        QCOMPARE(seen.at(1).at(0).toString(), codeText);
        QVERIFY(beeper.beeps >= 3);
        QVERIFY(preview.videoFrame().isValid());
    }

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
    // Start-up and every page short of a web page leave the web engine
    // unloaded; it costs 100 MB and seconds on a handheld. Without a camera
    // the scanner offers a file instead. The scanner page's VideoOutput hands
    // its sink to the view, and closing it takes it back.
    void withoutCameraOrWebEngineThePagesOfferAFile()
    {
        auto none = CameraProvider::none();
        auto beeper = Beeper::silent();
        QRCodeScannerView scanner(*none, *beeper);
        RiskAnnouncementWebView refused(QStringLiteral("notice 7"));
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/QRCodeScannerPage.qml"),
                                     {{"view", QVariant::fromValue(&scanner)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QVERIFY(QmlPageFixture::findItem(page, "选择二维码图片"));
        QVERIFY(scanner.videoSink());
        delete page;
        QVERIFY(!scanner.videoSink());
        // A HEIC file offered without its plugin would be chosen and then
        // come to nothing.
        const QStringList filters = pictureNameFilters();
        const QStringList offered = filters.constFirst().section(u'(', 1).chopped(1).split(u' ');
        for (const QString &pattern : offered)
            QVERIFY2(QImageReader::supportedImageFormats().contains(pattern.mid(2).toLatin1()),
                     qPrintable(pattern));
        QVERIFY(offered.contains("*.jpg") && offered.contains("*.png"));
        QObject *notice = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/RiskAnnouncementPage.qml"),
                                       {{"view", QVariant::fromValue(&refused)}});
        QVERIFY(QmlPageFixture::findItem(notice, "链接错误，请重试"));
        delete notice;
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("libQt6WebEngine"));
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
