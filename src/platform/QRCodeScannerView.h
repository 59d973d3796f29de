#pragma once

#include "QrFrameScanner.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <memory>

namespace orvelle {

class Beeper;
class Camera;
class CameraProvider;

// The QR scanner: the camera's picture (handed in as the page's video sink)
// decoded frame by frame, or a chosen image file when there is no camera or
// the user prefers one. Every code read is reported with `didFindCode`, for as
// long as it stays in view: the host closes the scanner on the first report.
class QRCodeScannerView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the screen that scans")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(bool hasCamera READ hasCamera CONSTANT)
    Q_PROPERTY(QObject *videoSink READ videoSink WRITE setVideoSink NOTIFY changed)
    Q_PROPERTY(bool decodingFile READ decodingFile NOTIFY changed)
    Q_PROPERTY(bool fileWithoutCode READ fileWithoutCode NOTIFY changed)
    Q_PROPERTY(QString noCodeText READ noCodeText CONSTANT)

public:
    QRCodeScannerView(CameraProvider &cameras, Beeper &beeper, QObject *parent = nullptr);
    ~QRCodeScannerView() override;

    QString title() const { return QStringLiteral("扫一扫"); }
    bool hasCamera() const { return m_camera != nullptr; }
    QObject *videoSink() const { return m_sink; }
    // The preview's sink: the camera draws into it and the frames are decoded.
    void setVideoSink(QObject *sink);
    bool decodingFile() const { return m_fileLoad != nullptr; }
    bool fileWithoutCode() const { return m_fileWithoutCode; }
    QString noCodeText() const { return QStringLiteral("未识别到二维码"); }

    // An image file chosen instead of the camera.
    Q_INVOKABLE void decodeFile(const QUrl &file);

    QrFrameScanner &frameScanner() { return m_frames; }

signals:
    void changed();
    void didFindCode(const QString &text);

private:
    void found(const QString &text);

    Beeper &m_beeper;
    std::unique_ptr<Camera> m_camera;
    QrFrameScanner m_frames;
    QPointer<QObject> m_sink;
    std::unique_ptr<QFutureWatcher<QrReading>> m_fileLoad;
    bool m_fileWithoutCode = false;
};

} // namespace orvelle
