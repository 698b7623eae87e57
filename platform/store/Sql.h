#pragma once

#include "platform/store/Model.h"
#include "platform/store/ObjectId.h"
#include "platform/store/StoreError.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// How entities map onto SQLite tables. Internal to the store layer.
namespace platform::store::sql {

// Long enough for the other process's save of one import level.
constexpr int busyTimeoutMs = 10000;

// Bits of the attributes, then the to-one relationships, that a write covers.
constexpr quint64 allColumns = ~quint64(0);

// contains(haystack, needle): 1 when the folded haystack holds the needle, else 0 (NULL for NULL).
inline const QString containsFunction = QStringLiteral("vantorel_contains");
bool registerFunctions(QSqlDatabase &db);
bool registerFunctions(::sqlite3 *connection);

QString table(const QString &entity);
QString column(const QString &attribute);
QString foldedColumn(const QString &attribute);
QString relationshipColumn(const QString &relationship);
// The column of an attribute or a to-one relationship; empty when the entity has neither.
QString keyColumn(const EntityDescription &entity, const QString &key);
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

// Every table and index of the model, the search indexes and the keys table.
QStringList createSchema(const Model &model);
QString createTable(const EntityDescription &entity);
QList<Index> indexes(const EntityDescription &entity);

// The search index of an entity with searchable attributes: an FTS5 table of the trigrams of
// their folded copies (no positions, no text of its own: it reads the entity's table). Triggers
// on the entity's table make every delete, cascades included, and every change of a searchable
// attribute reach it. Inserted rows are added by their writer with `insertRow`: FTS5 writes its
// pending terms out at every statement savepoint, and an insert trigger would open one per row.
// A search text of three or more characters is looked up there first; a match of its trigrams is
// then confirmed on the folded text itself.
struct SearchIndex {
    QString table;         // unquoted name
    QList<Index> objects;  // the FTS5 table, then its triggers, in creation order
    QString insertRow;     // binds the row's key, then its folded copies as bindFolded() does
};
std::optional<SearchIndex> searchIndex(const EntityDescription &entity);
// The search index's table, quoted; empty when the entity has no searchable attribute.
QString searchTable(const EntityDescription &entity);
// Fills a search index made over existing rows.
QString rebuildSearchIndex(const SearchIndex &index);
// The search index's match expression for a folded search text: every trigram of it must be
// there. No expression (std::nullopt) for a text the index cannot answer (under three
// characters); such texts are found by reading every row in scope.
std::optional<QString> searchExpression(const QString &folded);
constexpr int searchGramLength = 3;

QString selectRows(const EntityDescription &entity);
// Binds the key first, then as bindRow() does.
QString insertRow(const EntityDescription &entity);
// Sets the columns of the attributes and relationships in `columns` of the row with the last
// bound key.
QString updateRow(const EntityDescription &entity, quint64 columns);

QVariantList defaultValues(const EntityDescription &entity);
QVariant toSql(AttributeType type, const QVariant &value);

// A prepared statement on a connection's SQLite handle. Values are bound and read straight from
// SQLite, without Qt SQL's variant for every value of every row; a statement is kept prepared by
// its connection and run again with new values.
class Statement {
public:
    // Throws StoreError with `failure` when SQLite cannot prepare the text.
    Statement(::sqlite3 *db, QString text, StoreError::Code failure);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    const QString &text() const { return m_text; }
    StoreError::Code failure() const { return m_failure; }

    // Positions count from 0, as in the text's order of '?'.
    void bind(int position, const QVariant &value);
    void bindInt(int position, qint64 value);
    void bindText(int position, const QString &text);
    void bindNull(int position);

    // Runs the statement up to its next row: true when there is one. Throws StoreError.
    bool next();
    // Runs a statement that returns no rows to its end.
    void run();
    // Ready to run again; bound values are dropped.
    void reset();
    // run(), then reset(), also when run() fails.
    void runAndReset();

    bool isNull(int column) const;
    qint64 integer(int column) const;
    QString text(int column) const;
    QByteArray bytes(int column) const;
    // The column's text (UTF-8) or bytes as SQLite holds them, until the statement moves on.
    QByteArrayView view(int column) const;
    // The value of an attribute's column as objects hold it (an invalid variant when absent).
    QVariant value(AttributeType type, int column) const;

    bool inUse = false;  // rows are being read

private:
    ::sqlite3 *m_db = nullptr;
    ::sqlite3_stmt *m_statement = nullptr;
    QString m_text;
    StoreError::Code m_failure;
    std::vector<QByteArray> m_kept;  // bound text, alive until the next reset
};

// Reads a row of selectRows(); values whose bit is set in `keep` stay as they are.
void readRow(const EntityDescription &entity, const Statement &row, QVariantList &values, QList<ObjectId> &toOne,
             const QUuid &store, quint64 keep);
// The folded copies of the searchable attributes in `columns`, in binding order; absent where
// the value is.
using FoldedValues = QList<std::optional<QString>>;
FoldedValues foldedValues(const EntityDescription &entity, const QVariantList &values, quint64 columns);
// Binds the attributes in `columns`, then their folded copies `folded`, in insertRow()/updateRow()
// order, advancing `position`.
void bindRow(const EntityDescription &entity, const QVariantList &values, quint64 columns, const FoldedValues &folded,
             Statement &statement, int &position);
// Binds folded copies alone (a search index's row), advancing `position`.
void bindFolded(const FoldedValues &folded, Statement &statement, int &position);

// SQLite's handle of an open connection; nullptr when the driver is not SQLite.
::sqlite3 *handle(const QSqlDatabase &db);

StoreError openError(const QString &path, const QSqlError &error);
StoreError openError(const QString &path, const QString &reason, int code);
// An open connection that can only read, as SQLite describes it.
StoreError readOnlyError(const QString &path);
StoreError queryError(StoreError::Code code, const QString &statement, const QSqlError &error);
// The last failure on `db`, as queryError() describes it.
StoreError queryError(StoreError::Code code, const QString &statement, ::sqlite3 *db);

}  // namespace platform::store::sql
