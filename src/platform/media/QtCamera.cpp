#include "QtCamera.h"

#include <QCamera>
#include <QCameraDevice>
#include <QImageCapture>
#include <QLoggingCategory>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QTimer>
#include <QVideoSink>

namespace orvelle {

namespace {
Q_LOGGING_CATEGORY(lcCamera, "orvelle.scan")

class QtCamera : public QObject, public MediaModule::OpenedCamera
{
public:
    QtCamera(const QCameraDevice &device, MediaModule::CameraEvents events)
        : m_events(std::move(events))
        , m_camera(device)
    {
        m_session.setCamera(&m_camera);
        m_session.setImageCapture(&m_capture);
        connect(&m_capture, &QImageCapture::imageCaptured, this,
                [this](int, const QImage &image) { m_events.captured(image); });
        connect(&m_capture, &QImageCapture::errorOccurred, this,
                [this](int, QImageCapture::Error, const QString &message) {
                    m_events.failed(message);
                });
        connect(&m_camera, &QCamera::errorOccurred, this,
                [this](QCamera::Error, const QString &message) {
                    qCDebug(lcCamera) << "Camera:" << message;
                    m_events.failed(message);
                });
    }

    void setVideoSink(QObject *sink) override
    {
        m_session.setVideoSink(qobject_cast<QVideoSink *>(sink));
    }
    void start() override { m_camera.start(); }
    void stop() override { m_camera.stop(); }
    void capture() override
    {
        if (m_capture.isReadyForCapture())
            m_capture.capture();
        else
            QTimer::singleShot(0, this, [this] { m_events.failed(QStringLiteral("not ready")); });
    }

private:
    MediaModule::CameraEvents m_events;
    QCamera m_camera;
    QImageCapture m_capture;
    QMediaCaptureSession m_session;
};
} // namespace

bool hasSystemCamera()
{
    return !QMediaDevices::videoInputs().isEmpty();
}

std::unique_ptr<MediaModule::OpenedCamera> openSystemCamera(MediaModule::CameraEvents events)
{
    const QCameraDevice device = QMediaDevices::defaultVideoInput();
    if (device.isNull())
        return nullptr;
    return std::make_unique<QtCamera>(device, std::move(events));
}

} // namespace orvelle
