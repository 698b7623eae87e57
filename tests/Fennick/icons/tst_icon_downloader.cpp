#include "Fennick/Endpoints.h"
#include "Fennick/GroupIdentifier.h"
#include "Fennick/Icons/IconDownloader.h"
#include "Fennick/Icons/IconManager.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/StoreModel.h"
#include "Fennick/RequestError.h"
#include "platform/Analytics.h"
#include "platform/http/HttpSession.h"
#include "platform/json/JsonDecoding.h"
#include "platform/store/Container.h"

#include "FakeLookupServer.h"
#include "support/Images.h"
#include "support/TestHome.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QtConcurrent>

using namespace Fennick;
using fakes::LookupAnswer;
using platform::store::Context;
using Results = LookupAnswer::Results;

namespace {

// A small PNG whose colour tells the apps apart.
QByteArray artwork(const QString &identifier)
{
    return testsupport::pngBytes(QColor::fromHsv(int(qHash(identifier) % 360), 255, 255), 4);
}

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}
QString groupFolder()
{
    return QDir(dataFolder()).filePath(appGroupIdentifier);
}
QString fallbackFolder()
{
    return QDir(dataFolder()).filePath(QStringLiteral("Vantorel"));
}
QString iconFile(const QString &identifier, const QString &folder = groupFolder())
{
    return QDir(folder).filePath(identifier + QStringLiteral(".png"));
}
QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The lines of the icon log category ("E " error, "I " info), from whatever thread they come.
class IconLog {
public:
    IconLog() : previous(qInstallMessageHandler(&IconLog::handle)) { current = this; }
    ~IconLog()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }
    QStringList lines() const
    {
        const QMutexLocker lock(&mutex);
        return recorded;
    }
    int count(const QString &line) const { return int(lines().count(line)); }
    int countStartingWith(const QString &start) const
    {
        const QStringList all = lines();
        return int(std::count_if(all.cbegin(), all.cend(), [&](const QString &line) { return line.startsWith(start); }));
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (!context.category || qstrcmp(context.category, "Vantorel.icon") != 0)
            return current->previous(type, context, message);
        const QMutexLocker lock(&current->mutex);
        current->recorded.append((type == QtCriticalMsg ? QStringLiteral("E ") : QStringLiteral("I ")) + message);
    }

    static inline IconLog *current = nullptr;
    QtMessageHandler previous;
    mutable QMutex mutex;
    QStringList recorded;
};

const QString finished = QStringLiteral("I Finished downloading icon for app");
const QString failed = QStringLiteral("E Failed downloading icon for app: ");
const QString us = QStringLiteral("us");
const QString no = QStringLiteral("no");

struct AppRow {
    std::optional<QString> identifier;
    bool hidden = false;
};

}  // namespace

class IconDownloaderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> storeDir;
    std::unique_ptr<platform::store::Container> container;
    std::shared_ptr<Context> context;
    std::unique_ptr<fakes::FakeLookupServer> server;

    void addAccount(const QList<AppRow> &apps)
    {
        context->performAndWait([&](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            for (const AppRow &row : apps) {
                auto *app = c.insert<ManagedApp>();
                app->setIdentifier(row.identifier);
                app->setIsHidden(row.hidden);
                app->setAccount(account);
            }
            c.save();
        });
    }
    // An account listing the apps, each known to the lookup service with its own artwork.
    void addServedApps(const QStringList &identifiers)
    {
        QList<AppRow> rows;
        for (const QString &identifier : identifiers) {
            rows.append({identifier});
            server->addApp(identifier, artwork(identifier));
        }
        addAccount(rows);
    }
    QStringList lookupsFor(const QString &identifier) const
    {
        QStringList countries;
        for (const fakes::LookupRequest &request : server->lookups())
            if (request.id == identifier)
                countries.append(request.country);
        return countries;
    }
    bool downloadIcons() { return IconDownloader(context).downloadIcons(); }

private slots:
    void init()
    {
        storeDir = std::make_unique<QTemporaryDir>();
        container = std::make_unique<platform::store::Container>(
            QStringLiteral("Vantorel"), storeModel(), storeDir->filePath(QStringLiteral("Vantorel.sqlite")));
        context = container->newBackgroundContext();
        server = std::make_unique<fakes::FakeLookupServer>();
        Endpoints::setBaseUrl(Endpoints::Service::lookup, server->baseUrl());
        QDir(groupFolder()).removeRecursively();
        QDir(fallbackFolder()).removeRecursively();
    }

    void cleanup()
    {
        context.reset();
        container.reset();
        server.reset();
        // Blocker files that a test put where the folders should be.
        QFile::remove(groupFolder());
        QFile::remove(fallbackFolder());
        Endpoints::setBaseUrl(Endpoints::Service::lookup, {});
        platform::http::Session::setSilenceLimit(platform::http::Session::defaultSilenceLimit);
    }

    void nothingMissingMeansNoRequest()
    {
        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), false);  // no accounts
        addAccount({});
        addAccount({{std::nullopt}, {std::nullopt, true}});
        QCOMPARE(downloader.downloadIcons(), false);  // no apps, apps without identifier

        addServedApps({QStringLiteral("100")});
        addAccount({{QStringLiteral("200"), true}});
        IconManager().store(artwork(QStringLiteral("x")), QStringLiteral("100"));
        IconManager().store(artwork(QStringLiteral("x")), QStringLiteral("200"));
        QCOMPARE(downloader.downloadIcons(), false);  // every icon readable
        QCOMPARE(server->requestCount(), 0);
        QCOMPARE(fileBytes(iconFile(QStringLiteral("100"))), artwork(QStringLiteral("x")));
    }

    void downloadsEveryMissingIcon()
    {
        IconLog log;
        // Hidden apps count; an app under two accounts is fetched for each.
        addAccount({{QStringLiteral("100")}, {QStringLiteral("200"), true}, {std::nullopt}});
        addServedApps({QStringLiteral("100"), QStringLiteral("300")});
        server->addApp(QStringLiteral("200"), artwork(QStringLiteral("200")));
        IconManager().store(artwork(QStringLiteral("x")), QStringLiteral("300"));

        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), true);
        QCOMPARE(lookupsFor(QStringLiteral("100")), QStringList({us, us}));
        QCOMPARE(lookupsFor(QStringLiteral("200")), QStringList({us}));
        QVERIFY(lookupsFor(QStringLiteral("300")).isEmpty());
        QCOMPARE(server->artworkCount(), 3);
        for (const QString &identifier : {QStringLiteral("100"), QStringLiteral("200")})
            QCOMPARE(fileBytes(iconFile(identifier)), artwork(identifier));
        QCOMPARE(fileBytes(iconFile(QStringLiteral("300"))), artwork(QStringLiteral("x")));
        QCOMPARE(log.lines(), QStringList(3, finished));

        server->clearRequests();
        QCOMPARE(downloader.downloadIcons(), false);
        QCOMPARE(server->requestCount(), 0);
    }

    void retriesTheNorwegianStore_data()
    {
        QTest::addColumn<LookupAnswer>("answer");
        QTest::newRow("status 404") << LookupAnswer{404, Results::normal};
        QTest::newRow("status 500") << LookupAnswer{500, Results::normal};
        QTest::newRow("no results") << LookupAnswer{200, Results::empty};
        QTest::newRow("malformed") << LookupAnswer{200, Results::malformed};
    }
    void retriesTheNorwegianStore()
    {
        QFETCH(LookupAnswer, answer);
        IconLog log;
        addServedApps({QStringLiteral("100"), QStringLiteral("200")});
        server->setAnswer(QStringLiteral("100"), us, answer);

        QCOMPARE(downloadIcons(), true);
        QCOMPARE(lookupsFor(QStringLiteral("100")), QStringList({us, no}));
        QCOMPARE(lookupsFor(QStringLiteral("200")), QStringList({us}));
        QCOMPARE(fileBytes(iconFile(QStringLiteral("100"))), artwork(QStringLiteral("100")));
        QCOMPARE(log.lines(), QStringList(2, finished));
    }

    void failedLookupsAreLoggedAndTriedAgainNextTime()
    {
        IconLog log;
        addServedApps({QStringLiteral("100"), QStringLiteral("200")});
        addAccount({{QStringLiteral("999")}});  // known to neither store
        server->setAnswer(QStringLiteral("100"), us, {500, Results::normal});
        server->setAnswer(QStringLiteral("100"), no, {200, Results::empty});

        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), true);
        QCOMPARE(lookupsFor(QStringLiteral("100")), QStringList({us, no}));
        QCOMPARE(lookupsFor(QStringLiteral("999")), QStringList({us, no}));
        QVERIFY(!QFile::exists(iconFile(QStringLiteral("100"))));
        QVERIFY(QFile::exists(iconFile(QStringLiteral("200"))));  // the others go on
        const QString badResponse = failed + RequestError::badResponse().localizedDescription();
        QCOMPARE(log.count(badResponse), 2);
        QCOMPARE(log.count(finished), 1);
        QCOMPARE(log.lines().size(), 3);

        // The second lookup's error is the one logged.
        server->setAnswer(QStringLiteral("100"), no, {503, Results::normal});
        server->clearRequests();
        QCOMPARE(downloader.downloadIcons(), true);
        QCOMPARE(server->lookupCount(), 4);
        QCOMPARE(log.count(failed + RequestError::noSuccess(503).localizedDescription()), 1);
        QCOMPARE(log.count(badResponse), 3);

        // A service that cannot be reached fails every child, and the call still returns.
        Endpoints::setBaseUrl(Endpoints::Service::lookup, QStringLiteral("http://127.0.0.1:1"));
        QCOMPARE(downloader.downloadIcons(), true);
        QCOMPARE(log.countStartingWith(failed), 6);
        QCOMPARE(log.count(badResponse), 3);
    }

    void resultWithoutSmallArtworkDownloadsNothing()
    {
        IconLog log;
        addServedApps({QStringLiteral("100")});
        server->setAnswer(QStringLiteral("100"), us, {200, Results::noArtwork100});

        QCOMPARE(downloadIcons(), true);
        QCOMPARE(lookupsFor(QStringLiteral("100")), QStringList({us}));
        QCOMPARE(server->artworkCount(), 0);
        QVERIFY(!QFile::exists(iconFile(QStringLiteral("100"))));
        QCOMPARE(log.lines(), QStringList({finished}));
    }

    void undecodableFilesAreFetchedAgain()
    {
        addServedApps({QStringLiteral("100"), QStringLiteral("200")});
        QVERIFY(writeFile(iconFile(QStringLiteral("100")), "<html>Service Unavailable</html>"));
        QVERIFY(writeFile(iconFile(QStringLiteral("200")), {}));
        server->addApp(QStringLiteral("200"), "not an image either");

        QCOMPARE(downloadIcons(), true);
        QCOMPARE(fileBytes(iconFile(QStringLiteral("100"))), artwork(QStringLiteral("100")));
        // Whatever the artwork address returns is written; the next run finds it unreadable.
        QCOMPARE(fileBytes(iconFile(QStringLiteral("200"))), QByteArray("not an image either"));

        server->clearRequests();
        server->addApp(QStringLiteral("200"), artwork(QStringLiteral("200")));
        QCOMPARE(downloadIcons(), true);
        QCOMPARE(server->lookupCount(), 1);
        QCOMPARE(fileBytes(iconFile(QStringLiteral("200"))), artwork(QStringLiteral("200")));
    }

    void foldersWithoutTheAppGroup()
    {
        QVERIFY(writeFile(groupFolder(), "a file where the group folder should be"));
        QAtomicInt events = 0;
        const int token = platform::Analytics::addObserver([&](const platform::Analytics::Event &event) {
            if (event.name == QLatin1String("UnableToAccessAppGroupP"))
                events.fetchAndAddRelaxed(1);
        });
        const auto stopObserving = qScopeGuard([token] { platform::Analytics::removeObserver(token); });
        addServedApps({QStringLiteral("100"), QStringLiteral("200")});

        QCOMPARE(downloadIcons(), true);
        QCOMPARE(events.loadRelaxed(), 4);  // two file checks, two writes
        QCOMPARE(downloadIcons(), false);
        QCOMPARE(events.loadRelaxed(), 6);  // two file checks
        for (const QString &identifier : {QStringLiteral("100"), QStringLiteral("200")})
            QCOMPARE(fileBytes(iconFile(identifier, fallbackFolder())), artwork(identifier));

        // No folder at all: the write fails the child, nothing else.
        QDir(fallbackFolder()).removeRecursively();
        QVERIFY(writeFile(fallbackFolder(), "a file where the fallback folder should be"));
        IconLog log;
        QCOMPARE(downloadIcons(), true);
        QCOMPARE(server->artworkCount(), 4);
        QCOMPARE(log.countStartingWith(failed), 2);
    }

    void unsafeIdentifiersAreSkipped()
    {
        IconLog log;
        const QString odd = QStringLiteral("12 3&country=xx#x?é");  // a fine file name, but not a fine query
        const QStringList unsafe{QStringLiteral("../escape"), QStringLiteral("a/b"), QStringLiteral(".."), QString(),
                                 QStringLiteral("x") + QChar(u'\0') + QStringLiteral("y")};
        addServedApps(QStringList{odd} + unsafe);

        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), true);
        const QList<fakes::LookupRequest> lookups = server->lookups();
        QCOMPARE(lookups.size(), 1);
        QCOMPARE(lookups.first().id, odd);
        QCOMPARE(lookups.first().country, us);
        QVERIFY(!lookups.first().target.contains("&country=xx"));
        QCOMPARE(fileBytes(iconFile(odd)), artwork(odd));
        QVERIFY(!QFile::exists(QDir(dataFolder()).filePath(QStringLiteral("escape.png"))));
        QCOMPARE(log.countStartingWith(QStringLiteral("E Skipped the icon of an app with an unusable identifier: ")),
                 unsafe.size());

        // Nothing but unusable identifiers left: nothing to do.
        QVERIFY(QFile::remove(iconFile(odd)));
        context->performAndWait([&](Context &c) {
            for (ManagedApp *app : c.fetch(ManagedApp::fetchRequest().where(ManagedApp::Keys::identifier == odd)))
                c.deleteObject(app);
            c.save();
        });
        server->clearRequests();
        QCOMPARE(downloader.downloadIcons(), false);
        QCOMPARE(server->requestCount(), 0);
    }

    void unreadableStoreIsLogged()
    {
        IconLog log;
        addServedApps({QStringLiteral("100")});
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("breaker"));
            db.setDatabaseName(container->storePath());
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("DROP TABLE \"Account\"")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("breaker"));

        QCOMPARE(downloadIcons(), false);
        QCOMPARE(server->requestCount(), 0);
        QCOMPARE(log.countStartingWith(QStringLiteral("E Could not download icons: ")), 1);
    }

    void aSilentServerDoesNotHoldTheDownloadsForever()
    {
        // Accepts, then answers only after the (shortened) silence limit has run out.
        platform::http::Session::setSilenceLimit(std::chrono::seconds(1));
        IconLog log;
        addServedApps({QStringLiteral("100"), QStringLiteral("200")});
        server->setDelay(3500);

        QCOMPARE(downloadIcons(), true);
        const QString timedOut = failed + QStringLiteral("The request timed out.");
        QCOMPARE(log.lines(), QStringList(2, timedOut));
        QVERIFY(!QFile::exists(iconFile(QStringLiteral("100"))));
    }

    void lookupErrors()
    {
        addServedApps({QStringLiteral("100")});
        const auto result = IconDownloader::fetchMetadata(QStringLiteral("100"), us);
        QVERIFY(result.artworkUrl100 && result.artworkUrl100->path().endsWith(QStringLiteral("100x100bb.jpg")));
        QVERIFY(result.artworkUrl512 && result.artworkUrl512->path().endsWith(QStringLiteral("512x512bb.jpg")));

        const auto requestError = [](const QString &identifier, const QString &country) {
            try {
                IconDownloader::fetchMetadata(identifier, country);
            } catch (const RequestError &error) {
                return std::make_pair(error.kind(), error.status());
            }
            return std::make_pair(RequestError::Kind::noCredentials, -1);  // nothing thrown
        };
        server->setAnswer(QStringLiteral("100"), QStringLiteral("de"), {404, Results::normal});
        QCOMPARE(requestError(QStringLiteral("100"), QStringLiteral("de")), std::make_pair(RequestError::Kind::noSuccess, 404));
        QCOMPARE(requestError(QStringLiteral("555"), us), std::make_pair(RequestError::Kind::badResponse, 0));
        server->setAnswer(QStringLiteral("100"), QStringLiteral("fr"), {200, Results::malformed});
        QVERIFY_THROWS_EXCEPTION(platform::json::DecodingError,
                                 IconDownloader::fetchMetadata(QStringLiteral("100"), QStringLiteral("fr")));
    }

    void manyAppsDownloadConcurrently()
    {
        IconLog log;
        constexpr int apps = 40;
        constexpr int delay = 100;
        QStringList identifiers;
        for (int i = 0; i < apps; ++i)
            identifiers.append(QString::number(1000 + i));
        addServedApps(identifiers);
        server->setDelay(delay);

        // Every thread of the global pool is taken for the whole run: downloads must not need one.
        QSemaphore release;
        const int globalThreads = QThreadPool::globalInstance()->maxThreadCount();
        QList<QFuture<void>> blockers;
        for (int i = 0; i < globalThreads; ++i)
            blockers.append(QtConcurrent::run([&release] { release.acquire(); }));

        IconDownloader downloader(context);
        QElapsedTimer timer;
        timer.start();
        QFuture<bool> future = downloader.downloadIconsAsync();
        // The GUI thread goes on while the downloads run.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 60000);
        const qint64 elapsed = timer.elapsed();
        release.release(globalThreads);
        for (QFuture<void> &blocker : blockers)
            blocker.waitForFinished();

        QCOMPARE(future.result(), true);
        QVERIFY2(ticks > 5, qPrintable(QString::number(ticks)));
        QCOMPARE(server->requestCount(), 2 * apps);
        QCOMPARE(log.count(finished), apps);
        for (const QString &identifier : std::as_const(identifiers))
            QCOMPARE(fileBytes(iconFile(identifier)), artwork(identifier));
        QVERIFY2(server->maximumConcurrency() >= 4, qPrintable(QString::number(server->maximumConcurrency())));
        // One after another this would take 2 * apps * delay = 8 s.
        QVERIFY2(elapsed < apps * delay, qPrintable(QString::number(elapsed)));
    }

    void callsOnOneDownloaderRunOneAtATime()
    {
        IconLog log;
        addServedApps({QStringLiteral("100"), QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("103")});
        server->setDelay(50);

        IconDownloader downloader(context);
        QFuture<bool> first = downloader.downloadIconsAsync();
        QFuture<bool> second = downloader.downloadIconsAsync();
        QCOMPARE(first.result() != second.result(), true);  // the later call finds every icon in place
        QCOMPARE(server->lookupCount(), 4);
    }
};

VANTOREL_TEST_MAIN_WITH(QGuiApplication, IconDownloaderTest)
#include "tst_icon_downloader.moc"
