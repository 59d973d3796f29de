#include "Camera.h"

#include "ImageFiles.h"
#include "MediaModule.h"
#include "core/BackgroundTask.h"

#include <QPointer>
#include <QThreadPool>
#include <QTimer>

namespace orvelle {

namespace {
class ModuleCamera : public Camera
{
public:
    explicit ModuleCamera(MediaModule &media)
        : m_device(media.openCamera({
            [this](const QImage &image) { emit captured(image); },
            [this](const QString &message) { emit failed(message); },
        }))
    {}
    bool isOpen() const { return m_device != nullptr; }

    void setVideoSink(QObject *sink) override { m_device->setVideoSink(sink); }
    void start() override { m_device->start(); }
    void stop() override { m_device->stop(); }
    void capture() override { m_device->capture(); }

private:
    std::unique_ptr<MediaModule::OpenedCamera> m_device;
};

class SystemCameras : public CameraProvider
{
public:
    bool hasCamera() const override
    {
        MediaModule *media = mediaModule();
        return media && media->hasCamera();
    }
    std::unique_ptr<Camera> open() override
    {
        MediaModule *media = mediaModule();
        if (!media)
            return nullptr;
        auto camera = std::make_unique<ModuleCamera>(*media);
        if (!camera->isOpen())
            return nullptr;
        return camera;
    }
};

// Shows its image a few times a second at a preview's size, as a camera
// aimed at a still scene; a capture reads the file again, so the whole
// picture exists only from the capture on, as with a camera.
class ImageFileCamera : public Camera
{
public:
    static constexpr int liveLongSide = 1280;

    explicit ImageFileCamera(const QString &path)
        : m_path(path)
    {
        m_timer.setInterval(200);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (!m_live.isNull())
                showStill(m_sink, m_live);
        });
        runInBackground(
            *QThreadPool::globalInstance(), this,
            [path] {
                return readFitted(path, {liveLongSide, liveLongSide}, Qt::KeepAspectRatio);
            },
            [this](const QImage &live) {
                m_live = live;
                if (live.isNull())
                    emit failed(QStringLiteral("cannot read %1").arg(m_path));
            });
    }

    void setVideoSink(QObject *sink) override { m_sink = sink; }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    void capture() override
    {
        runInBackground(
            *QThreadPool::globalInstance(), this, [path = m_path] { return readPicture(path); },
            [this](const QImage &picture) {
                if (picture.isNull())
                    emit failed(QStringLiteral("cannot read %1").arg(m_path));
                else
                    emit captured(picture);
            });
    }

private:
    QString m_path;
    QImage m_live;
    QPointer<QObject> m_sink;
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
