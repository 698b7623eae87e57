#include "platform/store/Container.h"

#include "platform/store/Sql.h"
#include "platform/store/StoreShared.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QSqlError>
#include <QSqlQuery>

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

// Creates or migrates the schema and returns the store's UUID. Nothing is written to a file that
// is not a store of ours, or of a newer schema.
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
        auto fail = [&](const StoreError &error) {
            db.close();
            return error;
        };
        if (!db.open())
            throw fail(openError(db.lastError()));
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next())
            throw fail(openError(query.lastError()));
        if (query.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
            throw fail(incompatible(path, QStringLiteral("write-ahead logging unavailable")));
        query.finish();
        if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            throw fail(openError(query.lastError()));
        try {
            auto exec = [&](const QString &statement) {
                if (!query.exec(statement))
                    throw openError(query.lastError());
            };
            exec(QStringLiteral("PRAGMA user_version"));
            const int version = query.next() ? query.value(0).toInt() : 0;
            query.finish();
            if (version == 0) {
                exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
                const int objects = query.next() ? query.value(0).toInt() : 0;
                query.finish();
                if (objects != 0)
                    throw incompatible(path, QStringLiteral("the file holds other data"));
                for (const QString &statement : sql::createSchema(model))
                    exec(statement);
                exec(QStringLiteral("CREATE TABLE store_metadata (key TEXT PRIMARY KEY, value TEXT)"));
                if (!query.prepare(QStringLiteral("INSERT INTO store_metadata (key, value) VALUES ('uuid', ?)")))
                    throw openError(query.lastError());
                query.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
                if (!query.exec())
                    throw openError(query.lastError());
            } else if (version > model.version) {
                throw incompatible(path, QStringLiteral("schema version %1 is newer than %2").arg(version).arg(model.version));
            } else {
                for (int step = version; step < model.version; ++step) {
                    auto migration = std::find_if(model.migrations.cbegin(), model.migrations.cend(),
                                                  [step](const Migration &m) { return m.fromVersion == step; });
                    if (migration == model.migrations.cend())
                        throw incompatible(path, QStringLiteral("no migration from schema version %1").arg(step));
                    migration->run(db);
                }
            }
            if (version != model.version)
                exec(QStringLiteral("PRAGMA user_version = %1").arg(model.version));
            exec(QStringLiteral("SELECT value FROM store_metadata WHERE key = 'uuid'"));
            storeId = query.next() ? QUuid::fromString(query.value(0).toString()) : QUuid();
            query.finish();
            if (storeId.isNull())
                throw incompatible(path, QStringLiteral("the store has no identifier"));
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
    m_shared->viewAnchor = m_viewContext->m_anchor;
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

std::shared_ptr<Context> Container::newBackgroundContext()
{
    return std::shared_ptr<Context>(new Context(m_shared, nullptr));
}

}  // namespace platform::store
