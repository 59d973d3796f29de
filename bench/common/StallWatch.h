#pragma once

// How long the GUI thread went without a turn, less the time the whole
// machine stood still. A virtual machine stops every thread of the guest now
// and then (10 to 40 ms, about once a minute here, with nothing running); a
// gap of that kind says nothing of the client. A witness thread that only
// sleeps a millisecond and wakes sees such a pause too. It runs first-in
// first-out in real time where allowed (root, or an RLIMIT_RTPRIO), so no
// thread of the client can delay it and it misses its beat only when the
// machine itself stops; what it missed inside a gap of the GUI thread is
// taken off that gap. Without that right it runs as any thread, and a gap it
// shares may also be the client's own threads crowding both out: then
// realtimeWitness() is false and the raw figure is the one to trust.
// The host may also stop one virtual processor alone (5 to 20 ms here, seen
// by two witnesses pinned one to each). A watch made `pinned` keeps the GUI
// thread, while it lives, on the processor it was on, with the witness beside
// it, so a pause of that processor is seen and one of the other is not taken
// off. Only where the client leaves the processors mostly idle (a slow
// link): under load the pinned GUI thread could not move away from busy ones.

#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <vector>

namespace orvelle::bench {

class StallWatch
{
public:
    explicit StallWatch(bool pinned = false)
        : m_pinned(pinned)
        , m_witness([this] { witness(); })
    {
        pthread_getaffinity_np(pthread_self(), sizeof m_guiAffinity, &m_guiAffinity);
        if (m_pinned)
            pinTo(m_cpu);
        m_beat.setTimerType(Qt::PreciseTimer);
        m_beat.setInterval(1);
        QObject::connect(&m_beat, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            if (now - m_lastBeat > noticed)
                m_gaps.push_back({m_lastBeat, now});
            m_lastBeat = now;
        });
        m_beat.start();
    }
    ~StallWatch()
    {
        m_stop = true;
        m_witness.join();
        if (m_pinned)
            pthread_setaffinity_np(pthread_self(), sizeof m_guiAffinity, &m_guiAffinity);
    }
    StallWatch(const StallWatch &) = delete;
    StallWatch &operator=(const StallWatch &) = delete;

    // The longest gap, less what the machine stood still inside it.
    double longestMs() const { return longest(true); }
    // The longest gap as the GUI thread saw it.
    double rawLongestMs() const { return longest(false); }
    bool realtimeWitness() const
    {
        m_ready.wait(false);
        return m_realtime;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Span
    {
        Clock::time_point from, to;
    };
    static constexpr auto beat = std::chrono::milliseconds(1);
    static constexpr auto noticed = std::chrono::milliseconds(2);

    static void pinTo(int cpu)
    {
        cpu_set_t only;
        CPU_ZERO(&only);
        CPU_SET(cpu, &only);
        pthread_setaffinity_np(pthread_self(), sizeof only, &only);
    }

    void witness()
    {
        if (m_pinned)
            pinTo(m_cpu);
        sched_param realtime{};
        realtime.sched_priority = sched_get_priority_min(SCHED_FIFO);
        m_realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime) == 0;
        m_ready = true;
        Clock::time_point last = Clock::now();
        while (!m_stop) {
            std::this_thread::sleep_for(beat);
            const Clock::time_point now = Clock::now();
            if (now - last > noticed) {
                const std::lock_guard lock(m_pausesGuard);
                m_pauses.push_back({last + beat, now});
            }
            last = now;
        }
    }

    double longest(bool lessPauses) const
    {
        std::vector<Span> pauses;
        if (lessPauses) {
            const std::lock_guard lock(m_pausesGuard);
            pauses = m_pauses;
        }
        Clock::duration worst{};
        for (const Span &gap : m_gaps) {
            Clock::duration length = gap.to - gap.from;
            for (const Span &pause : pauses) {
                const Clock::time_point from = std::max(gap.from, pause.from);
                const Clock::time_point to = std::min(gap.to, pause.to);
                if (to > from)
                    length -= to - from;
            }
            worst = std::max(worst, length);
        }
        return std::chrono::duration<double, std::milli>(worst).count();
    }

    QTimer m_beat;
    Clock::time_point m_lastBeat = Clock::now();
    std::vector<Span> m_gaps;
    std::atomic<bool> m_stop = false, m_ready = false;
    bool m_realtime = false;
    mutable std::mutex m_pausesGuard;
    std::vector<Span> m_pauses;
    // The processor the GUI thread and the witness share, and where the GUI
    // thread could run before.
    const bool m_pinned;
    const int m_cpu = std::max(0, sched_getcpu());
    cpu_set_t m_guiAffinity{};
    // Last, so that it starts when everything it touches is made.
    std::thread m_witness;
};

} // namespace orvelle::bench
