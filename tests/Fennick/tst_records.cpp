#include "Fennick/Account.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/Records/StoreApp.h"
#include "Fennick/Records/StoreReview.h"
#include "Fennick/Translator.h"
#include "Fennick/ReviewStateTracker.h"
#include "platform/Analytics.h"
#include "platform/keychain/Keychain.h"
#include "support/TestHome.h"

#include <QSignalSpy>

using namespace Fennick;
using platform::store::Context;
using platform::store::ObjectId;

namespace {
Context &view()
{
    return PersistenceController::shared().container().viewContext();
}

// An account, app, version and one review under them, saved; returns the review.
ManagedReview *reviewTree(const QString &appName = QStringLiteral("App"))
{
    Context &context = view();
    auto *account = context.insert<ManagedAccount>();
    auto *app = context.insert<ManagedApp>();
    app->setName(appName);
    app->setIdentifier(QStringLiteral("app-1"));
    app->setAccount(account);
    auto *version = context.insert<ManagedAppVersion>();
    version->setVersion(QStringLiteral("2.1"));
    version->setApp(app);
    version->setAccount(account);
    auto *review = context.insert<ManagedReview>();
    review->setTitle(QStringLiteral("Nice"));
    review->setRating(4);
    review->setTerritory(QStringLiteral("DEU"));
    review->setIsNew(true);
    review->setApp(app);
    review->setVersion(version);
    review->setAccount(account);
    context.save();
    return review;
}

bool storedIsNew(const ObjectId &id)
{
    auto background = PersistenceController::shared().container().newBackgroundContext();
    return background->performAndWait([&](Context &c) { return c.existingObject<ManagedReview>(id)->isNew(); });
}
}  // namespace

class RecordsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { platform::Keychain::useInMemoryBackendForTesting(); }
    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void reviewFromABareRowGetsDefaults()
    {
        auto *row = view().insert<ManagedReview>();
        view().save();
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const StoreReview review(*row);
        QCOMPARE(review.app(), QStringLiteral("Untitled"));
        QCOMPARE(review.title(), QStringLiteral("Untitled"));
        QVERIFY(!review.appIdentifier());
        QCOMPARE(review.version(), QString());
        QCOMPARE(review.body(), QString());
        QCOMPARE(review.nickname(), QString());
        QCOMPARE(review.reviewIdentifier(), QString());
        QVERIFY(review.created() >= before && review.created() <= QDateTime::currentDateTimeUtc());
        QCOMPARE(review.country(), nullptr);
        QCOMPARE(review.responseUncommitedBody(), QString());
    }

    void reviewReadsItsAppAndVersion()
    {
        ManagedReview *row = reviewTree();
        row->app()->setName(std::nullopt);
        const StoreReview review(*row);
        QCOMPARE(review.app(), QStringLiteral("Untitled"));
        QCOMPARE(review.appIdentifier(), std::optional<QString>(QStringLiteral("app-1")));
        QCOMPARE(review.version(), QStringLiteral("2.1"));
        QCOMPARE(review.rating(), 4);
        QVERIFY(review.isNew());
        QCOMPARE(review.country()->name(), QStringLiteral("Germany"));
        view().save();
    }

    void reviewsOfOneRowAreEqual()
    {
        ManagedReview *row = reviewTree();
        StoreReview first(*row);
        first.setTranslation(QStringLiteral("Nett"), QStringLiteral("..."));
        const StoreReview second(*row);
        QVERIFY(first == second);
        QCOMPARE(qHash(first), qHash(second));
        QVERIFY(!(first == StoreReview(*reviewTree())));
    }

    // A summary makes its records from the rows without objects; they must read as the records
    // made from the objects do, defaults included.
    void recordsOfAnAppReadTheRowsAsRecordsOfObjectsDo()
    {
        ManagedReview *full = reviewTree(QStringLiteral("Listed"));
        full->setIdentifier(QStringLiteral("r-full"));
        full->setBody(QStringLiteral("Caf\u00e9 \U0001F600 body"));
        full->setCreated(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999), Qt::UTC));
        full->setNickname(QStringLiteral("nick"));
        full->setLanguage(QStringLiteral("fr"));
        full->setTranslatedBody(QStringLiteral("translated"));
        full->setTranslatedTitle(QString());  // present but empty
        full->setResponseText(QStringLiteral("Thanks"));
        full->setResponseIdentifier(QStringLiteral("resp-1"));
        ManagedApp *app = full->app();
        auto *untitledVersion = view().insert<ManagedAppVersion>();
        untitledVersion->setApp(app);
        auto *bare = view().insert<ManagedReview>();
        bare->setApp(app);
        bare->setVersion(untitledVersion);
        auto *unversioned = view().insert<ManagedReview>();
        unversioned->setApp(app);
        unversioned->setCreated(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
        reviewTree(QStringLiteral("Other app"));
        view().save();

        const auto request = ManagedReview::fetchRequest()
                                 .where(ManagedReview::Keys::app == app)
                                 .sortedBy(ManagedReview::Keys::created.descending());
        const QList<ManagedReview *> rows = view().fetch(request);
        const QList<std::shared_ptr<StoreReview>> records = StoreReview::ofApp(view(), request, app->objectId());
        QCOMPARE(records.size(), 3);
        for (qsizetype i = 0; i < records.size(); ++i) {
            const StoreReview expected(*rows[i]);
            const StoreReview &got = *records[i];
            QCOMPARE(got.id(), expected.id());
            QCOMPARE(got.reviewIdentifier(), expected.reviewIdentifier());
            QCOMPARE(got.app(), expected.app());
            QCOMPARE(got.appIdentifier(), expected.appIdentifier());
            QCOMPARE(got.version(), expected.version());
            QCOMPARE(got.title(), expected.title());
            QCOMPARE(got.body(), expected.body());
            QVERIFY(qAbs(got.created().msecsTo(expected.created())) < 5000);  // "now" when absent
            QCOMPARE(got.created().timeSpec(), expected.created().timeSpec());
            QCOMPARE(got.nickname(), expected.nickname());
            QCOMPARE(got.territory(), expected.territory());
            QCOMPARE(got.rating(), expected.rating());
            QCOMPARE(got.isNew(), expected.isNew());
            QCOMPARE(got.language(), expected.language());
            QCOMPARE(got.translatedBody(), expected.translatedBody());
            QCOMPARE(got.translatedTitle(), expected.translatedTitle());
            QCOMPARE(got.responseBody(), expected.responseBody());
            QCOMPARE(got.responseIdentifier(), expected.responseIdentifier());
        }
        QCOMPARE(records[0]->created(), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999), Qt::UTC));
        QCOMPARE(records[0]->translatedTitle(), std::optional<QString>(QString()));
    }

    void observableChangesAreAnnounced()
    {
        StoreReview review(StoreReview::Fields{});
        QString bodyWhenAnnounced = QStringLiteral("unset");
        connect(&review, &StoreReview::objectWillChange, this,
                [&] { bodyWhenAnnounced = review.responseBody().value_or(QString()); });
        QSignalSpy changed(&review, &StoreReview::responseChanged);
        review.setResponse(QStringLiteral("Thanks"), QStringLiteral("r1"));
        QCOMPARE(bodyWhenAnnounced, QString());
        QCOMPARE(changed.count(), 1);
        review.setResponse(QStringLiteral("Thanks"), QStringLiteral("r1"));
        QCOMPARE(changed.count(), 1);
    }

    void foreignLanguageAndTheLanguageToTranslateInto_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("userLanguage");
        QTest::addColumn<QStringList>("foreign");  // of the languages "en", "EN", "de", "en-GB", none
        const QStringList englishUser{"de", "en-GB"};  // no region splitting
        QTest::newRow("en_GB") << QLocale(QLocale::English, QLocale::UnitedKingdom) << "en" << englishUser;
        QTest::newRow("C") << QLocale::c() << "en" << englishUser;
        QTest::newRow("POSIX") << QLocale(QStringLiteral("POSIX")) << "en" << englishUser;
        QTest::newRow("C.UTF-8") << QLocale(QStringLiteral("C.UTF-8")) << "en" << englishUser;
        QTest::newRow("de_AT") << QLocale(QLocale::German, QLocale::Austria) << "de" << QStringList{"en", "EN", "en-GB"};
    }
    void foreignLanguageAndTheLanguageToTranslateInto()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, userLanguage);
        QFETCH(QStringList, foreign);
        QLocale::setDefault(locale);
        QCOMPARE(Fennick::Translator::userLanguage(), userLanguage);
        StoreReview::Fields fields;
        QVERIFY(!StoreReview(fields).isLanguageForeign());  // no language recognised
        for (const QString &language : QStringList{"en", "EN", "de", "en-GB"}) {
            fields.language = language;
            QVERIFY2(StoreReview(fields).isLanguageForeign() == foreign.contains(language), qPrintable(language));
        }
    }

    void appAndVersionEquality()
    {
        const ObjectId id(QUuid::createUuid(), QStringLiteral("App"), 7);
        QImage icon(4, 4, QImage::Format_ARGB32);
        icon.fill(Qt::red);
        const StoreApp withIcon{id, QStringLiteral("7"), QStringLiteral("A"), icon, false};
        const StoreApp withoutIcon{id, QStringLiteral("7"), QStringLiteral("A"), QImage(), false};
        const StoreApp renamed{id, QStringLiteral("7"), QStringLiteral("B"), QImage(), true};
        QVERIFY(!(withIcon == withoutIcon));
        QCOMPARE(qHash(withIcon), qHash(withoutIcon));
        QVERIFY(withoutIcon == renamed);
        QVERIFY((StoreAppVersion{id, QStringLiteral("1.0")} == StoreAppVersion{id, QStringLiteral("2.0")}));
    }

    void credentialsComeFromTheReviewsAccount()
    {
        // Read on the GUI thread and off it, with the same results.
        auto check = [](const StoreReview &review, const std::optional<Credentials> &expected) {
            QCOMPARE(review.credentials(), expected);
            QFuture<std::optional<Credentials>> loaded = review.loadCredentials();
            QTRY_VERIFY(loaded.isFinished());
            QCOMPARE(loaded.result(), expected);
        };
        auto *orphan = view().insert<ManagedReview>();
        view().save();
        check(StoreReview(*orphan), std::nullopt);

        ManagedReview *row = reviewTree();
        const StoreReview review(*row);
        check(review, std::nullopt);  // the account has no key bytes

        Account key(std::nullopt, QStringLiteral("n"), QStringLiteral("iss"), QStringLiteral("kid"), QByteArray("pem"));
        QVERIFY(key.saveToKeychain(row->account()->objectId().uriString()));
        check(review, Credentials{QStringLiteral("kid"), QStringLiteral("iss"), QByteArray("pem")});

        const ObjectId id = row->objectId();
        view().deleteObject(row);
        view().save();
        StoreReview::Fields fields;
        fields.id = id;
        check(StoreReview(fields), std::nullopt);
    }

    void seenMarksAreClearedOnceAndGoneRowsSkipped()
    {
        const ObjectId seen = reviewTree()->objectId();
        ManagedReview *deletedLater = reviewTree();
        const ObjectId gone = deletedLater->objectId();
        const ObjectId unseen = reviewTree()->objectId();
        ReviewStateTracker::shared().markAsOld(seen);
        ReviewStateTracker::shared().markAsOld(gone);
        ReviewStateTracker::shared().markAsOld(seen);
        view().deleteObject(deletedLater);
        view().save();

        ReviewStateTracker::shared().processMarks();
        QVERIFY(!storedIsNew(seen));
        QVERIFY(storedIsNew(unseen));
    }

    void failedSaveIsReportedThenLogged()
    {
        ManagedReview *row = reviewTree();
        const ObjectId appId = row->app()->objectId();
        // Another context deletes the app; before that reaches the view context, a review that
        // points at it makes the view context's save fail.
        auto *dangling = view().insert<ManagedReview>();
        dangling->setApp(row->app());
        auto background = PersistenceController::shared().container().newBackgroundContext();
        background->performAndWait([&](Context &c) {
            c.deleteObject(c.existingObject(appId));
            c.save();
        });

        QStringList events;
        const int token = platform::Analytics::addObserver(
            [&](const platform::Analytics::Event &event) { events << event.name; });
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not process marks: .+")));
        ReviewStateTracker::shared().processMarks();
        platform::Analytics::removeObserver(token);
        QCOMPARE(events, QStringList{QStringLiteral("ErrorProcessMarks")});
        QVERIFY(view().hasChanges());  // left unsaved, not retried (keep this test last)
    }
};

VANTOREL_TEST_MAIN_WITH(QGuiApplication, RecordsTest)
#include "tst_records.moc"
