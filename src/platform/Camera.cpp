#include "Camera.h"

#include "ImageFiles.h"
#include "VideoFrames.h"
#include "core/Logging.h"

#include <QCamera>
#include <QCameraDevice>
#include <QFutureWatcher>
#include <QImageCapture>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>
#include <QVideoSink>

namespace orvelle {

namespace {
class QtCamera : public Camera
{
public:
    explicit QtCamera(const QCameraDevice &device)
        : m_camera(device)
    {
        m_session.setCamera(&m_camera);
        m_session.setImageCapture(&m_capture);
        connect(&m_capture, &QImageCapture::imageCaptured, this,
                [this](int, const QImage &image) { emit captured(image); });
        connect(
            &m_capture, &QImageCapture::errorOccurred, this,
            [this](int, QImageCapture::Error, const QString &message) { emit failed(message); });
        connect(&m_camera, &QCamera::errorOccurred, this,
                [this](QCamera::Error, const QString &message) {
                    qCDebug(lcScan) << "Camera:" << message;
                    emit failed(message);
                });
    }

    void setVideoSink(QVideoSink *sink) override { m_session.setVideoSink(sink); }
    void start() override { m_camera.start(); }
    void stop() override { m_camera.stop(); }
    void capture() override
    {
        if (m_capture.isReadyForCapture())
            m_capture.capture();
        else
            QTimer::singleShot(0, this, [this] { emit failed(QStringLiteral("not ready")); });
    }

private:
    QCamera m_camera;
    QImageCapture m_capture;
    QMediaCaptureSession m_session;
};

class SystemCameras : public CameraProvider
{
public:
    bool hasCamera() const override { return !QMediaDevices::videoInputs().isEmpty(); }
    std::unique_ptr<Camera> open() override
    {
        const QCameraDevice device = QMediaDevices::defaultVideoInput();
        if (device.isNull())
            return nullptr;
        return std::make_unique<QtCamera>(device);
    }
};

// Shows its image a few times a second, as a camera aimed at a still scene.
class ImageFileCamera : public Camera
{
public:
    explicit ImageFileCamera(const QString &path)
    {
        m_timer.setInterval(200);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_sink && !m_image.isNull())
                m_sink->setVideoFrame(videoFrameFromImage(m_image));
        });
        connect(&m_load, &QFutureWatcherBase::finished, this, [this, path] {
            m_image = m_load.result();
            if (m_image.isNull())
                emit failed(QStringLiteral("cannot read %1").arg(path));
        });
        m_load.setFuture(loadImageFile(path));
    }

    void setVideoSink(QVideoSink *sink) override { m_sink = sink; }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    void capture() override
    {
        QTimer::singleShot(0, this, [this] {
            if (m_image.isNull())
                emit failed(QStringLiteral("no image"));
            else
                emit captured(m_image);
        });
    }

private:
    QFutureWatcher<QImage> m_load;
    QImage m_image;
    QPointer<QVideoSink> m_sink;
    QTimer m_timer;
};

class ImageFileCameras : public CameraProvider
{
public:
    explicit ImageFileCameras(const QString &path)
        : m_path(path)
    {}
    bool hasCamera() const override { return true; }
    std::unique_ptr<Camera> open() override { return std::make_unique<ImageFileCamera>(m_path); }

private:
    QString m_path;
};

class NoCameras : public CameraProvider
{
public:
    bool hasCamera() const override { return false; }
    std::unique_ptr<Camera> open() override { return nullptr; }
};
} // namespace

std::unique_ptr<CameraProvider> CameraProvider::system()
{
    return std::make_unique<SystemCameras>();
}

std::unique_ptr<CameraProvider> CameraProvider::imageFile(const QString &path)
{
    return std::make_unique<ImageFileCameras>(path);
}

std::unique_ptr<CameraProvider> CameraProvider::none()
{
    return std::make_unique<NoCameras>();
}

} // namespace orvelle
