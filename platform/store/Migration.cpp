#include "platform/store/Migration.h"

#include "platform/store/Sql.h"

#include <QSqlError>
#include <QSqlQuery>

namespace platform::store {

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
    exec(QStringLiteral("INSERT INTO fold SELECT e.pk, g.keep FROM %1 e JOIN "
                        "(SELECT %2 AS owner, %3 AS value, MIN(pk) AS keep FROM %1 "
                        "WHERE %2 IS NOT NULL AND %3 IS NOT NULL GROUP BY %2, %3 HAVING COUNT(*) > 1) g "
                        "ON e.%2 = g.owner AND e.%3 = g.value WHERE e.pk <> g.keep")
             .arg(table, owner, value));
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

void MigrationStep::updateIndexes()
{
    for (const EntityDescription &entity : m_model.entities) {
        if (entity.unique)
            foldDuplicates(entity);
    }
    for (const EntityDescription &entity : m_model.entities) {
        QStringList existing;
        {
            QSqlQuery query(m_db);
            const QString statement =
                QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = '%1' AND sql IS NOT NULL")
                    .arg(entity.name);
            if (!query.exec(statement))
                throw sql::queryError(StoreError::IncompatibleSchema, statement, query.lastError());
            while (query.next())
                existing.append(query.value(0).toString());
        }
        QStringList wanted;
        for (const sql::Index &index : sql::indexes(entity)) {
            wanted.append(index.name);
            if (!existing.contains(index.name))
                exec(index.statement);
        }
        for (const QString &name : std::as_const(existing)) {
            if (!wanted.contains(name))
                exec(QStringLiteral("DROP INDEX %1").arg(sql::table(name)));
        }
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
