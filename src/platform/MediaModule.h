#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QtPlugin>
#include <functional>
#include <memory>

namespace orvelle {

// What the client needs of Qt Multimedia, in a plugin loaded the first time a
// camera, the scanner or the scan sound is used: linked into the client, the
// multimedia libraries (audio server, codecs) cost every start a fifth of its
// time. Only plain interfaces cross; video sinks cross as QObject (they are
// QVideoSinks) and everything comes back through the callbacks given.
class MediaModule
{
public:
    class OpenedCamera
    {
    public:
        virtual ~OpenedCamera() = default;
        virtual void setVideoSink(QObject *sink) = 0;
        virtual void start() = 0;
        virtual void stop() = 0;
        // Answers later through `CameraEvents`, on the GUI thread.
        virtual void capture() = 0;
    };
    struct CameraEvents
    {
        std::function<void(const QImage &)> captured;
        std::function<void(const QString &)> failed;
    };
    class Sound
    {
    public:
        virtual ~Sound() = default;
        virtual void play() = 0;
    };
    // Reads one frame's luminance as a grayscale image, on any thread; null
    // when the frame cannot be read.
    using LumaReader = std::function<QImage()>;
    // Watching ends when this is destroyed.
    class FrameWatch
    {
    public:
        virtual ~FrameWatch() = default;
    };

    virtual ~MediaModule() = default;
    virtual bool hasCamera() const = 0;
    // The default video input; null when there is none.
    virtual std::unique_ptr<OpenedCamera> openCamera(CameraEvents events) = 0;
    // Null when the machine has no audio output.
    virtual std::unique_ptr<Sound> sound(const QUrl &source) = 0;
    // Makes `image` the sink's current frame; a null image clears it.
    virtual void showStill(QObject *sink, const QImage &image) = 0;
    // Each valid frame of the sink, on `receiver`'s thread while it lives.
    virtual std::unique_ptr<FrameWatch> watchFrames(QObject *sink, QObject *receiver,
                                                    std::function<void(LumaReader)> frame) = 0;
};

// Loaded on the first call; null when the plugin is missing or cannot be
// loaded (said once in the log): then there is no camera and no sound.
MediaModule *mediaModule();
// `image` as the current frame of `sink` (a null image clears it); nothing
// without a sink or the plugin.
void showStill(QObject *sink, const QImage &image);

} // namespace orvelle

#define OrvelleMediaModule_iid "com.orvelle.Orvelle.MediaModule/1.0"
Q_DECLARE_INTERFACE(orvelle::MediaModule, OrvelleMediaModule_iid)
