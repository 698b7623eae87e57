#pragma once

#include "platform/store/Context.h"
#include "platform/store/Model.h"

#include <QFuture>
#include <QThread>
#include <QString>
#include <QUuid>
#include <memory>

namespace platform::store {

class ViewContextEvents;

// One store file with its model: opens (creates or migrates) the file, owns the view context and
// makes background contexts.
class Container {
public:
    // Throws StoreError when the file cannot be opened as a store of this model; the file is
    // then left untouched. The view context belongs to `viewThread`, by default the
    // application's main thread.
    Container(QString name, std::shared_ptr<const Model> model, QString storePath, QThread *viewThread = nullptr);
    ~Container();
    Container(const Container &) = delete;
    Container &operator=(const Container &) = delete;

    const QString &name() const { return m_name; }
    QString storePath() const;
    QUuid storeId() const;
    const Model &model() const;

    Context &viewContext() { return *m_viewContext; }
    // The view context's announcements (merges of background saves), on the view context's thread.
    ViewContextEvents &viewContextEvents();
    // A context with a thread of its own; the thread ends when the last reference goes.
    std::shared_ptr<Context> newBackgroundContext();

    // Runs `block(context)` on a fresh background context, which lives until the block is done.
    template <class F>
    auto performBackgroundTask(F block) -> QFuture<std::invoke_result_t<F &, Context &>>
    {
        std::shared_ptr<Context> context = newBackgroundContext();
        Context *raw = context.get();
        return raw->perform([context = std::move(context), block = std::move(block)](Context &c) mutable {
            return block(c);
        });
    }

private:
    QString m_name;
    std::shared_ptr<StoreShared> m_shared;
    std::unique_ptr<Context> m_viewContext;
};

}  // namespace platform::store
