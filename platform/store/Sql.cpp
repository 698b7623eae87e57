#include "platform/store/Sql.h"

#include "platform/store/TextFolding.h"

#include <QDateTime>
#include <QSqlDriver>
#include <cstring>
#include <sqlite3.h>

namespace platform::store::sql {

namespace {
QString quoted(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString sqlType(AttributeType type)
{
    switch (type) {
    case AttributeType::String:
        return QStringLiteral("TEXT");
    case AttributeType::Data:
        return QStringLiteral("BLOB");
    case AttributeType::Date:
        return QStringLiteral("INTEGER");
    case AttributeType::Bool:
    case AttributeType::Int64:
        return QStringLiteral("INTEGER NOT NULL DEFAULT 0");
    }
    return {};
}

bool covers(quint64 columns, int bit)
{
    return columns & (quint64(1) << bit);
}

// Columns in the order rows are written: attributes, folded copies, to-one keys; of these, the
// ones in `columns`.
QStringList writtenColumns(const EntityDescription &entity, quint64 columns = allColumns)
{
    QStringList names;
    const int attributes = int(entity.attributes.size());
    for (int i = 0; i < attributes; ++i) {
        if (covers(columns, i))
            names.append(column(entity.attributes[i].name));
    }
    for (int i = 0; i < attributes; ++i) {
        if (entity.attributes[i].searchable && covers(columns, i))
            names.append(foldedColumn(entity.attributes[i].name));
    }
    const QList<const Relationship *> relationships = entity.toOneRelationships();
    for (int i = 0; i < relationships.size(); ++i) {
        if (covers(columns, attributes + i))
            names.append(relationshipColumn(relationships[i]->name));
    }
    return names;
}
// SQLite's instr() steps through the text one character at a time; memmem() is many times
// faster, and on UTF-8 a byte match is a character match.
void contains(sqlite3_context *context, int, sqlite3_value **arguments)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL || sqlite3_value_type(arguments[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *haystack = sqlite3_value_text(arguments[0]);
    const int haystackSize = sqlite3_value_bytes(arguments[0]);
    const auto *needle = sqlite3_value_text(arguments[1]);
    const int needleSize = sqlite3_value_bytes(arguments[1]);
    sqlite3_result_int(context, memmem(haystack, size_t(haystackSize), needle, size_t(needleSize)) != nullptr);
}
}  // namespace

sqlite3 *handle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

bool registerFunctions(QSqlDatabase &db)
{
    sqlite3 *connection = handle(db);
    return connection
        && sqlite3_create_function_v2(connection, containsFunction.toLatin1().constData(), 2,
                                      SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, &contains, nullptr,
                                      nullptr, nullptr)
        == SQLITE_OK;
}

QString table(const QString &entity)
{
    return quoted(entity);
}

QString column(const QString &attribute)
{
    return quoted(attribute);
}

QString foldedColumn(const QString &attribute)
{
    return quoted(attribute + QStringLiteral("__folded"));
}

QString relationshipColumn(const QString &relationship)
{
    return quoted(relationship + QStringLiteral("__pk"));
}

QString unindexed(const QString &column)
{
    return QLatin1Char('+') + column;
}

QString createTable(const EntityDescription &entity)
{
    // The keys are given by the store (see keysTable), never reused: no AUTOINCREMENT, whose
    // bookkeeping costs a write per inserted row.
    QStringList columns{QStringLiteral("pk INTEGER PRIMARY KEY")};
    for (const Attribute &attribute : entity.attributes)
        columns.append(column(attribute.name) + QLatin1Char(' ') + sqlType(attribute.type));
    for (const Attribute &attribute : entity.attributes) {
        if (attribute.searchable)
            columns.append(foldedColumn(attribute.name) + QStringLiteral(" TEXT"));
    }
    for (const Relationship *relationship : entity.toOneRelationships()) {
        columns.append(QStringLiteral("%1 INTEGER REFERENCES %2(pk) ON DELETE CASCADE")
                           .arg(relationshipColumn(relationship->name), table(relationship->target)));
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table(entity.name), columns.join(QStringLiteral(", ")));
}

QList<Index> indexes(const EntityDescription &entity)
{
    QList<Index> result;
    for (const Attribute &attribute : entity.attributes) {
        if (attribute.indexed) {
            const QString name = entity.name + QLatin1Char('_') + attribute.name;
            result.append({name, QStringLiteral("CREATE INDEX %1 ON %2(%3)")
                                     .arg(quoted(name), table(entity.name), column(attribute.name))});
        }
    }
    for (const Relationship *relationship : entity.toOneRelationships()) {
        if (relationship->indexed) {
            const QString name = entity.name + QLatin1Char('_') + relationship->name;
            result.append({name, QStringLiteral("CREATE INDEX %1 ON %2(%3)")
                                     .arg(quoted(name), table(entity.name), relationshipColumn(relationship->name))});
        }
    }
    if (entity.unique) {
        // SQLite's unique indexes hold NULLs apart: rows without the value or the owner may repeat.
        // The value comes first, so that the index also finds rows by the value alone.
        const QString name = entity.name + QStringLiteral("_unique_") + entity.unique->attribute;
        result.append({name, QStringLiteral("CREATE UNIQUE INDEX %1 ON %2(%3, %4)")
                                 .arg(quoted(name), table(entity.name), column(entity.unique->attribute),
                                      relationshipColumn(entity.unique->within))});
    }
    return result;
}

QStringList createSchema(const Model &model)
{
    QStringList statements{QStringLiteral("CREATE TABLE %1 (entity TEXT PRIMARY KEY, highest INTEGER NOT NULL)").arg(keysTable)};
    for (const EntityDescription &entity : model.entities) {
        statements.append(createTable(entity));
        for (const Index &index : indexes(entity))
            statements.append(index.statement);
    }
    return statements;
}

QString selectRows(const EntityDescription &entity)
{
    QStringList columns{QStringLiteral("pk")};
    for (const Attribute &attribute : entity.attributes)
        columns.append(column(attribute.name));
    for (const Relationship *relationship : entity.toOneRelationships())
        columns.append(relationshipColumn(relationship->name));
    return QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QStringLiteral(", ")), table(entity.name));
}

QString insertRow(const EntityDescription &entity)
{
    const QStringList columns = QStringList{QStringLiteral("pk")} + writtenColumns(entity);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table(entity.name), columns.join(QStringLiteral(", ")),
             QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
}

QString updateRow(const EntityDescription &entity, quint64 columns)
{
    QStringList assignments;
    for (const QString &name : writtenColumns(entity, columns))
        assignments.append(name + QStringLiteral(" = ?"));
    return QStringLiteral("UPDATE %1 SET %2 WHERE pk = ?").arg(table(entity.name), assignments.join(QStringLiteral(", ")));
}

QVariantList defaultValues(const EntityDescription &entity)
{
    QVariantList values;
    values.reserve(entity.attributes.size());
    for (const Attribute &attribute : entity.attributes) {
        switch (attribute.type) {
        case AttributeType::Bool:
            values.append(false);
            break;
        case AttributeType::Int64:
            values.append(qint64(0));
            break;
        default:
            values.append(QVariant());
        }
    }
    return values;
}

QVariant toSql(AttributeType type, const QVariant &value)
{
    switch (type) {
    // Objects keep present-but-empty values as empty, never null, so they are bound as empty.
    case AttributeType::String:
        return value.isValid() ? QVariant(value.toString()) : QVariant(QMetaType::fromType<QString>());
    case AttributeType::Data:
        return value.isValid() ? QVariant(value.toByteArray()) : QVariant(QMetaType::fromType<QByteArray>());
    case AttributeType::Date:
        if (!value.isValid() || !value.toDateTime().isValid())
            return QVariant(QMetaType::fromType<qint64>());
        return value.toDateTime().toMSecsSinceEpoch();
    case AttributeType::Bool:
        return qint64(value.toBool() ? 1 : 0);
    case AttributeType::Int64:
        return value.toLongLong();
    }
    return {};
}

QVariant fromSql(AttributeType type, const QSqlQuery &query, int index)
{
    const bool isNull = query.isNull(index);
    switch (type) {
    case AttributeType::String:
        return isNull ? QVariant() : QVariant(query.value(index).toString());
    case AttributeType::Data: {
        if (isNull)
            return {};
        // SQLite hands an empty blob over as no bytes at all; present-but-empty stays present.
        const QByteArray bytes = query.value(index).toByteArray();
        return bytes.isNull() ? QVariant(QByteArray("")) : QVariant(bytes);
    }
    case AttributeType::Date:
        if (isNull)
            return {};
        return QDateTime::fromMSecsSinceEpoch(query.value(index).toLongLong(), Qt::UTC);
    case AttributeType::Bool:
        return !isNull && query.value(index).toLongLong() != 0;
    case AttributeType::Int64:
        return isNull ? qint64(0) : query.value(index).toLongLong();
    }
    return {};
}

void readRow(const EntityDescription &entity, const QSqlQuery &query, QVariantList &values,
             QList<ObjectId> &toOne, const QUuid &store, quint64 keep)
{
    int index = 1;
    const int attributes = int(entity.attributes.size());
    for (int i = 0; i < attributes; ++i, ++index) {
        if (!(keep & (quint64(1) << i)))
            values[i] = fromSql(entity.attributes[i].type, query, index);
    }
    const QList<const Relationship *> relationships = entity.toOneRelationships();
    for (int i = 0; i < relationships.size(); ++i, ++index) {
        if (keep & (quint64(1) << (attributes + i)))
            continue;
        toOne[i] = query.isNull(index) ? ObjectId()
                                       : ObjectId(store, relationships[i]->target, query.value(index).toLongLong());
    }
}

void bindRow(const EntityDescription &entity, const QVariantList &values, quint64 columns, QSqlQuery &query,
             int &position)
{
    const int attributes = int(entity.attributes.size());
    for (int i = 0; i < attributes; ++i) {
        if (covers(columns, i))
            query.bindValue(position++, toSql(entity.attributes[i].type, values[i]));
    }
    for (int i = 0; i < attributes; ++i) {
        if (!entity.attributes[i].searchable || !covers(columns, i))
            continue;
        if (values[i].isValid())
            query.bindValue(position++, foldedForSearch(values[i].toString()));
        else
            query.bindValue(position++, QVariant(QMetaType::fromType<QString>()));
    }
}

StoreError openError(const QString &path, const QSqlError &error)
{
    return StoreError(StoreError::CannotOpen, QStringLiteral("The store could not be opened"),
                      QStringLiteral("{path = \"%1\"; reason = \"%2\"; code = %3}")
                          .arg(path, error.databaseText().isEmpty() ? error.text() : error.databaseText(),
                               error.nativeErrorCode().isEmpty() ? QStringLiteral("-") : error.nativeErrorCode()));
}

StoreError readOnlyError(const QString &path)
{
    return StoreError(StoreError::CannotOpen, QStringLiteral("The store could not be opened"),
                      QStringLiteral("{path = \"%1\"; reason = \"%2\"; code = %3}")
                          .arg(path, QString::fromUtf8(sqlite3_errstr(SQLITE_READONLY)))
                          .arg(SQLITE_READONLY));
}

StoreError queryError(StoreError::Code code, const QString &statement, const QSqlError &error)
{
    const QString description = code == StoreError::SaveFailed ? QStringLiteral("The changes could not be saved")
                                                               : QStringLiteral("The stored data could not be read");
    return StoreError(code, description,
                      QStringLiteral("{reason = \"%1\"; code = %2; statement = \"%3\"}")
                          .arg(error.databaseText().isEmpty() ? error.text() : error.databaseText(),
                               error.nativeErrorCode().isEmpty() ? QStringLiteral("-") : error.nativeErrorCode(), statement));
}

}  // namespace platform::store::sql
