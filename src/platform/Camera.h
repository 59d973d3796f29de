#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <memory>

namespace orvelle {

// One opened camera: a live picture into a video sink and still captures on
// demand. Closing it (destroying it) releases the device.
class Camera : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A QVideoSink, as the page's VideoOutput hands it over.
    virtual void setVideoSink(QObject *sink) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    // Answers later with `captured` or `failed`, on the GUI thread.
    virtual void capture() = 0;

signals:
    void captured(const QImage &image);
    void failed(const QString &message);
};

// What the machine offers. The views ask it when they open and fall back to
// choosing an image file when there is no camera.
class CameraProvider
{
public:
    virtual ~CameraProvider() = default;
    virtual bool hasCamera() const = 0;
    // Null when there is no camera.
    virtual std::unique_ptr<Camera> open() = 0;

    // QtMultimedia's default video input, asked only once a view needs it.
    static std::unique_ptr<CameraProvider> system();
    // A camera that keeps showing one image file (a desktop without a webcam,
    // demonstrations); "captures" return that image.
    static std::unique_ptr<CameraProvider> imageFile(const QString &path);
    static std::unique_ptr<CameraProvider> none();
};

} // namespace orvelle
