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
    // Brings the indexes of every table to the model: indexes the model no longer names go and
    // missing ones are made. Rows that a new unique constraint forbids are first folded into the
    // oldest row (the lowest key) of their value: their children move to it and they go. Owners
    // are folded first, so children moved by one fold are folded in turn. Search indexes that
    // are missing, or were made otherwise, are made and filled from the rows.
    void updateIndexes();
    // The search indexes alone, as above. An index whose table is as the model makes it keeps
    // its rows; only its triggers are brought to the model.
    void updateSearchIndexes();

private:
    void foldDuplicates(const EntityDescription &entity);
    void updateSearchIndex(const EntityDescription &entity);

    QSqlDatabase &m_db;
    const Model &m_model;
    QString m_path;
};

}  // namespace platform::store
