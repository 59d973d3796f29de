#include "Scheduler.h"

#include <QTimer>

namespace orvelle {

namespace {
class TimerScheduler final : public Scheduler
{
public:
    void runAfter(std::chrono::milliseconds delay, QObject *context,
                  std::function<void()> task) override
    {
        QTimer::singleShot(delay, context, std::move(task));
    }
};
} // namespace

Scheduler &Scheduler::system()
{
    static TimerScheduler scheduler;
    return scheduler;
}

} // namespace orvelle
