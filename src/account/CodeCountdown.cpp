#include "CodeCountdown.h"

#include "core/Scheduler.h"

namespace orvelle {

using namespace std::chrono_literals;

CodeCountdown::CodeCountdown(Scheduler &scheduler, QObject *parent)
    : QObject(parent)
    , m_scheduler(scheduler)
{}

QString CodeCountdown::buttonText() const
{
    if (m_countdown < 1)
        return QStringLiteral("获取验证码");
    return QString::number(m_countdown) + QStringLiteral("秒后重试");
}

void CodeCountdown::start()
{
    m_countdown = seconds;
    m_ticking = true;
    ++m_generation;
    emit countdownChanged();
    scheduleTick();
}

void CodeCountdown::stop()
{
    ++m_generation;
    m_ticking = false;
}

void CodeCountdown::scheduleTick()
{
    m_scheduler.runAfter(1s, this, [this, generation = m_generation] {
        if (generation == m_generation)
            tick();
    });
}

void CodeCountdown::tick()
{
    // The tick after the last second stops the timer.
    if (m_countdown < 1) {
        m_ticking = false;
        return;
    }
    --m_countdown;
    emit countdownChanged();
    scheduleTick();
}

} // namespace orvelle
