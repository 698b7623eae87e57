#pragma once

#include "platform/Error.h"

#include <QFuture>
#include <chrono>
#include <memory>

namespace platform::store {
class Context;
}

namespace Fennick {

// One full download from App Store Connect into the store: for every account with a key, its
// apps, each app's versions and each version's newest reviews, merged level by level by server
// identifier, so that the store mirrors what the server lists. Accounts go one after another,
// the apps of an account at the same time, the versions of an app one after another. All store
// work runs inside the context's own thread; network calls run on the importer's worker
// threads. Another program may import into the same file at the same time: each level decides
// between insert and update under the store's write lock, so every item is stored once and
// every new review is counted by exactly one of the two. Serves one run.
class DataImporter {
public:
    // `context` is a background context that this run uses for every store operation.
    // With `onlySyncLastVersion`, reviews come only for the last version the server lists.
    DataImporter(std::shared_ptr<platform::store::Context> context, bool onlySyncLastVersion);
    ~DataImporter();
    DataImporter(const DataImporter &) = delete;
    DataImporter &operator=(const DataImporter &) = delete;

    // Starts the download on the importer's own threads and returns at once; the importer may
    // be dropped meanwhile. The future gives the number of new reviews and never an error:
    // failures are logged and reported here.
    QFuture<int> importData();
    // The same download on the calling thread, blocked until it ends. Never on the GUI thread.
    int importDataAndWait();

    // Time spent inside the context's steps (store work) so far, for benchmarks.
    std::chrono::nanoseconds storeTime() const;

private:
    struct Run;
    std::shared_ptr<Run> d;
};

// A parent row of a merge that is not (or no longer) in the store, e.g. an account deleted
// while its import runs. It fails the level like any other error.
class ImportError : public platform::Error {
public:
    enum Code : qint64 { MissingRow = 1 };
    static inline const QString errorDomain = QStringLiteral("Fennick.DataImporter");

    static ImportError missingAccount();
    static ImportError missingApp(const QString &identifier);
    static ImportError missingVersion(const QString &identifier);

    void raise() const override { throw *this; }
    ImportError *clone() const override { return new ImportError(*this); }

private:
    explicit ImportError(const QString &description);
};

}  // namespace Fennick
