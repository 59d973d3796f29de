#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <memory>
#include <type_traits>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace orvelle {

// Lowers the calling thread below the GUI thread, but never so far that the
// work waits on it entirely: a niced thread gets about a tenth of a busy
// processor. (Qt's idle priority would starve it under any other load; its
// low priority changes nothing on Linux.)
inline void yieldToTheGuiThread()
{
#ifdef Q_OS_LINUX
    thread_local const bool lowered = setpriority(PRIO_PROCESS, gettid(), 10) == 0;
    Q_UNUSED(lowered)
#endif
}

// Runs `work` on `pool` and gives its result to `then` on the GUI thread;
// `then` does not run once `context` is gone. Used instead of QFuture::then
// with a context: in Qt 6.4 that asserts when the context goes first, and
// now and then runs its continuation twice (the second time with a spent
// promise) when the task ends just as the continuation is attached.
template <typename Work, typename Then>
void runInBackground(QThreadPool &pool, QObject *context, Work work, Then then)
{
    using Result = std::invoke_result_t<Work &>;
    static_assert(!std::is_void_v<Result>, "the work gives a result to hand over");
    pool.start([work = std::move(work), then = std::move(then),
                guard = QPointer<QObject>(context)]() mutable {
        auto result = std::make_shared<Result>(work());
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [then = std::move(then), guard, result]() mutable {
            if (guard)
                then(std::move(*result));
        });
    });
}

} // namespace orvelle
