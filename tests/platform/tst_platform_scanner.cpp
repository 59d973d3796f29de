#include "Beeper.h"
#include "Camera.h"
#include "QRCodeScannerView.h"
#include "QrDecoder.h"
#include "QrFrameScanner.h"
#include "TestImages.h"
#include "VideoFrames.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTransform>
#include <QVideoSink>
#include <cstring>

using namespace orvelle;
using namespace orvelle::test;

namespace {
struct CountingBeeper : Beeper
{
    int beeps = 0;
    void beep() override { ++beeps; }
};

// A camera frame as webcams deliver it: I420, the luminance plane first.
QVideoFrame yuvFrame(const QImage &source, QVideoFrameFormat::PixelFormat format)
{
    const QImage gray = source.convertToFormat(QImage::Format_Grayscale8);
    QVideoFrame frame(QVideoFrameFormat(gray.size(), format));
    if (!frame.map(QVideoFrame::WriteOnly))
        return {};
    for (int y = 0; y < gray.height(); ++y)
        std::memcpy(frame.bits(0) + y * frame.bytesPerLine(0), gray.constScanLine(y),
                    size_t(gray.width()));
    for (int plane = 1; plane < frame.planeCount(); ++plane)
        std::memset(frame.bits(plane), 128, size_t(frame.mappedBytes(plane)));
    frame.unmap();
    return frame;
}
} // namespace

class TestScanner : public QObject
{
    Q_OBJECT

    QTemporaryDir files;

private slots:
    void decodesQrCodesOnly()
    {
        const QString chinese = QStringLiteral("隐患排查：三号皮带机尾部防护罩缺失");
        const QString json = QStringLiteral(R"({"key":"JC-0042","name":"一号破碎机"})");
        QCOMPARE(decodeQr(qrImage(chinese)).text, chinese);
        QCOMPARE(decodeQr(qrImage(json)).text, json);

        // Turned, scaled up and down, and drawn in colour on a larger picture.
        const QImage code = qrImage(json, 240);
        QCOMPARE(decodeQr(code.transformed(QTransform().rotate(90))).text, json);
        QCOMPARE(decodeQr(code.transformed(QTransform().rotate(30))).text, json);
        QCOMPARE(decodeQr(code.scaled(900, 900)).text, json);
        QCOMPARE(
            decodeQr(code.scaled(120, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)).text,
            json);

        // A one-dimensional barcode and plain noise are never reported.
        const QImage linear =
            barcodeImage(QStringLiteral("6901234567892"), ZXing::BarcodeFormat::Code128, 400, 120);
        QVERIFY(!decodeQr(linear).text);
        QVERIFY(!decodeQr(noiseImage(320, 240)).text);
        QVERIFY(!decodeQr(QImage()).text);

        // The frames cameras deliver go through the same decoder.
        const QString text = QStringLiteral("https://notice.example.cn/公告/17");
        const QImage frameCode = qrImage(text);
        QCOMPARE(decodeQr(yuvFrame(frameCode, QVideoFrameFormat::Format_YUV420P)).text, text);
        QCOMPARE(decodeQr(yuvFrame(frameCode, QVideoFrameFormat::Format_NV12)).text, text);
        QCOMPARE(decodeQr(videoFrameFromImage(frameCode)).text, text);
        QVERIFY(!decodeQr(yuvFrame(noiseImage(320, 240), QVideoFrameFormat::Format_NV12)).text);
        QVERIFY(!decodeQr(QVideoFrame()).problem.isEmpty());
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

        // Gone with a decode still running: nothing is reported afterwards.
        scanner.setVideoSink(nullptr);
        auto *late = new QrFrameScanner;
        late->setVideoSink(&sink);
        connect(late, &QrFrameScanner::codeFound, this, [&] { found << "late"; });
        sink.setVideoFrame(frame());
        delete late;
        QTest::qWait(50);
        QCOMPARE(found.size(), 2);
    }

    void scannerViewReadsTheCameraOrAChosenFile()
    {
        QVERIFY(files.isValid());
        const QString codeFile = files.filePath("code.png");
        const QString noiseFile = files.filePath("noise.png");
        QVERIFY(qrImage(QStringLiteral("http://127.0.0.1/n/1")).save(codeFile));
        QVERIFY(noiseImage(200, 200).save(noiseFile));

        // No camera: nothing starts, the file still works, through the same decoder.
        CountingBeeper beeper;
        auto none = CameraProvider::none();
        QRCodeScannerView withoutCamera(*none, beeper);
        QVERIFY(!withoutCamera.hasCamera());
        QVideoSink unused;
        withoutCamera.setVideoSink(&unused);
        QSignalSpy codes(&withoutCamera, &QRCodeScannerView::didFindCode);
        withoutCamera.decodeFile(QUrl::fromLocalFile(noiseFile));
        QVERIFY(withoutCamera.decodingFile());
        QTRY_VERIFY(!withoutCamera.decodingFile());
        QVERIFY(withoutCamera.fileWithoutCode());
        withoutCamera.decodeFile(QUrl::fromLocalFile(files.filePath("missing.png")));
        QTRY_VERIFY(!withoutCamera.decodingFile());
        QCOMPARE(codes.size(), 0);
        withoutCamera.decodeFile(QUrl::fromLocalFile(codeFile));
        QTRY_COMPARE(codes.size(), 1);
        QCOMPARE(codes.at(0).at(0).toString(), QStringLiteral("http://127.0.0.1/n/1"));
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
        QCOMPARE(seen.at(1).at(0).toString(), QStringLiteral("http://127.0.0.1/n/1"));
        QVERIFY(beeper.beeps >= 3);
        QVERIFY(preview.videoFrame().isValid());

        // The real sound with whatever audio this machine has (maybe none).
        Beeper::soundEffect()->beep();
    }
};

QTEST_MAIN(TestScanner)
#include "tst_platform_scanner.moc"
