#pragma once

#include "Fennick/Persistence/PersistenceController.h"
#include "app/models/ReviewList.h"
#include "app/models/StoreChanges.h"
#include "platform/FutureContinuation.h"

#include <QFuture>
#include <QList>
#include <QObject>
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

// Reports the failure under `name`, then logs `message` (holding %1 for the error's text) at
// error level through Log::model().
void reportFailure(const std::exception &error, const QString &name, const QString &message);

// The future's result; when it failed, the failure reported as above and an empty value.
// result(), not takeResult(): on Qt 6.4 taking the result resets the future's state, and the
// producer's promise, ended later, then runs the finished continuation a second time.
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

// The loads of one list. Overlapping loads may finish in any order; only the one started last
// publishes, so that a slow load started before the user changed a filter cannot put back the
// old list.
class LatestLoad {
public:
    // Runs `fetch` on a fresh background context, then `publish(result)` on `model`'s thread
    // unless a later load has started meanwhile. A failed fetch is reported under
    // `failureName` / `failureMessage` (see resultOrReport) and publishes an empty value. The
    // future finishes after the publish, or after it was skipped. Keep this object as long as
    // `model`.
    template <class Fetch, class Publish>
    QFuture<void> run(QObject *model, Fetch fetch, const QString &failureName, const QString &failureMessage,
                      Publish publish)
    {
        using Result = std::invoke_result_t<Fetch &, platform::store::Context &>;
        QFuture<Result> fetched = inBackgroundContext(std::move(fetch));
        const quint64 load = ++m_started;
        return platform::whenFinished(fetched, model,
                                      [this, load, failureName, failureMessage,
                                       publish = std::move(publish)](QFuture<Result> result) mutable {
                                          if (load != m_started)
                                              return;
                                          publish(resultOrReport(result, failureName, failureMessage));
                                      });
    }

private:
    quint64 m_started = 0;
};

// Tells whether a list a load publishes shows other choices of the user (version, sort, filters,
// search text) than the list shown before it, or the same choices reloaded after the store
// changed. A load takes current() when it starts; the list it publishes reports it to shown().
class ListChoices {
public:
    void changed() { ++m_current; }
    quint64 current() const { return m_current; }
    // True when `choices` differ from those of the list shown so far.
    bool shown(quint64 choices)
    {
        const bool other = choices != m_shown;
        m_shown = choices;
        return other;
    }

private:
    quint64 m_current = 0;
    quint64 m_shown = 0;
};

// The records of fetched rows, in fetch order. Call it on the rows' context thread; the records
// move to the GUI thread.
ReviewList reviewRecords(const QList<Fennick::ManagedReview *> &rows);

// What makes a summary reload or redraw by itself, for as long as the model lives:
// - every delivery of observeStoreChanges() runs `reload`;
// - `searchDebounce` runs `searchLoad` 0.5 s after it was last (re)started; it is started here,
//   so one load follows the model's creation even when nothing is typed;
// - setting the standard defaults' "enableTranslationSupport" in this process runs
//   `willChange`, always later than the change itself: review cards read the switch when they
//   are drawn, so a redraw without a reload is enough.
struct SummaryTriggers {
    std::unique_ptr<StoreChangeSubscription> storeSubscription;
    QTimer searchDebounce;

    void start(QObject *model, std::function<void()> reload, std::function<void()> searchLoad,
               std::function<void()> willChange);
};

}  // namespace Vantorel::ModelSupport
