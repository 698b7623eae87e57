#include "platform/store/Context.h"

#include "platform/store/Sql.h"
#include "platform/store/StoreShared.h"
#include "platform/store/TextFolding.h"
#include "platform/store/ViewContextEvents.h"

#include <QSqlError>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <future>
#include <map>
#include <sqlite3.h>
#include <unordered_map>

namespace platform::store {

// A connection to the store file with the statements it keeps prepared: a context runs the same
// few statements again and again (an import runs each of its look-ups hundreds of times). Opened
// on SQLite itself, as it outlives its context (see StoreShared::idleConnections) and so may move
// to another thread, which Qt's SQL connections may not.
struct Connection {
    sqlite3 *handle = nullptr;
    std::unordered_map<QString, std::unique_ptr<sql::Statement>> statements;   // by text
    struct Inserts {
        std::unique_ptr<sql::Statement> row;
        std::unique_ptr<sql::Statement> search;  // null for an entity without a search index
    };
    std::unordered_map<QString, Inserts> inserts;  // by entity
    std::map<std::pair<QString, quint64>, std::unique_ptr<sql::Statement>> updates;  // by entity and written columns
    bool writing = false;                                                        // inside a write transaction

    // Statements whose text names rows one by one are used once, and are not kept.
    static constexpr qsizetype keptStatements = 64;

    Connection() = default;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    ~Connection()
    {
        // Every statement goes before the connection closes.
        statements.clear();
        inserts.clear();
        updates.clear();
        sqlite3_close_v2(handle);
    }

    // Whether another context may take the connection over: no transaction is open, and no
    // statement is left holding a read snapshot of the file.
    bool settle()
    {
        if (writing || !handle)
            return false;
        for (sqlite3_stmt *statement = sqlite3_next_stmt(handle, nullptr); statement;
             statement = sqlite3_next_stmt(handle, statement)) {
            if (sqlite3_stmt_busy(statement))
                sqlite3_reset(statement);
        }
        return sqlite3_get_autocommit(handle) != 0;
    }
};

// A statement whose rows are being read; it is ready to run again once they have been.
struct Context::Rows {
    sql::Statement *statement = nullptr;
    std::unique_ptr<sql::Statement> owned;  // a statement not kept by the connection

    Rows() = default;
    Rows(Rows &&other) noexcept : statement(std::exchange(other.statement, nullptr)), owned(std::move(other.owned)) {}
    Rows &operator=(Rows &&) = delete;
    ~Rows()
    {
        if (statement) {
            statement->reset();
            statement->inUse = false;
        }
    }
    bool next() { return statement->next(); }
    const sql::Statement &row() const { return *statement; }
};

namespace {

constexpr int maxKeysPerQuery = 500;

StoreError invalidRequest(const QString &details)
{
    return StoreError(StoreError::InvalidRequest, QStringLiteral("The request is not valid for this store"), details);
}

QString keyList(const QList<qint64> &keys, qsizetype from, qsizetype count)
{
    QStringList parts;
    for (qsizetype i = from; i < from + count && i < keys.size(); ++i)
        parts.append(QString::number(keys[i]));
    return parts.join(QLatin1Char(','));
}

}  // namespace

Context::Context(std::shared_ptr<StoreShared> shared, QThread *viewThread)
    : m_shared(std::move(shared)), m_isView(viewThread != nullptr)
{
    if (m_isView) {
        // The connection opens at first use, on the view thread itself.
        m_viewThread = viewThread;
        m_events = new ViewContextEvents;
        if (m_events->thread() != viewThread)
            m_events->moveToThread(viewThread);
    } else {
        m_executor = std::make_shared<SerialExecutor>();
        m_thread = m_executor->threadId();
        // A failure must reach the caller, not end the context's thread.
        std::exception_ptr error;
        runAndWait([this, &error] {
            try {
                open();
            } catch (...) {
                error = std::current_exception();
                close();
            }
        });
        if (error) {
            m_executor->stop();
            std::rethrow_exception(error);
        }
    }
}

Context::~Context()
{
    if (m_isView) {
        {
            std::lock_guard lock(m_shared->viewMutex);
            m_shared->viewContext = nullptr;
            m_shared->viewEvents = nullptr;
        }
        delete m_events;
        close();
        return;
    }
    if (m_executor->isCurrent()) {
        close();
    } else {
        std::promise<void> closed;
        m_executor->post([this, &closed] {
            close();
            closed.set_value();
        });
        closed.get_future().wait();
    }
    m_executor->stop();
}

void Context::open()
{
    if (m_connection)
        return;
    if (!m_isView) {
        m_connection = m_shared->takeIdleConnection();
        if (m_connection)
            return;
    }
    auto connection = std::make_shared<Connection>();
    const auto failure = [&] {
        return sql::openError(m_shared->path, connection->handle ? QString::fromUtf8(sqlite3_errmsg(connection->handle))
                                                                 : QStringLiteral("out of memory"),
                              connection->handle ? sqlite3_extended_errcode(connection->handle) : SQLITE_NOMEM);
    };
    // Made by the container: a file that is gone is a failure, not a new empty store.
    if (sqlite3_open_v2(m_shared->path.toUtf8().constData(), &connection->handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        throw failure();
    sqlite3_extended_result_codes(connection->handle, 1);
    sqlite3_busy_timeout(connection->handle, sql::busyTimeoutMs);
    // A search over many rows reads several thousand pages; SQLite's default cache holds 2 MB.
    for (const char *pragma : {"PRAGMA foreign_keys = ON", "PRAGMA synchronous = NORMAL", "PRAGMA cache_size = -16000"}) {
        if (sqlite3_exec(connection->handle, pragma, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw failure();
    }
    if (!sql::registerFunctions(connection->handle))
        throw sql::openError(m_shared->path, QStringLiteral("cannot register the search function"), SQLITE_ERROR);
    m_connection = std::move(connection);
}

void Context::close()
{
    forgetObjects();
    if (!m_connection)
        return;
    if (!m_isView && m_connection->settle())
        m_shared->keepIdleConnection(std::move(m_connection));
    m_connection.reset();
}

void Context::post(std::function<void()> task)
{
    if (m_isView)
        QMetaObject::invokeMethod(m_events, std::move(task), Qt::QueuedConnection);
    else
        m_executor->post(std::move(task));
}

void Context::runAndWait(const std::function<void()> &task)
{
    if (isOnOwnThread()) {
        task();
    } else if (m_isView) {
        QMetaObject::invokeMethod(m_events, task, Qt::BlockingQueuedConnection);
    } else {
        std::promise<void> done;
        m_executor->post([&] {
            task();
            done.set_value();
        });
        done.get_future().wait();
    }
}

bool Context::isOnOwnThread() const
{
    return m_isView ? QThread::currentThread() == m_viewThread : std::this_thread::get_id() == m_thread;
}

void Context::checkThread() const
{
    if (!isOnOwnThread())
        throw StoreError(StoreError::WrongThread, QStringLiteral("The store was used from the wrong thread"),
                         QStringLiteral("a context is used only on its own thread; use perform()"));
}

const EntityDescription &Context::entityNamed(const QString &name) const
{
    const EntityDescription *entity = m_shared->model->entity(name);
    if (!entity)
        throw invalidRequest(QStringLiteral("unknown entity %1").arg(name));
    return *entity;
}

ManagedObject *Context::insertObject(const QString &entityName)
{
    checkThread();
    const EntityDescription &entity = entityNamed(entityName);
    std::unique_ptr<ManagedObject> object(entity.make());
    object->m_context = this;
    object->m_entity = &entity;
    object->m_id = ObjectId::temporary(entity.name);
    object->m_state = ManagedObject::State::Inserted;
    object->m_values = sql::defaultValues(entity);
    object->m_toOne = QList<ObjectId>(entity.toOneRelationships().size());
    ManagedObject *raw = object.get();
    m_owned.push_back(std::move(object));
    m_objects.insert(raw->m_id, raw);
    m_inserted.append(raw);
    didLoad(raw);
    return raw;
}

void Context::deleteObject(ManagedObject *object)
{
    checkThread();
    if (!object || object->m_context != this)
        throw invalidRequest(QStringLiteral("deleting an object of another context"));
    switch (object->m_state) {
    case ManagedObject::State::Inserted:
        m_inserted.removeOne(object);
        retire(object);
        break;
    case ManagedObject::State::Clean:
        object->m_state = ManagedObject::State::Deleted;
        m_deleted.append(object);
        break;
    default:
        break;
    }
}

void Context::retire(ManagedObject *object)
{
    m_objects.remove(object->m_id);
    m_loaded.remove(object);
    object->m_state = ManagedObject::State::Gone;
    object->m_toManyCache.clear();
    m_cachedOwners.remove(object);
    if (object->m_isFault) {
        // A gone object reads as a new row would.
        object->m_values = sql::defaultValues(*object->m_entity);
        object->m_toOne = QList<ObjectId>(object->m_entity->toOneRelationships().size());
        object->m_isFault = false;
    }
}

void Context::markUpdated(ManagedObject *object)
{
    if (object->m_state == ManagedObject::State::Clean && object->m_changed == 0)
        m_updated.append(object);
}

bool Context::hasChanges() const
{
    checkThread();
    return !m_inserted.isEmpty() || !m_updated.isEmpty() || !m_deleted.isEmpty();
}

Context::Rows Context::run(const QString &text, const QVariantList &binds, StoreError::Code failure, Keep keep)
{
    open();
    Rows rows;
    auto &kept = m_connection->statements;
    auto it = kept.find(text);
    if (it != kept.end() && !it->second->inUse) {
        rows.statement = it->second.get();
    } else if (it == kept.end() && keep == Keep::Prepared) {
        if (qsizetype(kept.size()) >= Connection::keptStatements) {
            for (auto old = kept.begin(); old != kept.end();)
                old = old->second->inUse ? std::next(old) : kept.erase(old);
        }
        auto statement = std::make_unique<sql::Statement>(m_connection->handle, text, failure);
        rows.statement = statement.get();
        kept.emplace(text, std::move(statement));
    } else {
        // In use further up (a read inside a read), or not worth keeping.
        rows.owned = std::make_unique<sql::Statement>(m_connection->handle, text, failure);
        rows.statement = rows.owned.get();
    }
    rows.statement->inUse = true;
    for (int i = 0; i < binds.size(); ++i)
        rows.statement->bind(i, binds[i]);
    return rows;
}

void Context::execute(const QString &text, const QVariantList &binds, StoreError::Code failure, Keep keep)
{
    Rows rows = run(text, binds, failure, keep);
    rows.statement->run();
}

ManagedObject *Context::objectFromRow(const EntityDescription &entity, const Rows &rows)
{
    const sql::Statement &row = rows.row();
    const ObjectId id(m_shared->storeId, entity.name, row.integer(0));
    if (ManagedObject *known = m_objects.value(id)) {
        // Rows read again bring in what other contexts or processes saved meanwhile, except
        // where this context has changes of its own.
        if (known->m_state == ManagedObject::State::Clean) {
            if (known->m_isFault) {
                known->m_values = sql::defaultValues(entity);
                known->m_toOne = QList<ObjectId>(entity.toOneRelationships().size());
                known->m_isFault = false;
            }
            sql::readRow(entity, row, known->m_values, known->m_toOne, m_shared->storeId, known->m_changed);
            if (!known->m_toManyCache.isEmpty()) {
                known->m_toManyCache.clear();
                m_cachedOwners.remove(known);
            }
            didLoad(known);
        }
        return known;
    }
    std::unique_ptr<ManagedObject> object(entity.make());
    object->m_context = this;
    object->m_entity = &entity;
    object->m_id = id;
    object->m_values = sql::defaultValues(entity);
    object->m_toOne = QList<ObjectId>(entity.toOneRelationships().size());
    sql::readRow(entity, row, object->m_values, object->m_toOne, m_shared->storeId, 0);
    ManagedObject *raw = object.get();
    m_owned.push_back(std::move(object));
    m_objects.insert(id, raw);
    didLoad(raw);
    return raw;
}

void Context::loadRows(const EntityDescription &entity, const QString &where, const QVariantList &binds,
                       QList<ManagedObject *> *out, Keep keep)
{
    Rows rows = run(sql::selectRows(entity) + QStringLiteral(" WHERE ") + where, binds, StoreError::FetchFailed, keep);
    while (rows.next()) {
        ManagedObject *object = objectFromRow(entity, rows);
        if (out && !object->isDeleted())
            out->append(object);
    }
}

void Context::didLoad(ManagedObject *object)
{
    object->m_usedIn = m_generation;
    m_loaded.insert(object);
    if (m_isView && m_loaded.size() > manyLoadedObjects)
        scheduleRelease();
}

// The view context lets go of what nothing used for a while once it holds many objects; the
// release runs from the event loop, never in the middle of a caller's work.
void Context::scheduleRelease()
{
    if (m_releaseScheduled)
        return;
    m_releaseScheduled = true;
    QTimer::singleShot(releaseDelayMs, m_events, [this] {
        m_releaseScheduled = false;
        releaseUnusedObjects();
        if (m_loaded.size() > manyLoadedObjects)
            scheduleRelease();
    });
}

void Context::fulfil(const ManagedObject *object)
{
    auto *fault = const_cast<ManagedObject *>(object);
    QList<ManagedObject *> found;
    loadRows(*fault->m_entity, QStringLiteral("pk = ?"), {fault->m_id.key()}, &found);
    if (found.isEmpty() && fault->m_isFault)
        retire(fault);  // the row is gone
}

void Context::turnIntoFault(ManagedObject *object)
{
    object->m_values.clear();
    object->m_toOne.clear();
    object->m_toManyCache.clear();
    object->m_isFault = true;
    m_cachedOwners.remove(object);
    m_loaded.remove(object);
}

void Context::releaseUnusedObjects()
{
    checkThread();
    bool released = false;
    for (ManagedObject *object : QList<ManagedObject *>(m_loaded.cbegin(), m_loaded.cend())) {
        if (object->m_state == ManagedObject::State::Clean && object->m_changed == 0
            && object->m_usedIn != m_generation) {
            turnIntoFault(object);
            released = true;
        }
    }
    if (released)
        dropToManyCaches();  // their lists may name released children
    ++m_generation;
}

qsizetype Context::loadedObjectCount() const
{
    checkThread();
    return m_loaded.size();
}

ManagedObject *Context::existingObject(const ObjectId &id)
{
    checkThread();
    if (id.isNull())
        return nullptr;
    if (ManagedObject *known = m_objects.value(id)) {
        if (known->m_isFault)
            fulfil(known);
        return known->isDeleted() ? nullptr : known;
    }
    if (id.isTemporary() || id.storeId() != m_shared->storeId)
        return nullptr;
    const EntityDescription *entity = m_shared->model->entity(id.entity());
    if (!entity)
        return nullptr;
    QList<ManagedObject *> found;
    loadRows(*entity, QStringLiteral("pk = ?"), {id.key()}, &found);
    return found.value(0);
}

bool Context::isStored(const ObjectId &id)
{
    checkThread();
    if (id.isNull() || id.isTemporary() || id.storeId() != m_shared->storeId)
        return false;
    const EntityDescription *entity = m_shared->model->entity(id.entity());
    if (!entity)
        return false;
    Rows rows = run(QStringLiteral("SELECT 1 FROM %1 WHERE pk = ?").arg(sql::table(entity->name)), {id.key()},
                    StoreError::FetchFailed);
    return rows.next();
}

QString Context::whereClause(const EntityDescription &entity, const Predicate &predicate, QVariantList &binds,
                             bool searchIndex) const
{
    QStringList parts;
    for (const Condition &condition : predicate.conditions()) {
        const QString &key = condition.keys.value(0);
        const int attribute = entity.attributeIndex(key);
        const int toOne = entity.toOneIndex(key);
        switch (condition.kind) {
        case Condition::Equals:
        case Condition::In: {
            if (attribute < 0)
                throw invalidRequest(QStringLiteral("%1 has no attribute %2").arg(entity.name, key));
            const AttributeType type = entity.attributes[attribute].type;
            if (condition.kind == Condition::Equals) {
                parts.append(sql::column(key) + QStringLiteral(" = ?"));
                binds.append(sql::toSql(type, condition.values.value(0)));
            } else if (condition.values.isEmpty()) {
                parts.append(QStringLiteral("0"));
            } else {
                QStringList marks;
                for (const QVariant &value : condition.values) {
                    marks.append(QStringLiteral("?"));
                    binds.append(sql::toSql(type, value));
                }
                parts.append(sql::unindexed(sql::column(key)) + QStringLiteral(" IN (") + marks.join(QLatin1Char(',')) + QLatin1Char(')'));
            }
            break;
        }
        case Condition::IsNull:
        case Condition::IsNotNull: {
            QString column;
            if (attribute >= 0)
                column = sql::column(key);
            else if (toOne >= 0)
                column = sql::relationshipColumn(key);
            else
                throw invalidRequest(QStringLiteral("%1 has no attribute %2").arg(entity.name, key));
            parts.append(sql::unindexed(column)
                         + (condition.kind == Condition::IsNull ? QStringLiteral(" IS NULL") : QStringLiteral(" IS NOT NULL")));
            break;
        }
        case Condition::RelatedTo: {
            if (toOne < 0)
                throw invalidRequest(QStringLiteral("%1 has no to-one relationship %2").arg(entity.name, key));
            const ObjectId &id = condition.related;
            const Relationship &relationship = *entity.toOneRelationships()[toOne];
            if (id.isNull()) {
                parts.append(sql::relationshipColumn(key) + QStringLiteral(" IS NULL"));
            } else if (id.isTemporary() || id.storeId() != m_shared->storeId || id.entity() != relationship.target) {
                parts.append(QStringLiteral("0"));  // names no stored row of the target
            } else {
                parts.append(sql::relationshipColumn(key) + QStringLiteral(" = ?"));
                binds.append(id.key());
            }
            break;
        }
        case Condition::ContainsText: {
            const QString needle = foldedForSearch(condition.text);
            // The search index names the rows that hold every trigram of the text somewhere in
            // their searchable text; the text itself is then looked for in the attributes asked.
            // A text too short for trigrams is looked for in every row in scope.
            if (const std::optional<QString> expression = searchIndex ? sql::searchExpression(needle) : std::nullopt) {
                const QString search = sql::searchTable(entity);
                parts.append(QStringLiteral("pk IN (SELECT rowid FROM %1 WHERE %1 MATCH ?)").arg(search));
                binds.append(*expression);
            }
            QStringList alternatives;
            for (const QString &name : condition.keys) {
                const int index = entity.attributeIndex(name);
                if (index < 0 || !entity.attributes[index].searchable)
                    throw invalidRequest(QStringLiteral("%1.%2 is not searchable").arg(entity.name, name));
                alternatives.append(QStringLiteral("%1(%2, ?)").arg(sql::containsFunction, sql::foldedColumn(name)));
                binds.append(needle);
            }
            parts.append(QLatin1Char('(') + alternatives.join(QStringLiteral(" OR ")) + QLatin1Char(')'));
            break;
        }
        }
    }
    return parts.join(QStringLiteral(" AND "));
}

namespace {
// True when a compound index gives the rows that meet the request's equality conditions in the
// order of its one sort key: walking that index reads those rows alone, and sorts nothing.
bool hasIndexInSortOrder(const EntityDescription &entity, const FetchRequestBase &request)
{
    if (request.sortDescriptors().size() != 1)
        return false;
    QSet<QString> equal;
    for (const Condition &condition : request.predicate().conditions()) {
        if ((condition.kind == Condition::Equals || condition.kind == Condition::RelatedTo) && !condition.keys.isEmpty())
            equal.insert(condition.keys.first());
    }
    const QString &sorted = request.sortDescriptors().first().key;
    for (const CompoundIndex &index : entity.compoundIndexes) {
        for (const QString &key : index.keys) {
            if (key == sorted)
                return true;
            if (!equal.contains(key))
                break;
        }
    }
    return false;
}

QString orderAndLimit(const EntityDescription &entity, const FetchRequestBase &request)
{
    QString text;
    QStringList order;
    const bool indexInOrder = hasIndexInSortOrder(entity, request);
    for (const SortDescriptor &sort : request.sortDescriptors()) {
        QString column = sql::keyColumn(entity, sort.key);
        if (column.isEmpty())
            throw invalidRequest(QStringLiteral("cannot sort %1 by %2").arg(entity.name, sort.key));
        // Walking an index in sort order pays when a limit stops the walk early, or when the
        // index holds the matching rows alone; for whole results of a plain index, reading the
        // rows and sorting the matches is far cheaper.
        if (!request.fetchLimit() && !indexInOrder)
            column = sql::unindexed(column);
        order.append(column + (sort.ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
    }
    if (!order.isEmpty())
        text += QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));
    if (request.fetchLimit())
        text += QStringLiteral(" LIMIT %1").arg(std::max(0, *request.fetchLimit()));
    return text;
}
}  // namespace

QList<ManagedObject *> Context::fetchObjects(const FetchRequestBase &request)
{
    checkThread();
    const EntityDescription &entity = entityNamed(request.entity());
    QVariantList binds;
    // A limited fetch in sort order walks an index and stops at the limit. Asking the search
    // index first would gather every match before the walk: for a common word, most of the table
    // (180 ms over 300,000 reviews against 2 ms for the walk).
    const bool walksToLimit = request.fetchLimit() && !request.sortDescriptors().isEmpty();
    const QString where = whereClause(entity, request.predicate(), binds, !walksToLimit);
    QString statement = sql::selectRows(entity);
    if (!where.isEmpty())
        statement += QStringLiteral(" WHERE ") + where;
    statement += orderAndLimit(entity, request);
    QList<ManagedObject *> result;
    {
        Rows rows = run(statement, binds, StoreError::FetchFailed);
        while (rows.next()) {
            ManagedObject *object = objectFromRow(entity, rows);
            if (!object->isDeleted())
                result.append(object);
        }
    }
    for (const QString &key : request.prefetchedRelationships())
        prefetch(entity, result, key);
    return result;
}

void Context::prefetch(const EntityDescription &entity, const QList<ManagedObject *> &objects, const QString &key)
{
    const int index = entity.relationshipIndex(key);
    if (index < 0)
        throw invalidRequest(QStringLiteral("%1 has no relationship %2").arg(entity.name, key));
    const Relationship &relationship = entity.relationships[index];
    const EntityDescription &target = entityNamed(relationship.target);
    if (relationship.kind == Relationship::ToOne) {
        const int toOne = entity.toOneIndex(key);
        QList<qint64> missing;
        QSet<qint64> seen;
        for (const ManagedObject *object : objects) {
            const ObjectId &id = object->m_toOne[toOne];
            if (!id.isNull() && !id.isTemporary() && !m_objects.contains(id) && !seen.contains(id.key())) {
                seen.insert(id.key());
                missing.append(id.key());
            }
        }
        for (qsizetype from = 0; from < missing.size(); from += maxKeysPerQuery)
            loadRows(target, QStringLiteral("pk IN (%1)").arg(keyList(missing, from, maxKeysPerQuery)), {}, nullptr, Keep::Once);
        return;
    }
    const int inverse = target.toOneIndex(relationship.inverse);
    QList<qint64> owners;
    for (ManagedObject *object : objects) {
        if (!object->m_id.isTemporary()) {
            owners.append(object->m_id.key());
            object->m_toManyCache[index] = {};
            m_cachedOwners.insert(object);
        }
    }
    for (qsizetype from = 0; from < owners.size(); from += maxKeysPerQuery) {
        QList<ManagedObject *> children;
        loadRows(target,
                 QStringLiteral("%1 IN (%2)").arg(sql::relationshipColumn(relationship.inverse), keyList(owners, from, maxKeysPerQuery)),
                 {}, &children, Keep::Once);
        for (ManagedObject *child : children) {
            if (ManagedObject *owner = m_objects.value(child->m_toOne[inverse]))
                owner->m_toManyCache[index].append(child->m_id);
        }
    }
}

QList<ManagedObject *> Context::relatedObjects(const ManagedObject *owner, int index)
{
    checkThread();
    const Relationship &relationship = owner->m_entity->relationships[index];
    const EntityDescription &target = entityNamed(relationship.target);
    const int inverse = target.toOneIndex(relationship.inverse);
    if (!owner->m_toManyCache.contains(index)) {
        QList<ObjectId> ids;
        if (!owner->m_id.isTemporary()) {
            QList<ManagedObject *> children;
            loadRows(target, sql::relationshipColumn(relationship.inverse) + QStringLiteral(" = ?"), {owner->m_id.key()}, &children);
            for (const ManagedObject *child : children)
                ids.append(child->m_id);
        }
        owner->m_toManyCache.insert(index, ids);
        m_cachedOwners.insert(owner);
    }
    QList<ManagedObject *> result;
    QSet<const ManagedObject *> listed;
    for (const ObjectId &id : owner->m_toManyCache.value(index)) {
        ManagedObject *child = m_objects.value(id);
        if (child && child->m_isFault)
            fulfil(child);
        if (child && !child->isDeleted() && child->m_toOne[inverse] == owner->m_id) {
            result.append(child);
            listed.insert(child);
        }
    }
    // Unsaved changes of this context count too: new children and children moved here.
    for (const QList<ManagedObject *> *changed : {&m_inserted, &m_updated}) {
        for (ManagedObject *child : *changed) {
            if (child->m_entity == &target && !child->isDeleted() && child->m_toOne[inverse] == owner->m_id
                && !listed.contains(child)) {
                result.append(child);
                listed.insert(child);
            }
        }
    }
    return result;
}

QList<ObjectId> Context::fetchIds(const FetchRequestBase &request)
{
    QList<ObjectId> ids;
    for (const auto &[id, values] : fetchRowValues(request, {}))
        ids.append(id);
    return ids;
}

Context::Rows Context::selectValues(const EntityDescription &entity, const FetchRequestBase &request,
                                   const QStringList &attributes, QList<int> *indexes)
{
    QString statement = QStringLiteral("SELECT pk");
    for (const QString &attribute : attributes) {
        // A to-one relationship reads as the key of the row it names.
        const QString column = sql::keyColumn(entity, attribute);
        if (column.isEmpty())
            throw invalidRequest(QStringLiteral("%1 has no attribute %2").arg(entity.name, attribute));
        const int index = entity.attributeIndex(attribute);
        indexes->append(index >= 0 ? index : -1 - entity.toOneIndex(attribute));
        statement += QStringLiteral(", ") + column;
    }
    QVariantList binds;
    const QString where = whereClause(entity, request.predicate(), binds);
    statement += QStringLiteral(" FROM ") + sql::table(entity.name);
    if (!where.isEmpty())
        statement += QStringLiteral(" WHERE ") + where;
    statement += orderAndLimit(entity, request);
    return run(statement, binds, StoreError::FetchFailed);
}

QList<std::pair<ObjectId, QVariantList>> Context::fetchRowValues(const FetchRequestBase &request,
                                                                 const QStringList &attributes)
{
    checkThread();
    const EntityDescription &entity = entityNamed(request.entity());
    QList<int> indexes;
    Rows rows = selectValues(entity, request, attributes, &indexes);
    QList<std::pair<ObjectId, QVariantList>> result;
    const sql::Statement &row = rows.row();
    const bool anyDeleted = !m_deleted.isEmpty();
    while (rows.next()) {
        ObjectId id(m_shared->storeId, entity.name, row.integer(0));
        if (anyDeleted) {
            if (const ManagedObject *known = m_objects.value(id); known && known->isDeleted())
                continue;
        }
        QVariantList values;
        values.reserve(indexes.size());
        for (int column = 0; column < indexes.size(); ++column) {
            const int index = indexes[column];
            values.append(row.value(index >= 0 ? entity.attributes[index].type : AttributeType::Int64, column + 1));
        }
        result.append({std::move(id), std::move(values)});
    }
    return result;
}

void Context::forEachRow(const FetchRequestBase &request, const QStringList &attributes,
                         const std::function<void(const RowView &)> &visit)
{
    checkThread();
    const EntityDescription &entity = entityNamed(request.entity());
    QList<int> indexes;
    Rows rows = selectValues(entity, request, attributes, &indexes);
    const RowView view(rows.row(), m_shared->storeId, entity.name);
    const bool anyDeleted = !m_deleted.isEmpty();
    while (rows.next()) {
        if (anyDeleted) {
            if (const ManagedObject *known = m_objects.value(view.id()); known && known->isDeleted())
                continue;
        }
        visit(view);
    }
}

ObjectId RowView::id() const
{
    return ObjectId(m_store, m_entity, m_row.integer(0));
}

bool RowView::isNull(int attribute) const
{
    return m_row.isNull(attribute + 1);
}

qint64 RowView::integer(int attribute) const
{
    return m_row.integer(attribute + 1);
}

QByteArrayView RowView::bytes(int attribute) const
{
    return m_row.view(attribute + 1);
}

qint64 Context::count(const FetchRequestBase &request)
{
    checkThread();
    const EntityDescription &entity = entityNamed(request.entity());
    QVariantList binds;
    const QString where = whereClause(entity, request.predicate(), binds);
    QString statement = QStringLiteral("SELECT COUNT(*) FROM ") + sql::table(entity.name);
    if (!where.isEmpty())
        statement += QStringLiteral(" WHERE ") + where;
    Rows rows = run(statement, binds, StoreError::FetchFailed);
    return rows.next() ? rows.row().integer(0) : 0;
}

QHash<ObjectId, qint64> Context::countBy(const FetchRequestBase &request, const RelationshipKey &group)
{
    checkThread();
    const EntityDescription &entity = entityNamed(request.entity());
    const int toOne = entity.toOneIndex(group.name());
    if (toOne < 0)
        throw invalidRequest(QStringLiteral("%1 has no to-one relationship %2").arg(entity.name, group.name()));
    const QString target = entity.toOneRelationships()[toOne]->target;
    QVariantList binds;
    QString where = whereClause(entity, request.predicate(), binds);
    // Without conditions the group's index alone answers; with them, the rows must be read anyway.
    const QString column = where.isEmpty() ? sql::relationshipColumn(group.name())
                                           : sql::unindexed(sql::relationshipColumn(group.name()));
    where = column + QStringLiteral(" IS NOT NULL") + (where.isEmpty() ? QString() : QStringLiteral(" AND ") + where);
    const QString statement = QStringLiteral("SELECT %1, COUNT(*) FROM %2 WHERE %3 GROUP BY %1")
                                  .arg(column, sql::table(entity.name), where);
    QHash<ObjectId, qint64> result;
    Rows rows = run(statement, binds, StoreError::FetchFailed);
    while (rows.next())
        result.insert(ObjectId(m_shared->storeId, target, rows.row().integer(0)), rows.row().integer(1));
    return result;
}

void Context::save()
{
    checkThread();
    if (m_connection && m_connection->writing)
        throw invalidRequest(QStringLiteral("save() inside saveAtomically()"));
    if (m_inserted.isEmpty() && m_updated.isEmpty() && m_deleted.isEmpty())
        return;
    beginWriting();
    try {
        finishWriting();
    } catch (...) {
        abandonWriting();
        throw;
    }
}

void Context::beginWriting()
{
    checkThread();
    open();
    if (m_connection->writing)
        throw invalidRequest(QStringLiteral("a save inside another"));
    execute(QStringLiteral("BEGIN IMMEDIATE"), {}, StoreError::SaveFailed);
    m_connection->writing = true;
}

void Context::abandonWriting()
{
    if (!m_connection || !m_connection->writing)
        return;
    m_connection->writing = false;
    // Fails only when SQLite has already rolled the transaction back by itself.
    sqlite3_exec(m_connection->handle, "ROLLBACK", nullptr, nullptr, nullptr);
}

// Writes the pending changes in the open transaction and commits; then the objects take their
// stored state and the view context hears of it.
void Context::finishWriting()
{
    const QList<ObjectId> cascaded = deleteRows();
    const QHash<ObjectId, qint64> newKeys = insertRows();
    updateRows(newKeys);
    execute(QStringLiteral("COMMIT"), {}, StoreError::SaveFailed);
    m_connection->writing = false;

    const ChangeSet changes = adoptSavedState(newKeys, cascaded);
    if (!m_isView && !changes.isEmpty())
        m_shared->didSave(this, changes);
}

// Deletes the rows of the deleted objects and returns the rows that go with them (through the
// cascading to-one relationships), found first so that every context can drop them.
QList<ObjectId> Context::deleteRows()
{
    const Model &model = *m_shared->model;
    QList<ObjectId> cascaded;
    QHash<QString, QSet<qint64>> doomed;
    QHash<QString, QList<qint64>> direct;
    for (const ManagedObject *object : std::as_const(m_deleted)) {
        doomed[object->m_entity->name].insert(object->m_id.key());
        direct[object->m_entity->name].append(object->m_id.key());
    }
    QList<std::pair<const EntityDescription *, QList<qint64>>> pending;
    for (auto it = direct.cbegin(); it != direct.cend(); ++it)
        pending.append({model.entity(it.key()), it.value()});
    while (!pending.isEmpty()) {
        const auto [owner, keys] = pending.takeFirst();
        for (const EntityDescription &child : model.entities) {
            for (const Relationship *relationship : child.toOneRelationships()) {
                if (relationship->target != owner->name)
                    continue;
                for (qsizetype from = 0; from < keys.size(); from += maxKeysPerQuery) {
                    Rows rows = run(QStringLiteral("SELECT pk FROM %1 WHERE %2 IN (%3)")
                                        .arg(sql::table(child.name), sql::relationshipColumn(relationship->name),
                                             keyList(keys, from, maxKeysPerQuery)),
                                    {}, StoreError::SaveFailed, Keep::Once);
                    QList<qint64> found;
                    QSet<qint64> &known = doomed[child.name];
                    while (rows.next()) {
                        const qint64 key = rows.row().integer(0);
                        if (!known.contains(key)) {
                            known.insert(key);
                            found.append(key);
                            cascaded.append(ObjectId(m_shared->storeId, child.name, key));
                        }
                    }
                    if (!found.isEmpty())
                        pending.append({&child, found});
                }
            }
        }
    }
    for (const ManagedObject *object : std::as_const(m_deleted)) {
        execute(QStringLiteral("DELETE FROM %1 WHERE pk = ?").arg(sql::table(object->m_entity->name)),
                {object->m_id.key()}, StoreError::SaveFailed);
    }
    return cascaded;
}

// The key a to-one relationship stores for `target`: a saved row's key, or the key just given to
// an object inserted in this save.
QVariant Context::storedKey(const ObjectId &target, const QHash<ObjectId, qint64> &newKeys) const
{
    if (target.isNull())
        return QVariant(QMetaType::fromType<qint64>());
    if (target.isTemporary()) {
        const auto it = newKeys.constFind(target);
        if (it == newKeys.cend())
            throw invalidRequest(QStringLiteral("a relationship names an object that is not in the store"));
        return *it;
    }
    if (target.storeId() != m_shared->storeId)
        throw invalidRequest(QStringLiteral("a relationship names an object of another store"));
    return target.key();
}

// The first key to give to new rows of `entity` in this save: above every key given before.
qint64 Context::nextKey(const EntityDescription &entity)
{
    Rows rows = run(QStringLiteral("SELECT MAX(IFNULL((SELECT MAX(pk) FROM %1), 0), "
                                   "IFNULL((SELECT highest FROM %2 WHERE entity = ?), 0))")
                        .arg(sql::table(entity.name), sql::keysTable),
                    {entity.name}, StoreError::SaveFailed);
    const qint64 highest = rows.next() ? rows.row().integer(0) : 0;
    return highest + 1;
}

// Writes the inserted objects whole, owners before the rows that point at them, and returns the
// key each one got. The highest key given is kept for every entity.
QHash<ObjectId, qint64> Context::insertRows()
{
    QHash<ObjectId, qint64> newKeys;
    QList<ManagedObject *> inserts = m_inserted;
    // The model lists entities owners first, so their order is that of their descriptions.
    std::stable_sort(inserts.begin(), inserts.end(), [](const ManagedObject *a, const ManagedObject *b) {
        return a->m_entity < b->m_entity;
    });
    for (qsizetype first = 0; first < inserts.size();) {
        const EntityDescription &entity = *inserts[first]->m_entity;
        qsizetype end = first;
        while (end < inserts.size() && inserts[end]->m_entity == &entity)
            ++end;
        auto it = m_connection->inserts.find(entity.name);
        if (it == m_connection->inserts.end()) {
            Connection::Inserts made;
            made.row = std::make_unique<sql::Statement>(m_connection->handle, sql::insertRow(entity), StoreError::SaveFailed);
            if (const std::optional<sql::SearchIndex> index = sql::searchIndex(entity))
                made.search = std::make_unique<sql::Statement>(m_connection->handle, index->insertRow, StoreError::SaveFailed);
            it = m_connection->inserts.emplace(entity.name, std::move(made)).first;
        }
        sql::Statement &statement = *it->second.row;
        sql::Statement *searchStatement = it->second.search.get();
        qint64 key = nextKey(entity);
        newKeys.reserve(newKeys.size() + (end - first));
        for (qsizetype i = first; i < end; ++i, ++key) {
            const ManagedObject *object = inserts[i];
            int position = 0;
            statement.bindInt(position++, key);
            // Folded once for the row and its search index.
            const sql::FoldedValues folded = sql::foldedValues(entity, object->m_values, sql::allColumns);
            sql::bindRow(entity, object->m_values, sql::allColumns, folded, statement, position);
            for (const ObjectId &target : std::as_const(object->m_toOne))
                statement.bind(position++, storedKey(target, newKeys));
            statement.runAndReset();
            if (searchStatement) {
                position = 0;
                searchStatement->bindInt(position++, key);
                sql::bindFolded(folded, *searchStatement, position);
                searchStatement->runAndReset();
            }
            newKeys.insert(object->m_id, key);
        }
        execute(QStringLiteral("INSERT INTO %1 (entity, highest) VALUES (?, ?) "
                               "ON CONFLICT (entity) DO UPDATE SET highest = excluded.highest")
                    .arg(sql::keysTable),
                {entity.name, key - 1}, StoreError::SaveFailed);
        first = end;
    }
    return newKeys;
}

// Writes, for each changed object, only the attributes and relationships changed here.
void Context::updateRows(const QHash<ObjectId, qint64> &newKeys)
{
    for (ManagedObject *object : std::as_const(m_updated)) {
        if (object->m_state != ManagedObject::State::Clean || object->m_changed == 0)
            continue;
        const EntityDescription &entity = *object->m_entity;
        const quint64 changed = object->m_changed;
        auto it = m_connection->updates.find({entity.name, changed});
        if (it == m_connection->updates.end())
            it = m_connection->updates
                     .emplace(std::pair{entity.name, changed},
                              std::make_unique<sql::Statement>(m_connection->handle, sql::updateRow(entity, changed),
                                                               StoreError::SaveFailed))
                     .first;
        sql::Statement &statement = *it->second;
        int position = 0;
        sql::bindRow(entity, object->m_values, changed, sql::foldedValues(entity, object->m_values, changed), statement,
                     position);
        const int attributes = int(entity.attributes.size());
        for (int i = 0; i < object->m_toOne.size(); ++i) {
            if (changed & (quint64(1) << (attributes + i)))
                statement.bind(position++, storedKey(object->m_toOne[i], newKeys));
        }
        statement.bindInt(position, object->m_id.key());
        statement.runAndReset();
    }
}

// After the commit: inserted objects take their permanent ids, written ones become clean,
// deleted ones (and those that went with them) are gone. Returns what the save wrote.
ChangeSet Context::adoptSavedState(const QHash<ObjectId, qint64> &newKeys, const QList<ObjectId> &cascaded)
{
    ChangeSet changes;
    QHash<ObjectId, ObjectId> renamed;
    for (ManagedObject *object : std::as_const(m_inserted)) {
        const ObjectId permanent(m_shared->storeId, object->m_entity->name, newKeys.value(object->m_id));
        renamed.insert(object->m_id, permanent);
        m_objects.remove(object->m_id);
        object->m_id = permanent;
        object->m_state = ManagedObject::State::Clean;
        m_objects.insert(permanent, object);
    }
    for (const QList<ManagedObject *> *written : {&m_inserted, &m_updated}) {
        const bool inserted = written == &m_inserted;
        for (ManagedObject *object : *written) {
            if (object->m_state != ManagedObject::State::Clean || (!inserted && object->m_changed == 0))
                continue;
            for (ObjectId &target : object->m_toOne) {
                if (target.isTemporary())
                    target = renamed.value(target, target);
            }
            changes.saved.append({object->m_id, object->m_values, object->m_toOne,
                                  inserted ? sql::allColumns : object->m_changed, inserted});
            object->m_changed = 0;
        }
    }
    for (ManagedObject *object : std::as_const(m_deleted)) {
        changes.deleted.append(object->m_id);
        retire(object);
    }
    for (const ObjectId &id : cascaded) {
        changes.deleted.append(id);
        if (ManagedObject *object = m_objects.value(id)) {
            m_inserted.removeOne(object);
            m_updated.removeOne(object);
            retire(object);
        }
    }
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    dropToManyCaches();
    return changes;
}

void Context::rollback()
{
    checkThread();
    for (ManagedObject *object : std::as_const(m_inserted))
        retire(object);
    QList<ManagedObject *> touched = m_updated;
    for (ManagedObject *object : std::as_const(m_deleted)) {
        if (!touched.contains(object))
            touched.append(object);
    }
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    for (ManagedObject *object : std::as_const(touched)) {
        object->m_state = ManagedObject::State::Clean;
        object->m_changed = 0;
        QList<ManagedObject *> found;
        try {
            // A clean object read again takes the row's values.
            loadRows(*object->m_entity, QStringLiteral("pk = ?"), {object->m_id.key()}, &found);
        } catch (const StoreError &) {
            turnIntoFault(object);  // unreadable now: read again at the next use
            continue;
        }
        if (found.isEmpty())
            retire(object);
    }
    dropToManyCaches();
}

void Context::reset()
{
    checkThread();
    if (m_connection && m_connection->writing)
        throw invalidRequest(QStringLiteral("reset() inside saveAtomically()"));
    forgetObjects();
}

void Context::forgetObjects()
{
    m_objects.clear();
    m_cachedOwners.clear();
    m_loaded.clear();
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    m_owned.clear();
}

void Context::merge(const ChangeSet &changes)
{
    MergedChanges merged;
    for (const ObjectId &id : changes.deleted) {
        merged.deleted.insert(id);
        if (ManagedObject *object = m_objects.value(id)) {
            m_updated.removeOne(object);
            m_deleted.removeOne(object);
            retire(object);
        }
    }
    for (const SavedRow &row : changes.saved) {
        (row.inserted ? merged.inserted : merged.updated).insert(row.id);
        ManagedObject *object = m_objects.value(row.id);
        if (!object || object->m_state == ManagedObject::State::Gone || object->m_isFault)
            continue;  // a fault reads the row when it is next used
        // Only what the other context wrote; values changed here and not yet saved win.
        const quint64 taken = row.written & ~object->m_changed;
        const int attributes = int(object->m_values.size());
        for (int i = 0; i < attributes; ++i) {
            if (taken & (quint64(1) << i))
                object->m_values[i] = row.values.value(i);
        }
        for (int i = 0; i < object->m_toOne.size(); ++i) {
            if (taken & (quint64(1) << (attributes + i)))
                object->m_toOne[i] = row.toOne.value(i);
        }
    }
    dropToManyCaches();
    if (m_events)
        emit m_events->changesMerged(merged);
}

void Context::dropToManyCaches()
{
    for (const ManagedObject *object : std::as_const(m_cachedOwners))
        object->m_toManyCache.clear();
    m_cachedOwners.clear();
}

}  // namespace platform::store
