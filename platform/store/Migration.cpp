#include "platform/store/Migration.h"

#include "platform/store/Sql.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSet>

namespace platform::store {

namespace {
// Keys of rows deleted before the store remembered its highest key are lost; numbering goes on
// this far above the highest row left, so that a row deleted just before the upgrade (the newest
// account, say, whose keychain items stay behind) does not give its key to the next one.
constexpr qint64 keysLeftForDeletedRows = 1000;

QString quoted(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}
}  // namespace

MigrationStep::MigrationStep(QSqlDatabase &db, const Model &model, QString path)
    : m_db(db), m_model(model), m_path(std::move(path))
{
}

void MigrationStep::exec(const QString &statement)
{
    QSqlQuery query(m_db);
    if (!query.exec(statement))
        throw sql::queryError(StoreError::IncompatibleSchema, statement, query.lastError());
}

void MigrationStep::foldDuplicates(const EntityDescription &entity)
{
    const QString owner = sql::relationshipColumn(entity.unique->within);
    const QString value = sql::column(entity.unique->attribute);
    const QString table = sql::table(entity.name);
    exec(QStringLiteral("CREATE TEMP TABLE fold (old INTEGER PRIMARY KEY, keep INTEGER NOT NULL)"));
    exec(QStringLiteral("INSERT INTO fold SELECT pk, (SELECT MIN(k.pk) FROM %1 k WHERE k.%2 = e.%2 AND k.%3 = e.%3) "
                        "FROM %1 e WHERE e.%2 IS NOT NULL AND e.%3 IS NOT NULL")
             .arg(table, owner, value));
    exec(QStringLiteral("DELETE FROM fold WHERE old = keep"));
    for (const EntityDescription &child : m_model.entities) {
        for (const Relationship *relationship : child.toOneRelationships()) {
            if (relationship->target != entity.name)
                continue;
            const QString column = sql::relationshipColumn(relationship->name);
            exec(QStringLiteral("UPDATE %1 SET %2 = (SELECT keep FROM fold WHERE old = %1.%2) "
                                "WHERE %2 IN (SELECT old FROM fold)")
                     .arg(sql::table(child.name), column));
        }
    }
    exec(QStringLiteral("DELETE FROM %1 WHERE pk IN (SELECT old FROM fold)").arg(table));
    exec(QStringLiteral("DROP TABLE fold"));
}

void MigrationStep::rebuildTables()
{
    for (const EntityDescription &entity : m_model.entities) {
        if (entity.unique)
            foldDuplicates(entity);
    }
    for (const EntityDescription &entity : m_model.entities) {
        // The columns the old table and the new layout share carry over.
        QSet<QString> existing;
        {
            QSqlQuery query(m_db);
            if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(sql::table(entity.name))))
                throw sql::queryError(StoreError::IncompatibleSchema, QStringLiteral("PRAGMA table_info"), query.lastError());
            while (query.next())
                existing.insert(query.value(1).toString());
        }
        const QString rebuilt = entity.name + QStringLiteral("__rebuilt");
        exec(sql::createTable(entity, rebuilt));
        if (!existing.isEmpty()) {
            QStringList columns;
            QSqlQuery query(m_db);
            if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(rebuilt))))
                throw sql::queryError(StoreError::IncompatibleSchema, QStringLiteral("PRAGMA table_info"), query.lastError());
            while (query.next()) {
                if (existing.contains(query.value(1).toString()))
                    columns.append(quoted(query.value(1).toString()));
            }
            query.finish();
            const QString list = columns.join(QStringLiteral(", "));
            exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(quoted(rebuilt), list, sql::table(entity.name)));
            exec(QStringLiteral("DROP TABLE %1").arg(sql::table(entity.name)));
        }
        exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quoted(rebuilt), sql::table(entity.name)));
        for (const QString &statement : sql::createIndexes(entity))
            exec(statement);
        exec(QStringLiteral("DELETE FROM sqlite_sequence WHERE name = '%1'").arg(entity.name));
        exec(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT '%1', IFNULL(MAX(pk), 0) + %2 FROM %3")
                 .arg(entity.name)
                 .arg(keysLeftForDeletedRows)
                 .arg(sql::table(entity.name)));
    }
    // Every relationship still names a row.
    QSqlQuery check(m_db);
    if (!check.exec(QStringLiteral("PRAGMA foreign_key_check")))
        throw sql::queryError(StoreError::IncompatibleSchema, QStringLiteral("PRAGMA foreign_key_check"), check.lastError());
    if (check.next())
        throw StoreError(StoreError::IncompatibleSchema, QStringLiteral("The store could not be opened"),
                         QStringLiteral("{path = \"%1\"; reason = \"rows of %2 name rows that are gone\"}")
                             .arg(m_path, check.value(0).toString()));
}

}  // namespace platform::store
