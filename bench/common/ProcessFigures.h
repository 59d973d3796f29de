#pragma once

// What the benchmarks measure of their own process: memory from
// /proc/self/status and how long the GUI thread went without a turn.

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>

namespace orvelle::bench {

// A field of /proc/self/status ("VmRSS:", "VmHWM:"), in KiB.
inline long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// The GUI thread's longest gap between two beats of a 1 ms timer.
class StallWatch
{
public:
    StallWatch()
    {
        m_beat.setTimerType(Qt::PreciseTimer);
        m_beat.setInterval(1);
        QObject::connect(&m_beat, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_beat.start();
    }
    double longestMs() const { return double(m_longest) / 1e6; }

private:
    QTimer m_beat;
    QElapsedTimer m_clock;
    qint64 m_last = 0, m_longest = 0;
};

} // namespace orvelle::bench
