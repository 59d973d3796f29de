#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <memory>
#include <type_traits>
#include <utility>

namespace orvelle {

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
