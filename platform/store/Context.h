#pragma once

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/StoreError.h"

#include <QFuture>
#include <QPromise>
#include <QSqlDatabase>
#include <QSet>
#include <QThread>
#include <QSqlQuery>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

namespace platform::store {

struct StoreShared;
class SerialExecutor;

// What one save wrote, handed to the view context so that its objects follow.
struct SavedRow {
    ObjectId id;
    QVariantList values;
    QList<ObjectId> toOne;
};
struct ChangeSet {
    QList<SavedRow> saved;
    QList<ObjectId> deleted;
};

template <class V>
struct IdAndValue {
    ObjectId id;
    std::optional<V> value;
};

// A scratch pad over the store with its own SQLite connection, bound to one thread: the view
// context to the thread that made the container (the GUI thread), each background context to a
// thread of its own. Every call other than perform()/performAndWait() must come from that thread.
class Context {
public:
    ~Context();
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    bool isViewContext() const { return m_isView; }

    // Runs `block(*this)` on the context's thread later; the future carries its result or error.
    template <class F>
    auto perform(F block) -> QFuture<std::invoke_result_t<F &, Context &>>;
    // Runs `block(*this)` on the context's thread and waits for it (at once when already there).
    template <class F>
    auto performAndWait(F block) -> std::invoke_result_t<F &, Context &>;

    template <class T>
    T *insert()
    {
        return static_cast<T *>(insertObject(QString::fromLatin1(T::entityName)));
    }
    void deleteObject(ManagedObject *object);

    // The object of a stored row (or of an object inserted here); nullptr when the row is gone,
    // the id names no row of this store, or the object is not a T.
    ManagedObject *existingObject(const ObjectId &id);
    template <class T>
    T *existingObject(const ObjectId &id)
    {
        return dynamic_cast<T *>(existingObject(id));
    }

    // Fetches read the saved rows; objects already registered here are returned as they are
    // (with their unsaved changes), and objects deleted here are left out.
    template <class T>
    QList<T *> fetch(const FetchRequest<T> &request)
    {
        QList<T *> result;
        for (ManagedObject *object : fetchObjects(request))
            result.append(static_cast<T *>(object));
        return result;
    }
    QList<ObjectId> fetchIds(const FetchRequestBase &request);
    // Each matching row's id with the value of one attribute, without building objects.
    template <class V>
    QList<IdAndValue<V>> fetchValues(const FetchRequestBase &request, const AttributeKey<V> &key)
    {
        QList<IdAndValue<V>> result;
        for (const auto &[id, value] : fetchColumn(request, key.name())) {
            if (value.isValid())
                result.append({id, value.template value<V>()});
            else
                result.append({id, std::nullopt});
        }
        return result;
    }
    // Each matching row's id with the values of several attributes, in the order asked (an
    // invalid QVariant where a value is absent), without building objects.
    QList<std::pair<ObjectId, QVariantList>> fetchRowValues(const FetchRequestBase &request,
                                                            const QStringList &attributes);
    qint64 count(const FetchRequestBase &request);
    // Matching rows per target of a to-one relationship; targets without rows are not listed.
    QHash<ObjectId, qint64> countBy(const FetchRequestBase &request, const RelationshipKey &group);

    bool hasChanges() const;
    // Writes every insert, update and delete of the context in one transaction. On failure the
    // store is left as it was, the changes stay pending here, and a StoreError is thrown.
    void save();
    // Drops every unsaved insert, update and delete: inserted objects are gone, changed and
    // deleted ones take their stored values again (or are gone when their row is).
    void rollback();

private:
    friend class Container;
    friend class ManagedObject;
    friend struct StoreShared;
    struct Statements;

    Context(std::shared_ptr<StoreShared> shared, QThread *viewThread);
    bool isOnOwnThread() const;
    void open();
    void close();
    void post(std::function<void()> task);
    void runAndWait(const std::function<void()> &task);
    void checkThread() const;

    ManagedObject *insertObject(const QString &entity);
    QList<ManagedObject *> fetchObjects(const FetchRequestBase &request);
    QList<std::pair<ObjectId, QVariant>> fetchColumn(const FetchRequestBase &request, const QString &attribute);
    void merge(const ChangeSet &changes);
    void markUpdated(ManagedObject *object);
    QList<ManagedObject *> relatedObjects(const ManagedObject *owner, int relationship);

    const EntityDescription &entityNamed(const QString &name) const;
    QString whereClause(const EntityDescription &entity, const Predicate &predicate, QVariantList &binds) const;
    QSqlQuery run(const QString &sql, const QVariantList &binds, StoreError::Code failure);
    ManagedObject *objectFromRow(const EntityDescription &entity, const QSqlQuery &query);
    void loadRows(const EntityDescription &entity, const QString &where, const QVariantList &binds,
                  QList<ManagedObject *> *out);
    void prefetch(const EntityDescription &entity, const QList<ManagedObject *> &objects, const QString &key);
    void retire(ManagedObject *object);
    void dropToManyCaches();

    std::shared_ptr<StoreShared> m_shared;
    bool m_isView = false;
    std::shared_ptr<SerialExecutor> m_executor;  // background contexts only
    std::thread::id m_thread;     // background contexts
    QThread *m_viewThread = nullptr;
    QObject *m_anchor = nullptr;  // view context only: receives queued work on its thread
    QString m_connectionName;
    QSqlDatabase m_db;
    std::unique_ptr<Statements> m_statements;

    QHash<ObjectId, ManagedObject *> m_objects;
    QList<ManagedObject *> m_inserted;
    QList<ManagedObject *> m_updated;
    QList<ManagedObject *> m_deleted;
    QSet<const ManagedObject *> m_cachedOwners;  // objects holding a to-many list
    std::vector<std::unique_ptr<ManagedObject>> m_owned;
};

template <class F>
auto Context::perform(F block) -> QFuture<std::invoke_result_t<F &, Context &>>
{
    using R = std::invoke_result_t<F &, Context &>;
    auto promise = std::make_shared<QPromise<R>>();
    QFuture<R> future = promise->future();
    promise->start();
    post([this, promise, block = std::move(block)]() mutable {
        try {
            if constexpr (std::is_void_v<R>) {
                block(*this);
            } else {
                promise->addResult(block(*this));
            }
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    return future;
}

template <class F>
auto Context::performAndWait(F block) -> std::invoke_result_t<F &, Context &>
{
    using R = std::invoke_result_t<F &, Context &>;
    std::exception_ptr error;
    if constexpr (std::is_void_v<R>) {
        runAndWait([&] {
            try {
                block(*this);
            } catch (...) {
                error = std::current_exception();
            }
        });
        if (error)
            std::rethrow_exception(error);
    } else {
        std::optional<R> result;
        runAndWait([&] {
            try {
                result.emplace(block(*this));
            } catch (...) {
                error = std::current_exception();
            }
        });
        if (error)
            std::rethrow_exception(error);
        return std::move(*result);
    }
}

}  // namespace platform::store
