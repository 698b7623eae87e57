#pragma once

#include "platform/store/Model.h"

#include <QSqlDatabase>

namespace platform::store {

// What one schema step of a store file may do, inside the transaction that opens the file. A
// failure throws StoreError and leaves the file as it was.
class MigrationStep {
public:
    MigrationStep(QSqlDatabase &db, const Model &model, QString path);

    // The file's connection, for statements of the step's own.
    QSqlDatabase &database() { return m_db; }
    // The model the file is being brought to.
    const Model &model() const { return m_model; }

    // Runs one statement.
    void exec(const QString &statement);
    // Rebuilds every table of the model to its current layout (columns, keys that are never
    // given twice, indexes and unique constraints), keeping every row with its key. Rows that a
    // unique constraint forbids are folded into the oldest row (the lowest key) of their
    // identifier first: their children move to it and they go. The tables are rebuilt owners
    // first, so children moved by one fold are folded in turn.
    void rebuildTables();

private:
    void foldDuplicates(const EntityDescription &entity);

    QSqlDatabase &m_db;
    const Model &m_model;
    QString m_path;
};

}  // namespace platform::store
