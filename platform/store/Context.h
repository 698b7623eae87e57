#pragma once

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/StoreError.h"

#include <QByteArrayView>
#include <QFuture>
#include <QHash>
#include <QPromise>
#include <QSet>
#include <QThread>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

namespace platform::store {

struct StoreShared;
struct Connection;
struct ChangeSet;
class SerialExecutor;
class ViewContextEvents;
namespace sql {
class Statement;
}

template <class V>
struct IdAndValue {
    ObjectId id;
    std::optional<V> value;
};

// One row of Context::forEachRow(), as the store holds it; valid only during the call that hands
// it over. Attributes are numbered in the order they were asked for.
class RowView {
public:
    ObjectId id() const;
    bool isNull(int attribute) const;
    // An Int64, Bool or Date attribute (a date as milliseconds since 1970), or the key a to-one
    // relationship names; 0 when absent.
    qint64 integer(int attribute) const;
    // A String attribute as UTF-8, or a Data attribute's bytes; empty when absent.
    QByteArrayView bytes(int attribute) const;

private:
    friend class Context;
    RowView(const sql::Statement &row, const QUuid &store, const QString &entity)
        : m_row(row), m_store(store), m_entity(entity)
    {
    }
    const sql::Statement &m_row;
    const QUuid &m_store;
    const QString &m_entity;
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
    // Whether the store holds the row now, whatever this context has seen of it: another context
    // or process may have deleted it. Inside saveAtomically() the answer holds until the save.
    bool isStored(const ObjectId &id);

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
        for (const auto &[id, values] : fetchRowValues(request, {key.name()})) {
            if (values.value(0).isValid())
                result.append({id, values.value(0).template value<V>()});
            else
                result.append({id, std::nullopt});
        }
        return result;
    }
    // Each matching row's id with the values of several attributes, in the order asked (an
    // invalid QVariant where a value is absent), without building objects. A to-one
    // relationship may be asked for too: its value is the key of the row it names.
    QList<std::pair<ObjectId, QVariantList>> fetchRowValues(const FetchRequestBase &request,
                                                            const QStringList &attributes);
    // Hands each matching row to `visit` as the store holds it, without building objects or
    // values: for reads of many rows. Attributes as for fetchRowValues().
    void forEachRow(const FetchRequestBase &request, const QStringList &attributes,
                    const std::function<void(const RowView &)> &visit);
    qint64 count(const FetchRequestBase &request);
    // Matching rows per target of a to-one relationship; targets without rows are not listed.
    QHash<ObjectId, qint64> countBy(const FetchRequestBase &request, const RelationshipKey &group);

    bool hasChanges() const;
    // Writes every insert, update and delete of the context in one transaction; an update writes
    // only the attributes changed here, so values that others saved meanwhile stay. On failure
    // the store is left as it was, the changes stay pending here, and a StoreError is thrown.
    void save();
    // Runs `block(*this)`, then save(), holding the store's write lock from before the block
    // until the save is done: no other context or process writes in between, so the block may
    // decide what to insert or update from what it reads. The block must not call save(). When
    // the block or the save fails, the store is left as it was and the error is thrown; the
    // block's changes stay pending here, as after a failed save().
    template <class F>
    auto saveAtomically(F block) -> std::invoke_result_t<F &, Context &>;
    // Drops every unsaved insert, update and delete: inserted objects are gone, changed and
    // deleted ones take their stored values again (or are gone when their row is).
    void rollback();
    // Forgets every object of the context, unsaved changes included: every pointer to one of
    // them is left dangling. For work that looks up what it needs afresh in every step (an
    // import), so that the rows of earlier steps do not pile up in memory.
    void reset();

    // Turns every object without changes that was neither read nor changed since the previous
    // call back into a fault: its values are dropped and read again from the store at its next
    // use, while the object, and every pointer to it, stays valid. The view context does this by
    // itself once it holds many loaded objects, so a long session stays within bounds.
    void releaseUnusedObjects();
    // Objects of this context that hold their values (not faults).
    qsizetype loadedObjectCount() const;

private:
    friend class Container;
    friend class ManagedObject;
    friend struct StoreShared;
    struct Rows;

    Context(std::shared_ptr<StoreShared> shared, QThread *viewThread);
    bool isOnOwnThread() const;
    void open();
    void close();
    void post(std::function<void()> task);
    void runAndWait(const std::function<void()> &task);
    void checkThread() const;

    ManagedObject *insertObject(const QString &entity);
    QList<ManagedObject *> fetchObjects(const FetchRequestBase &request);
    void merge(const ChangeSet &changes);
    void markUpdated(ManagedObject *object);
    QList<ManagedObject *> relatedObjects(const ManagedObject *owner, int relationship);

    // Drops every object of the context, changed or not.
    void forgetObjects();
    const EntityDescription &entityNamed(const QString &name) const;
    // `searchIndex` false looks every searched text up in the rows themselves (see fetchObjects()).
    QString whereClause(const EntityDescription &entity, const Predicate &predicate, QVariantList &binds,
                        bool searchIndex = true) const;
    // Whether the connection keeps a statement prepared for the next run of the same text.
    enum class Keep { Prepared, Once };
    Rows run(const QString &sql, const QVariantList &binds, StoreError::Code failure, Keep keep = Keep::Prepared);
    void execute(const QString &sql, const QVariantList &binds, StoreError::Code failure, Keep keep = Keep::Prepared);
    ManagedObject *objectFromRow(const EntityDescription &entity, const Rows &rows);
    void loadRows(const EntityDescription &entity, const QString &where, const QVariantList &binds,
                  QList<ManagedObject *> *out, Keep keep = Keep::Prepared);
    // The statement of a fetch of `attributes` (after the key), with its bound values.
    Rows selectValues(const EntityDescription &entity, const FetchRequestBase &request, const QStringList &attributes,
                      QList<int> *indexes);
    void prefetch(const EntityDescription &entity, const QList<ManagedObject *> &objects, const QString &key);
    void retire(ManagedObject *object);
    void dropToManyCaches();

    // Faults and their loading.
    void fulfil(const ManagedObject *object);
    void turnIntoFault(ManagedObject *object);
    void didLoad(ManagedObject *object);
    void scheduleRelease();
    static constexpr qsizetype manyLoadedObjects = 2000;
    static constexpr int releaseDelayMs = 1000;

    // The steps of a save, inside its transaction and after it.
    void beginWriting();
    void abandonWriting();
    void finishWriting();
    QList<ObjectId> deleteRows();
    qint64 nextKey(const EntityDescription &entity);
    QHash<ObjectId, qint64> insertRows();
    void updateRows(const QHash<ObjectId, qint64> &newKeys);
    QVariant storedKey(const ObjectId &target, const QHash<ObjectId, qint64> &newKeys) const;
    ChangeSet adoptSavedState(const QHash<ObjectId, qint64> &newKeys, const QList<ObjectId> &cascaded);

    std::shared_ptr<StoreShared> m_shared;
    bool m_isView = false;
    std::shared_ptr<SerialExecutor> m_executor;  // background contexts only
    std::thread::id m_thread;     // background contexts
    QThread *m_viewThread = nullptr;
    ViewContextEvents *m_events = nullptr;  // view context only: its signals, and queued work
    std::shared_ptr<Connection> m_connection;

    QHash<ObjectId, ManagedObject *> m_objects;
    QList<ManagedObject *> m_inserted;
    QList<ManagedObject *> m_updated;
    QList<ManagedObject *> m_deleted;
    QSet<const ManagedObject *> m_cachedOwners;  // objects holding a to-many list
    QSet<ManagedObject *> m_loaded;              // objects holding their values
    quint64 m_generation = 1;                    // counts releaseUnusedObjects() calls
    bool m_releaseScheduled = false;
    std::vector<std::unique_ptr<ManagedObject>> m_owned;
};

template <class F>
auto Context::saveAtomically(F block) -> std::invoke_result_t<F &, Context &>
{
    using R = std::invoke_result_t<F &, Context &>;
    beginWriting();
    try {
        if constexpr (std::is_void_v<R>) {
            block(*this);
            finishWriting();
        } else {
            R result = block(*this);
            finishWriting();
            return result;
        }
    } catch (...) {
        abandonWriting();
        throw;
    }
}

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
