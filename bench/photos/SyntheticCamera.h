#pragma once

// The device end of the camera road on a machine without a camera: each
// capture is a new camera-sized picture, made off the GUI thread as a
// camera's pipeline makes it, and the live picture is one frame at a phone
// preview's size. Everything past the device is the client's own.

#include "common/ProcessFigures.h"
#include "core/BackgroundTask.h"
#include "platform/Camera.h"
#include "platform/MediaModule.h"

#include <QPointer>
#include <QThreadPool>
#include <memory>

namespace orvelle::bench {

class SyntheticCamera : public Camera
{
public:
    SyntheticCamera(const QImage &live, quint32 &nextSeed)
        : m_live(live)
        , m_nextSeed(nextSeed)
    {}

    void setVideoSink(QObject *sink) override { m_sink = sink; }
    void start() override { showStill(m_sink, m_live); }
    void stop() override {}
    void capture() override
    {
        runInBackground(
            *QThreadPool::globalInstance(), this,
            [seed = m_nextSeed++] { return syntheticPhoto(seed); },
            [this](const QImage &picture) { emit captured(picture); });
    }

private:
    QImage m_live;
    quint32 &m_nextSeed;
    QPointer<QObject> m_sink;
};

class SyntheticCameras : public CameraProvider
{
public:
    bool hasCamera() const override { return true; }
    std::unique_ptr<Camera> open() override
    {
        return std::make_unique<SyntheticCamera>(m_live, m_nextSeed);
    }

private:
    QImage m_live = [] {
        QImage frame(1280, 960, QImage::Format_RGB32);
        frame.fill(Qt::darkCyan);
        return frame;
    }();
    quint32 m_nextSeed = 1000;
};

} // namespace orvelle::bench
