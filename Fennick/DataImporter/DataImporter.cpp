#include "Fennick/DataImporter/DataImporter.h"

#include "Fennick/Account.h"
#include "Fennick/AccountRow.h"
#include "Fennick/Analytics.h"
#include "Fennick/Connect/ConnectAPI.h"
#include "Fennick/DataImporter/InternetDate.h"
#include "Fennick/LanguageDetector.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/WorkerPools.h"
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
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace Fennick {

using platform::store::Context;
using platform::store::FetchRequest;
using platform::store::ObjectId;
using platform::store::Predicate;

namespace {

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

// Parent rows of one merge, looked up afresh in every context step and never kept across steps.
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

// Found by identifier within the parent, where the store keeps one row per identifier; a fetch
// reads the row again, so its values are current (hasSyncedOnce decides what counts as new).
ManagedApp *appRow(Context &c, ManagedAccount *account, const QString &identifier)
{
    const QList<ManagedApp *> rows = c.fetch(ManagedApp::fetchRequest()
                                                 .where(ManagedApp::Keys::identifier == identifier)
                                                 .where(ManagedApp::Keys::account == account));
    if (rows.isEmpty())
        throw ImportError::missingApp(identifier);
    return rows.first();
}

ManagedAppVersion *versionRow(Context &c, ManagedApp *app, const QString &identifier)
{
    const QList<ManagedAppVersion *> rows = c.fetch(ManagedAppVersion::fetchRequest()
                                                        .where(ManagedAppVersion::Keys::identifier == identifier)
                                                        .where(ManagedAppVersion::Keys::app == app));
    if (rows.isEmpty())
        throw ImportError::missingVersion(identifier);
    return rows.first();
}

// The values that rows must hold for their server items to count as unchanged: per compared
// attribute, a text (as the store keeps it, UTF-8), a number, or anything at all where the item
// decides nothing. Worked out before the context step, on the app's own thread, and packed into
// a few blocks, since the comparison runs on the context's thread, which every app shares.
class Expectations {
public:
    void text(const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        m_values.push_back({Value::Text, qint32(m_bytes.size()), qint32(utf8.size()), 0});
        m_bytes.append(utf8);
    }
    void number(qint64 value) { m_values.push_back({Value::Number, 0, 0, value}); }
    void anything() { m_values.push_back({Value::Anything, 0, 0, 0}); }

    // Appends a text that is no value, and returns where it went.
    std::pair<qint32, qint32> keep(const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        const std::pair<qint32, qint32> place{qint32(m_bytes.size()), qint32(utf8.size())};
        m_bytes.append(utf8);
        return place;
    }
    QByteArrayView bytes(qint32 offset, qint32 size) const { return QByteArrayView(m_bytes.constData() + offset, size); }
    qint32 valueCount() const { return qint32(m_values.size()); }

    // Whether the row's attributes from `attribute` on hold the values from `first` on, `count`
    // of them. An absent text differs from every text, as the update step sees it.
    bool match(const platform::store::RowView &row, int attribute, qint32 first, qint32 count) const
    {
        for (qint32 i = 0; i < count; ++i, ++attribute) {
            const Value &value = m_values[size_t(first + i)];
            switch (value.kind) {
            case Value::Text: {
                if (row.isNull(attribute))
                    return false;
                const QByteArrayView stored = row.bytes(attribute);
                if (stored.size() != value.size
                    || std::memcmp(stored.data(), m_bytes.constData() + value.offset, size_t(value.size)) != 0)
                    return false;
                break;
            }
            case Value::Number:
                if (row.integer(attribute) != value.number)
                    return false;
                break;
            case Value::Anything:
                break;
            }
        }
        return true;
    }

private:
    struct Value {
        enum Kind : qint32 { Anything, Text, Number };
        Kind kind;
        qint32 offset;
        qint32 size;
        qint64 number;
    };
    QByteArray m_bytes;
    std::vector<Value> m_values;
};

// The three levels of the merge: entity, server record, parent rows, scope, create and update.
// `compared` names the attributes that update() may change and `expected` gives their values
// for an item, so that unchanged rows are found from the stored values alone, without
// building objects.

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
    static void expect(const ServerApp &item, Expectations &values) { values.text(item.attributes.name); }
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

    ObjectId accountId;
    QString appIdentifier;

    Parent parent(Context &c)
    {
        ManagedAccount *account = accountRow(c, accountId);
        return {account, appRow(c, account, appIdentifier)};
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
    static void expect(const ServerAppVersion &, Expectations &) {}
    void update(ManagedAppVersion &, const ServerAppVersion &, const Parent &) {}
};

struct ReviewLevel {
    using Entity = ManagedReview;
    using Item = ServerAppReview;
    using Parent = ReviewContext;
    static constexpr bool updates = true;

    ObjectId accountId;
    QString appIdentifier;
    QString versionIdentifier;
    int &newReviews;

    // Worked out before the context step where possible, so that language detection does not
    // hold the context's thread, which every app shares.
    struct Derived {
        std::optional<QDateTime> created;
        std::optional<QString> language;
    };
    QHash<QString, Derived> derived;

    static Derived derive(const ServerAppReview &review)
    {
        return {parseInternetDateTime(review.attributes.createdDate),
                LanguageDetector::dominantLanguage(review.attributes.body)};
    }

    Parent parent(Context &c)
    {
        ManagedAccount *account = accountRow(c, accountId);
        ManagedApp *app = appRow(c, account, appIdentifier);
        return {account, app, versionRow(c, app, versionIdentifier)};
    }
    Predicate scope(const Parent &p) const { return ManagedReview::Keys::version == p.version; }

    void prepare(const QList<const Item *> &inserts)
    {
        for (const ServerAppReview *review : inserts)
            derived.insert(review->id, derive(*review));
    }

    // Runs inside the write step, so a review is counted new by the one program that inserts it.
    void create(ManagedReview &row, const ServerAppReview &item, const Parent &p)
    {
        const auto known = derived.constFind(item.id);
        const Derived extra = known != derived.cend() ? *known : derive(item);
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
    // A review without a response keeps whatever response the store holds.
    static void expect(const ServerAppReview &item, Expectations &values)
    {
        values.text(item.attributes.body);
        values.text(item.attributes.title);
        values.number(item.attributes.rating);
        if (item.resolvedResponse) {
            values.text(item.resolvedResponse->attributes.responseBody);
            values.text(item.resolvedResponse->id);
        } else {
            values.anything();
            values.anything();
        }
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
    template <class F>
    auto perform(F block)
    {
        return m_context->perform([this, block = std::move(block)](Context &c) mutable {
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

// A level's server list, the first item of each identifier standing for it, in server order,
// with the values that its row must hold.
template <class Level>
class ServerList {
public:
    using Item = typename Level::Item;

    explicit ServerList(const QList<Item> &items)
    {
        m_entries.reserve(size_t(items.size()));
        qsizetype slotCount = 4;
        while (slotCount < 2 * items.size())
            slotCount *= 2;
        m_slots.assign(size_t(slotCount), -1);
        for (const Item &item : items) {
            const auto [offset, size] = m_values.keep(item.id);
            if (find(m_values.bytes(offset, size)) >= 0)
                continue;
            const qint32 index = qint32(m_entries.size());
            const qint32 first = m_values.valueCount();
            Level::expect(item, m_values);
            m_entries.push_back({&item, offset, size, first, m_values.valueCount() - first});
            m_slots[slotOf(m_values.bytes(offset, size))] = index;
        }
    }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    const Item *item(qsizetype index) const { return m_entries[size_t(index)].item; }
    // The position of the item with this identifier (UTF-8), or -1. Rows mostly come back in
    // the order they were inserted, which is the server's: the item after `previous` is tried
    // first.
    qsizetype find(QByteArrayView identifier, qsizetype previous = -1) const
    {
        if (previous + 1 < size() && isAt(previous + 1, identifier))
            return previous + 1;
        const qint32 index = m_slots[slotOf(identifier)];
        return index >= 0 ? index : -1;
    }
    // Whether the row's compared attributes, from `first` on, hold what the item expects.
    bool matches(qsizetype index, const platform::store::RowView &row, int first) const
    {
        const Entry &entry = m_entries[size_t(index)];
        return m_values.match(row, first, entry.firstValue, entry.valueCount);
    }

private:
    struct Entry {
        const Item *item;
        qint32 idOffset;
        qint32 idSize;
        qint32 firstValue;
        qint32 valueCount;
    };
    bool isAt(qsizetype index, QByteArrayView identifier) const
    {
        const Entry &entry = m_entries[size_t(index)];
        return entry.idSize == identifier.size()
               && std::memcmp(m_values.bytes(entry.idOffset, entry.idSize).data(), identifier.data(), size_t(entry.idSize)) == 0;
    }
    // The slot of the identifier's item, or the empty slot where it would go (open addressing).
    size_t slotOf(QByteArrayView identifier) const
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = qHash(identifier) & mask;; slot = (slot + 1) & mask) {
            if (m_slots[slot] < 0 || isAt(m_slots[slot], identifier))
                return slot;
        }
    }

    Expectations m_values;
    std::vector<Entry> m_entries;
    std::vector<qint32> m_slots;
};

// What a merge changes in one parent, worked out from a read of the rows in scope.
template <class Level>
struct Changes {
    using Item = typename Level::Item;
    QList<ObjectId> deletes;
    QList<const Item *> inserts;
    QList<std::pair<ObjectId, const Item *>> updates;

    bool isEmpty() const { return deletes.isEmpty() && inserts.isEmpty() && updates.isEmpty(); }
};

// Reads the identifier and compared values of every row in scope (rows without an identifier
// are left alone) and compares them with the server's list: rows the server no longer lists go,
// new items come in, rows whose values differ are updated. Nothing is built for a row that
// stays as it is.
template <class Level>
Changes<Level> compareWithServer(Context &c, const Predicate &scope, const ServerList<Level> &server)
{
    using Entity = typename Level::Entity;
    const QStringList attributes = QStringList{Entity::Keys::identifier.name()} + Level::compared();
    Changes<Level> changes;
    std::vector<bool> stored(size_t(server.size()), false);
    qsizetype previous = -1;
    c.forEachRow(FetchRequest<Entity>().where(scope), attributes, [&](const platform::store::RowView &row) {
        if (row.isNull(0))
            return;
        const qsizetype index = server.find(row.bytes(0), previous);
        previous = index;
        if (index < 0) {
            changes.deletes.append(row.id());
            return;
        }
        stored[size_t(index)] = true;
        if (Level::updates && !server.matches(index, row, 1))
            changes.updates.append({row.id(), server.item(index)});
    });
    for (qsizetype i = 0; i < server.size(); ++i) {
        if (!stored[size_t(i)])
            changes.inserts.append(server.item(i));
    }
    return changes;
}

// Applies the changes under the store's write lock, worked out again there: another program
// may have written the same items since the first look. One save; a failure leaves nothing of
// the level behind in the context, so a sibling's save cannot carry half of it into the store.
template <class Level>
void applyChanges(Context &c, const ServerList<Level> &server, Level &level)
{
    using Entity = typename Level::Entity;
    try {
        c.saveAtomically([&](Context &c) {
            const typename Level::Parent parent = level.parent(c);
            const Changes<Level> changes = compareWithServer<Level>(c, level.scope(parent), server);
            for (const ObjectId &id : changes.deletes) {
                if (platform::store::ManagedObject *row = c.existingObject(id))
                    c.deleteObject(row);
            }
            for (const typename Level::Item *item : changes.inserts)
                level.create(*c.insert<Entity>(), *item, parent);
            for (const auto &[id, item] : changes.updates) {
                if (Entity *row = c.existingObject<Entity>(id))
                    level.update(*row, *item, parent);
            }
        });
        // No step keeps rows for a later one, and a first import brings tens of thousands of
        // them: the context lets go of every one once they are saved.
        c.reset();
    } catch (...) {
        c.rollback();
        throw;
    }
}

// Makes the rows of one level in one parent match the server's list, in two halves, so that the
// caller can wait on the network while the first look runs: the look starts on the run's context
// at once and reads without locking anyone out; finish() waits for it and writes what it found.
// Most runs change little, and then nothing is written.
template <class Level>
class PendingSync {
public:
    PendingSync(StoreSteps &store, const QList<typename Level::Item> &items, Level level)
        : m_store(store), m_items(items), m_server(m_items), m_level(std::move(level))
    {
        m_planned = store.perform([this](Context &c) {
            return compareWithServer<Level>(c, m_level.scope(m_level.parent(c)), m_server);
        });
    }
    PendingSync(const PendingSync &) = delete;
    PendingSync &operator=(const PendingSync &) = delete;
    ~PendingSync() { m_planned.waitForFinished(); }  // the look reads the list and the level

    void finish()
    {
        const Changes<Level> planned = m_planned.result();
        if (planned.isEmpty())
            return;
        m_level.prepare(planned.inserts);
        m_store.performAndWait([&](Context &c) { applyChanges(c, m_server, m_level); });
    }

private:
    StoreSteps &m_store;
    const QList<typename Level::Item> m_items;  // the server list points into it
    const ServerList<Level> m_server;
    Level m_level;
    QFuture<Changes<Level>> m_planned;
};

// Both halves at once.
template <class Level>
void syncEntities(StoreSteps &store, const QList<typename Level::Item> &items, Level level)
{
    PendingSync<Level>(store, items, std::move(level)).finish();
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
    QList<SafeAccount> readAccounts();
    int importAccount(const SafeAccount &account);
    int collectAppResults(AppResults &results, qsizetype apps);
    int importApp(const ServerApp &app, const SafeAccount &account);
    void markAppSynced(const QString &appIdentifier, const ObjectId &accountId);
};

int DataImporter::Run::importAll()
{
    QList<SafeAccount> accounts;
    try {
        accounts = readAccounts();
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

// Every account with a key. The keychain is read on the run's own thread, not the context's.
QList<SafeAccount> DataImporter::Run::readAccounts()
{
    const QList<AccountRow> rows = store.performAndWait([](Context &c) {
        QList<AccountRow> read;
        for (const ManagedAccount *row : c.fetch(ManagedAccount::fetchRequest()))
            read.append(AccountRow::of(*row));
        return read;
    });
    QList<SafeAccount> kept;
    for (const AccountRow &row : rows) {
        if (const std::optional<Credentials> credentials = row.account()->credentials())
            kept.append({row.id, *credentials});
    }
    return kept;
}

int DataImporter::Run::importAccount(const SafeAccount &account)
{
    const QList<ServerApp> apps = ConnectAPI().loadApps(account.credentials);
    syncEntities(store, apps, AppLevel{account.objectId});

    const auto results = std::make_shared<AppResults>();
    for (const ServerApp &app : apps) {
        WorkerPools::importApps().start([self = shared_from_this(), app, account, results]() mutable {
            AppResult result;
            try {
                result.count = self->importApp(app, account);
            } catch (...) {
                result.error = std::current_exception();
            }
            self.reset();  // the run may end as soon as its last result is in
            results->push(std::move(result));
        });
    }
    return collectAppResults(*results, apps.size());
}

int DataImporter::Run::collectAppResults(AppResults &results, qsizetype apps)
{
    int total = 0;
    for (qsizetype finished = 0; finished < apps; ++finished) {
        const AppResult result = results.take();
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
    // Every app of the account shares the run's context: each level is compared there while the
    // next list is on its way. A version's reviews are looked at once the versions are written.
    PendingSync<VersionLevel> versionSync(store, versions, VersionLevel{account.objectId, app.id});
    bool versionsWritten = false;
    const auto writeVersions = [&] {
        if (!std::exchange(versionsWritten, true))
            versionSync.finish();
    };

    int newReviews = 0;
    const QString lastVersion = versions.isEmpty() ? QString() : versions.last().id;
    std::optional<PendingSync<ReviewLevel>> pending;
    for (const ServerAppVersion &version : versions) {
        if (onlySyncLastVersion && version.id != lastVersion)
            continue;
        QList<ServerAppReview> reviews;
        try {
            reviews = api.loadAppVersionReviews(version.id, account.credentials);
        } catch (...) {
            // The lists that came before the failure are written all the same.
            writeVersions();
            if (pending)
                pending->finish();
            throw;
        }
        writeVersions();
        if (pending)
            pending->finish();
        pending.emplace(store, reviews, ReviewLevel{account.objectId, app.id, version.id, newReviews, {}});
    }
    writeVersions();
    if (pending)
        pending->finish();
    pending.reset();
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
                                                         .where(ManagedApp::Keys::account == account));
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
    return QtConcurrent::run(&WorkerPools::importRuns(), [run = d]() mutable {
        const int found = run->importAll();
        // Without the importer, the run (and its store connection) ends here, before the
        // result is out: a program may quit as soon as it has it.
        run.reset();
        return found;
    });
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
