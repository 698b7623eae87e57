#include "platform/store/Container.h"

#include "platform/store/Migration.h"
#include "platform/store/Sql.h"
#include "platform/store/StoreShared.h"
#include "platform/store/ViewContextEvents.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

namespace platform::store {

namespace {

StoreError incompatible(const QString &path, const QString &reason)
{
    return StoreError(StoreError::IncompatibleSchema, QStringLiteral("The store could not be opened"),
                      QStringLiteral("{path = \"%1\"; reason = \"%2\"}").arg(path, reason));
}

void checkModel(const Model &model)
{
    for (qsizetype i = 0; i < model.entities.size(); ++i) {
        const EntityDescription &entity = model.entities[i];
        if (entity.attributes.size() + entity.toOneRelationships().size() > 64 || !entity.make)
            throw incompatible({}, QStringLiteral("entity %1 cannot be stored").arg(entity.name));
        if (entity.unique && (entity.attributeIndex(entity.unique->attribute) < 0 || entity.toOneIndex(entity.unique->within) < 0))
            throw incompatible({}, QStringLiteral("the unique key of %1 is not of the entity").arg(entity.name));
        for (const CompoundIndex &index : entity.compoundIndexes) {
            for (const QString &key : index.keys) {
                if (sql::keyColumn(entity, key).isEmpty())
                    throw incompatible({}, QStringLiteral("an index of %1 names %2, which it lacks").arg(entity.name, key));
            }
        }
        for (const Relationship &relationship : entity.relationships) {
            const EntityDescription *target = model.entity(relationship.target);
            const bool ownerFirst = target && target < &entity;
            const bool inverseOk = relationship.kind == Relationship::ToOne
                || (target && target->toOneIndex(relationship.inverse) >= 0);
            if ((relationship.kind == Relationship::ToOne && !ownerFirst) || !inverseOk)
                throw incompatible({}, QStringLiteral("relationship %1.%2 is not supported").arg(entity.name, relationship.name));
        }
    }
}

// What a file holds, read without writing to it.
struct FileState {
    int version = 0;    // PRAGMA user_version: 0 for a file no store has written to
    int objects = 0;    // tables, indexes and the like
    QUuid storeId;      // null when there is none
};

FileState inspect(QSqlQuery &query, const std::function<StoreError(const QSqlError &)> &failure)
{
    FileState state;
    const auto read = [&](const QString &statement) {
        if (!query.exec(statement))
            throw failure(query.lastError());
        const QVariant value = query.next() ? query.value(0) : QVariant();
        query.finish();
        return value;
    };
    state.version = read(QStringLiteral("PRAGMA user_version")).toInt();
    state.objects = read(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")).toInt();
    const bool hasMetadata =
        read(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'store_metadata'")).toInt() == 1;
    if (hasMetadata)
        state.storeId = QUuid::fromString(read(QStringLiteral("SELECT value FROM store_metadata WHERE key = 'uuid'")).toString());
    return state;
}

// Refuses a file that is not a store of ours (another program's database) or of a newer schema.
void checkOwnership(const FileState &state, const Model &model, const QString &path)
{
    if (state.version == 0 && state.objects == 0)
        return;  // empty: ours to create
    if (state.version == 0 || state.storeId.isNull())
        throw incompatible(path, QStringLiteral("the file holds other data"));
    if (state.version > model.version)
        throw incompatible(path, QStringLiteral("schema version %1 is newer than %2").arg(state.version).arg(model.version));
}

QUuid createStore(QSqlQuery &query, const Model &model, const std::function<void(const QString &)> &exec)
{
    for (const QString &statement : sql::createSchema(model))
        exec(statement);
    exec(QStringLiteral("CREATE TABLE store_metadata (key TEXT PRIMARY KEY, value TEXT)"));
    const QUuid storeId = QUuid::createUuid();
    exec(QStringLiteral("INSERT INTO store_metadata (key, value) VALUES ('uuid', '%1')")
             .arg(storeId.toString(QUuid::WithoutBraces)));
    query.finish();
    return storeId;
}

void migrate(QSqlDatabase &db, int version, const Model &model, const QString &path)
{
    MigrationStep step(db, model, path);
    for (int from = version; from < model.version; ++from) {
        auto migration = std::find_if(model.migrations.cbegin(), model.migrations.cend(),
                                      [from](const Migration &m) { return m.fromVersion == from; });
        if (migration == model.migrations.cend())
            throw incompatible(path, QStringLiteral("no migration from schema version %1").arg(from));
        migration->run(step);
    }
}

// Files written before the store kept its keys get the keys table. The keys of rows deleted
// before are lost, so numbering goes on well above the highest key left: a row deleted just
// before (the newest account, say, whose keychain items stay behind) does not pass its key on.
void keepKeys(QSqlQuery &query, const Model &model, const std::function<void(const QString &)> &exec)
{
    exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = '%1'").arg(sql::keysTable));
    const bool kept = query.next() && query.value(0).toInt() == 1;
    query.finish();
    if (kept)
        return;
    constexpr qint64 keysLeftForDeletedRows = 1000;
    exec(QStringLiteral("CREATE TABLE %1 (entity TEXT PRIMARY KEY, highest INTEGER NOT NULL)").arg(sql::keysTable));
    for (const EntityDescription &entity : model.entities) {
        exec(QStringLiteral("INSERT INTO %1 (entity, highest) SELECT '%2', IFNULL(MAX(pk), 0) + %3 FROM %4")
                 .arg(sql::keysTable, entity.name)
                 .arg(keysLeftForDeletedRows)
                 .arg(sql::table(entity.name)));
    }
}

// Creates or migrates the schema and returns the store's UUID. A file that is not a store of
// ours, or of a newer schema, or that cannot be written, is refused before anything is written
// to it.
QUuid prepareFileOnce(const QString &path, const Model &model, const QString &name, bool &busy)
{
    // SQLite's "busy" and "locked": another connection holds a lock this step cannot wait for.
    const auto openError = [&](const QSqlError &error) {
        busy = busy || error.nativeErrorCode() == QLatin1String("5") || error.nativeErrorCode() == QLatin1String("6");
        return sql::openError(path, error);
    };
    QUuid storeId;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(sql::busyTimeoutMs));
        QSqlQuery query;
        auto fail = [&](const StoreError &error) {
            query = QSqlQuery();
            db.close();
            return error;
        };
        if (!db.open())
            throw fail(openError(db.lastError()));
        query = QSqlQuery(db);
        auto exec = [&](const QString &statement) {
            if (!query.exec(statement))
                throw openError(query.lastError());
        };
        try {
            // One read transaction: another program creating the store commits its tables and
            // its version together, and separate reads could see one without the other.
            exec(QStringLiteral("BEGIN"));
            const FileState found = inspect(query, openError);
            exec(QStringLiteral("COMMIT"));
            checkOwnership(found, model, path);
            // SQLite opens a file it may not write read-only, without a word.
            if (sqlite3_db_readonly(sql::handle(db), "main") == 1)
                throw sql::readOnlyError(path);
            // A migration's deletes must not cascade behind its back.
            exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
            exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            const bool wal = query.next() && query.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) == 0;
            query.finish();
            if (!wal)
                throw incompatible(path, QStringLiteral("write-ahead logging unavailable"));
            exec(QStringLiteral("BEGIN IMMEDIATE"));
        } catch (const StoreError &error) {
            throw fail(error);
        }
        try {
            // Looked at again under the write lock: another program may have created or
            // migrated the store meanwhile.
            const FileState state = inspect(query, openError);
            checkOwnership(state, model, path);
            if (state.version == 0) {
                storeId = createStore(query, model, exec);
            } else {
                storeId = state.storeId;
                migrate(db, state.version, model, path);
                keepKeys(query, model, exec);
            }
            if (state.version != model.version)
                exec(QStringLiteral("PRAGMA user_version = %1").arg(model.version));
            exec(QStringLiteral("COMMIT"));
        } catch (...) {
            query.finish();
            query.exec(QStringLiteral("ROLLBACK"));
            query = QSqlQuery();
            db.close();
            throw;
        }
        query = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return storeId;
}

// Two programs that find no store may create it at the same moment. Some setup steps (the switch
// to write-ahead logging among them) get "busy" at once instead of waiting, so the whole setup
// is tried again, for as long as a busy connection would wait.
QUuid prepareFile(const QString &path, const Model &model, int connectionNumber)
{
    const QString name = QStringLiteral("vantorel-store-setup-%1").arg(connectionNumber);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        bool busy = false;
        try {
            return prepareFileOnce(path, model, name, busy);
        } catch (const StoreError &) {
            if (!busy || waited.elapsed() > sql::busyTimeoutMs)
                throw;
        }
        QSqlDatabase::removeDatabase(name);
        QThread::msleep(20);
    }
}

}  // namespace

Container::Container(QString name, std::shared_ptr<const Model> model, QString storePath, QThread *viewThread)
    : m_name(std::move(name)), m_shared(std::make_shared<StoreShared>())
{
    checkModel(*model);
    m_shared->path = QFileInfo(storePath).absoluteFilePath();
    m_shared->model = std::move(model);
    const int setup = m_shared->nextConnection.fetch_add(1);
    try {
        m_shared->storeId = prepareFile(m_shared->path, *m_shared->model, setup);
    } catch (...) {
        QSqlDatabase::removeDatabase(QStringLiteral("vantorel-store-setup-%1").arg(setup));
        throw;
    }
    if (!viewThread)
        viewThread = QCoreApplication::instance() ? QCoreApplication::instance()->thread() : QThread::currentThread();
    m_viewContext.reset(new Context(m_shared, viewThread));
    std::lock_guard lock(m_shared->viewMutex);
    m_shared->viewContext = m_viewContext.get();
    m_shared->viewEvents = m_viewContext->m_events;
}

Container::~Container() = default;

QString Container::storePath() const
{
    return m_shared->path;
}

QUuid Container::storeId() const
{
    return m_shared->storeId;
}

const Model &Container::model() const
{
    return *m_shared->model;
}

ViewContextEvents &Container::viewContextEvents()
{
    return *m_viewContext->m_events;
}

std::shared_ptr<Context> Container::newBackgroundContext()
{
    return std::shared_ptr<Context>(new Context(m_shared, nullptr));
}

}  // namespace platform::store
