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

void QrFrameScanner::setVideoSink(QObject *sink)
{
    if (m_sink == sink)
        return;
    m_watch.reset();
    m_sink = sink;
    MediaModule *media = sink ? mediaModule() : nullptr;
    if (media)
        m_watch = media->watchFrames(
            sink, this, [this](const MediaModule::LumaReader &readLuma) { submit(readLuma); });
}

void QrFrameScanner::submit(const MediaModule::LumaReader &readLuma)
{
    if (m_busy) {
        ++m_dropped;
        return;
    }
    m_busy = true;
    m_watcher.setFuture(QtConcurrent::run(&m_pool, [readLuma] {
        const QImage luma = readLuma();
        if (luma.isNull())
            return QrReading{std::nullopt, QStringLiteral("frame could not be read")};
        return decodeQr(luma);
    }));
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
