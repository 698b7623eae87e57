#include "Fennick/DataImporter/DataImporter.h"

#include "Fennick/Account.h"
#include "Fennick/Analytics.h"
#include "Fennick/Connect/ConnectAPI.h"
#include "Fennick/DataImporter/InternetDate.h"
#include "Fennick/LanguageDetector.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "platform/ThreadPools.h"
#include "platform/store/Context.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QScopeGuard>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace Fennick {

using platform::store::Context;
using platform::store::FetchRequest;
using platform::store::ObjectId;
using platform::store::Predicate;

namespace {

// One page lists at most 200 apps, so this cap never holds an app back; network calls are
// synchronous, so each running app needs a thread of its own.
constexpr int maxAppTasks = 200;

QThreadPool *appPool()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("DataImporter apps"), maxAppTasks);
    return pool;
}

// Runs of importData(): each waits for its app tasks, so they live apart from them.
QThreadPool *runPool()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("DataImporter runs"), 4);
    return pool;
}

platform::Error asError(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &exception) {
        return platform::Error::from(exception);
    } catch (...) {
        return platform::Error(QStringLiteral("std::exception"), 1, QStringLiteral("Unknown error"));
    }
}

struct SafeAccount {
    ObjectId objectId;
    Credentials credentials;
};

// Parent rows of one merge, built in every context step from object ids (found by identifier
// the first time) and never kept across steps.
struct AccountContext {
    ManagedAccount *account = nullptr;
};
struct VersionContext {
    ManagedAccount *account = nullptr;
    ManagedApp *app = nullptr;
};
struct ReviewContext {
    ManagedAccount *account = nullptr;
    ManagedApp *app = nullptr;
    ManagedAppVersion *version = nullptr;
};

ManagedAccount *accountRow(Context &c, const ObjectId &id)
{
    ManagedAccount *row = c.existingObject<ManagedAccount>(id);
    if (!row)
        throw ImportError::missingAccount();
    return row;
}

// Scoped to the account: two accounts may list the same app, each with a row of its own.
ManagedApp *appRow(Context &c, ManagedAccount *account, const QString &identifier)
{
    const QList<ManagedApp *> rows = c.fetch(ManagedApp::fetchRequest()
                                                 .where(ManagedApp::Keys::identifier == identifier)
                                                 .where(ManagedApp::Keys::account == account)
                                                 .limit(1));
    if (rows.isEmpty())
        throw ImportError::missingApp(identifier);
    return rows.first();
}

ManagedAppVersion *versionRow(Context &c, ManagedApp *app, const QString &identifier)
{
    const QList<ManagedAppVersion *> rows = c.fetch(ManagedAppVersion::fetchRequest()
                                                        .where(ManagedAppVersion::Keys::identifier == identifier)
                                                        .where(ManagedAppVersion::Keys::app == app)
                                                        .limit(1));
    if (rows.isEmpty())
        throw ImportError::missingVersion(identifier);
    return rows.first();
}

// Rows one app task has found, so that later steps reach them by object id. Touched only by
// that task's steps, which run one at a time.
struct AppRows {
    ObjectId account;
    QString appIdentifier;
    std::optional<ObjectId> app;
    QHash<QString, ObjectId> versions;

    ManagedApp *appIn(Context &c, ManagedAccount *accountRow)
    {
        if (app) {
            if (ManagedApp *row = c.existingObject<ManagedApp>(*app))
                return row;
            throw ImportError::missingApp(appIdentifier);
        }
        ManagedApp *row = appRow(c, accountRow, appIdentifier);
        app = row->objectId();
        return row;
    }

    ManagedAppVersion *versionIn(Context &c, ManagedApp *appRow, const QString &identifier)
    {
        if (const auto known = versions.constFind(identifier); known != versions.cend()) {
            if (ManagedAppVersion *row = c.existingObject<ManagedAppVersion>(*known))
                return row;
        }
        return versionRow(c, appRow, identifier);
    }
};

// The three levels of the merge: entity, server record, parent rows, scope, create and update.
// `compared` names the attributes that update() may change, so that unchanged rows are found
// from their values alone, without building objects.

struct AppLevel {
    using Entity = ManagedApp;
    using Item = ServerApp;
    using Parent = AccountContext;
    static constexpr bool updates = true;

    ObjectId accountId;

    Parent parent(Context &c) { return {accountRow(c, accountId)}; }
    Predicate scope(const Parent &p) const { return ManagedApp::Keys::account == p.account; }
    void prepare(const QList<const Item *> &) {}
    void create(ManagedApp &row, const ServerApp &item, const Parent &p)
    {
        row.setIdentifier(item.id);
        row.setTimestamp(QDateTime::currentDateTimeUtc());
        row.setName(item.attributes.name);
        row.setAccount(p.account);
    }
    static QStringList compared() { return {ManagedApp::Keys::name.name()}; }
    static bool differs(const QVariantList &stored, const ServerApp &item)
    {
        return !stored.value(0).isValid() || stored.value(0).toString() != item.attributes.name;
    }
    void update(ManagedApp &row, const ServerApp &item, const Parent &)
    {
        if (row.name() != item.attributes.name)
            row.setName(item.attributes.name);
    }
};

struct VersionLevel {
    using Entity = ManagedAppVersion;
    using Item = ServerAppVersion;
    using Parent = VersionContext;
    static constexpr bool updates = false;

    AppRows &rows;

    Parent parent(Context &c)
    {
        ManagedAccount *account = accountRow(c, rows.account);
        return {account, rows.appIn(c, account)};
    }
    Predicate scope(const Parent &p) const { return ManagedAppVersion::Keys::app == p.app; }
    void prepare(const QList<const Item *> &) {}
    void create(ManagedAppVersion &row, const ServerAppVersion &item, const Parent &p)
    {
        row.setIdentifier(item.id);
        row.setTimestamp(QDateTime::currentDateTimeUtc());
        row.setVersion(item.attributes.versionString);
        row.setApp(p.app);
        row.setAccount(p.account);
    }
    static QStringList compared() { return {}; }
    static bool differs(const QVariantList &, const ServerAppVersion &) { return false; }
    void update(ManagedAppVersion &, const ServerAppVersion &, const Parent &) {}
};

struct ReviewLevel {
    using Entity = ManagedReview;
    using Item = ServerAppReview;
    using Parent = ReviewContext;
    static constexpr bool updates = true;

    AppRows &rows;
    QString versionIdentifier;
    int &newReviews;

    // Worked out before the context step, so that language detection does not hold the
    // context's thread, which every app shares.
    struct Derived {
        std::optional<QDateTime> created;
        std::optional<QString> language;
    };
    QHash<QString, Derived> derived;

    Parent parent(Context &c)
    {
        ManagedAccount *account = accountRow(c, rows.account);
        ManagedApp *app = rows.appIn(c, account);
        return {account, app, rows.versionIn(c, app, versionIdentifier)};
    }
    Predicate scope(const Parent &p) const { return ManagedReview::Keys::version == p.version; }

    void prepare(const QList<const Item *> &inserts)
    {
        for (const ServerAppReview *review : inserts)
            derived.insert(review->id, {parseInternetDateTime(review->attributes.createdDate),
                                        LanguageDetector::dominantLanguage(review->attributes.body)});
    }

    void create(ManagedReview &row, const ServerAppReview &item, const Parent &p)
    {
        const Derived extra = derived.value(item.id);
        row.setIdentifier(item.id);
        row.setTimestamp(QDateTime::currentDateTimeUtc());
        row.setBody(item.attributes.body);
        row.setTitle(item.attributes.title);
        row.setCreated(extra.created);
        row.setNickname(item.attributes.reviewerNickname);
        row.setRating(item.attributes.rating);
        row.setTerritory(item.attributes.territory);
        row.setVersion(p.version);
        row.setAccount(p.account);
        row.setApp(p.app);
        const bool synced = p.app->hasSyncedOnce();
        row.setIsNew(synced);
        if (item.resolvedResponse) {
            row.setResponseText(item.resolvedResponse->attributes.responseBody);
            row.setResponseIdentifier(item.resolvedResponse->id);
        }
        if (extra.language)
            row.setLanguage(extra.language);
        if (synced)
            ++newReviews;
    }

    static QStringList compared()
    {
        return {QStringLiteral("body"), QStringLiteral("title"), QStringLiteral("rating"),
                QStringLiteral("responseText"), QStringLiteral("responseIdentifier")};
    }
    static bool differs(const QVariantList &stored, const ServerAppReview &item)
    {
        const auto differsText = [&](int index, const QString &value) {
            return !stored.value(index).isValid() || stored.value(index).toString() != value;
        };
        if (differsText(0, item.attributes.body) || differsText(1, item.attributes.title)
            || stored.value(2).toLongLong() != item.attributes.rating)
            return true;
        return item.resolvedResponse
               && (differsText(3, item.resolvedResponse->attributes.responseBody)
                   || differsText(4, item.resolvedResponse->id));
    }
    void update(ManagedReview &row, const ServerAppReview &item, const Parent &)
    {
        if (row.body() != item.attributes.body)
            row.setBody(item.attributes.body);
        if (row.title() != item.attributes.title)
            row.setTitle(item.attributes.title);
        if (row.rating() != item.attributes.rating)
            row.setRating(item.attributes.rating);
        if (item.resolvedResponse) {
            if (row.responseText() != item.resolvedResponse->attributes.responseBody)
                row.setResponseText(item.resolvedResponse->attributes.responseBody);
            if (row.responseIdentifier() != item.resolvedResponse->id)
                row.setResponseIdentifier(item.resolvedResponse->id);
        }
    }
};

// The one context of a run; every step through it is timed.
class StoreSteps {
public:
    explicit StoreSteps(std::shared_ptr<Context> context) : m_context(std::move(context)) {}

    template <class F>
    auto performAndWait(F block)
    {
        return m_context->performAndWait([&](Context &c) {
            QElapsedTimer timer;
            timer.start();
            const auto addTime = qScopeGuard([&] { m_nanoseconds += timer.nsecsElapsed(); });
            return block(c);
        });
    }
    std::chrono::nanoseconds time() const { return std::chrono::nanoseconds(m_nanoseconds.load()); }

private:
    std::shared_ptr<Context> m_context;
    std::atomic<qint64> m_nanoseconds = 0;
};

// Makes the rows of one level in one parent match the server's list: rows the server no longer
// lists are deleted, new ones inserted, the others updated; one save. Two context steps: the
// first reads only identifiers and object ids, the second writes. A failure leaves nothing of
// the level behind in the context, so a sibling's save cannot carry half of it into the store.
// Returns the object id of each identifier's row after the merge.
template <class Level>
QHash<QString, ObjectId> syncEntities(StoreSteps &store, const QList<typename Level::Item> &items, Level &level)
{
    using Entity = typename Level::Entity;

    struct Existing {
        QHash<QString, ObjectId> byIdentifier;
        // Rows whose identifier another row in the scope already has (two processes inserting
        // the same item at once): only the oldest is kept.
        QList<ObjectId> surplus;
    };
    const Existing existing = store.performAndWait([&](Context &c) {
        const typename Level::Parent parent = level.parent(c);
        Existing found;
        const auto rows = c.fetchValues(FetchRequest<Entity>().where(level.scope(parent)), Entity::Keys::identifier);
        for (const auto &row : rows) {
            if (!row.value)
                continue;  // rows without an identifier are left alone
            auto known = found.byIdentifier.find(*row.value);
            if (known == found.byIdentifier.end()) {
                found.byIdentifier.insert(*row.value, row.id);
            } else if (row.id.key() < known->key()) {
                found.surplus.append(*known);
                *known = row.id;
            } else {
                found.surplus.append(row.id);
            }
        }
        return found;
    });

    // The first server item of each identifier stands for it.
    QHash<QString, qsizetype> first;
    first.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!first.contains(items[i].id))
            first.insert(items[i].id, i);
    }

    QHash<QString, ObjectId> result;
    QList<ObjectId> toDelete = existing.surplus;
    QHash<ObjectId, qsizetype> toUpdate;
    for (auto it = existing.byIdentifier.cbegin(); it != existing.byIdentifier.cend(); ++it) {
        const auto server = first.constFind(it.key());
        if (server == first.cend()) {
            toDelete.append(it.value());
        } else {
            toUpdate.insert(it.value(), server.value());
            result.insert(it.key(), it.value());
        }
    }
    QList<const typename Level::Item *> toInsert;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (first.value(items[i].id) == i && !existing.byIdentifier.contains(items[i].id))
            toInsert.append(&items[i]);
    }
    if (toDelete.isEmpty() && toInsert.isEmpty() && (!Level::updates || toUpdate.isEmpty()))
        return result;
    level.prepare(toInsert);

    store.performAndWait([&](Context &c) {
        try {
            const typename Level::Parent parent = level.parent(c);
            for (const ObjectId &id : std::as_const(toDelete)) {
                if (platform::store::ManagedObject *row = c.existingObject(id))
                    c.deleteObject(row);
            }
            QList<std::pair<QString, Entity *>> inserted;
            inserted.reserve(toInsert.size());
            for (const typename Level::Item *item : std::as_const(toInsert)) {
                Entity *row = c.insert<Entity>();
                level.create(*row, *item, parent);
                inserted.append({item->id, row});
            }
            if (Level::updates && !toUpdate.isEmpty()) {
                // Only rows whose stored values differ from the server's become objects.
                const auto stored = c.fetchRowValues(FetchRequest<Entity>().where(level.scope(parent)), Level::compared());
                for (const auto &[id, values] : stored) {
                    const auto index = toUpdate.constFind(id);
                    if (index == toUpdate.cend() || !Level::differs(values, items[*index]))
                        continue;
                    if (Entity *row = c.existingObject<Entity>(id))
                        level.update(*row, items[*index], parent);
                }
            }
            c.save();
            for (const auto &[identifier, row] : std::as_const(inserted))
                result.insert(identifier, row->objectId());
        } catch (...) {
            c.rollback();
            throw;
        }
    });
    return result;
}

struct AppResult {
    int count = 0;
    std::exception_ptr error;
};

// Results of an account's app tasks, taken by the account's loop as they finish.
class AppResults {
public:
    void push(AppResult result)
    {
        const std::lock_guard lock(m_mutex);
        m_results.push_back(std::move(result));
        m_ready.notify_one();
    }
    AppResult take()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_results.empty(); });
        AppResult result = std::move(m_results.front());
        m_results.pop_front();
        return result;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<AppResult> m_results;
};

}  // namespace

struct DataImporter::Run : std::enable_shared_from_this<DataImporter::Run> {
    Run(std::shared_ptr<Context> context, bool onlySyncLastVersion)
        : store(std::move(context)), onlySyncLastVersion(onlySyncLastVersion)
    {
    }

    StoreSteps store;
    const bool onlySyncLastVersion;

    int importAll();
    int importAccount(const SafeAccount &account);
    int importApp(const ServerApp &app, const SafeAccount &account);
    void markAppSynced(const QString &appIdentifier, const ObjectId &accountId);
};

int DataImporter::Run::importAll()
{
    QList<SafeAccount> accounts;
    try {
        accounts = store.performAndWait([](Context &c) {
            QList<SafeAccount> kept;
            for (const ManagedAccount *row : c.fetch(ManagedAccount::fetchRequest())) {
                const Account account(*row);
                if (const std::optional<Credentials> credentials = account.credentials())
                    kept.append({row->objectId(), *credentials});
            }
            return kept;
        });
    } catch (...) {
        const platform::Error error = asError(std::current_exception());
        TrackError(error, QStringLiteral("StartImportAccount"));
        qCCritical(Log::importer(), "Could not start importing: %s", qUtf8Printable(error.localizedDescription()));
        return 0;
    }

    int total = 0;
    for (const SafeAccount &account : std::as_const(accounts)) {
        try {
            total += importAccount(account);
        } catch (...) {
            const platform::Error error = asError(std::current_exception());
            TrackError(error, QStringLiteral("ImportAccount"));
            qCCritical(Log::importer(), "Could not import account: %s", qUtf8Printable(error.localizedDescription()));
        }
    }
    return total;
}

int DataImporter::Run::importAccount(const SafeAccount &account)
{
    const QList<ServerApp> apps = ConnectAPI().loadApps(account.credentials);
    AppLevel level{account.objectId};
    syncEntities(store, apps, level);

    const auto results = std::make_shared<AppResults>();
    const std::shared_ptr<Run> self = shared_from_this();
    for (const ServerApp &app : apps) {
        appPool()->start([self, app, account, results] {
            AppResult result;
            try {
                result.count = self->importApp(app, account);
            } catch (...) {
                result.error = std::current_exception();
            }
            results->push(std::move(result));
        });
    }

    int total = 0;
    for (qsizetype finished = 0; finished < apps.size(); ++finished) {
        const AppResult result = results->take();
        if (!result.error) {
            qCInfo(Log::importer(), "Finished downloading data for app");
            total += result.count;
            continue;
        }
        const platform::Error error = asError(result.error);
        if (!isUnreportedNetworkCode(error.code()))
            TrackEvent(QStringLiteral("ErrorDownloadApp"), {{QStringLiteral("message"), error.localizedDescription()}});
        qCCritical(Log::importer(), "Failed downloading data for app: %s", qUtf8Printable(error.localizedDescription()));
    }
    return total;
}

int DataImporter::Run::importApp(const ServerApp &app, const SafeAccount &account)
{
    const ConnectAPI api;
    const QList<ServerAppVersion> versions = api.loadAppVersions(app.id, account.credentials);
    AppRows rows{account.objectId, app.id, std::nullopt, {}};
    VersionLevel versionLevel{rows};
    rows.versions = syncEntities(store, versions, versionLevel);

    int newReviews = 0;
    const QString lastVersion = versions.isEmpty() ? QString() : versions.last().id;
    for (const ServerAppVersion &version : versions) {
        if (onlySyncLastVersion && version.id != lastVersion)
            continue;
        const QList<ServerAppReview> reviews = api.loadAppVersionReviews(version.id, account.credentials);
        ReviewLevel reviewLevel{rows, version.id, newReviews, {}};
        syncEntities(store, reviews, reviewLevel);
    }
    markAppSynced(app.id, account.objectId);
    return newReviews;
}

void DataImporter::Run::markAppSynced(const QString &appIdentifier, const ObjectId &accountId)
{
    store.performAndWait([&](Context &c) {
        try {
            ManagedAccount *account = c.existingObject<ManagedAccount>(accountId);
            if (!account)
                return;
            const QList<ManagedApp *> rows = c.fetch(ManagedApp::fetchRequest()
                                                         .where(ManagedApp::Keys::identifier == appIdentifier)
                                                         .where(ManagedApp::Keys::account == account)
                                                         .limit(1));
            if (!rows.isEmpty() && !rows.first()->hasSyncedOnce())
                rows.first()->setHasSyncedOnce(true);
            c.save();
        } catch (...) {
            c.rollback();
            throw;
        }
    });
}

DataImporter::DataImporter(std::shared_ptr<Context> context, bool onlySyncLastVersion)
    : d(std::make_shared<Run>(std::move(context), onlySyncLastVersion))
{
}

DataImporter::~DataImporter() = default;

QFuture<int> DataImporter::importData()
{
    return QtConcurrent::run(runPool(), [run = d] { return run->importAll(); });
}

int DataImporter::importDataAndWait()
{
    Q_ASSERT_X(!QCoreApplication::instance() || QThread::currentThread() != QCoreApplication::instance()->thread(),
               "DataImporter::importDataAndWait", "the download would block the GUI thread");
    return d->importAll();
}

std::chrono::nanoseconds DataImporter::storeTime() const
{
    return d->store.time();
}

QThreadPool &DataImporter::appTaskPool()
{
    return *appPool();
}

ImportError::ImportError(const QString &description) : platform::Error(errorDomain, MissingRow, description) {}

ImportError ImportError::missingAccount()
{
    return ImportError(QStringLiteral("The account is no longer in the store."));
}

ImportError ImportError::missingApp(const QString &identifier)
{
    return ImportError(QStringLiteral("The app %1 is no longer in the store.").arg(identifier));
}

ImportError ImportError::missingVersion(const QString &identifier)
{
    return ImportError(QStringLiteral("The app version %1 is no longer in the store.").arg(identifier));
}

}  // namespace Fennick
