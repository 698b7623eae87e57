#include "Fennick/Account.h"
#include "Fennick/DataImporter/DataImporter.h"
#include "Fennick/Endpoints.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/StoreModel.h"
#include "Fennick/RequestError.h"
#include "platform/Analytics.h"
#include "platform/keychain/Keychain.h"
#include "platform/store/Container.h"
#include "support/TestHome.h"

#include "FakeConnectServer.h"

#include <QProcess>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThreadPool>

#include <mutex>

using namespace Fennick;
using platform::store::Container;
using platform::store::Context;
using platform::store::ObjectId;

namespace {

struct LogLine {
    QtMsgType type;
    QString category;
    QString message;
};

// What the importer logs, from whatever thread.
std::mutex logMutex;
QList<LogLine> logLines;
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    if (category.startsWith(QLatin1String("Vantorel."))) {
        const std::lock_guard lock(logMutex);
        logLines.append({type, category, message});
        return;
    }
    previousHandler(type, context, message);
}

QList<LogLine> importerLines()
{
    const std::lock_guard lock(logMutex);
    QList<LogLine> lines;
    for (const LogLine &line : std::as_const(logLines)) {
        if (line.category == QLatin1String("Vantorel.importer"))
            lines.append(line);
    }
    return lines;
}

int countLines(QtMsgType type, const QString &prefix)
{
    int count = 0;
    for (const LogLine &line : importerLines())
        count += line.type == type && line.message.startsWith(prefix) ? 1 : 0;
    return count;
}

std::mutex eventMutex;
QList<platform::Analytics::Event> events;

QList<platform::Analytics::Event> recordedEvents()
{
    const std::lock_guard lock(eventMutex);
    return events;
}

const QString english = QStringLiteral(
    "This app is wonderful, I use it every single day to keep track of my projects and it never lets me down.");
const QString german = QStringLiteral(
    "Diese App ist wirklich großartig, ich benutze sie jeden Tag für meine Arbeit und sie funktioniert immer zuverlässig.");

fakes::FakeReview makeReview(const QString &id, const QString &body = english,
                             const QString &created = QStringLiteral("2024-01-02T11:19:36-07:00"))
{
    fakes::FakeReview review;
    review.id = id;
    review.rating = 4;
    review.title = QStringLiteral("Title of ") + id;
    review.body = body;
    review.nickname = QStringLiteral("nick-") + id;
    review.territory = QStringLiteral("DEU");
    review.createdDate = created;
    return review;
}

QList<fakes::FakeReview> makeReviews(const QString &prefix, int count)
{
    QList<fakes::FakeReview> reviews;
    for (int i = 1; i <= count; ++i)
        reviews.append(makeReview(QStringLiteral("%1-r%2").arg(prefix).arg(i)));
    return reviews;
}

fakes::FakeVersion makeVersion(const QString &id, const QList<fakes::FakeReview> &reviews)
{
    return {id, QStringLiteral("1.") + id.right(1), reviews};
}

fakes::FakeApp makeApp(const QString &id, const QList<fakes::FakeVersion> &versions)
{
    return {id, QStringLiteral("App ") + id, QStringLiteral("com.example.") + id, versions};
}

// A review row as plain values, with the identifiers of its parents.
struct ReviewRow {
    ObjectId objectId;
    QString identifier;
    std::optional<QString> body, title, nickname, territory, language, responseText, responseIdentifier;
    std::optional<QString> translatedBody, translatedTitle;
    std::optional<QDateTime> created;
    qint64 rating = 0;
    bool isNew = false;
    QString version, app;
    ObjectId account, appAccount, versionAccount;
};

struct AppRow {
    ObjectId objectId;
    QString identifier;
    std::optional<QString> name;
    bool hasSyncedOnce = false;
    ObjectId account;
    QStringList versions;
};

}  // namespace

class DataImporterTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_stores = 0;
    std::unique_ptr<fakes::FakeConnectServer> m_server;
    std::unique_ptr<Container> m_container;
    std::shared_ptr<Context> m_reader;

    QString storePath() const { return m_container->storePath(); }

    // A new account row; its key goes to the keychain (as the application stores it) or stays
    // in the row (as older versions did).
    enum class KeyPlace { keychain, row, none };
    ObjectId addAccount(const QString &name, const fakes::FakeAccount &fake, KeyPlace place = KeyPlace::keychain)
    {
        const ObjectId id = m_reader->performAndWait([&](Context &c) {
            auto *row = c.insert<ManagedAccount>();
            row->setName(name);
            if (place == KeyPlace::row) {
                row->setIssuerId(fake.issuerId);
                row->setKeyId(fake.keyId);
                row->setKeyBlob(fake.privateKeyPem);
            } else {
                row->setIssuerId(QString());
                row->setKeyId(QString());
            }
            c.save();
            return row->objectId();
        });
        if (place == KeyPlace::keychain) {
            Account account(std::nullopt, name, fake.issuerId, fake.keyId, fake.privateKeyPem);
            if (!account.saveToKeychain(id.uriString()))
                qFatal("keychain write failed");
        }
        return id;
    }

    // Runs one import to the end while the event loop turns; -1 when it does not end.
    int runImport(bool onlySyncLastVersion = false)
    {
        DataImporter importer(m_container->newBackgroundContext(), onlySyncLastVersion);
        QFuture<int> future = importer.importData();
        if (!QTest::qWaitFor([&] { return future.isFinished(); }, 60000))
            return -1;
        return future.result();
    }

    QList<ReviewRow> reviews()
    {
        return m_reader->performAndWait([](Context &c) {
            QList<ReviewRow> rows;
            for (ManagedReview *review : c.fetch(ManagedReview::fetchRequest())) {
                ReviewRow row;
                row.objectId = review->objectId();
                row.identifier = review->identifier().value_or(QString());
                row.body = review->body();
                row.title = review->title();
                row.nickname = review->nickname();
                row.territory = review->territory();
                row.language = review->language();
                row.responseText = review->responseText();
                row.responseIdentifier = review->responseIdentifier();
                row.translatedBody = review->translatedBody();
                row.translatedTitle = review->translatedTitle();
                row.created = review->created();
                row.rating = review->rating();
                row.isNew = review->isNew();
                if (ManagedAppVersion *version = review->version()) {
                    row.version = version->identifier().value_or(QString());
                    if (version->account())
                        row.versionAccount = version->account()->objectId();
                }
                if (ManagedApp *app = review->app()) {
                    row.app = app->identifier().value_or(QString());
                    if (app->account())
                        row.appAccount = app->account()->objectId();
                }
                if (review->account())
                    row.account = review->account()->objectId();
                rows.append(row);
            }
            return rows;
        });
    }

    std::optional<ReviewRow> review(const QString &identifier)
    {
        const QList<ReviewRow> rows = reviews();
        for (const ReviewRow &row : rows) {
            if (row.identifier == identifier)
                return row;
        }
        return std::nullopt;
    }

    QStringList reviewIds(const QString &version)
    {
        QStringList ids;
        for (const ReviewRow &row : reviews()) {
            if (row.version == version)
                ids.append(row.identifier);
        }
        ids.sort();
        return ids;
    }

    QList<AppRow> apps()
    {
        return m_reader->performAndWait([](Context &c) {
            QList<AppRow> rows;
            for (ManagedApp *app : c.fetch(ManagedApp::fetchRequest())) {
                AppRow row{app->objectId(), app->identifier().value_or(QString()), app->name(), app->hasSyncedOnce(),
                           app->account() ? app->account()->objectId() : ObjectId(), {}};
                for (const ManagedAppVersion *version : app->versions())
                    row.versions.append(version->identifier().value_or(QString()));
                row.versions.sort();
                rows.append(row);
            }
            return rows;
        });
    }

    std::optional<AppRow> app(const QString &identifier)
    {
        for (const AppRow &row : apps()) {
            if (row.identifier == identifier)
                return row;
        }
        return std::nullopt;
    }

    void editReview(const QString &identifier, const std::function<void(ManagedReview &)> &edit)
    {
        m_reader->performAndWait([&](Context &c) {
            const auto rows = c.fetch(ManagedReview::fetchRequest().where(ManagedReview::Keys::identifier == identifier));
            QCOMPARE(rows.size(), 1);
            edit(*rows.first());
            c.save();
        });
    }

    int reviewRequests()
    {
        int count = 0;
        for (const fakes::RecordedRequest &request : m_server->requests())
            count += request.path.endsWith("/customerReviews") ? 1 : 0;
        return count;
    }

    // Runs raw SQL on the store file from a connection of its own.
    void runSql(const QString &statement)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
            db.setDatabaseName(storePath());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }

private slots:
    void initTestCase()
    {
        platform::Keychain::useInMemoryBackendForTesting();
        previousHandler = qInstallMessageHandler(recordMessage);
        platform::Analytics::addObserver([](const platform::Analytics::Event &event) {
            const std::lock_guard lock(eventMutex);
            events.append(event);
        });
    }

    void init()
    {
        platform::Keychain::resetInMemoryBackendForTesting();
        m_server = std::make_unique<fakes::FakeConnectServer>();
        Endpoints::setBaseUrl(Endpoints::Service::connect, m_server->baseUrl());
        m_reader.reset();
        m_container.reset();
        m_container = std::make_unique<Container>(QStringLiteral("Vantorel"), storeModel(),
                                                  m_dir.filePath(QStringLiteral("store%1.sqlite").arg(++m_stores)));
        m_reader = m_container->newBackgroundContext();
        {
            const std::lock_guard lock(logMutex);
            logLines.clear();
        }
        const std::lock_guard lock(eventMutex);
        events.clear();
    }

    void cleanup()
    {
        m_reader.reset();
        m_container.reset();
        m_server.reset();
    }

    void firstImportBringsEverythingInAsNotNew()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        QList<fakes::FakeReview> first = makeReviews(QStringLiteral("a-v1"), 30);
        first[0].body = german;
        first[1].response = fakes::FakeResponse{QStringLiteral("resp-1"), QStringLiteral("Thanks!")};
        first[2].createdDate = QStringLiteral("2024-01-02T11:19:36.250Z");
        first[3].createdDate = QStringLiteral("2024-03-04T05:06:07Z");
        first[4].body = QStringLiteral("12345");
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("a-v1"), first),
                                                                         makeVersion(QStringLiteral("a-v2"), makeReviews(QStringLiteral("a-v2"), 3))}),
                                          makeApp(QStringLiteral("empty"), {})});
        const ObjectId account = addAccount(QStringLiteral("Main"), fake);

        QCOMPARE(runImport(), 0);

        const QList<ReviewRow> rows = reviews();
        QCOMPARE(rows.size(), 33);
        for (const ReviewRow &row : rows) {
            QVERIFY2(!row.isNew, qPrintable(row.identifier));
            QCOMPARE(row.account, account);
            QCOMPARE(row.appAccount, account);
            QCOMPARE(row.versionAccount, account);
            QCOMPARE(row.app, QStringLiteral("a"));
        }
        const ReviewRow plain = *review(QStringLiteral("a-v1-r10"));
        QCOMPARE(plain.version, QStringLiteral("a-v1"));
        QCOMPARE(plain.title, QStringLiteral("Title of a-v1-r10"));
        QCOMPARE(plain.body, english);
        QCOMPARE(plain.nickname, QStringLiteral("nick-a-v1-r10"));
        QCOMPARE(plain.territory, QStringLiteral("DEU"));
        QCOMPARE(plain.rating, 4);
        QCOMPARE(plain.created, QDateTime(QDate(2024, 1, 2), QTime(18, 19, 36), Qt::UTC));
        QCOMPARE(plain.language, QStringLiteral("en"));
        QCOMPARE(plain.responseText, std::nullopt);
        QCOMPARE(plain.responseIdentifier, std::nullopt);
        QCOMPARE(review(QStringLiteral("a-v1-r1"))->language, QStringLiteral("de"));
        QCOMPARE(review(QStringLiteral("a-v1-r2"))->responseText, QStringLiteral("Thanks!"));
        QCOMPARE(review(QStringLiteral("a-v1-r2"))->responseIdentifier, QStringLiteral("resp-1"));
        QCOMPARE(review(QStringLiteral("a-v1-r3"))->created, std::nullopt);  // fractional seconds
        QCOMPARE(review(QStringLiteral("a-v1-r4"))->created, QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7), Qt::UTC));
        QCOMPARE(review(QStringLiteral("a-v1-r5"))->language, std::nullopt);  // nothing to tell

        const AppRow a = *app(QStringLiteral("a"));
        QCOMPARE(a.name, QStringLiteral("App a"));
        QVERIFY(a.hasSyncedOnce);
        QCOMPARE(a.account, account);
        QCOMPARE(a.versions, (QStringList{QStringLiteral("a-v1"), QStringLiteral("a-v2")}));
        // An app without versions is done at once.
        QVERIFY(app(QStringLiteral("empty"))->hasSyncedOnce);
        QCOMPARE(countLines(QtInfoMsg, QStringLiteral("Finished downloading data for app")), 2);
        QVERIFY(recordedEvents().isEmpty());
        QCOMPARE(countLines(QtCriticalMsg, QString()), 0);
    }

    void secondImportCountsNewReviewsAndUpdatesInPlace()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        QList<fakes::FakeReview> list = makeReviews(QStringLiteral("v1"), 5);
        list[3].response = fakes::FakeResponse{QStringLiteral("old-response"), QStringLiteral("We fixed it.")};
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("v1"), list)}),
                                          makeApp(QStringLiteral("b"), {makeVersion(QStringLiteral("b1"), makeReviews(QStringLiteral("b1"), 2))})});
        addAccount(QStringLiteral("Main"), fake);
        QCOMPARE(runImport(), 0);

        // What the user did meanwhile: a review was seen, another translated.
        editReview(QStringLiteral("v1-r1"), [](ManagedReview &row) {
            row.setIsNew(true);
            row.setLanguage(QStringLiteral("fr"));
            row.setTranslatedBody(QStringLiteral("translated body"));
            row.setTranslatedTitle(QStringLiteral("translated title"));
        });

        // On the server: two new reviews, one edited, one answered, one whose response went.
        list[0].body = german;
        list[0].title = QStringLiteral("New title");
        list[0].rating = 1;
        list[1].response = fakes::FakeResponse{QStringLiteral("new-response"), QStringLiteral("Thank you.")};
        list[3].response.reset();
        list.prepend(makeReview(QStringLiteral("v1-new2"), german));
        list.prepend(makeReview(QStringLiteral("v1-new1")));
        m_server->setReviews(QStringLiteral("v1"), list);
        m_server->addApp(fake.issuerId, {QStringLiteral("a"), QStringLiteral("Renamed"), QStringLiteral("com.example.a"),
                                         {makeVersion(QStringLiteral("v1"), list)}});

        QCOMPARE(runImport(), 2);

        QVERIFY(review(QStringLiteral("v1-new1"))->isNew);
        QVERIFY(review(QStringLiteral("v1-new2"))->isNew);
        QCOMPARE(review(QStringLiteral("v1-new2"))->language, QStringLiteral("de"));
        int marked = 0;
        for (const ReviewRow &row : reviews())
            marked += row.isNew ? 1 : 0;
        QCOMPARE(marked, 3);  // the two new ones and the one the user left marked

        const ReviewRow edited = *review(QStringLiteral("v1-r1"));
        QCOMPARE(edited.body, german);
        QCOMPARE(edited.title, QStringLiteral("New title"));
        QCOMPARE(edited.rating, 1);
        QVERIFY(edited.isNew);
        QCOMPARE(edited.language, QStringLiteral("fr"));
        QCOMPARE(edited.translatedBody, QStringLiteral("translated body"));
        QCOMPARE(edited.translatedTitle, QStringLiteral("translated title"));
        QCOMPARE(edited.nickname, QStringLiteral("nick-v1-r1"));

        QCOMPARE(review(QStringLiteral("v1-r2"))->responseText, QStringLiteral("Thank you."));
        QCOMPARE(review(QStringLiteral("v1-r2"))->responseIdentifier, QStringLiteral("new-response"));
        // A server copy without a response leaves the stored one alone.
        QCOMPARE(review(QStringLiteral("v1-r4"))->responseText, QStringLiteral("We fixed it."));
        QCOMPARE(review(QStringLiteral("v1-r4"))->responseIdentifier, QStringLiteral("old-response"));
        QCOMPARE(app(QStringLiteral("a"))->name, QStringLiteral("Renamed"));
        QCOMPARE(reviews().size(), 9);
    }

    void itemsTheServerDroppedAreDeleted()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("v1"), makeReviews(QStringLiteral("v1"), 4)),
                                                                         makeVersion(QStringLiteral("v2"), makeReviews(QStringLiteral("v2"), 3))}),
                                          makeApp(QStringLiteral("gone"), {makeVersion(QStringLiteral("g1"), makeReviews(QStringLiteral("g1"), 2))})});
        addAccount(QStringLiteral("Main"), fake);
        QCOMPARE(runImport(), 0);
        QCOMPARE(reviews().size(), 9);

        // The newest list pushed two reviews out, a version went, an app went.
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("v1"), makeReviews(QStringLiteral("v1"), 4).mid(2))})});
        QCOMPARE(runImport(), 0);

        QCOMPARE(reviewIds(QStringLiteral("v1")), (QStringList{QStringLiteral("v1-r3"), QStringLiteral("v1-r4")}));
        QCOMPARE(app(QStringLiteral("a"))->versions, QStringList{QStringLiteral("v1")});
        QVERIFY(!app(QStringLiteral("gone")));
        QCOMPARE(reviews().size(), 2);  // the rows of the version and app that went went with them
    }

    void aSecondRowOfOneItemIsRefused()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("v1"), makeReviews(QStringLiteral("v1"), 2))})});
        addAccount(QStringLiteral("Main"), fake);
        QCOMPARE(runImport(), 0);
        const ObjectId original = review(QStringLiteral("v1-r1"))->objectId;
        editReview(QStringLiteral("v1-r1"), [](ManagedReview &row) { row.setTranslatedBody(QStringLiteral("kept")); });

        // A second writer that did not look first cannot store the same review again.
        m_reader->performAndWait([](Context &c) {
            ManagedReview *existing = c.fetch(ManagedReview::fetchRequest().where(ManagedReview::Keys::identifier == QStringLiteral("v1-r1")))[0];
            auto *copy = c.insert<ManagedReview>();
            copy->setIdentifier(QStringLiteral("v1-r1"));
            copy->setAccount(existing->account());
            copy->setApp(existing->app());
            copy->setVersion(existing->version());
            QVERIFY_THROWS_EXCEPTION(platform::store::StoreError, c.save());
            c.rollback();
        });
        QCOMPARE(reviews().size(), 2);

        QCOMPARE(runImport(), 0);
        QCOMPARE(reviewIds(QStringLiteral("v1")), (QStringList{QStringLiteral("v1-r1"), QStringLiteral("v1-r2")}));
        QCOMPARE(review(QStringLiteral("v1-r1"))->objectId, original);
        QCOMPARE(review(QStringLiteral("v1-r1"))->translatedBody, QStringLiteral("kept"));
    }

    void onlyTheLastVersionWhenAsked()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("v1"), makeReviews(QStringLiteral("v1"), 2)),
                                                                         makeVersion(QStringLiteral("v2"), makeReviews(QStringLiteral("v2"), 2)),
                                                                         makeVersion(QStringLiteral("v3"), makeReviews(QStringLiteral("v3"), 2))})});
        addAccount(QStringLiteral("Main"), fake);
        QCOMPARE(runImport(true), 0);
        QCOMPARE(reviewRequests(), 1);
        QVERIFY(m_server->requests().last().path.endsWith("/v1/appStoreVersions/v3/customerReviews"));
        QCOMPARE(reviewIds(QStringLiteral("v3")).size(), 2);
        QCOMPARE(reviews().size(), 2);
        QCOMPARE(app(QStringLiteral("a"))->versions.size(), 3);
        QVERIFY(app(QStringLiteral("a"))->hasSyncedOnce);
    }

    void accountsWithoutKeysAreNeverAsked()
    {
        QCOMPARE(runImport(), 0);  // no accounts at all
        const fakes::FakeAccount keyless = m_server->addAccount();
        m_server->setApps(keyless.issuerId, {makeApp(QStringLiteral("k"), {})});
        addAccount(QStringLiteral("No key"), keyless, KeyPlace::none);
        QCOMPARE(runImport(), 0);
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(apps().isEmpty());

        // A key still kept in the row (before the keychain move) is used.
        const fakes::FakeAccount legacy = m_server->addAccount();
        m_server->setApps(legacy.issuerId, {makeApp(QStringLiteral("l"), {makeVersion(QStringLiteral("l1"), makeReviews(QStringLiteral("l1"), 1))})});
        addAccount(QStringLiteral("Row key"), legacy, KeyPlace::row);
        QCOMPARE(runImport(), 0);
        QCOMPARE(m_server->rejectedCount(), 0);
        QCOMPARE(m_server->requestCount(), 3);
        QCOMPARE(reviewIds(QStringLiteral("l1")), QStringList{QStringLiteral("l1-r1")});
        QVERIFY(recordedEvents().isEmpty());
    }

    void twoAccountsListingOneAppKeepTheirOwnRows()
    {
        const fakes::FakeAccount first = m_server->addAccount();
        const fakes::FakeAccount second = m_server->addAccount();
        const fakes::FakeApp shared = makeApp(QStringLiteral("shared"), {makeVersion(QStringLiteral("s1"), makeReviews(QStringLiteral("s1"), 3))});
        m_server->setApps(first.issuerId, {makeApp(QStringLiteral("own"), {makeVersion(QStringLiteral("o1"), makeReviews(QStringLiteral("o1"), 1))}), shared});
        m_server->setApps(second.issuerId, {shared});
        const ObjectId firstId = addAccount(QStringLiteral("First"), first);
        const ObjectId secondId = addAccount(QStringLiteral("Second"), second);
        QCOMPARE(runImport(), 0);

        auto check = [&](int reviewsPerAccount) {
            QList<AppRow> sharedRows;
            for (const AppRow &row : apps()) {
                if (row.identifier == QLatin1String("shared"))
                    sharedRows.append(row);
            }
            QCOMPARE(sharedRows.size(), 2);
            QCOMPARE((QSet<ObjectId>{sharedRows[0].account, sharedRows[1].account}), (QSet<ObjectId>{firstId, secondId}));
            for (const AppRow &row : sharedRows) {
                QVERIFY(row.hasSyncedOnce);
                QCOMPARE(row.versions, QStringList{QStringLiteral("s1")});
            }
            QHash<ObjectId, int> perAccount;
            for (const ReviewRow &row : reviews()) {
                QCOMPARE(row.appAccount, row.account);
                QCOMPARE(row.versionAccount, row.account);
                if (row.version == QLatin1String("s1"))
                    ++perAccount[row.account];
            }
            QCOMPARE(perAccount.value(firstId), reviewsPerAccount);
            QCOMPARE(perAccount.value(secondId), reviewsPerAccount);
        };
        check(3);
        if (QTest::currentTestFailed())
            return;

        // A new review of the shared app is new in both accounts.
        QList<fakes::FakeReview> list = makeReviews(QStringLiteral("s1"), 3);
        list.prepend(makeReview(QStringLiteral("s1-new")));
        m_server->setReviews(QStringLiteral("s1"), list);
        QCOMPARE(runImport(), 2);
        check(4);
        if (QTest::currentTestFailed())
            return;
        int marked = 0;
        for (const ReviewRow &row : reviews())
            marked += row.identifier == QLatin1String("s1-new") && row.isNew ? 1 : 0;
        QCOMPARE(marked, 2);
    }

    void oneFailingAppDoesNotStopItsSiblings()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("broken"), {makeVersion(QStringLiteral("x1"), makeReviews(QStringLiteral("x1"), 2))}),
                                          makeApp(QStringLiteral("fine"), {makeVersion(QStringLiteral("f1"), makeReviews(QStringLiteral("f1"), 2))})});
        addAccount(QStringLiteral("Main"), fake);
        m_server->setOverride("/v1/apps/broken/appStoreVersions", {500, 0, fakes::Override::Body::normal, {}});
        QCOMPARE(runImport(), 0);

        QVERIFY(!app(QStringLiteral("broken"))->hasSyncedOnce);
        QVERIFY(app(QStringLiteral("broken"))->versions.isEmpty());
        QVERIFY(app(QStringLiteral("fine"))->hasSyncedOnce);
        QCOMPARE(reviewIds(QStringLiteral("f1")).size(), 2);
        const QString message = RequestError::noSuccess(500).localizedDescription();
        const QList<platform::Analytics::Event> sent = recordedEvents();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].name, QStringLiteral("ErrorDownloadApp"));
        QCOMPARE(sent[0].properties, (platform::Analytics::Properties{{QStringLiteral("message"), message}}));
        QCOMPARE(countLines(QtCriticalMsg, QStringLiteral("Failed downloading data for app: ") + message), 1);
        QCOMPARE(countLines(QtInfoMsg, QStringLiteral("Finished downloading data for app")), 1);

        // Next time the app comes in whole, as its first complete import: nothing is new; the
        // sibling's new review is.
        m_server->clearOverrides();
        QList<fakes::FakeReview> list = makeReviews(QStringLiteral("f1"), 2);
        list.prepend(makeReview(QStringLiteral("f1-new")));
        m_server->setReviews(QStringLiteral("f1"), list);
        QCOMPARE(runImport(), 1);
        QVERIFY(app(QStringLiteral("broken"))->hasSyncedOnce);
        QCOMPARE(reviewIds(QStringLiteral("x1")).size(), 2);
        QVERIFY(!review(QStringLiteral("x1-r1"))->isNew);
    }

    void aFailureHalfWayKeepsTheLevelsSavedBeforeIt()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("v1"), makeReviews(QStringLiteral("v1"), 2)),
                                                                         makeVersion(QStringLiteral("v2"), makeReviews(QStringLiteral("v2"), 2))})});
        addAccount(QStringLiteral("Main"), fake);
        m_server->setOverride("/v1/appStoreVersions/v2/customerReviews", {0, 0, fakes::Override::Body::malformed, {}});
        QCOMPARE(runImport(), 0);
        QCOMPARE(app(QStringLiteral("a"))->versions, (QStringList{QStringLiteral("v1"), QStringLiteral("v2")}));
        QCOMPARE(reviewIds(QStringLiteral("v1")).size(), 2);
        QVERIFY(reviewIds(QStringLiteral("v2")).isEmpty());
        QVERIFY(!app(QStringLiteral("a"))->hasSyncedOnce);
        QCOMPARE(recordedEvents().size(), 1);
        QCOMPARE(countLines(QtCriticalMsg, QStringLiteral("Failed downloading data for app: ")), 1);
    }

    void aRefusedSaveLeavesWholeLevelsAndOtherData()
    {
        const fakes::FakeAccount one = m_server->addAccount();
        const fakes::FakeAccount two = m_server->addAccount();
        m_server->setApps(one.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("a1"), makeReviews(QStringLiteral("a1"), 2)),
                                                                        makeVersion(QStringLiteral("a2"), makeReviews(QStringLiteral("a2"), 2))}),
                                         makeApp(QStringLiteral("b"), {makeVersion(QStringLiteral("b1"), makeReviews(QStringLiteral("b1"), 2))})});
        m_server->setApps(two.issuerId, {makeApp(QStringLiteral("c"), {makeVersion(QStringLiteral("c1"), makeReviews(QStringLiteral("c1"), 2))})});
        addAccount(QStringLiteral("One"), one);
        addAccount(QStringLiteral("Two"), two);
        QCOMPARE(runImport(), 0);
        QCOMPARE(reviews().size(), 8);

        // The store refuses one review of a2; every app gets something new.
        runSql(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON \"Review\" WHEN NEW.\"identifier\" = 'refused' "
                              "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END"));
        for (const QString &version : {QStringLiteral("a1"), QStringLiteral("b1"), QStringLiteral("c1")}) {
            QList<fakes::FakeReview> list = makeReviews(version, 2);
            list.prepend(makeReview(version + QStringLiteral("-new")));
            m_server->setReviews(version, list);
        }
        QList<fakes::FakeReview> a2 = makeReviews(QStringLiteral("a2"), 1);  // a2-r2 went
        a2.prepend(makeReview(QStringLiteral("refused")));
        a2.prepend(makeReview(QStringLiteral("a2-new")));
        m_server->setReviews(QStringLiteral("a2"), a2);

        QCOMPARE(runImport(), 2);  // b1-new and c1-new; app a failed

        QCOMPARE(reviewIds(QStringLiteral("a1")), (QStringList{QStringLiteral("a1-new"), QStringLiteral("a1-r1"), QStringLiteral("a1-r2")}));
        // The refused level is as it was: nothing inserted, nothing deleted.
        QCOMPARE(reviewIds(QStringLiteral("a2")), (QStringList{QStringLiteral("a2-r1"), QStringLiteral("a2-r2")}));
        QCOMPARE(reviewIds(QStringLiteral("b1")), (QStringList{QStringLiteral("b1-new"), QStringLiteral("b1-r1"), QStringLiteral("b1-r2")}));
        QCOMPARE(reviewIds(QStringLiteral("c1")), (QStringList{QStringLiteral("c1-new"), QStringLiteral("c1-r1"), QStringLiteral("c1-r2")}));
        QCOMPARE(recordedEvents().size(), 1);
        QCOMPARE(recordedEvents()[0].name, QStringLiteral("ErrorDownloadApp"));
        QCOMPARE(countLines(QtCriticalMsg, QStringLiteral("Failed downloading data for app: ")), 1);
        QCOMPARE(countLines(QtInfoMsg, QStringLiteral("Finished downloading data for app")), 3 + 2);
    }

    void aRefusedAccountIsReportedAndTheNextOneGoesOn()
    {
        const fakes::FakeAccount known = m_server->addAccount();
        m_server->setApps(known.issuerId, {makeApp(QStringLiteral("a"), {makeVersion(QStringLiteral("v1"), makeReviews(QStringLiteral("v1"), 1))})});
        fakes::FakeAccount stranger = known;
        stranger.keyId = QStringLiteral("UNKNOWNKEY");
        addAccount(QStringLiteral("Stranger"), stranger);
        addAccount(QStringLiteral("Known"), known);
        QCOMPARE(runImport(), 0);

        const QString message = RequestError::noSuccess(401).localizedDescription();
        const QList<platform::Analytics::Event> sent = recordedEvents();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].name, QStringLiteral("ErrorImportAccount"));
        QCOMPARE(sent[0].properties.value(QStringLiteral("message")), message);
        QCOMPARE(countLines(QtCriticalMsg, QStringLiteral("Could not import account: ") + message), 1);
        QCOMPARE(reviewIds(QStringLiteral("v1")).size(), 1);
        QCOMPARE(apps().size(), 1);
    }

    void unreachableServersAreLoggedButNotReported()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        m_server->setApps(fake.issuerId, {makeApp(QStringLiteral("slow"), {makeVersion(QStringLiteral("s1"), makeReviews(QStringLiteral("s1"), 1))}),
                                          makeApp(QStringLiteral("quick"), {makeVersion(QStringLiteral("q1"), makeReviews(QStringLiteral("q1"), 1))})});
        addAccount(QStringLiteral("Main"), fake);

        // The server goes away while one app waits for its versions: its next request finds
        // nobody listening (-1004), after its sibling has finished.
        m_server->setOverride("/v1/apps/slow/appStoreVersions", {0, 1500, fakes::Override::Body::normal, {}});
        DataImporter importer(m_container->newBackgroundContext(), false);
        QFuture<int> future = importer.importData();
        QTRY_COMPARE_WITH_TIMEOUT(countLines(QtInfoMsg, QStringLiteral("Finished downloading data for app")), 1, 10000);
        m_server.reset();
        QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 30000);
        QCOMPARE(future.result(), 0);

        QVERIFY(app(QStringLiteral("quick"))->hasSyncedOnce);
        QCOMPARE(app(QStringLiteral("slow"))->versions, QStringList{QStringLiteral("s1")});
        QVERIFY(!app(QStringLiteral("slow"))->hasSyncedOnce);
        QVERIFY(recordedEvents().isEmpty());
        QCOMPARE(countLines(QtCriticalMsg, QStringLiteral("Failed downloading data for app: Could not connect to the server.")), 1);

        // The whole server unreachable: the account's first request fails the same way.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        Endpoints::setBaseUrl(Endpoints::Service::connect, QStringLiteral("http://127.0.0.1:%1").arg(closedPort));
        QCOMPARE(runImport(), 0);
        QVERIFY(recordedEvents().isEmpty());
        QCOMPARE(countLines(QtCriticalMsg, QStringLiteral("Could not import account: Could not connect to the server.")), 1);
        QCOMPARE(apps().size(), 2);  // nothing stored was lost
        QCOMPARE(reviews().size(), 1);
    }

    void anUnreadableStoreEndsTheRunAtOnce()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        addAccount(QStringLiteral("Main"), fake);
        runSql(QStringLiteral("ALTER TABLE \"Account\" RENAME TO \"Elsewhere\""));
        QCOMPARE(runImport(), 0);
        QCOMPARE(m_server->requestCount(), 0);
        const QList<platform::Analytics::Event> sent = recordedEvents();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].name, QStringLiteral("ErrorStartImportAccount"));
        QCOMPARE(countLines(QtCriticalMsg, QStringLiteral("Could not start importing: ")), 1);
        runSql(QStringLiteral("ALTER TABLE \"Elsewhere\" RENAME TO \"Account\""));
    }

    void runsWhileTheGlobalPoolIsBusy()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        m_server->setApps(fake.issuerId, fakes::sampleApps(6, 2, 5, QStringLiteral("busy")));
        addAccount(QStringLiteral("Main"), fake);

        QThreadPool *global = QThreadPool::globalInstance();
        QSemaphore release;
        QSemaphore started;
        const int threads = global->maxThreadCount();
        for (int i = 0; i < threads; ++i) {
            global->start([&] {
                started.release();
                release.acquire();
            });
        }
        started.acquire(threads);
        DataImporter importer(m_container->newBackgroundContext(), false);
        QFuture<int> future = importer.importData();
        const bool finished = QTest::qWaitFor([&] { return future.isFinished(); }, 30000);
        release.release(threads);
        global->waitForDone();
        QVERIFY(finished);
        QCOMPARE(reviews().size(), 6 * 2 * 5);
    }

    void anotherProcessWritesWhileWeImport()
    {
        const fakes::FakeAccount fake = m_server->addAccount();
        m_server->setApps(fake.issuerId, fakes::sampleApps(8, 3, 50, QStringLiteral("both")));
        m_server->setDelay(5);
        addAccount(QStringLiteral("Main"), fake);

        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(QStringLiteral(STORE_WRITER), {storePath(), QStringLiteral("widget")});
        QVERIFY(writer.waitForStarted());
        QVERIFY(writer.waitForReadyRead(10000));
        QCOMPARE(writer.readLine().trimmed(), QByteArray("started"));

        const int result = runImport();
        writer.closeWriteChannel();
        QVERIFY(writer.waitForFinished(30000));
        QCOMPARE(writer.exitCode(), 0);
        const QByteArray report = writer.readAll().trimmed();
        QVERIFY2(report.startsWith("wrote "), report.constData());
        const int written = report.mid(6).toInt();
        QVERIFY(written > 1);

        QCOMPARE(result, 0);
        QCOMPARE(countLines(QtCriticalMsg, QString()), 0);
        QVERIFY(recordedEvents().isEmpty());
        int imported = 0;
        int widgetApps = 0;
        for (const AppRow &row : apps()) {
            if (row.identifier.startsWith(QLatin1String("both-"))) {
                ++imported;
                QVERIFY(row.hasSyncedOnce);
                QCOMPARE(row.versions.size(), 3);
            } else if (row.identifier.startsWith(QLatin1String("widget-"))) {
                ++widgetApps;
            }
        }
        QCOMPARE(imported, 8);
        QCOMPARE(widgetApps, written);
        int importedReviews = 0;
        for (const ReviewRow &row : reviews())
            importedReviews += row.identifier.startsWith(QLatin1String("both-")) ? 1 : 0;
        QCOMPARE(importedReviews, 8 * 3 * 50);
    }
};

VANTOREL_TEST_MAIN(DataImporterTest)
#include "tst_data_importer.moc"
