#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <memory>
#include <type_traits>

namespace platform {

// Runs `function(finished)` on `context`'s thread once `future` has finished (with a result, an
// error or cancelled), and returns a future of what it returns or throws. When `context` is
// destroyed first, `function` never runs and the returned future is cancelled.
//
// This is QFuture::then(context, ...) with that one difference: Qt 6.4's own version asserts
// in debug builds when its context is gone by the time the future ends, and a view model may
// well be destroyed while its load is still under way. Call it on `context`'s thread.
template <class T, class F>
auto whenFinished(const QFuture<T> &future, QObject *context, F function)
    -> QFuture<std::invoke_result_t<F &, QFuture<T>>>
{
    using R = std::invoke_result_t<F &, QFuture<T>>;
    // Owned by the connection below: released, and so cancelled if still open, when the watcher
    // goes with its context.
    auto promise = std::make_shared<QPromise<R>>();
    QFuture<R> result = promise->future();
    promise->start();
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, promise, function = std::move(function)]() mutable {
                         watcher->deleteLater();
                         try {
                             if constexpr (std::is_void_v<R>)
                                 function(watcher->future());
                             else
                                 promise->addResult(function(watcher->future()));
                         } catch (...) {
                             promise->setException(std::current_exception());
                         }
                         promise->finish();
                     });
    watcher->setFuture(future);
    return result;
}

}  // namespace platform
