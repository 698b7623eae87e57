// Store figures: inserts through the store layer against raw prepared SQLite inserts, a count of
// reviews per app and a filtered, sorted, searched fetch over 300,000 reviews. Prints, asserts
// nothing.
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/store/Container.h"
#include "platform/store/TextFolding.h"

#include "ReviewText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace Fennick;
using namespace platform::store;
using Review = ManagedReview::Keys;

namespace {

constexpr int batch = 200;

struct Seed {
    QString identifier, title, body, nickname, territory, language, response;
    qint64 rating = 0;
    QDateTime created;
};

QList<Seed> makeSeeds(int count, quint32 salt)
{
    QRandomGenerator random(salt);
    QList<Seed> seeds;
    seeds.reserve(count);
    const QDateTime start = QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        Seed seed;
        seed.identifier = QStringLiteral("review-%1-%2").arg(salt).arg(i);
        bench::makeReviewText(random, &seed.title, &seed.body);
        seed.nickname = QStringLiteral("user%1").arg(random.bounded(100000));
        seed.territory = QStringLiteral("USA");
        seed.language = QStringLiteral("en");
        seed.rating = 1 + random.bounded(5);
        if (random.bounded(3) == 0)
            seed.response = QStringLiteral("response-%1").arg(i);
        seed.created = start.addSecs(qint64(random.bounded(4 * 365 * 24 * 3600)));
        seeds.append(seed);
    }
    return seeds;
}

struct Tree {
    QList<ObjectId> accounts, apps, versions;
};

// Accounts, apps and versions for the reviews to hang from.
Tree makeTree(Context &c, int accounts, int appsPerAccount, int versionsPerApp)
{
    QList<ManagedAccount *> accountRows;
    QList<ManagedApp *> appRows;
    QList<ManagedAppVersion *> versionRows;
    for (int a = 0; a < accounts; ++a) {
        auto *account = c.insert<ManagedAccount>();
        account->setName(QStringLiteral("Account %1").arg(a));
        accountRows.append(account);
        for (int p = 0; p < appsPerAccount; ++p) {
            auto *app = c.insert<ManagedApp>();
            app->setIdentifier(QStringLiteral("%1-%2").arg(a).arg(p));
            app->setAccount(account);
            appRows.append(app);
            for (int v = 0; v < versionsPerApp; ++v) {
                auto *version = c.insert<ManagedAppVersion>();
                version->setVersion(QStringLiteral("1.%1").arg(v));
                version->setApp(app);
                version->setAccount(account);
                versionRows.append(version);
            }
        }
    }
    c.save();
    Tree tree;
    for (auto *row : accountRows)
        tree.accounts.append(row->objectId());
    for (auto *row : appRows)
        tree.apps.append(row->objectId());
    for (auto *row : versionRows)
        tree.versions.append(row->objectId());
    return tree;
}

// Inserts the seeds as the importer does: one save per 200 rows. Returns milliseconds.
void makeTree(Container &container, int accounts, int appsPerAccount, int versionsPerApp)
{
    container.newBackgroundContext()->performAndWait(
        [&](Context &c) { makeTree(c, accounts, appsPerAccount, versionsPerApp); });
}

// Inserts seeds[from, to) below the store's versions, in saves of 200.
qint64 insertThroughStore(Container &container, const QList<Seed> &seeds, qsizetype from, qsizetype to)
{
    return container.newBackgroundContext()->performAndWait([&](Context &c) {
        const QList<ManagedAppVersion *> versionRows = c.fetch(ManagedAppVersion::fetchRequest());
        QElapsedTimer timer;
        timer.start();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (qsizetype i = from; i < to; ++i) {
            const Seed &seed = seeds[i];
            ManagedAppVersion *version = versionRows[i % versionRows.size()];
            auto *review = c.insert<ManagedReview>();
            review->setIdentifier(seed.identifier);
            review->setTimestamp(now);
            review->setBody(seed.body);
            review->setTitle(seed.title);
            review->setCreated(seed.created);
            review->setNickname(seed.nickname);
            review->setRating(seed.rating);
            review->setTerritory(seed.territory);
            review->setVersion(version);
            review->setAccount(version->account());
            review->setApp(version->app());
            if (!seed.response.isEmpty()) {
                review->setResponseText(QStringLiteral("Thanks!"));
                review->setResponseIdentifier(seed.response);
            }
            review->setLanguage(seed.language);
            if ((i + 1) % batch == 0)
                c.save();
        }
        c.save();
        return timer.elapsed();
    });
}

// The same rows with hand-written prepared statements on one connection, in transactions of 200.
qint64 insertRaw(const QString &path, const QList<Seed> &seeds, bool withSearchColumns)
{
    qint64 elapsed = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery setup(db);
        setup.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        setup.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        QList<std::array<qint64, 3>> parents;  // account, app, version keys
        setup.exec(QStringLiteral("SELECT \"account__pk\", \"app__pk\", pk FROM \"AppVersion\""));
        while (setup.next())
            parents.append({setup.value(0).toLongLong(), setup.value(1).toLongLong(), setup.value(2).toLongLong()});
        setup.finish();
        QSqlQuery insert(db);
        const QString columns = QStringLiteral(
            "\"identifier\", \"timestamp\", \"body\", \"title\", \"created\", \"nickname\", \"rating\", \"territory\", "
            "\"isNew\", \"responseText\", \"responseIdentifier\", \"language\", \"account__pk\", \"app__pk\", \"version__pk\"");
        if (withSearchColumns)
            insert.prepare(QStringLiteral("INSERT INTO \"Review\" (%1, \"body__folded\", \"title__folded\") VALUES (%2)")
                               .arg(columns, QStringList(17, QStringLiteral("?")).join(QLatin1Char(','))));
        else
            insert.prepare(QStringLiteral("INSERT INTO \"Review\" (%1) VALUES (%2)")
                               .arg(columns, QStringList(15, QStringLiteral("?")).join(QLatin1Char(','))));
        QSqlQuery index(db);
        if (withSearchColumns)
            index.prepare(QStringLiteral("INSERT INTO \"Review__search\" (rowid, \"body__folded\", \"title__folded\") VALUES (?, ?, ?)"));
        QElapsedTimer timer;
        timer.start();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (qsizetype i = 0; i < seeds.size(); ++i) {
            if (i % batch == 0)
                setup.exec(QStringLiteral("BEGIN IMMEDIATE"));
            const Seed &seed = seeds[i];
            const auto &parent = parents[i % parents.size()];
            int p = 0;
            insert.bindValue(p++, seed.identifier);
            insert.bindValue(p++, now);
            insert.bindValue(p++, seed.body);
            insert.bindValue(p++, seed.title);
            insert.bindValue(p++, seed.created.toMSecsSinceEpoch());
            insert.bindValue(p++, seed.nickname);
            insert.bindValue(p++, seed.rating);
            insert.bindValue(p++, seed.territory);
            insert.bindValue(p++, 0);
            insert.bindValue(p++, seed.response.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(QStringLiteral("Thanks!")));
            insert.bindValue(p++, seed.response.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(seed.response));
            insert.bindValue(p++, seed.language);
            insert.bindValue(p++, parent[0]);
            insert.bindValue(p++, parent[1]);
            insert.bindValue(p++, parent[2]);
            if (withSearchColumns) {
                insert.bindValue(p++, foldedForSearch(seed.body));
                insert.bindValue(p++, foldedForSearch(seed.title));
            }
            if (!insert.exec())
                std::printf("raw insert failed: %s\n", qPrintable(insert.lastError().text()));
            if (withSearchColumns) {
                index.bindValue(0, insert.lastInsertId());
                index.bindValue(1, foldedForSearch(seed.body));
                index.bindValue(2, foldedForSearch(seed.title));
                if (!index.exec())
                    std::printf("raw index insert failed: %s\n", qPrintable(index.lastError().text()));
            }
            if ((i + 1) % batch == 0)
                setup.exec(QStringLiteral("COMMIT"));
        }
        if (seeds.size() % batch != 0)
            setup.exec(QStringLiteral("COMMIT"));
        elapsed = timer.elapsed();
        insert = QSqlQuery();
        index = QSqlQuery();
        setup = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return elapsed;
}

template <class F>
double medianMs(int runs, F &&work)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("store_bench (SQLite, WAL, synchronous=NORMAL; times in ms)\n");

    // 1. Inserts: store layer vs raw prepared statements, 100,000 rows in saves of 200.
    if (!qEnvironmentVariableIsSet("STORE_BENCH_READ_ONLY")) {
        const QList<Seed> seeds = makeSeeds(100000, 1);
        const QString storePath = dir.filePath(QStringLiteral("layer.sqlite"));
        Container store(QStringLiteral("Vantorel"), storeModel(), storePath);
        // The same model without searchable text: no folded copies, no search index.
        auto unsearched = std::make_shared<Model>(*storeModel());
        for (EntityDescription &entity : unsearched->entities) {
            for (Attribute &attribute : entity.attributes)
                attribute.searchable = false;
        }
        Container plainStore(QStringLiteral("Vantorel"), unsearched, dir.filePath(QStringLiteral("unsearched.sqlite")));
        makeTree(store, 2, 5, 4);
        makeTree(plainStore, 2, 5, 4);
        // In turns of a fifth each, so that the machine's slower moments fall on both stores.
        qint64 layer = 0;
        qint64 layerUnsearched = 0;
        constexpr int turns = 5;
        for (int turn = 0; turn < turns; ++turn) {
            const qsizetype from = seeds.size() * turn / turns;
            const qsizetype to = seeds.size() * (turn + 1) / turns;
            if (turn % 2 == 0) {
                layer += insertThroughStore(store, seeds, from, to);
                layerUnsearched += insertThroughStore(plainStore, seeds, from, to);
            } else {
                layerUnsearched += insertThroughStore(plainStore, seeds, from, to);
                layer += insertThroughStore(store, seeds, from, to);
            }
        }

        qint64 raw[2] = {0, 0};
        for (int withSearch = 0; withSearch < 2; ++withSearch) {
            const QString rawPath = dir.filePath(QStringLiteral("raw%1.sqlite").arg(withSearch));
            {
                Container schema(QStringLiteral("Vantorel"), storeModel(), rawPath);
                makeTree(schema, 2, 5, 4);
            }
            raw[withSearch] = insertRaw(rawPath, seeds, withSearch == 1);
        }
        std::printf("insert 100000 reviews, saves of %d: store layer %lld ms\n", batch, static_cast<long long>(layer));
        std::printf("  store layer without searchable text (no folded copies, no search index): %lld ms -> "
                    "the search costs %.2fx (target <= 1.6x)\n",
                    static_cast<long long>(layerUnsearched), double(layer) / double(std::max<qint64>(1, layerUnsearched)));
        std::printf("  raw prepared inserts, same columns incl. folded search text and index: %lld ms -> ratio %.2fx\n",
                    static_cast<long long>(raw[1]), double(layer) / double(std::max<qint64>(1, raw[1])));
        std::printf("  raw prepared inserts, without the folded search columns:                %lld ms -> ratio %.2fx\n",
                    static_cast<long long>(raw[0]), double(layer) / double(std::max<qint64>(1, raw[0])));
    }

    // 2. and 3. Reading 300,000 reviews: 4 accounts x 5 apps x 5 versions.
    {
        const QList<Seed> seeds = makeSeeds(300000, 2);
        const QString keep = qEnvironmentVariable("STORE_BENCH_KEEP");  // a path to keep the read store at
        Container store(QStringLiteral("Vantorel"), storeModel(), keep.isEmpty() ? dir.filePath(QStringLiteral("read.sqlite")) : keep);
        makeTree(store, 4, 5, 5);
        const qint64 filled = insertThroughStore(store, seeds, 0, seeds.size());
        std::printf("filled 300000 reviews in %lld ms\n", static_cast<long long>(filled));

        auto context = store.newBackgroundContext();
        context->performAndWait([&](Context &c) {
            QHash<ObjectId, qint64> perApp;
            const double countMs = medianMs(7, [&] { perApp = c.countBy(ManagedReview::fetchRequest(), Review::app); });
            qint64 total = 0;
            for (qint64 n : std::as_const(perApp))
                total += n;
            std::printf("count reviews per app (%lld apps, %lld reviews): median %.1f ms (target < 50)\n",
                        static_cast<long long>(perApp.size()), static_cast<long long>(total), countMs);
            const double filteredCountMs = medianMs(7, [&] {
                perApp = c.countBy(ManagedReview::fetchRequest().where(Review::rating.in({1, 2}) && Review::responseIdentifier.isNull()),
                                   Review::app);
            });
            std::printf("count per app with ratings {1,2} and no response: median %.1f ms\n", filteredCountMs);
        });

        const ObjectId someApp = context->performAndWait([](Context &c) {
            return c.fetchIds(ManagedApp::fetchRequest().limit(1)).value(0);
        });
        auto searched = [&](bool oneApp) {
            auto request = ManagedReview::fetchRequest()
                               .where(Review::rating.in({1, 2, 3}) && Review::responseIdentifier.isNull()
                                      && containsText({Review::title, Review::body}, QStringLiteral("crashes")))
                               .sortedBy(Review::created.descending())
                               .prefetch(Review::app)
                               .prefetch(Review::version);
            if (oneApp)
                request.where(Review::app == someApp);
            return request;
        };
        for (bool oneApp : {false, true}) {
            qsizetype found = 0;
            // Each run in a fresh context, so that every row becomes a new object.
            const double ms = medianMs(7, [&] {
                found = store.newBackgroundContext()->performAndWait([&](Context &c) { return c.fetch(searched(oneApp)).size(); });
            });
            std::printf("filtered (rating in {1,2,3}, no response), searched (\"crashes\" in title or body), "
                        "sorted (created desc) fetch over 300000 reviews%s: %lld rows, median %.1f ms (target < 15)\n",
                        oneApp ? ", one app" : "", static_cast<long long>(found), ms);
        }
        const double accent = medianMs(7, [&] {
            store.newBackgroundContext()->performAndWait([&](Context &c) {
                return c.fetch(ManagedReview::fetchRequest()
                                   .where(containsText({Review::title, Review::body}, QStringLiteral("CAFE")))
                                   .sortedBy(Review::created.descending())
                                   .limit(100))
                    .size();
            });
        });
        std::printf("account-summary style search \"CAFE\" (matches \"café\"), newest 100: median %.1f ms\n", accent);
        const double newest = medianMs(7, [&] {
            store.newBackgroundContext()->performAndWait([&](Context &c) {
                return c.fetch(ManagedReview::fetchRequest().sortedBy(Review::created.descending()).limit(4).prefetch(Review::app)).size();
            });
        });
        std::printf("widget fetch, 4 newest reviews with their apps: median %.2f ms\n", newest);
    }
    return 0;
}
