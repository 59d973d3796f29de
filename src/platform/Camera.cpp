#include "Camera.h"

#include "ImageFiles.h"
#include "MediaModule.h"

#include <QFutureWatcher>
#include <QPointer>
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

// Shows its image a few times a second, as a camera aimed at a still scene.
class ImageFileCamera : public Camera
{
public:
    explicit ImageFileCamera(const QString &path)
    {
        m_timer.setInterval(200);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (!m_image.isNull())
                showStill(m_sink, m_image);
        });
        connect(&m_load, &QFutureWatcherBase::finished, this, [this, path] {
            m_image = m_load.result();
            if (m_image.isNull())
                emit failed(QStringLiteral("cannot read %1").arg(path));
        });
        m_load.setFuture(loadImageFile(path));
    }

    void setVideoSink(QObject *sink) override { m_sink = sink; }
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
