#include "platform/store/Sql.h"

#include "platform/store/TextFolding.h"

#include <QDateTime>
#include <QSet>
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
    return connection && registerFunctions(connection);
}

bool registerFunctions(sqlite3 *connection)
{
    return sqlite3_create_function_v2(connection, containsFunction.toLatin1().constData(), 2,
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

QString keyColumn(const EntityDescription &entity, const QString &key)
{
    if (entity.attributeIndex(key) >= 0)
        return column(key);
    if (entity.toOneIndex(key) >= 0)
        return relationshipColumn(key);
    return {};
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
    for (const CompoundIndex &index : entity.compoundIndexes) {
        const QString name = entity.name + QLatin1Char('_') + index.keys.join(QLatin1Char('_'));
        QStringList columns;
        for (const QString &key : index.keys)
            columns.append(keyColumn(entity, key));
        result.append({name, QStringLiteral("CREATE INDEX %1 ON %2(%3)")
                                 .arg(quoted(name), table(entity.name), columns.join(QStringLiteral(", ")))});
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

namespace {
QString searchTableName(const EntityDescription &entity)
{
    for (const Attribute &attribute : entity.attributes) {
        if (attribute.searchable)
            return entity.name + QStringLiteral("__search");
    }
    return {};
}
}  // namespace

QString searchTable(const EntityDescription &entity)
{
    const QString name = searchTableName(entity);
    return name.isEmpty() ? QString() : quoted(name);
}

std::optional<SearchIndex> searchIndex(const EntityDescription &entity)
{
    QStringList folded;
    for (const Attribute &attribute : entity.attributes) {
        if (attribute.searchable)
            folded.append(foldedColumn(attribute.name));
    }
    if (folded.isEmpty())
        return std::nullopt;
    SearchIndex index;
    index.table = searchTableName(entity);
    const QString fts = quoted(index.table);
    const QString owner = table(entity.name);
    QStringList oldValues, newValues;
    for (const QString &name : std::as_const(folded)) {
        oldValues.append(QStringLiteral("old.") + name);
        newValues.append(QStringLiteral("new.") + name);
    }
    const QString columns = folded.join(QStringLiteral(", "));
    // Without positions (detail=none) and sizes (columnsize=0) the index is a list of rows per
    // trigram: small, and quick to write.
    index.objects.append({index.table, QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, content=%3, content_rowid=pk, "
                                                      "tokenize=trigram, detail=none, columnsize=0)")
                                           .arg(fts, columns, owner)});
    // An external-content index forgets a row only when told the values it was given for it.
    const QString forget = QStringLiteral("INSERT INTO %1(%1, rowid, %2) VALUES ('delete', old.pk, %3);")
                               .arg(fts, columns, oldValues.join(QStringLiteral(", ")));
    const QString learn = QStringLiteral("INSERT INTO %1(rowid, %2) VALUES (new.pk, %3);")
                              .arg(fts, columns, newValues.join(QStringLiteral(", ")));
    index.insertRow = QStringLiteral("INSERT INTO %1(rowid, %2) VALUES (?, %3)")
                          .arg(fts, columns, QStringList(folded.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    const auto trigger = [&](const QString &suffix, const QString &event, const QString &body) {
        const QString name = index.table + QLatin1Char('_') + suffix;
        index.objects.append({name, QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 BEGIN %4 END")
                                        .arg(quoted(name), event, owner, body)});
    };
    trigger(QStringLiteral("delete"), QStringLiteral("DELETE"), forget);
    trigger(QStringLiteral("update"), QStringLiteral("UPDATE OF ") + columns, forget + QLatin1Char(' ') + learn);
    return index;
}

QString rebuildSearchIndex(const SearchIndex &index)
{
    return QStringLiteral("INSERT INTO %1(%1) VALUES ('rebuild')").arg(quoted(index.table));
}

std::optional<QString> searchExpression(const QString &folded)
{
    // Cut where SQLite's tokenizer cuts: at characters of the UTF-8 text it is handed.
    const QByteArray text = folded.toUtf8();
    QList<qsizetype> starts;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if ((uchar(text[i]) & 0xC0) != 0x80)
            starts.append(i);
        if (text[i] == '\0')
            return std::nullopt;  // the index's query text ends there
    }
    if (starts.size() < searchGramLength)
        return std::nullopt;
    starts.append(text.size());
    QStringList terms;
    QSet<QByteArray> seen;
    for (qsizetype i = 0; i + searchGramLength < starts.size(); ++i) {
        const QByteArray gram = text.mid(starts[i], starts[i + searchGramLength] - starts[i]);
        if (seen.contains(gram))
            continue;
        seen.insert(gram);
        // A quoted string is taken as text, whatever it holds: operators, '*', '(' and quotes
        // (doubled) included.
        QString term = QString::fromUtf8(gram);
        term.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        terms.append(QLatin1Char('"') + term + QLatin1Char('"'));
    }
    return terms.join(QStringLiteral(" AND "));
}

QStringList createSchema(const Model &model)
{
    QStringList statements{QStringLiteral("CREATE TABLE %1 (entity TEXT PRIMARY KEY, highest INTEGER NOT NULL)").arg(keysTable)};
    for (const EntityDescription &entity : model.entities) {
        statements.append(createTable(entity));
        for (const Index &index : indexes(entity))
            statements.append(index.statement);
        if (const std::optional<SearchIndex> search = searchIndex(entity)) {
            for (const Index &object : search->objects)
                statements.append(object.statement);
        }
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

Statement::Statement(sqlite3 *db, QString text, StoreError::Code failure)
    : m_db(db), m_text(std::move(text)), m_failure(failure)
{
    const QByteArray utf8 = m_text.toUtf8();
    if (sqlite3_prepare_v3(db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr)
            != SQLITE_OK
        || !m_statement) {
        const StoreError error = queryError(m_failure, m_text, db);
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        throw error;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

void Statement::bind(int position, const QVariant &value)
{
    if (value.isNull()) {
        bindNull(position);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QString:
        bindText(position, value.toString());
        break;
    case QMetaType::QByteArray: {
        m_kept.push_back(value.toByteArray());
        const QByteArray &bytes = m_kept.back();
        // No pointer at all would bind NULL; present-but-empty bytes stay present.
        sqlite3_bind_blob64(m_statement, position + 1, bytes.constData() ? bytes.constData() : "",
                            sqlite3_uint64(bytes.size()), SQLITE_STATIC);
        break;
    }
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(m_statement, position + 1, value.toDouble());
        break;
    default:
        bindInt(position, value.toLongLong());
    }
}

void Statement::bindInt(int position, qint64 value)
{
    sqlite3_bind_int64(m_statement, position + 1, value);
}

void Statement::bindText(int position, const QString &text)
{
    m_kept.push_back(text.toUtf8());
    const QByteArray &bytes = m_kept.back();
    // Present-but-empty text is bound as empty text, never as NULL.
    sqlite3_bind_text64(m_statement, position + 1, bytes.constData() ? bytes.constData() : "", sqlite3_uint64(bytes.size()),
                        SQLITE_STATIC, SQLITE_UTF8);
}

void Statement::bindNull(int position)
{
    sqlite3_bind_null(m_statement, position + 1);
}

bool Statement::next()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    const StoreError error = queryError(m_failure, m_text, m_db);
    sqlite3_reset(m_statement);
    throw error;
}

void Statement::run()
{
    while (next()) {
    }
}

void Statement::runAndReset()
{
    try {
        run();
    } catch (...) {
        reset();
        throw;
    }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    m_kept.clear();
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QString Statement::text(int column) const
{
    const auto *characters = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    if (!characters)
        return {};
    return QString::fromUtf8(characters, sqlite3_column_bytes(m_statement, column));
}

QByteArray Statement::bytes(int column) const
{
    const void *data = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    return data ? QByteArray(static_cast<const char *>(data), size) : QByteArray();
}

QByteArrayView Statement::view(int column) const
{
    // Text and blobs alike: a blob is handed over as it is, text as UTF-8.
    const auto *data = static_cast<const char *>(sqlite3_column_type(m_statement, column) == SQLITE_BLOB
                                                     ? sqlite3_column_blob(m_statement, column)
                                                     : static_cast<const void *>(sqlite3_column_text(m_statement, column)));
    return data ? QByteArrayView(data, sqlite3_column_bytes(m_statement, column)) : QByteArrayView();
}

QVariant Statement::value(AttributeType type, int column) const
{
    const bool null = isNull(column);
    switch (type) {
    case AttributeType::String:
        if (null)
            return {};
        return QVariant(text(column));
    case AttributeType::Data: {
        if (null)
            return {};
        // SQLite hands an empty blob over as no bytes at all; present-but-empty stays present.
        const QByteArray data = bytes(column);
        return data.isNull() ? QVariant(QByteArray("")) : QVariant(data);
    }
    case AttributeType::Date:
        if (null)
            return {};
        return QDateTime::fromMSecsSinceEpoch(integer(column), Qt::UTC);
    case AttributeType::Bool:
        return !null && integer(column) != 0;
    case AttributeType::Int64:
        return null ? qint64(0) : integer(column);
    }
    return {};
}

void readRow(const EntityDescription &entity, const Statement &row, QVariantList &values, QList<ObjectId> &toOne,
             const QUuid &store, quint64 keep)
{
    int index = 1;
    const int attributes = int(entity.attributes.size());
    for (int i = 0; i < attributes; ++i, ++index) {
        if (!(keep & (quint64(1) << i)))
            values[i] = row.value(entity.attributes[i].type, index);
    }
    int i = 0;
    for (const Relationship &relationship : entity.relationships) {
        if (relationship.kind != Relationship::ToOne)
            continue;
        if (!(keep & (quint64(1) << (attributes + i)))) {
            toOne[i] = row.isNull(index) ? ObjectId() : ObjectId(store, relationship.target, row.integer(index));
        }
        ++i;
        ++index;
    }
}

FoldedValues foldedValues(const EntityDescription &entity, const QVariantList &values, quint64 columns)
{
    FoldedValues folded;
    const int attributes = int(entity.attributes.size());
    for (int i = 0; i < attributes; ++i) {
        if (!entity.attributes[i].searchable || !covers(columns, i))
            continue;
        if (values[i].isValid())
            folded.append(foldedForSearch(values[i].toString()));
        else
            folded.append(std::nullopt);
    }
    return folded;
}

void bindRow(const EntityDescription &entity, const QVariantList &values, quint64 columns, const FoldedValues &folded,
             Statement &statement, int &position)
{
    const int attributes = int(entity.attributes.size());
    for (int i = 0; i < attributes; ++i) {
        if (covers(columns, i))
            statement.bind(position++, toSql(entity.attributes[i].type, values[i]));
    }
    bindFolded(folded, statement, position);
}

void bindFolded(const FoldedValues &folded, Statement &statement, int &position)
{
    for (const std::optional<QString> &value : folded) {
        if (value)
            statement.bindText(position++, *value);
        else
            statement.bindNull(position++);
    }
}

StoreError openError(const QString &path, const QSqlError &error)
{
    return StoreError(StoreError::CannotOpen, QStringLiteral("The store could not be opened"),
                      QStringLiteral("{path = \"%1\"; reason = \"%2\"; code = %3}")
                          .arg(path, error.databaseText().isEmpty() ? error.text() : error.databaseText(),
                               error.nativeErrorCode().isEmpty() ? QStringLiteral("-") : error.nativeErrorCode()));
}

StoreError openError(const QString &path, const QString &reason, int code)
{
    return StoreError(StoreError::CannotOpen, QStringLiteral("The store could not be opened"),
                      QStringLiteral("{path = \"%1\"; reason = \"%2\"; code = %3}").arg(path, reason).arg(code));
}

StoreError readOnlyError(const QString &path)
{
    return StoreError(StoreError::CannotOpen, QStringLiteral("The store could not be opened"),
                      QStringLiteral("{path = \"%1\"; reason = \"%2\"; code = %3}")
                          .arg(path, QString::fromUtf8(sqlite3_errstr(SQLITE_READONLY)))
                          .arg(SQLITE_READONLY));
}

StoreError queryError(StoreError::Code code, const QString &statement, sqlite3 *db)
{
    const QString description = code == StoreError::SaveFailed ? QStringLiteral("The changes could not be saved")
                                                               : QStringLiteral("The stored data could not be read");
    return StoreError(code, description,
                      QStringLiteral("{reason = \"%1\"; code = %2; statement = \"%3\"}")
                          .arg(QString::fromUtf8(sqlite3_errmsg(db)), QString::number(sqlite3_extended_errcode(db)),
                               statement));
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
