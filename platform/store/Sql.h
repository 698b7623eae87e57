#pragma once

#include "platform/store/Model.h"
#include "platform/store/ObjectId.h"
#include "platform/store/StoreError.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

struct sqlite3;

// How entities map onto SQLite tables. Internal to the store layer.
namespace platform::store::sql {

// Long enough for the other process's save of one import level.
constexpr int busyTimeoutMs = 10000;

// Bits of the attributes, then the to-one relationships, that a write covers.
constexpr quint64 allColumns = ~quint64(0);

// contains(haystack, needle): 1 when the folded haystack holds the needle, else 0 (NULL for NULL).
inline const QString containsFunction = QStringLiteral("vantorel_contains");
bool registerFunctions(QSqlDatabase &db);

QString table(const QString &entity);
QString column(const QString &attribute);
QString foldedColumn(const QString &attribute);
QString relationshipColumn(const QString &relationship);
// The column in a form that SQLite's planner does not answer from an index. Used for sets of
// values, absence and text search, which match large parts of a table: looking each row up
// through an index then costs several times a plain read of the table.
QString unindexed(const QString &column);

// The highest key each entity has given, so that no key is given twice, also after the newest
// rows were deleted: the next key is one above both this and the highest key in the table.
inline const QString keysTable = QStringLiteral("store_keys");

struct Index {
    QString name;
    QString statement;
};

// Every table and index of the model, and the keys table.
QStringList createSchema(const Model &model);
QString createTable(const EntityDescription &entity);
QList<Index> indexes(const EntityDescription &entity);
QString selectRows(const EntityDescription &entity);
// Binds the key first, then as bindRow() does.
QString insertRow(const EntityDescription &entity);
// Sets the columns of the attributes and relationships in `columns` of the row with the last
// bound key.
QString updateRow(const EntityDescription &entity, quint64 columns);

QVariantList defaultValues(const EntityDescription &entity);
QVariant toSql(AttributeType type, const QVariant &value);
QVariant fromSql(AttributeType type, const QSqlQuery &query, int column);
// Reads a row of selectRows(); values whose bit is set in `keep` stay as they are.
void readRow(const EntityDescription &entity, const QSqlQuery &query, QVariantList &values,
             QList<ObjectId> &toOne, const QUuid &store, quint64 keep);
// Binds the attributes in `columns` and their folded copies in insertRow()/updateRow() order,
// advancing `position`.
void bindRow(const EntityDescription &entity, const QVariantList &values, quint64 columns, QSqlQuery &query,
             int &position);

// SQLite's handle of an open connection; nullptr when the driver is not SQLite.
::sqlite3 *handle(const QSqlDatabase &db);

StoreError openError(const QString &path, const QSqlError &error);
// An open connection that can only read, as SQLite describes it.
StoreError readOnlyError(const QString &path);
StoreError queryError(StoreError::Code code, const QString &statement, const QSqlError &error);

}  // namespace platform::store::sql
