#pragma once

#include "core/Scheduler.h"

#include <QPointer>
#include <algorithm>
#include <vector>

namespace orvelle::test {

// A scheduler whose clock only moves when the test says so.
class ManualScheduler final : public Scheduler
{
public:
    void runAfter(std::chrono::milliseconds delay, QObject *context,
                  std::function<void()> task) override
    {
        m_tasks.push_back({m_now + delay, m_order++, context, std::move(task)});
    }

    // Moves the clock forward, running every task that falls due, in order.
    void advance(std::chrono::milliseconds by)
    {
        const auto target = m_now + by;
        for (;;) {
            auto next =
                std::min_element(m_tasks.begin(), m_tasks.end(), [](const Task &a, const Task &b) {
                    return a.due != b.due ? a.due < b.due : a.order < b.order;
                });
            if (next == m_tasks.end() || next->due > target)
                break;
            Task task = std::move(*next);
            m_tasks.erase(next);
            m_now = task.due;
            if (task.context)
                task.run();
        }
        m_now = target;
    }
    size_t pending() const
    {
        return size_t(std::count_if(m_tasks.begin(), m_tasks.end(),
                                    [](const Task &t) { return !t.context.isNull(); }));
    }

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
