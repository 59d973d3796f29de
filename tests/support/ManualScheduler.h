#pragma once

#include "core/Scheduler.h"

#include <QPointer>
#include <vector>

namespace orvelle::test {

// A scheduler whose clock only moves when the test says so.
class ManualScheduler final : public Scheduler
{
public:
    void runAfter(std::chrono::milliseconds delay, QObject *context,
                  std::function<void()> task) override;

    // Moves the clock forward, running every task that falls due, in order.
    void advance(std::chrono::milliseconds by);
    size_t pending() const;

private:
    struct Task
    {
        std::chrono::milliseconds due;
        quint64 order;
        QPointer<QObject> context;
        std::function<void()> run;
    };
    std::vector<Task> m_tasks;
    std::chrono::milliseconds m_now{0};
    quint64 m_order = 0;
};

} // namespace orvelle::test
