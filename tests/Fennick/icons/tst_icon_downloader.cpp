#include "Fennick/Endpoints.h"
#include "Fennick/GroupIdentifier.h"
#include "Fennick/Icons/IconDownloader.h"
#include "Fennick/Icons/IconManager.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/StoreModel.h"
#include "Fennick/RequestError.h"
#include "platform/Analytics.h"
#include "platform/json/JsonDecoding.h"
#include "platform/store/Container.h"

#include "FakeLookupServer.h"
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
using fakes::FakeLookupServer;
using fakes::LookupAnswer;
using platform::store::Container;
using platform::store::Context;

namespace {

QByteArray pngBytes(QColor colour)
{
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
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

// The messages of the icon category, from whatever thread they come.
class IconLog {
public:
    IconLog()
    {
        current = this;
        previous = qInstallMessageHandler(&IconLog::handle);
    }
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
        if (context.category && qstrcmp(context.category, "Vantorel.icon") == 0) {
            const QMutexLocker lock(&current->mutex);
            current->recorded.append((type == QtCriticalMsg ? QStringLiteral("E ") : QStringLiteral("I ")) + message);
            return;
        }
        current->previous(type, context, message);
    }

    static inline IconLog *current = nullptr;
    QtMessageHandler previous = nullptr;
    mutable QMutex mutex;
    QStringList recorded;
};

const QString finished = QStringLiteral("I Finished downloading icon for app");
const QString failed = QStringLiteral("E Failed downloading icon for app: ");

struct AppRow {
    std::optional<QString> identifier;
    bool hidden = false;
};

}  // namespace

class IconDownloaderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> storeDir;
    std::unique_ptr<Container> container;
    std::shared_ptr<Context> context;
    std::unique_ptr<FakeLookupServer> server;

    void addAccount(const QList<AppRow> &apps)
    {
        context->performAndWait([&](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            account->setName(QStringLiteral("account"));
            for (const AppRow &row : apps) {
                auto *app = c.insert<ManagedApp>();
                app->setIdentifier(row.identifier);
                app->setIsHidden(row.hidden);
                app->setAccount(account);
            }
            c.save();
        });
    }

    QStringList lookupsFor(const QString &id) const
    {
        QStringList countries;
        for (const fakes::LookupRequest &request : server->lookups())
            if (request.id == id)
                countries.append(request.country);
        return countries;
    }

private slots:
    void init()
    {
        storeDir = std::make_unique<QTemporaryDir>();
        container = std::make_unique<Container>(QStringLiteral("Vantorel"), storeModel(),
                                                storeDir->filePath(QStringLiteral("Vantorel.sqlite")));
        context = container->newBackgroundContext();
        server = std::make_unique<FakeLookupServer>();
        Endpoints::setBaseUrl(Endpoints::Service::lookup, server->baseUrl());
        QDir(groupFolder()).removeRecursively();
        QDir(fallbackFolder()).removeRecursively();
    }

    void cleanup()
    {
        context.reset();
        container.reset();
        server.reset();
        storeDir.reset();
        QFile::remove(groupFolder());  // a blocker file, if a test left one
        Endpoints::setBaseUrl(Endpoints::Service::lookup, {});
    }

    void nothingMissingMeansNoRequest()
    {
        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), false);  // no accounts

        addAccount({});
        addAccount({{std::nullopt}, {std::nullopt, true}});
        QCOMPARE(downloader.downloadIcons(), false);  // no apps, apps without identifier

        addAccount({{QStringLiteral("100")}, {QStringLiteral("200"), true}});
        IconManager().store(pngBytes(Qt::red), QStringLiteral("100"));
        IconManager().store(pngBytes(Qt::red), QStringLiteral("200"));
        server->addApp(QStringLiteral("100"), pngBytes(Qt::blue));
        QCOMPARE(downloader.downloadIcons(), false);  // every icon readable
        QCOMPARE(server->requestCount(), 0);
        QCOMPARE(IconManager().icon(QStringLiteral("100")).pixelColor(0, 0), QColor(Qt::red));
    }

    void downloadsEveryMissingIcon()
    {
        IconLog log;
        // Hidden apps count; an app under two accounts is fetched for each.
        addAccount({{QStringLiteral("100")}, {QStringLiteral("200"), true}, {std::nullopt}});
        addAccount({{QStringLiteral("100")}, {QStringLiteral("300")}});
        server->addApp(QStringLiteral("100"), pngBytes(Qt::red));
        server->addApp(QStringLiteral("200"), pngBytes(Qt::green));
        server->addApp(QStringLiteral("300"), pngBytes(Qt::blue));
        IconManager().store(pngBytes(Qt::black), QStringLiteral("300"));

        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), true);
        QCOMPARE(lookupsFor(QStringLiteral("100")), QStringList({QStringLiteral("us"), QStringLiteral("us")}));
        QCOMPARE(lookupsFor(QStringLiteral("200")), QStringList({QStringLiteral("us")}));
        QVERIFY(lookupsFor(QStringLiteral("300")).isEmpty());
        QCOMPARE(server->artworkCount(), 3);
        QCOMPARE(fileBytes(iconFile(QStringLiteral("100"))), pngBytes(Qt::red));
        QCOMPARE(fileBytes(iconFile(QStringLiteral("200"))), pngBytes(Qt::green));
        QCOMPARE(IconManager().icon(QStringLiteral("300")).pixelColor(0, 0), QColor(Qt::black));
        QCOMPARE(log.lines(), QStringList(3, finished));

        server->clearRequests();
        QCOMPARE(downloader.downloadIcons(), false);
        QCOMPARE(server->requestCount(), 0);
    }

    void retriesTheNorwegianStore_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("results");
        QTest::newRow("status 404") << 404 << int(LookupAnswer::Results::normal);
        QTest::newRow("status 500") << 500 << int(LookupAnswer::Results::normal);
        QTest::newRow("no results") << 200 << int(LookupAnswer::Results::empty);
        QTest::newRow("malformed") << 200 << int(LookupAnswer::Results::malformed);
    }
    void retriesTheNorwegianStore()
    {
        QFETCH(int, status);
        QFETCH(int, results);
        IconLog log;
        addAccount({{QStringLiteral("100")}, {QStringLiteral("200")}});
        server->addApp(QStringLiteral("100"), pngBytes(Qt::red));
        server->addApp(QStringLiteral("200"), pngBytes(Qt::green));
        server->setAnswer(QStringLiteral("100"), QStringLiteral("us"),
                          {status, LookupAnswer::Results(results)});

        QCOMPARE(IconDownloader(context).downloadIcons(), true);
        QCOMPARE(lookupsFor(QStringLiteral("100")), QStringList({QStringLiteral("us"), QStringLiteral("no")}));
        QCOMPARE(lookupsFor(QStringLiteral("200")), QStringList({QStringLiteral("us")}));
        QCOMPARE(fileBytes(iconFile(QStringLiteral("100"))), pngBytes(Qt::red));
        QCOMPARE(log.lines(), QStringList(2, finished));
    }

    void failedLookupsAreLoggedAndTriedAgainNextTime()
    {
        IconLog log;
        addAccount({{QStringLiteral("100")}, {QStringLiteral("200")}, {QStringLiteral("999")}});
        server->addApp(QStringLiteral("100"), pngBytes(Qt::red));
        server->addApp(QStringLiteral("200"), pngBytes(Qt::green));
        server->setAnswer(QStringLiteral("100"), QStringLiteral("us"), {500, LookupAnswer::Results::normal});
        server->setAnswer(QStringLiteral("100"), QStringLiteral("no"), {200, LookupAnswer::Results::empty});
        // "999" is known to neither store.

        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), true);
        QCOMPARE(lookupsFor(QStringLiteral("100")), QStringList({QStringLiteral("us"), QStringLiteral("no")}));
        QCOMPARE(lookupsFor(QStringLiteral("999")), QStringList({QStringLiteral("us"), QStringLiteral("no")}));
        QVERIFY(!QFile::exists(iconFile(QStringLiteral("100"))));
        QVERIFY(QFile::exists(iconFile(QStringLiteral("200"))));  // the others go on
        const QString badResponse = failed + RequestError::badResponse().localizedDescription();
        QCOMPARE(log.count(badResponse), 2);
        QCOMPARE(log.count(finished), 1);
        QCOMPARE(log.lines().size(), 3);

        // The error of the second lookup is the one logged.
        server->setAnswer(QStringLiteral("100"), QStringLiteral("no"), {503, LookupAnswer::Results::normal});
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
        addAccount({{QStringLiteral("100")}});
        server->addApp(QStringLiteral("100"), pngBytes(Qt::red));
        server->setAnswer(QStringLiteral("100"), QStringLiteral("us"), {200, LookupAnswer::Results::noArtwork100});

        QCOMPARE(IconDownloader(context).downloadIcons(), true);
        QCOMPARE(lookupsFor(QStringLiteral("100")), QStringList({QStringLiteral("us")}));
        QCOMPARE(server->artworkCount(), 0);
        QVERIFY(!QFile::exists(iconFile(QStringLiteral("100"))));
        QCOMPARE(log.lines(), QStringList({finished}));
    }

    void undecodableFilesAreFetchedAgain()
    {
        addAccount({{QStringLiteral("100")}, {QStringLiteral("200")}});
        QDir().mkpath(groupFolder());
        QFile broken(iconFile(QStringLiteral("100")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("<html>Service Unavailable</html>");
        broken.close();
        QFile empty(iconFile(QStringLiteral("200")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        server->addApp(QStringLiteral("100"), pngBytes(Qt::red));
        server->addApp(QStringLiteral("200"), QByteArrayLiteral("not an image either"));

        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), true);
        QCOMPARE(IconManager().icon(QStringLiteral("100")).pixelColor(0, 0), QColor(Qt::red));
        // Whatever the artwork address returns is written; the next run finds it unreadable.
        QCOMPARE(fileBytes(iconFile(QStringLiteral("200"))), QByteArrayLiteral("not an image either"));

        server->clearRequests();
        server->addApp(QStringLiteral("200"), pngBytes(Qt::green));
        QCOMPARE(downloader.downloadIcons(), true);
        QCOMPARE(server->lookupCount(), 1);
        QCOMPARE(IconManager().icon(QStringLiteral("200")).pixelColor(0, 0), QColor(Qt::green));
    }

    void writesToTheFallbackFolderWithoutTheGroup()
    {
        QDir(groupFolder()).removeRecursively();
        QFile blocker(groupFolder());  // a file where the group folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QAtomicInt events = 0;
        const int token = platform::Analytics::addObserver([&](const platform::Analytics::Event &event) {
            if (event.name == QLatin1String("UnableToAccessAppGroupP"))
                events.fetchAndAddRelaxed(1);
        });
        addAccount({{QStringLiteral("100")}, {QStringLiteral("200")}});
        server->addApp(QStringLiteral("100"), pngBytes(Qt::red));
        server->addApp(QStringLiteral("200"), pngBytes(Qt::green));

        IconDownloader downloader(context);
        const bool downloaded = downloader.downloadIcons();
        const int afterDownload = events.loadRelaxed();
        const bool again = downloader.downloadIcons();
        platform::Analytics::removeObserver(token);

        QVERIFY(downloaded);
        QVERIFY(!again);
        QCOMPARE(afterDownload, 4);               // two file checks, two writes
        QCOMPARE(events.loadRelaxed() - afterDownload, 2);  // two file checks
        QCOMPARE(fileBytes(iconFile(QStringLiteral("100"), fallbackFolder())), pngBytes(Qt::red));
        QCOMPARE(fileBytes(iconFile(QStringLiteral("200"), fallbackFolder())), pngBytes(Qt::green));
    }

    void unsafeIdentifiersAreSkipped()
    {
        IconLog log;
        const QString odd = QStringLiteral("12 3&country=xx#x?é");  // a fine file name, but not a fine query
        const QStringList unsafe{QStringLiteral("../escape"), QStringLiteral("a/b"), QStringLiteral(".."),
                                 QString(), QStringLiteral("x") + QChar(u'\0') + QStringLiteral("y")};
        QList<AppRow> rows{{odd}};
        for (const QString &identifier : unsafe)
            rows.append({identifier});
        addAccount(rows);
        server->addApp(odd, pngBytes(Qt::red));
        server->addApp(QStringLiteral("../escape"), pngBytes(Qt::green));

        IconDownloader downloader(context);
        QCOMPARE(downloader.downloadIcons(), true);
        const QList<fakes::LookupRequest> lookups = server->lookups();
        QCOMPARE(lookups.size(), 1);
        QCOMPARE(lookups.first().id, odd);
        QCOMPARE(lookups.first().country, QStringLiteral("us"));
        QVERIFY(!lookups.first().target.contains("&country=xx"));
        QCOMPARE(fileBytes(iconFile(odd)), pngBytes(Qt::red));
        QVERIFY(!QFile::exists(QDir(dataFolder()).filePath(QStringLiteral("escape.png"))));
        QCOMPARE(log.countStartingWith(QStringLiteral("E Skipped the icon of an app with an unusable identifier: ")),
                 unsafe.size());

        // Nothing but unusable identifiers: nothing to do.
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
        addAccount({{QStringLiteral("100")}});
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("breaker"));
            db.setDatabaseName(container->storePath());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("DROP TABLE \"Account\"")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("breaker"));

        QCOMPARE(IconDownloader(context).downloadIcons(), false);
        QCOMPARE(server->requestCount(), 0);
        QCOMPARE(log.countStartingWith(QStringLiteral("E Could not download icons: ")), 1);
    }

    void lookupErrors()
    {
        server->addApp(QStringLiteral("100"), pngBytes(Qt::red));
        const auto result = IconDownloader::fetchMetadata(QStringLiteral("100"), QStringLiteral("us"));
        QVERIFY(result.artworkUrl100 && result.artworkUrl512);
        QVERIFY(result.artworkUrl100->toString().endsWith(QStringLiteral("100x100bb.jpg")));
        QVERIFY(result.artworkUrl512->toString().endsWith(QStringLiteral("512x512bb.jpg")));

        server->setAnswer(QStringLiteral("100"), QStringLiteral("de"), {404, LookupAnswer::Results::normal});
        try {
            IconDownloader::fetchMetadata(QStringLiteral("100"), QStringLiteral("de"));
            QFAIL("no error");
        } catch (const RequestError &error) {
            QCOMPARE(error.kind(), RequestError::Kind::noSuccess);
            QCOMPARE(error.status(), 404);
        }
        try {
            IconDownloader::fetchMetadata(QStringLiteral("555"), QStringLiteral("us"));
            QFAIL("no error");
        } catch (const RequestError &error) {
            QCOMPARE(error.kind(), RequestError::Kind::badResponse);
        }
        server->setAnswer(QStringLiteral("100"), QStringLiteral("fr"), {200, LookupAnswer::Results::malformed});
        QVERIFY_THROWS_EXCEPTION(platform::json::DecodingError,
                                 IconDownloader::fetchMetadata(QStringLiteral("100"), QStringLiteral("fr")));
        server->setAnswer(QStringLiteral("100"), QStringLiteral("se"), {200, LookupAnswer::Results::noArtwork100});
        const auto partial = IconDownloader::fetchMetadata(QStringLiteral("100"), QStringLiteral("se"));
        QVERIFY(!partial.artworkUrl100 && partial.artworkUrl512);
    }

    void manyAppsDownloadConcurrently()
    {
        IconLog log;
        constexpr int apps = 40;
        constexpr int delay = 100;
        QList<AppRow> rows;
        for (int i = 0; i < apps; ++i) {
            rows.append({QString::number(1000 + i)});
            server->addApp(QString::number(1000 + i), pngBytes(QColor::fromHsv(i * 9, 255, 255)));
        }
        addAccount(rows);
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
        for (int i = 0; i < apps; ++i)
            QVERIFY(!IconManager().icon(QString::number(1000 + i)).isNull());
        QVERIFY2(server->maximumConcurrency() >= 4, qPrintable(QString::number(server->maximumConcurrency())));
        // One after another this would take 2 * apps * delay = 8 s.
        QVERIFY2(elapsed < apps * delay, qPrintable(QString::number(elapsed)));
    }

    void callsOnOneDownloaderRunOneAtATime()
    {
        IconLog log;
        constexpr int apps = 6;
        QList<AppRow> rows;
        for (int i = 0; i < apps; ++i) {
            rows.append({QString::number(100 + i)});
            server->addApp(QString::number(100 + i), pngBytes(Qt::red));
        }
        addAccount(rows);
        server->setDelay(50);

        IconDownloader downloader(context);
        QFuture<bool> first = downloader.downloadIconsAsync();
        QFuture<bool> second = downloader.downloadIconsAsync();
        const bool a = first.result();
        const bool b = second.result();
        QCOMPARE(a != b, true);  // the later call finds every icon in place
        QCOMPARE(server->lookupCount(), apps);
    }
};

VANTOREL_TEST_MAIN_WITH(QGuiApplication, IconDownloaderTest)
#include "tst_icon_downloader.moc"
