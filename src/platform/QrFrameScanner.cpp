#include "QrFrameScanner.h"

#include "core/Logging.h"

#include <QtConcurrent>

namespace orvelle {

QrFrameScanner::QrFrameScanner(QObject *parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &QrFrameScanner::decoded);
}

QrFrameScanner::~QrFrameScanner()
{
    setVideoSink(nullptr);
    // Members go in reverse order: the watcher first, then the pool waits for
    // a decode still running, which holds nothing of ours but its frame copy.
}

void QrFrameScanner::setVideoSink(QVideoSink *sink)
{
    if (m_sink == sink)
        return;
    if (m_sink)
        disconnect(m_sink, nullptr, this, nullptr);
    m_sink = sink;
    // Camera backends may emit from their own thread; the context object
    // queues those frames to the GUI thread, where the busy flag lives.
    if (m_sink)
        connect(m_sink, &QVideoSink::videoFrameChanged, this, &QrFrameScanner::submit);
}

void QrFrameScanner::submit(const QVideoFrame &frame)
{
    if (!frame.isValid())
        return;
    if (m_busy) {
        ++m_dropped;
        return;
    }
    m_busy = true;
    m_watcher.setFuture(QtConcurrent::run(&m_pool, [frame] { return decodeQr(frame); }));
}

void QrFrameScanner::decoded()
{
    m_busy = false;
    ++m_decoded;
    const QrReading reading = m_watcher.result();
    if (!reading.problem.isEmpty())
        qCDebug(lcScan) << "Unreadable frame:" << reading.problem;
    if (reading.text)
        emit codeFound(*reading.text);
}

} // namespace orvelle
