#pragma once

#include <QObject>
#include <chrono>
#include <functional>

namespace orvelle {

// Runs a task on the GUI thread after a delay. Views take one so that tests can
// drive toast resets, countdowns and alert re-shows without waiting in real time.
// A task whose context object is destroyed before it is due never runs.
class Scheduler
{
public:
    virtual ~Scheduler() = default;
    virtual void runAfter(std::chrono::milliseconds delay, QObject *context,
                          std::function<void()> task) = 0;

    // The real one, on QTimer.
    static Scheduler &system();
};

} // namespace orvelle
