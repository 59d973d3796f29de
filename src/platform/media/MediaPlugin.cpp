#include "QtCamera.h"
#include "VideoFrames.h"
#include "platform/MediaModule.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QVideoSink>

namespace orvelle {

namespace {
class SoundEffect : public MediaModule::Sound
{
public:
    explicit SoundEffect(const QUrl &source) { m_effect.setSource(source); }
    void play() override { m_effect.play(); }

private:
    QSoundEffect m_effect;
};

class Connection : public MediaModule::FrameWatch
{
public:
    explicit Connection(QMetaObject::Connection connection)
        : m_connection(std::move(connection))
    {}
    ~Connection() override { QObject::disconnect(m_connection); }

private:
    QMetaObject::Connection m_connection;
};
} // namespace

class MediaPlugin : public QObject, public MediaModule
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OrvelleMediaModule_iid)
    Q_INTERFACES(orvelle::MediaModule)

public:
    bool hasCamera() const override { return hasSystemCamera(); }

    std::unique_ptr<OpenedCamera> openCamera(CameraEvents events) override
    {
        return openSystemCamera(std::move(events));
    }

    std::unique_ptr<Sound> sound(const QUrl &source) override
    {
        if (QMediaDevices::audioOutputs().isEmpty())
            return nullptr;
        return std::make_unique<SoundEffect>(source);
    }

    void showStill(QObject *sink, const QImage &image) override
    {
        if (auto *videoSink = qobject_cast<QVideoSink *>(sink))
            videoSink->setVideoFrame(videoFrameFromImage(image));
    }

    std::unique_ptr<FrameWatch> watchFrames(QObject *sink, QObject *receiver,
                                            std::function<void(LumaReader)> frame) override
    {
        auto *videoSink = qobject_cast<QVideoSink *>(sink);
        if (!videoSink)
            return nullptr;
        // Camera backends may emit from their own thread; the receiver as the
        // context queues those frames to its thread.
        return std::make_unique<Connection>(
            QObject::connect(videoSink, &QVideoSink::videoFrameChanged, receiver,
                             [frame = std::move(frame)](const QVideoFrame &shown) {
                                 if (shown.isValid())
                                     frame([shown] { return lumaOf(shown); });
                             }));
    }
};

} // namespace orvelle

#include "MediaPlugin.moc"
