// The application's models on a large store: 3 accounts, 60 apps and 300,000 reviews, of which
// one app holds 20,000. Prints each figure with its target; asserts nothing.
//   app_bench [figure ...]      (no names: every figure, in the order of the table in main())
// Every figure is one function taking the bench; a new figure is one more row of that table.
// The program runs in a throwaway home folder with the in-memory keychain, the offscreen
// platform and local fake servers, so it touches none of the user's files or services.

#include "app/models/AccountDetailsViewModel.h"
#include "app/models/AccountSummaryViewModel.h"
#include "app/models/AccountsViewModel.h"
#include "app/models/AppSummaryViewModel.h"
#include "app/models/MainViewModel.h"
#include "app/models/ReviewListModel.h"
#include "app/views/AppSummaryView.h"
#include "app/views/ReviewListView.h"

#include "Fennick/Account.h"
#include "Fennick/Endpoints.h"
#include "Fennick/GroupSettings.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/ReferenceDate.h"
#include "platform/keychain/Keychain.h"
#include "platform/store/TextFolding.h"

#include "FakeConnectServer.h"
#include "FakeLookupServer.h"
#include "ReviewText.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <unistd.h>

using namespace Fennick;

namespace {

constexpr int accountCount = 3;
constexpr int appsPerAccount = 20;
constexpr int versionsPerApp = 10;
constexpr int reviewCount = 300000;
constexpr int bigAppReviews = 20000;
constexpr int runsPerFigure = 5;

// What the figures need to know about the store they run on.
struct Bench {
    platform::store::ObjectId bigApp;      // the app with 20,000 reviews
    platform::store::ObjectId bigAccount;  // its account
    QString bigAppIdentifier;
    QString searchText = QStringLiteral("crash");  // in about 1 % of the reviews
};

// Waits for the future while the GUI thread's event loop turns, as it does in the program.
template <class T>
void waitTurning(const QFuture<T> &future)
{
    if (future.isFinished())
        return;
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
}

void turnFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// A target of 0 prints none (a part of a figure).
void printSamples(const char *what, QList<double> ms, double target)
{
    const double first = ms.first();
    std::sort(ms.begin(), ms.end());
    std::printf("%s: first %.1f ms, min %.1f, median %.1f, max %.1f over %lld runs", what, first, ms.first(),
                ms[ms.size() / 2], ms.last(), static_cast<long long>(ms.size()));
    if (target > 0)
        std::printf(" (target < %.0f ms)", target);
    std::printf("\n");
}

// Measures how long the GUI thread goes without turning its event loop: the gaps between the
// ticks of a 5 ms timer, with the GUI thread's own processor time in each gap, which tells work
// from waiting for a core on a busy machine.
class StallProbe {
public:
    explicit StallProbe(const QElapsedTimer &clock) : m_clock(clock)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_lastTick = m_clock.nsecsElapsed();
        m_lastCpu = threadCpuNs();
        m_timer.start();
    }
    void stop()
    {
        tick();  // a stall just before the end counts too
        m_timer.stop();
    }

    double longestMs() const { return double(m_longest) / 1e6; }
    double longestCpuMs() const { return double(m_longestCpu) / 1e6; }
    double longestEndMs() const { return double(m_longestEnd) / 1e6; }
    double mostWorkMs() const { return double(m_mostWork) / 1e6; }
    qint64 ticks() const { return m_ticks; }
    qint64 gapsOver(double ms) const
    {
        return std::count_if(m_gaps.cbegin(), m_gaps.cend(), [ms](qint64 gap) { return double(gap) / 1e6 > ms; });
    }

private:
    static qint64 threadCpuNs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        const qint64 gap = now - m_lastTick;
        if (gap > m_longest) {
            m_longest = gap;
            m_longestCpu = cpu - m_lastCpu;
            m_longestEnd = now;
        }
        m_mostWork = std::max(m_mostWork, cpu - m_lastCpu);
        if (gap > 20000000)
            m_gaps.append(gap);
        m_lastTick = now;
        m_lastCpu = cpu;
        ++m_ticks;
    }

    const QElapsedTimer &m_clock;
    QTimer m_timer;
    qint64 m_lastTick = 0, m_lastCpu = 0, m_longest = 0, m_longestCpu = 0, m_longestEnd = 0, m_mostWork = 0, m_ticks = 0;
    QList<qint64> m_gaps;  // those over 20 ms
};

// Fills the store file with plain SQL on a connection of its own: far faster than the store
// layer, and the rows are the same ones the importer would write.
Bench buildStore()
{
    Bench bench;
    const QString path = PersistenceController::storePath();
    PersistenceController::shared();  // creates the file with its schema
    QElapsedTimer timer;
    timer.start();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-fill"));
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open the store: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        QSqlQuery control(db);  // transactions, apart from the prepared inserts
        auto exec = [&control](const QString &sql) {
            if (!control.exec(sql))
                qFatal("%s: %s", qPrintable(sql), qPrintable(control.lastError().text()));
        };
        exec(QStringLiteral("PRAGMA synchronous = OFF"));
        exec(QStringLiteral("BEGIN IMMEDIATE"));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QList<qint64> accounts;
        QList<std::pair<qint64, qint64>> apps;  // app, account
        QList<QList<qint64>> versions;          // per app
        for (int a = 0; a < accountCount; ++a) {
            q.prepare(QStringLiteral("INSERT INTO \"Account\" (\"name\", \"issuerId\", \"keyId\", \"timestamp\") VALUES (?, '', '', ?)"));
            q.addBindValue(QStringLiteral("Account %1").arg(a + 1));
            q.addBindValue(now);
            if (!q.exec())
                qFatal("account: %s", qPrintable(q.lastError().text()));
            accounts.append(q.lastInsertId().toLongLong());
            for (int p = 0; p < appsPerAccount; ++p) {
                const QString identifier = QStringLiteral("%1").arg(1000000 + a * 100 + p);
                q.prepare(QStringLiteral("INSERT INTO \"App\" (\"identifier\", \"name\", \"hasSyncedOnce\", \"isHidden\", "
                                         "\"timestamp\", \"account__pk\") VALUES (?, ?, 1, 0, ?, ?)"));
                q.addBindValue(identifier);
                q.addBindValue(QStringLiteral("App %1-%2").arg(a + 1).arg(p + 1));
                q.addBindValue(now);
                q.addBindValue(accounts.last());
                if (!q.exec())
                    qFatal("app: %s", qPrintable(q.lastError().text()));
                apps.append({q.lastInsertId().toLongLong(), accounts.last()});
                if (a == 0 && p == 0)
                    bench.bigAppIdentifier = identifier;
                QList<qint64> appVersions;
                for (int v = 0; v < versionsPerApp; ++v) {
                    q.prepare(QStringLiteral("INSERT INTO \"AppVersion\" (\"identifier\", \"version\", \"timestamp\", "
                                             "\"app__pk\", \"account__pk\") VALUES (?, ?, ?, ?, ?)"));
                    q.addBindValue(identifier + QStringLiteral("-v%1").arg(v));
                    q.addBindValue(QStringLiteral("%1.0").arg(v + 1));
                    q.addBindValue(now);
                    q.addBindValue(apps.last().first);
                    q.addBindValue(accounts.last());
                    if (!q.exec())
                        qFatal("version: %s", qPrintable(q.lastError().text()));
                    appVersions.append(q.lastInsertId().toLongLong());
                }
                versions.append(appVersions);
            }
        }
        exec(QStringLiteral("COMMIT"));

        QRandomGenerator random(20240102);
        const qint64 start = QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
        q.prepare(QStringLiteral(
            "INSERT INTO \"Review\" (\"identifier\", \"timestamp\", \"body\", \"title\", \"created\", \"nickname\", "
            "\"rating\", \"territory\", \"isNew\", \"responseText\", \"responseIdentifier\", \"language\", "
            "\"account__pk\", \"app__pk\", \"version__pk\", \"body__folded\", \"title__folded\") "
            "VALUES (?, ?, ?, ?, ?, ?, ?, 'USA', ?, ?, ?, 'en', ?, ?, ?, ?, ?)"));
        for (int i = 0; i < reviewCount; ++i) {
            if (i % 5000 == 0)
                exec(QStringLiteral("BEGIN IMMEDIATE"));
            // The first 20,000 go to the big app, the rest round the other 59.
            const qsizetype app = i < bigAppReviews ? 0 : 1 + (i - bigAppReviews) % (apps.size() - 1);
            const qint64 version = versions[app][random.bounded(versionsPerApp)];
            QString titleText, bodyText;
            bench::makeReviewText(random, &titleText, &bodyText);
            const bool answered = random.bounded(3) == 0;
            q.addBindValue(QStringLiteral("review-%1").arg(i));
            q.addBindValue(now);
            q.addBindValue(bodyText);
            q.addBindValue(titleText);
            q.addBindValue(start + qint64(random.bounded(4 * 365 * 24 * 3600)) * 1000);
            q.addBindValue(QStringLiteral("user%1").arg(random.bounded(100000)));
            q.addBindValue(qint64(1 + random.bounded(5)));
            q.addBindValue(qint64(random.bounded(50) == 0 ? 1 : 0));
            q.addBindValue(answered ? QVariant(QStringLiteral("Thanks!")) : QVariant(QMetaType::fromType<QString>()));
            q.addBindValue(answered ? QVariant(QStringLiteral("response-%1").arg(i)) : QVariant(QMetaType::fromType<QString>()));
            q.addBindValue(apps[app].second);
            q.addBindValue(apps[app].first);
            q.addBindValue(version);
            q.addBindValue(platform::store::foldedForSearch(bodyText));
            q.addBindValue(platform::store::foldedForSearch(titleText));
            if (!q.exec())
                qFatal("review: %s", qPrintable(q.lastError().text()));
            if ((i + 1) % 5000 == 0 || i + 1 == reviewCount)
                exec(QStringLiteral("COMMIT"));
        }
        // Rows written here, not by the store, reach the search index in one pass.
        exec(QStringLiteral("INSERT INTO \"Review__search\" (\"Review__search\") VALUES ('rebuild')"));
        bench.bigApp = platform::store::ObjectId(PersistenceController::shared().container().storeId(), QStringLiteral("App"),
                                                 apps.first().first);
        bench.bigAccount = platform::store::ObjectId(PersistenceController::shared().container().storeId(),
                                                     QStringLiteral("Account"), accounts.first());
        q = QSqlQuery();
        control = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-fill"));
    std::printf("store: %d accounts, %d apps, %d versions, %d reviews (one app with %d), filled in %lld ms\n",
                accountCount, accountCount * appsPerAccount, accountCount * appsPerAccount * versionsPerApp, reviewCount,
                bigAppReviews, static_cast<long long>(timer.elapsed()));
    return bench;
}

// From the call to the published sections on the GUI thread, review counts included.
void sidebarLoad(Bench &)
{
    Vantorel::MainViewModel model;
    QList<double> ms;
    qsizetype apps = 0;
    for (int run = 0; run < runsPerFigure; ++run) {
        QElapsedTimer timer;
        timer.start();
        waitTurning(model.reloadSidebar());
        ms.append(double(timer.nsecsElapsed()) / 1e6);
        apps = 0;
        for (const AccountWithApps &section : model.accountsWithApps())
            apps += section.apps.size();
    }
    std::printf("  (%lld sections, %lld apps listed)\n", static_cast<long long>(model.accountsWithApps().size()),
                static_cast<long long>(apps));
    printSamples("sidebar load", ms, 150);
}

// From the call to the records on the GUI thread. A model starts one load of its own 0.5 s after
// it is made or its search changes; the figures wait that out so that no two loads overlap.
template <class Load>
QList<double> timeLoads(Load load)
{
    turnFor(700);
    QList<double> ms;
    for (int run = 0; run < runsPerFigure; ++run) {
        QElapsedTimer timer;
        timer.start();
        waitTurning(load());
        ms.append(double(timer.nsecsElapsed()) / 1e6);
        turnFor(700);
    }
    return ms;
}

void summaryLoads(Bench &bench)
{
    {
        Vantorel::AppSummaryViewModel model(
            StoreApp{bench.bigApp, bench.bigAppIdentifier, QStringLiteral("App 1-1"), QImage(), false});
        QList<double> ms = timeLoads([&] { return model.loadReviews(); });
        std::printf("  (%lld records)\n", static_cast<long long>(model.reviews().size()));
        printSamples("app summary review load, app with 20,000 reviews", ms, 250);

        model.setSearch(bench.searchText);
        ms = timeLoads([&] { return model.loadReviews(); });
        std::printf("  (search \"%s\": %lld records)\n", qPrintable(bench.searchText),
                    static_cast<long long>(model.reviews().size()));
        printSamples("app summary review load with a search text", ms, 150);
    }
    {
        auto account = std::make_shared<Account>(bench.bigAccount, QStringLiteral("Account 1"), QString(), QString(),
                                                 std::nullopt);
        Vantorel::AccountSummaryViewModel model(account);
        const QList<double> ms = timeLoads([&] { return model.reload(); });
        std::printf("  (%lld records)\n", static_cast<long long>(model.reviews().size()));
        printSamples("account summary load, newest 100 of the account's 110,000 reviews", ms, 30);
    }
}

// The longest gap between the ticks of a 5 ms timer on the GUI thread while a sync of the import
// benchmark's size runs (20 apps x 10 versions x 200 reviews, 20 ms per request), through its
// end steps, the icon refresh and the sidebar reload that its store change brings.
void syncStall(Bench &)
{
    constexpr int apps = 20, versions = 10, reviews = 200, delayMs = 20;
    fakes::FakeConnectServer server;
    const fakes::FakeAccount fake = server.addAccount();
    server.setApps(fake.issuerId, fakes::sampleApps(apps, versions, reviews, QStringLiteral("sync")));
    server.setDelay(delayMs);
    Endpoints::setBaseUrl(Endpoints::Service::connect, server.baseUrl());
    fakes::FakeLookupServer lookup;  // knows no app: every icon lookup finds nothing
    Endpoints::setBaseUrl(Endpoints::Service::lookup, lookup.baseUrl());

    auto context = PersistenceController::shared().container().newBackgroundContext();
    const auto accountId = context->performAndWait([](platform::store::Context &c) {
        auto *row = c.insert<ManagedAccount>();
        row->setName(QStringLiteral("Synced"));
        row->setIssuerId(QString());
        row->setKeyId(QString());
        c.save();
        return row->objectId();
    });
    Account(std::nullopt, QStringLiteral("Synced"), fake.issuerId, fake.keyId, fake.privateKeyPem)
        .saveToKeychain(accountId.uriString());

    Vantorel::MainViewModel model;
    waitTurning(model.reloadSidebar());

    QElapsedTimer clock;
    clock.start();
    StallProbe probe(clock);
    // When the steps happened, to place the longest stall.
    double importEnd = 0, iconsEnd = 0;
    QObject::connect(&model, &Vantorel::MainViewModel::isSyncingChanged, [&] {
        if (!model.isSyncing())
            importEnd = double(clock.nsecsElapsed()) / 1e6;
    });
    QObject::connect(&model, &Vantorel::MainViewModel::iconRefreshFinished,
                     [&] { iconsEnd = double(clock.nsecsElapsed()) / 1e6; });
    probe.start();
    waitTurning(model.sync());
    const double syncMs = double(clock.nsecsElapsed()) / 1e6;
    while (iconsEnd == 0)
        turnFor(10);
    turnFor(1000);  // the debounced sidebar reload after the store change
    probe.stop();
    std::printf("sync of %d apps x %d versions x %d reviews (%d ms per request): import done at %.0f ms, widget "
                "reload at %.0f ms, icon refresh done at %.0f ms; %lld requests, %lld probe ticks\n",
                apps, versions, reviews, delayMs, importEnd, syncMs, iconsEnd,
                static_cast<long long>(server.requestCount()), static_cast<long long>(probe.ticks()));
    std::printf("longest GUI-thread stall during the sync: %.1f ms between 5 ms ticks (%.1f ms of it working), ending "
                "at %.0f ms; %lld gaps over 50 ms (target: none over 50 ms)\n",
                probe.longestMs(), probe.longestCpuMs(), probe.longestEndMs(),
                static_cast<long long>(probe.gapsOver(50)));
    std::printf("  most GUI-thread processor time between two ticks: %.1f ms\n", probe.mostWorkMs());
}

// Copies the big account with its apps, versions and reviews (about 110,000) under a new account
// row, with plain SQL, and returns the new account's key. Keys are shifted past the highest of
// each table, so every copied row points at the copied owners.
qint64 copyBigAccount(const Bench &bench, int copy)
{
    const QString connection = QStringLiteral("bench-copy");
    qint64 account = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(PersistenceController::storePath());
        if (!db.open())
            qFatal("cannot open the store: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        auto exec = [&q](const QString &sql) {
            if (!q.exec(sql))
                qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        };
        auto value = [&](const QString &sql) {
            exec(sql);
            return q.next() ? q.value(0).toLongLong() : 0;
        };
        // INSERT ... SELECT of every column, with the key and the listed columns replaced.
        auto copyRows = [&](const QString &table, const QString &where, const QHash<QString, QString> &replaced) {
            exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table));
            QStringList columns, values;
            while (q.next()) {
                const QString column = q.value(1).toString();
                columns.append(QLatin1Char('"') + column + QLatin1Char('"'));
                values.append(replaced.value(column, QLatin1Char('"') + column + QLatin1Char('"')));
            }
            exec(QStringLiteral("INSERT INTO \"%1\" (%2) SELECT %3 FROM \"%1\" WHERE %4")
                     .arg(table, columns.join(u','), values.join(u','), where));
        };
        exec(QStringLiteral("BEGIN IMMEDIATE"));
        const qint64 source = bench.bigAccount.key();
        account = value(QStringLiteral("SELECT MAX(pk) FROM \"Account\"")) + 1;
        const qint64 appShift = value(QStringLiteral("SELECT MAX(pk) FROM \"App\""));
        const qint64 versionShift = value(QStringLiteral("SELECT MAX(pk) FROM \"AppVersion\""));
        const qint64 reviewShift = value(QStringLiteral("SELECT MAX(pk) FROM \"Review\""));
        const auto shifted = [](const char *column, qint64 by) { return QStringLiteral("\"%1\" + %2").arg(QLatin1String(column)).arg(by); };
        const QString owner = QString::number(account);
        copyRows(QStringLiteral("Account"), QStringLiteral("pk = %1").arg(source),
                 {{QStringLiteral("pk"), owner}, {QStringLiteral("name"), QStringLiteral("'Copy %1'").arg(copy)}});
        copyRows(QStringLiteral("App"), QStringLiteral("account__pk = %1").arg(source),
                 {{QStringLiteral("pk"), shifted("pk", appShift)}, {QStringLiteral("account__pk"), owner}});
        copyRows(QStringLiteral("AppVersion"), QStringLiteral("account__pk = %1").arg(source),
                 {{QStringLiteral("pk"), shifted("pk", versionShift)},
                  {QStringLiteral("app__pk"), shifted("app__pk", appShift)},
                  {QStringLiteral("account__pk"), owner}});
        copyRows(QStringLiteral("Review"), QStringLiteral("account__pk = %1").arg(source),
                 {{QStringLiteral("pk"), shifted("pk", reviewShift)},
                  {QStringLiteral("app__pk"), shifted("app__pk", appShift)},
                  {QStringLiteral("version__pk"), shifted("version__pk", versionShift)},
                  {QStringLiteral("account__pk"), owner}});
        // The store adds the rows it writes to the search index; rows copied past it are added here.
        exec(QStringLiteral("INSERT INTO \"Review__search\" (rowid, \"body__folded\", \"title__folded\") "
                            "SELECT pk, \"body__folded\", \"title__folded\" FROM \"Review\" WHERE account__pk = %1")
                 .arg(owner));
        exec(QStringLiteral("COMMIT"));
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return account;
}

// Rows of `table` that still belong to the account with key `account`, counted with plain SQL.
qint64 rowsOfAccount(const QString &table, qint64 account)
{
    const QString connection = QStringLiteral("bench-count");
    qint64 rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(PersistenceController::storePath());
        QSqlQuery q(db);
        const QString column = table == QLatin1String("Account") ? QStringLiteral("pk") : QStringLiteral("account__pk");
        if (db.open() && q.exec(QStringLiteral("SELECT COUNT(*) FROM \"%1\" WHERE %2 = %3").arg(table, column).arg(account))
            && q.next())
            rows = q.value(0).toLongLong();
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}

// Removing an account of about 110,000 reviews in the Accounts tab's model: the longest gap
// between 5 ms ticks on the GUI thread from the call until the list, selection, notification and
// widget reload are done (and 300 ms after), and how long that took in all.
void accountDelete(Bench &bench)
{
    QList<double> stalls, working, totals;
    qint64 reviews = 0;
    for (int run = 0; run < runsPerFigure; ++run) {
        const qint64 key = copyBigAccount(bench, run + 1);
        reviews = rowsOfAccount(QStringLiteral("Review"), key);
        Vantorel::AccountsViewModel model;
        waitTurning(model.load());
        std::shared_ptr<Account> doomed;
        for (const auto &account : model.accounts()) {
            if (account->objectId() && account->objectId()->key() == key)
                doomed = account;
        }
        if (!doomed)
            qFatal("the copied account is not listed");
        model.setSelectedAccount(doomed);
        turnFor(100);

        QElapsedTimer clock;
        clock.start();
        StallProbe probe(clock);
        probe.start();
        waitTurning(model.deleteSelectedAccount());
        if (model.accounts().contains(doomed))
            qFatal("the removed account is still listed");
        totals.append(double(clock.nsecsElapsed()) / 1e6);
        turnFor(300);
        probe.stop();
        stalls.append(probe.longestMs());
        working.append(probe.longestCpuMs());
        for (const char *table : {"Account", "App", "AppVersion", "Review"}) {
            if (const qint64 left = rowsOfAccount(QString::fromLatin1(table), key))
                qFatal("%lld rows of %s left after the deletion", static_cast<long long>(left), table);
        }
    }
    std::printf("  (each run removes an account of %d apps, %d versions and %lld reviews)\n", appsPerAccount,
                appsPerAccount * versionsPerApp, static_cast<long long>(reviews));
    printSamples("account removal, longest GUI-thread stall", stalls, 50);
    printSamples("  of which the GUI thread worked", working, 0);
    printSamples("account removal, call to every step done", totals, 0);
}

// Whether another connection holds the store's write lock: this one cannot begin a write at once.
bool storeWriteLocked()
{
    const QString connection = QStringLiteral("bench-lock-probe");
    bool locked = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(PersistenceController::storePath());
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        if (!db.open())
            qFatal("cannot open the store: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        locked = !q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        if (!locked)
            q.exec(QStringLiteral("ROLLBACK"));
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return locked;
}

// A sign-in of another account that ends while an account of about 110,000 reviews is being
// removed on a background context: its save needs the store's write lock, which the removal holds.
// The longest gap between 5 ms ticks on the GUI thread from the removal's start until both are
// done (and 300 ms after).
void signInDuringRemoval(Bench &bench)
{
    fakes::FakeConnectServer server;
    Endpoints::setBaseUrl(Endpoints::Service::connect, server.baseUrl());
    const fakes::FakeAccount key = server.addAccount();
    server.setApps(key.issuerId, fakes::sampleApps(1, 1, 0, QStringLiteral("sign-in")));
    QList<double> stalls, working, lockedAt, removals, signIns;
    int failed = 0;
    for (int run = 0; run < runsPerFigure; ++run) {
        const qint64 doomedKey = copyBigAccount(bench, 100 + run);
        Vantorel::AccountsViewModel remover;
        waitTurning(remover.load());
        std::shared_ptr<Account> doomed, signingIn;
        for (const auto &account : remover.accounts()) {
            if (account->objectId() && account->objectId()->key() == doomedKey)
                doomed = account;
            else if (account->objectId() && *account->objectId() != bench.bigAccount)
                signingIn = account;
        }
        if (!doomed || !signingIn)
            qFatal("the copied account or another one is not listed");
        remover.setSelectedAccount(doomed);
        signingIn->setIssuerId(key.issuerId);
        signingIn->setKeyId(key.keyId);
        signingIn->setKeyBlob(key.privateKeyPem);
        Vantorel::AccountDetailsViewModel form(signingIn);
        QObject::connect(&form, &Vantorel::AccountDetailsViewModel::alertRequested, [&failed] { ++failed; });
        turnFor(100);

        QElapsedTimer clock;
        clock.start();
        StallProbe probe(clock);
        probe.start();
        double removed = 0, signedIn = 0;
        QFuture<void> removal = remover.deleteSelectedAccount().then([&] { removed = double(clock.nsecsElapsed()) / 1e6; });
        // The sign-in starts once the removal holds the write lock; its answer comes at once.
        while (!storeWriteLocked() && !removal.isFinished())
            turnFor(2);
        if (removal.isFinished())
            qFatal("the removal ended before its write lock was seen");
        lockedAt.append(double(clock.nsecsElapsed()) / 1e6);
        QFuture<void> signIn = form.signIn().then([&] { signedIn = double(clock.nsecsElapsed()) / 1e6; });
        waitTurning(removal);
        waitTurning(signIn);
        turnFor(300);
        probe.stop();
        stalls.append(probe.longestMs());
        working.append(probe.longestCpuMs());
        removals.append(removed);
        signIns.append(signedIn);
        if (rowsOfAccount(QStringLiteral("Review"), doomedKey) != 0)
            qFatal("reviews of the removed account are left");
    }
    std::printf("  (each run removes an account of about 110,000 reviews; %d of %lld sign-ins failed)\n", failed,
                static_cast<long long>(signIns.size()));
    printSamples("sign-in during an account removal, longest GUI-thread stall", stalls, 50);
    printSamples("  of which the GUI thread worked", working, 0);
    printSamples("  write lock seen and sign-in started at", lockedAt, 0);
    printSamples("  removal done at", removals, 0);
    printSamples("  sign-in done at", signIns, 0);
}

// From starting the `vantorel` program on this store to its first painted main window with the
// sidebar loaded, and the program's resident memory at that moment. The program reports both
// itself when VANTOREL_STARTUP_PROBE is set, and quits.
void programStartup(Bench &)
{
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();  // this run's home
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("VANTOREL_STARTUP_PROBE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("Vantorel.*=false"));
    // The last download is recent, so the program starts none; and it could reach no real service.
    GroupSettings::setLastFullDownloadDate(secondsSinceReferenceDate());
    environment.insert(QStringLiteral("VANTOREL_CONNECT_URL"), QStringLiteral("http://127.0.0.1:9"));

    QList<double> ms;
    QList<double> residentMb;
    for (int run = 0; run < runsPerFigure; ++run) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        program.start(QStringLiteral(VANTOREL_PROGRAM), {});
        QByteArray output;
        while (!output.contains('\n') && program.waitForReadyRead(30000))
            output += program.readAllStandardOutput();
        const double elapsed = double(timer.nsecsElapsed()) / 1e6;
        program.waitForFinished(10000);
        const qsizetype at = output.indexOf("rss_kb=");
        if (!output.startsWith("startup-probe: first-filled-frame") || at < 0) {
            std::printf("program start: no report from %s (exit code %d)\n", VANTOREL_PROGRAM, program.exitCode());
            return;
        }
        ms.append(elapsed);
        residentMb.append(output.mid(at + 7).trimmed().toDouble() / 1024.0);
    }
    printSamples("program start to first painted main window with the sidebar", ms, 1000);
    std::sort(residentMb.begin(), residentMb.end());
    std::printf("resident memory then: min %.1f MB, median %.1f, max %.1f (target < 150 MB)\n", residentMb.first(),
                residentMb[residentMb.size() / 2], residentMb.last());
}

// The review browser on the 20,000-review app. Each run opens the app's summary in a fresh
// window, as the main window does when the app is selected in the sidebar.
struct OpenedSummary {
    std::unique_ptr<QWidget> window;
    Vantorel::AppSummaryView *view = nullptr;
    double firstFrameMs = 0;
    double loadedMs = 0;  // the versions and reviews loaded, the list not laid out yet
};

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

// From making the view (the selection) to the first painted frame that shows its cards: the
// versions and reviews load, the list lays out, the cards on screen are measured and painted.
OpenedSummary openBigSummary(Bench &bench)
{
    OpenedSummary opened;
    opened.window = std::make_unique<QWidget>();
    opened.window->resize(900, 800);
    auto *layout = new QVBoxLayout(opened.window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    opened.window->show();
    turnFor(50);
    QElapsedTimer timer;
    timer.start();
    opened.view = new Vantorel::AppSummaryView(
        StoreApp{bench.bigApp, bench.bigAppIdentifier, QStringLiteral("App 1-1"), {}, false}, opened.window.get());
    layout->addWidget(opened.view);
    opened.view->show();
    Vantorel::ReviewListView *list = opened.view->reviewList();
    QEventLoop loop;
    // When the rows arrive, before the list lays them out: what the load took.
    QObject::connect(list->reviewModel(), &QAbstractItemModel::rowsAboutToBeInserted, &loop,
                     [&] { opened.loadedMs = double(timer.nsecsElapsed()) / 1e6; });
    QObject::connect(list->reviewModel(), &QAbstractItemModel::rowsInserted, &loop, &QEventLoop::quit);
    QObject::connect(list->reviewModel(), &QAbstractItemModel::modelReset, &loop, &QEventLoop::quit);
    if (list->reviewModel()->rowCount() == 0)
        loop.exec();
    list->viewport()->repaint();
    opened.firstFrameMs = double(timer.nsecsElapsed()) / 1e6;
    if (list->reviewModel()->rowCount() != bigAppReviews)
        qFatal("the summary lists %d reviews", list->reviewModel()->rowCount());
    return opened;
}

void waitForMeasuredCards(Vantorel::ReviewListView *list)
{
    while (list->isMeasuring())
        turnFor(20);
    turnFor(50);
}

void browserOpen(Bench &bench)
{
    QList<double> ms, loads, views;
    for (int run = 0; run < runsPerFigure; ++run) {
        OpenedSummary opened = openBigSummary(bench);
        ms.append(opened.firstFrameMs);
        loads.append(opened.loadedMs);
        views.append(opened.firstFrameMs - opened.loadedMs);
        QElapsedTimer measuring;
        measuring.start();
        waitForMeasuredCards(opened.view->reviewList());
        if (run == 0)
            std::printf("  (every card of the list measured %.0f ms after the first frame, in the background)\n",
                        double(measuring.nsecsElapsed()) / 1e6);
    }
    printSamples("app summary of 20,000 reviews, selection to first painted frame", ms, 400);
    printSamples("  of which the load (versions, then reviews, into records)", loads, 0);
    printSamples("  of which the list (layout, measuring the cards on screen, painting)", views, 0);
}

// One screenful painted at each position while scrolling through the list by pages and by
// wheel steps, with every card measured; each sample is the scroll and the paint.
void browserScroll(Bench &bench)
{
    QList<double> medians, slowest, cpuMedians, cpuSlowest;
    qsizetype frames = 0;
    for (int run = 0; run < runsPerFigure; ++run) {
        OpenedSummary opened = openBigSummary(bench);
        Vantorel::ReviewListView *list = opened.view->reviewList();
        waitForMeasuredCards(list);
        QScrollBar *bar = list->verticalScrollBar();
        QList<double> ms, cpu;
        QRandomGenerator random(7 + run);
        const auto paintAt = [&](int value) {
            const double cpuBefore = threadCpuMs();
            QElapsedTimer timer;
            timer.start();
            bar->setValue(value);
            list->viewport()->repaint();
            ms.append(double(timer.nsecsElapsed()) / 1e6);
            cpu.append(threadCpuMs() - cpuBefore);
        };
        for (int step = 0; step < 150; ++step)  // wheel steps from the top
            paintAt(bar->value() + 3 * bar->singleStep());
        for (int step = 0; step < 100; ++step)  // pages from a random place
            paintAt(step % 20 == 0 ? random.bounded(bar->maximum()) : bar->value() + bar->pageStep());
        frames = ms.size();
        std::sort(ms.begin(), ms.end());
        medians.append(ms[ms.size() / 2]);
        slowest.append(ms.last());
        std::sort(cpu.begin(), cpu.end());
        cpuMedians.append(cpu[cpu.size() / 2]);
        cpuSlowest.append(cpu.last());
    }
    std::printf("  (%lld frames per run; each run's median and slowest frame below)\n", static_cast<long long>(frames));
    printSamples("scrolling, one screenful painted: median frame", medians, 8);
    printSamples("scrolling, one screenful painted: slowest frame", slowest, 16);
    // The same frames in processor time of the GUI thread: what the frames cost without the
    // waits of a busy machine.
    printSamples("  the same in GUI-thread processor time: median frame", cpuMedians, 0);
    printSamples("  the same in GUI-thread processor time: slowest frame", cpuSlowest, 0);
}

// Resident memory of the process after the summary has loaded and measured every card, less
// the memory before it was opened; and what stays after it was closed.
void browserMemory(Bench &bench)
{
    QList<double> growth, left;
    for (int run = 0; run < runsPerFigure; ++run) {
        turnFor(100);
        const qint64 before = residentBytes();
        {
            OpenedSummary opened = openBigSummary(bench);
            waitForMeasuredCards(opened.view->reviewList());
            growth.append(double(residentBytes() - before) / 1e6);
        }
        turnFor(200);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        left.append(double(residentBytes() - before) / 1e6);
    }
    const double first = growth.first();
    std::sort(growth.begin(), growth.end());
    std::printf("app summary of 20,000 reviews, memory growth: first %.1f MB, min %.1f, median %.1f, max %.1f over %d "
                "runs (target < 150 MB)\n",
                first, growth.first(), growth[growth.size() / 2], growth.last(), runsPerFigure);
    std::sort(left.begin(), left.end());
    std::printf("  (left after closing it: min %.1f MB, median %.1f, max %.1f)\n", left.first(), left[left.size() / 2],
                left.last());
}

}  // namespace

int main(int argc, char **argv)
{
    // A throwaway home: the store, settings and icons of this run go there.
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/vantorel-bench-XXXXXX"));
    const QByteArray homePath = QFile::encodeName(home.path());
    qputenv("HOME", homePath);
    for (const auto &[variable, suffix] : {std::pair{"XDG_DATA_HOME", "/.local/share"}, std::pair{"XDG_CONFIG_HOME", "/.config"},
                                           std::pair{"XDG_CACHE_HOME", "/.cache"}, std::pair{"XDG_STATE_HOME", "/.local/state"}}) {
        QDir().mkpath(QFile::decodeName(homePath + suffix));
        qputenv(variable, homePath + suffix);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vantorel"));
    QApplication::setApplicationName(QStringLiteral("app_bench"));
    // Progress and failure lines of the program (icon lookups that find nothing) would drown the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("Vantorel.*=false"));
    platform::Keychain::useInMemoryBackendForTesting();

    const QList<std::pair<QString, std::function<void(Bench &)>>> figures = {
        {QStringLiteral("sidebar"), sidebarLoad},
        {QStringLiteral("summaries"), summaryLoads},
        {QStringLiteral("browser-memory"), browserMemory},  // first: a fresh process shows what opening costs
        {QStringLiteral("browser-open"), browserOpen},
        {QStringLiteral("browser-scroll"), browserScroll},
        {QStringLiteral("startup"), programStartup},
        {QStringLiteral("account-delete"), accountDelete},  // adds and removes its own accounts
        {QStringLiteral("sign-in-during-removal"), signInDuringRemoval},  // the same
        {QStringLiteral("sync"), syncStall},  // last: it adds to the store
    };
    QStringList wanted = app.arguments().mid(1);
    for (const QString &name : std::as_const(wanted)) {
        if (std::none_of(figures.cbegin(), figures.cend(), [&](const auto &figure) { return figure.first == name; })) {
            std::fprintf(stderr, "unknown figure %s\n", qPrintable(name));
            return 2;
        }
    }

    Bench bench = buildStore();
    for (const auto &[name, run] : figures) {
        if (wanted.isEmpty() || wanted.contains(name))
            run(bench);
    }
    return 0;
}
