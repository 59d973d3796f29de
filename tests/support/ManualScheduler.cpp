#include "ManualScheduler.h"

#include <algorithm>

namespace orvelle::test {

void ManualScheduler::runAfter(std::chrono::milliseconds delay, QObject *context,
                               std::function<void()> task)
{
    m_tasks.push_back({m_now + delay, m_order++, context, std::move(task)});
}

void ManualScheduler::advance(std::chrono::milliseconds by)
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

size_t ManualScheduler::pending() const
{
    return size_t(std::count_if(m_tasks.begin(), m_tasks.end(),
                                [](const Task &t) { return !t.context.isNull(); }));
}

} // namespace orvelle::test
