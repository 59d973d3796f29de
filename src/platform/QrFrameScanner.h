#pragma once

#include "MediaModule.h"
#include "QrDecoder.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

namespace orvelle {

// Watches a video sink and decodes its frames on a worker thread, one at a
// time: a frame that arrives while the previous one is being decoded is
// dropped, so decoding never queues up behind the preview. Found codes are
// reported on the GUI thread, again for every frame that shows one.
class QrFrameScanner : public QObject
{
    Q_OBJECT

public:
    explicit QrFrameScanner(QObject *parent = nullptr);
    ~QrFrameScanner() override;

    // A QVideoSink, or null to stop watching.
    void setVideoSink(QObject *sink);

    bool isBusy() const { return m_busy; }
    int decodedFrames() const { return m_decoded; }
    int droppedFrames() const { return m_dropped; }

signals:
    void codeFound(const QString &text);

private:
    void submit(const MediaModule::LumaReader &readLuma);
    void decoded();

    QPointer<QObject> m_sink;
    std::unique_ptr<MediaModule::FrameWatch> m_watch;
    QThreadPool m_pool;
    QFutureWatcher<QrReading> m_watcher;
    bool m_busy = false;
    int m_decoded = 0;
    int m_dropped = 0;
};

} // namespace orvelle
