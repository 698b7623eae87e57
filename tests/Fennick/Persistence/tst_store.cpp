#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/store/Container.h"
#include "platform/store/Migration.h"
#include "support/TestHome.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtConcurrent>

using namespace Fennick;
using namespace platform::store;

namespace {

using Review = ManagedReview::Keys;

// One account with one app, one version and the given reviews (title, body, rating, created
// minutes after a fixed time, response id or empty).
struct ReviewSeed {
    QString title;
    QString body;
    qint64 rating = 5;
    int minute = 0;
    QString response;
};

const QDateTime epoch = QDateTime(QDate(2024, 1, 1), QTime(12, 0), Qt::UTC);

ManagedAppVersion *addTree(Context &c, const QString &name, const QList<ReviewSeed> &reviews)
{
    auto *account = c.insert<ManagedAccount>();
    account->setName(name);
    auto *app = c.insert<ManagedApp>();
    app->setIdentifier(name + QStringLiteral("-app"));
    app->setName(name + QStringLiteral(" App"));
    app->setAccount(account);
    auto *version = c.insert<ManagedAppVersion>();
    version->setIdentifier(name + QStringLiteral("-v1"));
    version->setVersion(QStringLiteral("1.0"));
    version->setApp(app);
    version->setAccount(account);
    int n = 0;
    for (const ReviewSeed &seed : reviews) {
        auto *review = c.insert<ManagedReview>();
        review->setIdentifier(QStringLiteral("%1-r%2").arg(name).arg(n++));
        review->setTitle(seed.title);
        review->setBody(seed.body);
        review->setRating(seed.rating);
        review->setCreated(epoch.addSecs(60 * seed.minute));
        if (!seed.response.isEmpty())
            review->setResponseIdentifier(seed.response);
        review->setAccount(account);
        review->setApp(app);
        review->setVersion(version);
    }
    return version;
}

QStringList titles(const QList<ManagedReview *> &reviews)
{
    QStringList result;
    for (const ManagedReview *review : reviews)
        result.append(review->title().value_or(QStringLiteral("<none>")));
    return result;
}

// A store file as the first schema wrote it, with what two programs importing at once left in
// it: rows of one identifier twice under one parent, with children under either copy.
const char *const firstSchemaStore[] = {
    R"(CREATE TABLE "Account" (pk INTEGER PRIMARY KEY, "issuerId" TEXT, "keyBlob" BLOB, "keyId" TEXT, "name" TEXT, "timestamp" INTEGER))",
    R"(CREATE TABLE "App" (pk INTEGER PRIMARY KEY, "hasSyncedOnce" INTEGER NOT NULL DEFAULT 0, "identifier" TEXT, "isHidden" INTEGER NOT NULL DEFAULT 0, "name" TEXT, "timestamp" INTEGER, "account__pk" INTEGER REFERENCES "Account"(pk) ON DELETE CASCADE))",
    R"(CREATE INDEX "App_identifier" ON "App"("identifier"))",
    R"(CREATE INDEX "App_account" ON "App"("account__pk"))",
    R"(CREATE TABLE "AppVersion" (pk INTEGER PRIMARY KEY, "identifier" TEXT, "timestamp" INTEGER, "version" TEXT, "account__pk" INTEGER REFERENCES "Account"(pk) ON DELETE CASCADE, "app__pk" INTEGER REFERENCES "App"(pk) ON DELETE CASCADE))",
    R"(CREATE INDEX "AppVersion_identifier" ON "AppVersion"("identifier"))",
    R"(CREATE INDEX "AppVersion_account" ON "AppVersion"("account__pk"))",
    R"(CREATE INDEX "AppVersion_app" ON "AppVersion"("app__pk"))",
    R"(CREATE TABLE "Review" (pk INTEGER PRIMARY KEY, "body" TEXT, "created" INTEGER, "identifier" TEXT, "isNew" INTEGER NOT NULL DEFAULT 0, "language" TEXT, "nickname" TEXT, "rating" INTEGER NOT NULL DEFAULT 0, "responseIdentifier" TEXT, "responseText" TEXT, "territory" TEXT, "timestamp" INTEGER, "title" TEXT, "translatedBody" TEXT, "translatedTitle" TEXT, "body__folded" TEXT, "title__folded" TEXT, "account__pk" INTEGER REFERENCES "Account"(pk) ON DELETE CASCADE, "app__pk" INTEGER REFERENCES "App"(pk) ON DELETE CASCADE, "version__pk" INTEGER REFERENCES "AppVersion"(pk) ON DELETE CASCADE))",
    R"(CREATE INDEX "Review_created" ON "Review"("created"))",
    R"(CREATE INDEX "Review_identifier" ON "Review"("identifier"))",
    R"(CREATE INDEX "Review_rating" ON "Review"("rating"))",
    R"(CREATE INDEX "Review_responseIdentifier" ON "Review"("responseIdentifier"))",
    R"(CREATE INDEX "Review_account" ON "Review"("account__pk"))",
    R"(CREATE INDEX "Review_app" ON "Review"("app__pk"))",
    R"(CREATE INDEX "Review_version" ON "Review"("version__pk"))",
    R"(CREATE TABLE store_metadata (key TEXT PRIMARY KEY, value TEXT))",
    R"(INSERT INTO store_metadata VALUES ('uuid', '6f1c2b1e-54a4-4c44-9a39-0b8e2f9d7a11'))",
    R"(INSERT INTO "Account" (pk, keyId, name) VALUES (1, '', 'Main'), (2, '', 'Second'))",
    // App "a" twice in account 1 (the second copy newer), once in account 2; two apps without one.
    R"(INSERT INTO "App" (pk, hasSyncedOnce, identifier, isHidden, name, account__pk) VALUES
        (1, 1, 'a', 1, 'App A', 1), (2, 0, 'a', 0, 'App A copy', 1), (3, 1, 'a', 0, 'App A', 2),
        (4, 0, NULL, 0, 'no id', 1), (5, 0, NULL, 0, 'no id', 1))",
    // Version v1 under both copies of the app; v2 only under the newer copy.
    R"(INSERT INTO "AppVersion" (pk, identifier, version, account__pk, app__pk) VALUES
        (1, 'v1', '1.0', 1, 1), (2, 'v1', '1.0', 1, 2), (3, 'v2', '2.0', 1, 2))",
    R"(INSERT INTO "Review" (pk, identifier, title, title__folded, isNew, translatedBody, account__pk, app__pk, version__pk) VALUES
        (1, 'r1', 'First', 'first', 1, 'kept', 1, 1, 1), (2, 'r1', 'First', 'first', 0, NULL, 1, 2, 2),
        (3, 'r2', 'Second', 'second', 0, NULL, 1, 2, 2), (4, 'r3', 'Third', 'third', 0, NULL, 1, 2, 3),
        (5, 'r1', 'First', 'first', 0, NULL, 1, 1, 1))",
    "PRAGMA user_version = 1",
};

}  // namespace

class StoreTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("store.sqlite")); }
    std::unique_ptr<Container> open(const QString &file = {})
    {
        return std::make_unique<Container>(QStringLiteral("Vantorel"), storeModel(), file.isEmpty() ? path() : file);
    }

private slots:
    void init()
    {
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral("-wal"));
        QFile::remove(path() + QStringLiteral("-shm"));
    }

    void objectIdsAreValuesWithStableUris()
    {
        const QUuid store = QUuid::createUuid();
        const ObjectId a(store, QStringLiteral("Review"), 7);
        QCOMPARE(a, ObjectId(store, QStringLiteral("Review"), 7));
        QVERIFY(a != ObjectId(store, QStringLiteral("App"), 7));
        QVERIFY(a != ObjectId(QUuid::createUuid(), QStringLiteral("Review"), 7));
        QCOMPARE(qHash(a), qHash(ObjectId(store, QStringLiteral("Review"), 7)));
        QCOMPARE(std::hash<ObjectId>()(a), std::hash<ObjectId>()(ObjectId(store, QStringLiteral("Review"), 7)));
        QCOMPARE(ObjectId::fromUriString(a.uriString()), a);
        QVERIFY(a.uriString().contains(QStringLiteral("/Review/p7")));

        const ObjectId t1 = ObjectId::temporary(QStringLiteral("Review"));
        const ObjectId t2 = ObjectId::temporary(QStringLiteral("Review"));
        QVERIFY(t1.isTemporary());
        QVERIFY(t1 != t2);
        QVERIFY(ObjectId::fromUriString(t1.uriString()).isNull());  // never a stored row
        for (const char *bad : {"", "x-vantorel-store://nope/Review/p1", "http://x/Review/p1",
                                "x-vantorel-store://00000000-0000-0000-0000-000000000001/Review/p0"})
            QVERIFY(ObjectId::fromUriString(QString::fromLatin1(bad)).isNull());

        auto container = open();
        Context &view = container->viewContext();
        QVERIFY(!view.existingObject(t1));
        QVERIFY(!view.existingObject(a));  // another store's id
        QVERIFY(!view.existingObject(ObjectId()));
    }

    void uriStaysTheSameAcrossReopening()
    {
        QString uri;
        QUuid storeId;
        {
            auto container = open();
            Context &view = container->viewContext();
            auto *account = view.insert<ManagedAccount>();
            account->setName(QStringLiteral("Alpha"));
            QVERIFY(account->objectId().isTemporary());
            view.save();
            QVERIFY(!account->objectId().isTemporary());
            uri = account->objectId().uriString();
            storeId = container->storeId();
        }
        auto container = open();
        QCOMPARE(container->storeId(), storeId);
        Context &view = container->viewContext();
        auto *account = view.existingObject<ManagedAccount>(ObjectId::fromUriString(uri));
        QVERIFY(account);
        QCOMPARE(account->name(), QStringLiteral("Alpha"));
        QCOMPARE(account->objectId().uriString(), uri);
        const QList<ManagedAccount *> fetched = view.fetch(ManagedAccount::fetchRequest());
        QCOMPARE(fetched.size(), 1);
        QCOMPARE(fetched[0], account);  // one object per row within a context

        view.deleteObject(account);
        view.save();
        QVERIFY(account->isDeleted());
        QVERIFY(!view.existingObject(ObjectId::fromUriString(uri)));
        auto other = container->newBackgroundContext();
        QVERIFY(!other->performAndWait([&](Context &c) { return c.existingObject(ObjectId::fromUriString(uri)) != nullptr; }));
    }

    void objectIdsAreNeverGivenTwice()
    {
        // The newest row of an entity is deleted, then another row is inserted: in the same
        // session and after reopening the file.
        QSet<QString> given;
        auto insertAndDelete = [&](Container &container) {
            Context &view = container.viewContext();
            auto *account = view.insert<ManagedAccount>();
            auto *review = view.insert<ManagedReview>();
            view.save();
            for (const ManagedObject *object : {static_cast<ManagedObject *>(account), static_cast<ManagedObject *>(review)}) {
                const QString uri = object->objectId().uriString();
                QVERIFY2(!given.contains(uri), qPrintable(uri));
                given.insert(uri);
            }
            view.deleteObject(account);
            view.deleteObject(review);
            view.save();
        };
        {
            auto container = open();
            Context &view = container->viewContext();
            view.insert<ManagedAccount>();  // an older row that stays
            view.save();
            for (int i = 0; i < 3; ++i)
                insertAndDelete(*container);
        }
        for (int reopened = 0; reopened < 2; ++reopened) {
            auto container = open();
            insertAndDelete(*container);
        }
        QCOMPARE(given.size(), 10);
    }

    void aStoreOfTheFirstSchemaIsMigratedWithItsRows()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("first"));
            db.setDatabaseName(path());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("PRAGMA journal_mode = WAL")));
            for (const char *statement : firstSchemaStore)
                QVERIFY2(query.exec(QString::fromUtf8(statement)), statement);
            query = QSqlQuery();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("first"));

        auto container = open();
        QCOMPARE(container->storeId(), QUuid::fromString(QStringLiteral("6f1c2b1e-54a4-4c44-9a39-0b8e2f9d7a11")));
        Context &view = container->viewContext();
        const QUuid store = container->storeId();
        auto id = [&](const char *entity, qint64 key) { return ObjectId(store, QString::fromLatin1(entity), key); };

        // The oldest row of each identifier stays with its own values; the children of the
        // copies moved to it, and the copies went.
        QCOMPARE(view.count(ManagedAccount::fetchRequest()), 2);
        QList<ObjectId> appIds = view.fetchIds(ManagedApp::fetchRequest());
        std::sort(appIds.begin(), appIds.end(), [](const ObjectId &a, const ObjectId &b) { return a.key() < b.key(); });
        QCOMPARE(appIds, (QList<ObjectId>{id("App", 1), id("App", 3), id("App", 4), id("App", 5)}));
        auto *app = view.existingObject<ManagedApp>(id("App", 1));
        QVERIFY(app);
        QCOMPARE(app->name(), QStringLiteral("App A"));
        QVERIFY(app->hasSyncedOnce());
        QVERIFY(app->isHidden());
        QStringList versions;
        for (const ManagedAppVersion *version : app->versions())
            versions.append(QStringLiteral("%1:%2").arg(*version->identifier()).arg(version->objectId().key()));
        versions.sort();
        QCOMPARE(versions, (QStringList{QStringLiteral("v1:1"), QStringLiteral("v2:3")}));
        QStringList reviews;
        for (const ManagedReview *review : view.fetch(ManagedReview::fetchRequest())) {
            QCOMPARE(review->app(), app);
            reviews.append(QStringLiteral("%1:%2:%3").arg(*review->identifier()).arg(review->objectId().key())
                               .arg(review->version()->objectId().key()));
        }
        reviews.sort();
        QCOMPARE(reviews, (QStringList{QStringLiteral("r1:1:1"), QStringLiteral("r2:3:1"), QStringLiteral("r3:4:3")}));
        auto *first = view.existingObject<ManagedReview>(id("Review", 1));
        QCOMPARE(first->translatedBody(), QStringLiteral("kept"));
        QVERIFY(first->isNew());
        QCOMPARE(view.fetch(ManagedReview::fetchRequest().where(containsText({Review::title}, QStringLiteral("THIRD")))).size(), 1);

        // New rows get keys above every key the file held, and the store now refuses a second row
        // of one identifier under one parent, while rows without an identifier stay allowed.
        auto *fresh = view.insert<ManagedApp>();
        fresh->setAccount(app->account());
        view.save();
        QVERIFY(fresh->objectId().key() > 5);
        auto *copy = view.insert<ManagedApp>();
        copy->setIdentifier(QStringLiteral("a"));
        copy->setAccount(app->account());
        QVERIFY_THROWS_EXCEPTION(StoreError, view.save());
        view.rollback();
        auto *elsewhere = view.insert<ManagedApp>();
        elsewhere->setIdentifier(QStringLiteral("a"));
        view.save();  // no account: another parent
    }

    // Stores of the previous schema added inserted rows to the search index by a trigger; the
    // store now adds them itself, so a trigger left behind would index every new row twice.
    void theSearchIndexOfThePreviousSchemaKeepsItsRowsAndLosesItsInsertTrigger()
    {
        const auto raw = [&](const QStringList &statements, const QString &query = {}) {
            QVariant answer;
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
                db.setDatabaseName(path());
                if (!db.open())
                    return QVariant(QStringLiteral("cannot open"));
                QSqlQuery run(db);
                for (const QString &statement : statements) {
                    if (!run.exec(statement))
                        answer = run.lastError().text();
                }
                if (!query.isEmpty() && answer.isNull())
                    answer = run.exec(query) && run.next() ? run.value(0) : QVariant(run.lastError().text());
                run = QSqlQuery();
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("raw"));
            return answer;
        };
        const QString integrityCheck = QStringLiteral(
            "INSERT INTO \"Review__search\" (\"Review__search\", rank) VALUES ('integrity-check', 1)");
        const auto addReview = [](Container &store, const QString &title) {
            return store.performBackgroundTask([title](Context &c) {
                auto *review = c.insert<ManagedReview>();
                review->setTitle(title);
                c.save();
                return review->objectId();
            }).result();
        };
        {
            auto container = open();
            addReview(*container, QStringLiteral("Stored before"));
        }
        QCOMPARE(raw({QStringLiteral(
                          "CREATE TRIGGER \"Review__search_insert\" AFTER INSERT ON \"Review\" BEGIN INSERT INTO "
                          "\"Review__search\"(rowid, \"body__folded\", \"title__folded\") VALUES (new.pk, "
                          "new.\"body__folded\", new.\"title__folded\"); END"),
                      QStringLiteral("PRAGMA user_version = 3")}),
                 QVariant());

        auto container = open();
        QCOMPARE(raw({}, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger' AND name LIKE '%insert'")),
                 QVariant(0));
        const ObjectId added = addReview(*container, QStringLiteral("Stored after"));
        QCOMPARE(raw({integrityCheck}), QVariant());
        Context &view = container->viewContext();
        QCOMPARE(view.fetch(ManagedReview::fetchRequest().where(containsText({Review::title}, QStringLiteral("STORED")))).size(), 2);
        view.deleteObject(view.existingObject(added));
        view.save();
        QCOMPARE(raw({integrityCheck}), QVariant());
        QCOMPARE(view.fetch(ManagedReview::fetchRequest().where(containsText({Review::title}, QStringLiteral("stored")))).size(), 1);
    }

    void unsetScalarsReadFalseAndOptionalsAbsent()
    {
        auto container = open();
        auto background = container->newBackgroundContext();
        background->performAndWait([](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            account->setKeyId(QString());         // present but empty
            account->setKeyBlob(QByteArray());    // present but empty
            auto *app = c.insert<ManagedApp>();
            app->setAccount(account);
            c.save();
        });
        auto other = container->newBackgroundContext();
        other->performAndWait([](Context &c) {
            const QList<ManagedApp *> apps = c.fetch(ManagedApp::fetchRequest());
            QCOMPARE(apps.size(), 1);
            QCOMPARE(apps[0]->hasSyncedOnce(), false);
            QCOMPARE(apps[0]->isHidden(), false);
            QVERIFY(!apps[0]->name());
            QVERIFY(!apps[0]->timestamp());
            ManagedAccount *account = apps[0]->account();
            QVERIFY(account);
            QCOMPARE(account->keyId(), std::optional<QString>(QString()));
            QCOMPARE(account->keyBlob(), std::optional<QByteArray>(QByteArray()));
            QVERIFY(!account->issuerId());
            QVERIFY(!account->name());

            auto *review = c.insert<ManagedReview>();
            review->setApp(apps[0]);
            c.save();
            const QList<ManagedReview *> reviews =
                c.fetch(ManagedReview::fetchRequest().where(Review::isNew == false && Review::rating == 0));
            QCOMPARE(reviews.size(), 1);
            QVERIFY(!reviews[0]->created());
            QVERIFY(!reviews[0]->responseIdentifier());
        });
    }

    void backgroundSaveReachesTheViewContext()
    {
        auto container = open();
        Context &view = container->viewContext();
        auto *app = view.insert<ManagedApp>();
        app->setName(QStringLiteral("Before"));
        auto *account = view.insert<ManagedAccount>();
        app->setAccount(account);
        view.save();
        const ObjectId appId = app->objectId();

        auto background = container->newBackgroundContext();
        background->perform([appId](Context &c) {
            auto *row = c.existingObject<ManagedApp>(appId);
            row->setName(QStringLiteral("After"));
            row->setIsHidden(true);
            c.save();
        }).waitForFinished();
        // No fetch in between: the view context's object itself follows.
        QTRY_COMPARE(app->name(), QStringLiteral("After"));
        QCOMPARE(app->isHidden(), true);

        // Unsaved edits of the view context are kept over a merge.
        app->setName(QStringLiteral("Mine"));
        background->performAndWait([appId](Context &c) {
            auto *row = c.existingObject<ManagedApp>(appId);
            row->setName(QStringLiteral("Theirs"));
            row->setIsHidden(false);
            c.save();
        });
        QTRY_COMPARE(app->isHidden(), false);
        QCOMPARE(app->name(), QStringLiteral("Mine"));
        view.save();

        background->performAndWait([appId](Context &c) {
            c.deleteObject(c.existingObject<ManagedApp>(appId));
            c.save();
        });
        QTRY_VERIFY(app->isDeleted());
        QVERIFY(!view.existingObject(appId));
        QVERIFY(view.fetch(ManagedApp::fetchRequest()).isEmpty());
    }

    void contextsStayOnTheirThreads()
    {
        auto container = open();
        auto background = container->newBackgroundContext();
        bool threw = false;
        try {
            background->fetch(ManagedApp::fetchRequest());
        } catch (const StoreError &error) {
            threw = error.code() == StoreError::WrongThread;
        }
        QVERIFY(threw);

        // The view context's work may be asked for from any thread; it runs on the main thread,
        // so the main thread keeps its event loop going meanwhile.
        QFuture<int> fromWorker = QtConcurrent::run([&] {
            return container->viewContext().performAndWait([](Context &c) {
                c.insert<ManagedAccount>();
                c.save();
                return int(c.count(ManagedAccount::fetchRequest()));
            });
        });
        QTRY_VERIFY(fromWorker.isFinished());
        QCOMPARE(fromWorker.result(), 1);

        // Errors cross the future with their type.
        QFuture<int> failing = background->perform([](Context &c) {
            return int(c.fetch(ManagedApp::fetchRequest().sortedBy(ManagedReview::Keys::rating.descending())).size());
        });
        bool invalid = false;
        try {
            failing.waitForFinished();
        } catch (const StoreError &error) {
            invalid = error.code() == StoreError::InvalidRequest;
        }
        QVERIFY(invalid);

        QFuture<int> task = container->performBackgroundTask([](Context &c) { return int(c.count(ManagedAccount::fetchRequest())); });
        QCOMPARE(task.result(), 1);
    }

    void searchIgnoresCaseAndDiacritics()
    {
        auto container = open();
        Context &view = container->viewContext();
        ManagedAppVersion *version = addTree(view, QStringLiteral("A"),
                                             {{QStringLiteral("Great CAFE app"), QStringLiteral("works"), 5, 1, {}},
                                              {QStringLiteral("meh"), QStringLiteral("Le café est froid"), 2, 2, QStringLiteral("resp-1")},
                                              {QStringLiteral("Ünïcödé"), QStringLiteral("ÉCOLE"), 4, 3, {}},
                                              {QStringLiteral("nothing"), QStringLiteral("here"), 1, 4, {}}});
        addTree(view, QStringLiteral("B"), {{QStringLiteral("cafe elsewhere"), QString(), 5, 5, {}}});
        view.save();
        const ObjectId appId = version->app()->objectId();

        auto search = [&](const QString &text) {
            return titles(view.fetch(ManagedReview::fetchRequest()
                                         .where(Review::app == appId && containsText({Review::title, Review::body}, text))
                                         .sortedBy(Review::created.ascending())));
        };
        QCOMPARE(search(QStringLiteral("café")), QStringList({QStringLiteral("Great CAFE app"), QStringLiteral("meh")}));
        QCOMPARE(search(QStringLiteral("CAFE")), QStringList({QStringLiteral("Great CAFE app"), QStringLiteral("meh")}));
        QCOMPARE(search(QStringLiteral("unicode")), QStringList({QStringLiteral("Ünïcödé")}));
        QCOMPARE(search(QStringLiteral("école")), QStringList({QStringLiteral("Ünïcödé")}));
        QCOMPARE(search(QStringLiteral("xyz")), QStringList());
        // A search text with SQL wildcard characters is taken literally.
        QCOMPARE(search(QStringLiteral("%")), QStringList());
        QCOMPARE(search(QStringLiteral("_")), QStringList());

        // A search that changes the stored text finds the new text only.
        ManagedReview *first = view.fetch(ManagedReview::fetchRequest().where(Review::title == QStringLiteral("nothing")))[0];
        first->setBody(QStringLiteral("Naïve"));
        view.save();
        QCOMPARE(search(QStringLiteral("NAIVE")), QStringList({QStringLiteral("nothing")}));
        QCOMPARE(search(QStringLiteral("here")), QStringList());
    }

    void filtersSortsLimitsAndCounts()
    {
        auto container = open();
        Context &view = container->viewContext();
        ManagedAppVersion *a = addTree(view, QStringLiteral("A"),
                                       {{QStringLiteral("a1"), {}, 1, 10, {}},
                                        {QStringLiteral("a2"), {}, 2, 30, QStringLiteral("r")},
                                        {QStringLiteral("a3"), {}, 5, 20, {}},
                                        {QStringLiteral("a4"), {}, 5, 40, {}}});
        ManagedAppVersion *b = addTree(view, QStringLiteral("B"), {{QStringLiteral("b1"), {}, 3, 50, {}}});
        view.save();
        const ObjectId appA = a->app()->objectId();

        auto fetch = [&](const FetchRequest<ManagedReview> &request) { return titles(view.fetch(request)); };
        QCOMPARE(fetch(ManagedReview::fetchRequest().where(Review::app == appA && Review::rating.in({5, 1}))
                           .sortedBy(Review::created.descending())),
                 QStringList({QStringLiteral("a4"), QStringLiteral("a3"), QStringLiteral("a1")}));
        QCOMPARE(fetch(ManagedReview::fetchRequest().where(Review::rating.in({}))), QStringList());
        QCOMPARE(fetch(ManagedReview::fetchRequest().where(Review::responseIdentifier.isNotNull())), QStringList({QStringLiteral("a2")}));
        QCOMPARE(view.count(ManagedReview::fetchRequest().where(Review::responseIdentifier.isNull())), 4);
        QCOMPARE(fetch(ManagedReview::fetchRequest().where(Review::version == b->objectId())), QStringList({QStringLiteral("b1")}));
        QCOMPARE(fetch(ManagedReview::fetchRequest().where(Review::version == ObjectId::temporary(QStringLiteral("AppVersion")))),
                 QStringList());
        QCOMPARE(fetch(ManagedReview::fetchRequest().where(Review::app == b->objectId())), QStringList());  // wrong entity

        // The widget's fetch: newest four of every account.
        QCOMPARE(fetch(ManagedReview::fetchRequest().sortedBy(Review::created.descending()).limit(4).prefetch(Review::app)),
                 QStringList({QStringLiteral("b1"), QStringLiteral("a4"), QStringLiteral("a2"), QStringLiteral("a3")}));

        // Versions sorted by their text, not numerically.
        for (const char *text : {"1.10", "1.9", "2.0"}) {
            auto *version = view.insert<ManagedAppVersion>();
            version->setVersion(QString::fromLatin1(text));
            version->setApp(a->app());
        }
        view.save();
        QStringList versions;
        for (ManagedAppVersion *version :
             view.fetch(ManagedAppVersion::fetchRequest().where(ManagedAppVersion::Keys::app == appA)
                            .sortedBy(ManagedAppVersion::Keys::version.descending())))
            versions.append(*version->version());
        QCOMPARE(versions, QStringList({QStringLiteral("2.0"), QStringLiteral("1.9"), QStringLiteral("1.10"), QStringLiteral("1.0")}));

        const QHash<ObjectId, qint64> perApp = view.countBy(ManagedReview::fetchRequest(), Review::app);
        QCOMPARE(perApp.size(), 2);
        QCOMPARE(perApp.value(appA), 4);
        QCOMPARE(perApp.value(b->app()->objectId()), 1);
        const QHash<ObjectId, qint64> fiveStars =
            view.countBy(ManagedReview::fetchRequest().where(Review::rating == 5), Review::app);
        QCOMPARE(fiveStars.value(appA), 2);
        QVERIFY(!fiveStars.contains(b->app()->objectId()));

        // Identifier and object id only, as the importer compares them.
        const auto identifiers = view.fetchValues(ManagedApp::fetchRequest().where(ManagedApp::Keys::account == a->account()),
                                                  ManagedApp::Keys::identifier);
        QCOMPARE(identifiers.size(), 1);
        QCOMPARE(identifiers[0].id, appA);
        QCOMPARE(identifiers[0].value, std::optional<QString>(QStringLiteral("A-app")));
        QCOMPARE(view.fetchIds(ManagedReview::fetchRequest().where(Review::rating == 3)), QList<ObjectId>({view.fetch(
                     ManagedReview::fetchRequest().where(Review::title == QStringLiteral("b1")))[0]->objectId()}));
    }

    void prefetchAndToManyInABackgroundContext()
    {
        auto container = open();
        container->viewContext().performAndWait([](Context &c) {
            addTree(c, QStringLiteral("A"), {{QStringLiteral("x"), {}, 1, 1, {}}, {QStringLiteral("y"), {}, 1, 2, {}}});
            addTree(c, QStringLiteral("B"), {});
            c.save();
        });
        const QStringList names = container->performBackgroundTask([](Context &c) {
            QStringList result;
            for (ManagedAccount *account : c.fetch(ManagedAccount::fetchRequest()
                                                       .sortedBy(ManagedAccount::Keys::name.ascending())
                                                       .prefetch(ManagedAccount::Keys::apps))) {
                for (ManagedApp *app : account->apps()) {
                    qint64 reviews = 0;
                    for (ManagedAppVersion *version : app->versions())
                        reviews += version->reviews().size();
                    result.append(QStringLiteral("%1:%2:%3").arg(*account->name(), *app->name()).arg(reviews));
                }
                // Unsaved new apps belong to the account at once.
                auto *fresh = c.insert<ManagedApp>();
                fresh->setAccount(account);
                result.append(QStringLiteral("%1 has %2").arg(*account->name()).arg(account->apps().size()));
            }
            return result;
        }).result();
        QCOMPARE(names, QStringList({QStringLiteral("A:A App:2"), QStringLiteral("A has 2"), QStringLiteral("B:B App:0"),
                                     QStringLiteral("B has 2")}));
    }

    void deletesCascadeDownTheTree()
    {
        auto container = open();
        Context &view = container->viewContext();
        ManagedAppVersion *a = addTree(view, QStringLiteral("A"), {{QStringLiteral("a1"), {}, 1, 1, {}}, {QStringLiteral("a2"), {}, 1, 2, {}}});
        ManagedAppVersion *b = addTree(view, QStringLiteral("B"), {{QStringLiteral("b1"), {}, 1, 3, {}}});
        view.save();
        const ObjectId accountA = a->account()->objectId();
        QList<ManagedReview *> reviewsOfA = view.fetch(ManagedReview::fetchRequest().where(Review::account == accountA));
        QCOMPARE(reviewsOfA.size(), 2);

        // Deleting a version takes only its reviews.
        auto *extra = view.insert<ManagedAppVersion>();
        extra->setApp(b->app());
        extra->setAccount(b->account());
        auto *extraReview = view.insert<ManagedReview>();
        extraReview->setVersion(extra);
        extraReview->setApp(b->app());
        view.save();
        view.deleteObject(extra);
        view.save();
        QVERIFY(extraReview->isDeleted());
        QCOMPARE(view.count(ManagedReview::fetchRequest()), 3);

        // Deleting an account from a background context takes everything below it, and the
        // view context drops its objects of those rows.
        auto background = container->newBackgroundContext();
        background->performAndWait([accountA](Context &c) {
            c.deleteObject(c.existingObject(accountA));
            c.save();
        });
        QTRY_VERIFY(reviewsOfA[0]->isDeleted());
        QVERIFY(reviewsOfA[1]->isDeleted());
        QVERIFY(a->isDeleted());
        QVERIFY(!b->isDeleted());
        QCOMPARE(view.count(ManagedApp::fetchRequest()), 1);
        QCOMPARE(view.count(ManagedAppVersion::fetchRequest()), 1);
        QCOMPARE(titles(view.fetch(ManagedReview::fetchRequest().sortedBy(Review::created.descending()).limit(4))),
                 QStringList({QStringLiteral("b1")}));
    }

    void failedSaveLeavesTheStoreAsItWas()
    {
        auto container = open();
        Context &view = container->viewContext();
        ManagedAppVersion *version = addTree(view, QStringLiteral("A"), {{QStringLiteral("a1"), {}, 1, 1, {}}});
        view.save();
        const ObjectId appId = version->app()->objectId();
        const ObjectId versionId = version->objectId();

        // A context still holding an app that another context deleted meanwhile.
        auto stale = container->newBackgroundContext();
        stale->performAndWait([&](Context &c) { QVERIFY(c.existingObject(appId)); });
        auto deleter = container->newBackgroundContext();
        deleter->performAndWait([&](Context &c) {
            auto *app = c.insert<ManagedApp>();
            app->setName(QStringLiteral("survivor"));
            c.save();
            c.deleteObject(c.existingObject(appId));
            c.save();
        });
        QTRY_VERIFY(version->isDeleted());

        stale->performAndWait([&](Context &c) {
            auto *survivor = c.fetch(ManagedApp::fetchRequest().where(ManagedApp::Keys::name == QStringLiteral("survivor")))[0];
            survivor->setName(QStringLiteral("renamed"));
            auto *good = c.insert<ManagedReview>();
            good->setTitle(QStringLiteral("good"));
            auto *bad = c.insert<ManagedReview>();
            bad->setTitle(QStringLiteral("bad"));
            bad->setApp(c.existingObject<ManagedApp>(appId));  // its row is gone
            bool failed = false;
            try {
                c.save();
            } catch (const StoreError &error) {
                failed = error.code() == StoreError::SaveFailed && error.details().contains(QStringLiteral("FOREIGN KEY"));
            }
            QVERIFY(failed);
            QVERIFY(c.hasChanges());
            QVERIFY(good->isInserted());
            // Nothing of the failed save reached the store.
            QCOMPARE(c.count(ManagedReview::fetchRequest()), 0);
            QCOMPARE(c.count(ManagedApp::fetchRequest().where(ManagedApp::Keys::name == QStringLiteral("renamed"))), 0);

            c.deleteObject(bad);
            c.save();
            QVERIFY(!good->objectId().isTemporary());
            QCOMPARE(c.count(ManagedReview::fetchRequest()), 1);
            QCOMPARE(c.count(ManagedApp::fetchRequest().where(ManagedApp::Keys::name == QStringLiteral("renamed"))), 1);
        });
        QVERIFY(!view.existingObject(versionId));
    }

    void twoContextsWriteAtTheSameTime()
    {
        auto container = open();
        constexpr int perWriter = 100;
        auto writer = [&](const QString &name) {
            return container->performBackgroundTask([name](Context &c) {
                auto *account = c.insert<ManagedAccount>();
                account->setName(name);
                for (int i = 0; i < perWriter; ++i) {
                    auto *app = c.insert<ManagedApp>();
                    app->setAccount(account);
                    c.save();
                }
            });
        };
        QFuture<void> first = writer(QStringLiteral("one"));
        QFuture<void> second = writer(QStringLiteral("two"));
        QVERIFY_THROWS_NO_EXCEPTION(first.waitForFinished());
        QVERIFY_THROWS_NO_EXCEPTION(second.waitForFinished());
        QCOMPARE(container->viewContext().count(ManagedApp::fetchRequest()), 2 * perWriter);
    }

    void schemaVersionsAreChecked()
    {
        {
            auto container = open();
        }
        // A later schema migrates the file; an older program refuses a newer file.
        auto model = std::make_shared<Model>(*storeModel());
        model->version = storeModel()->version + 1;
        bool migrated = false;
        model->migrations.append({storeModel()->version, [&](MigrationStep &step) {
                                      step.exec(QStringLiteral("CREATE TABLE extra (x INTEGER)"));
                                      migrated = true;
                                  }});
        {
            Container upgraded(QStringLiteral("Vantorel"), model, path());
            QVERIFY(migrated);
        }
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        bool refused = false;
        try {
            auto container = open();
        } catch (const StoreError &error) {
            refused = error.code() == StoreError::IncompatibleSchema && error.details().contains(QStringLiteral("newer"));
        }
        QVERIFY(refused);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    void aContextThatCannotConnectReportsIt()
    {
        const QString folder = m_dir.filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkpath(folder));
        auto container = open(folder + QStringLiteral("/store.sqlite"));
        QVERIFY(QDir(folder).removeRecursively());
        bool reported = false;
        try {
            container->newBackgroundContext();
        } catch (const StoreError &error) {
            reported = error.code() == StoreError::CannotOpen;
        }
        QVERIFY(reported);
    }

    void aFileThatIsNoStoreIsLeftAlone()
    {
        const QByteArray garbage = QByteArray("this is not a database, just some bytes\n").repeated(200);
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
        file.close();
        bool refused = false;
        try {
            auto container = open();
        } catch (const StoreError &error) {
            refused = error.code() == StoreError::CannotOpen && error.details().contains(path());
        }
        QVERIFY(refused);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), garbage);
        file.close();
    }

    void anotherProgramsDatabaseIsLeftAsItWas()
    {
        // Another program's SQLite databases are not taken over, nor changed before refusing them:
        // one with tables of its own, and one that even carries a schema version.
        const QList<QStringList> databases = {
            {QStringLiteral("CREATE TABLE notes (x TEXT)"), QStringLiteral("INSERT INTO notes VALUES ('kept')")},
            {QStringLiteral("CREATE TABLE Account (pk INTEGER PRIMARY KEY, name TEXT)"), QStringLiteral("PRAGMA user_version = 1")},
        };
        for (qsizetype i = 0; i < databases.size(); ++i) {
            const QString foreign = m_dir.filePath(QStringLiteral("foreign%1.sqlite").arg(i));
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
                db.setDatabaseName(foreign);
                QVERIFY(db.open());
                for (const QString &statement : databases[i])
                    QVERIFY(QSqlQuery(db).exec(statement));
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
            QFile file(foreign);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray before = file.readAll();
            file.close();

            bool refused = false;
            try {
                auto container = open(foreign);
            } catch (const StoreError &error) {
                refused = error.code() == StoreError::IncompatibleSchema && error.details().contains(foreign);
            }
            QVERIFY2(refused, qPrintable(foreign));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), before);
            QVERIFY(!QFile::exists(foreign + QStringLiteral("-wal")));
        }
    }
};

VANTOREL_TEST_MAIN(StoreTest)
#include "tst_store.moc"
