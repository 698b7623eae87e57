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

// Made, and filled from the rows, where it is missing or was made otherwise; else left alone.
void MigrationStep::updateSearchIndex(const EntityDescription &entity)
{
    const std::optional<sql::SearchIndex> index = sql::searchIndex(entity);
    QHash<QString, QString> existing;  // name -> statement, of the index's table and triggers
    {
        QSqlQuery query(m_db);
        const QString statement =
            QStringLiteral("SELECT name, type, sql FROM sqlite_master WHERE (type = 'table' AND name = '%1__search') "
                           "OR (type = 'trigger' AND tbl_name = '%1' AND name LIKE '%1\\_\\_search\\_%' ESCAPE '\\')")
                .arg(entity.name);
        if (!query.exec(statement))
            throw sql::queryError(StoreError::IncompatibleSchema, statement, query.lastError());
        while (query.next())
            existing.insert(query.value(0).toString(), query.value(2).toString());
    }
    bool current = index && existing.size() == index->objects.size();
    if (index) {
        for (const sql::Index &object : index->objects)
            current = current && existing.value(object.name) == object.statement;
    }
    if (current)
        return;
    // The same index kept by other triggers holds the same rows: only the triggers change.
    if (index && existing.value(index->table) == index->objects.first().statement) {
        for (auto it = existing.cbegin(); it != existing.cend(); ++it) {
            if (it.key() != index->table)
                exec(QStringLiteral("DROP TRIGGER %1").arg(sql::table(it.key())));
        }
        for (qsizetype i = 1; i < index->objects.size(); ++i)
            exec(index->objects[i].statement);
        return;
    }
    for (auto it = existing.cbegin(); it != existing.cend(); ++it) {
        if (it.value().startsWith(QStringLiteral("CREATE TRIGGER")))
            exec(QStringLiteral("DROP TRIGGER %1").arg(sql::table(it.key())));
    }
    for (auto it = existing.cbegin(); it != existing.cend(); ++it) {
        if (!it.value().startsWith(QStringLiteral("CREATE TRIGGER")))
            exec(QStringLiteral("DROP TABLE %1").arg(sql::table(it.key())));
    }
    if (!index)
        return;
    for (const sql::Index &object : index->objects)
        exec(object.statement);
    exec(sql::rebuildSearchIndex(*index));
}

void MigrationStep::updateSearchIndexes()
{
    for (const EntityDescription &entity : m_model.entities)
        updateSearchIndex(entity);
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
    for (const EntityDescription &entity : m_model.entities)
        updateSearchIndex(entity);
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
