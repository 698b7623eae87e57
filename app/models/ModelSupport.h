#pragma once

#include "Fennick/Persistence/PersistenceController.h"
#include "app/models/ReviewList.h"

#include <QCoreApplication>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <exception>
#include <functional>
#include <type_traits>

namespace Fennick {
class ManagedReview;
}

// Small pieces that the view models share. Not part of any model's interface.
namespace Vantorel::ModelSupport {

// Runs `block` on a fresh background context of the shared store. When the store cannot be
// opened at all, the future carries that error instead.
template <class F>
auto inBackgroundContext(F block) -> QFuture<std::invoke_result_t<F &, platform::store::Context &>>
{
    using Result = std::invoke_result_t<F &, platform::store::Context &>;
    try {
        return Fennick::PersistenceController::shared().container().performBackgroundTask(std::move(block));
    } catch (...) {
        return QtFuture::makeExceptionalFuture<Result>(std::current_exception());
    }
}

// Calls `handler(future)` on the GUI thread once `future` has finished, unless `receiver` is gone
// by then; the returned future finishes after the handler. Use this rather than
// future.then(receiver, ...): Qt 6.4 asserts (and in release builds races) when the receiver of
// such a continuation is destroyed before the work ends, which is what happens to every model
// whose view closes during a load. Here the continuation's context is the application object,
// and the receiver is checked on its own thread.
template <class T, class F>
auto whenFinished(QFuture<T> future, QObject *receiver, F handler)
{
    using Result = std::invoke_result_t<F &, QFuture<T> &>;
    return future.then(QCoreApplication::instance(),
                       [receiver = QPointer<QObject>(receiver), handler = std::move(handler)](
                           QFuture<T> finished) mutable -> Result {
                           if (!receiver) {
                               if constexpr (std::is_void_v<Result>)
                                   return;
                               else
                                   return Result();
                           }
                           return handler(finished);
                       });
}

// Reports the failure under `name`, then logs `message` (holding %1 for the error's text) at
// error level through Log::model().
void reportFailure(const std::exception &error, const QString &name, const QString &message);

// The future's result; when it failed, the failure reported as above and an empty value.
template <class T>
T resultOrReport(QFuture<T> &future, const QString &name, const QString &message)
{
    try {
        return future.result();
    } catch (const std::exception &error) {
        reportFailure(error, name, message);
        return T();
    }
}

// The records of fetched rows, in fetch order. Call it on the rows' context thread; the records
// move to the GUI thread.
ReviewList reviewRecords(const QList<Fennick::ManagedReview *> &rows);

// Calls `willChange` on `model`'s thread, always later than the change itself, whenever the
// standard defaults' "enableTranslationSupport" is set in this process; review cards read the
// switch when they are drawn, so a redraw without a reload is enough.
void observeTranslationSwitch(QObject *model, std::function<void()> willChange);

// The search field's debounce: `load` runs 0.5 s after the timer was last (re)started. Started
// once here, so one load follows the model's creation even when nothing is typed.
void startSearchDebounce(QTimer &timer, QObject *model, std::function<void()> load);

}  // namespace Vantorel::ModelSupport
