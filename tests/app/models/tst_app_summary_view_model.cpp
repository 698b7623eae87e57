#include "StoreFixture.h"
#include "app/models/AppSummaryViewModel.h"
#include "app/models/StoreChanges.h"
#include "platform/UserDefaults.h"
#include "support/TestHome.h"

#include <QPointer>
#include <QSignalSpy>

using namespace fixture;
using Fennick::StoreApp;
using Fennick::StoreAppVersion;
using Vantorel::AppSummarySortOrder;
using Vantorel::AppSummaryViewModel;

namespace {
const QStringList settingKeys = {
    QStringLiteral("sortOrderSetting"),     QStringLiteral("includeOneStar"),
    QStringLiteral("includeTwoStar"),       QStringLiteral("includeThreeStar"),
    QStringLiteral("includeFourStar"),      QStringLiteral("includeFiveStar"),
    QStringLiteral("includeReviewsWithResponse"), QStringLiteral("includeReviewsWithoutResponse"),
    QStringLiteral("enableTranslationSupport")};

platform::UserDefaults &defaults()
{
    return platform::UserDefaults::standard();
}
}  // namespace

class AppSummaryViewModelTest : public QObject {
    Q_OBJECT
    ObjectId account, alpha, beta;
    QHash<QString, ObjectId> versions;  // of Alpha, by text ("" for the one without)
    int nextMinute = 1000;

    StoreApp app(const ObjectId &id) const { return StoreApp{id, QStringLiteral("id"), QStringLiteral("App"), {}, false}; }

    // A model whose first loads have been published, so that later counts start from zero.
    std::unique_ptr<AppSummaryViewModel> loadedModel(const ObjectId &id)
    {
        auto model = std::make_unique<AppSummaryViewModel>(app(id));
        waitPastFirstSearchLoad();
        [&] { QVERIFY(finished(model->loadVersions())); }();
        return model;
    }

    // An app of its own for a test that adds reviews.
    ObjectId scratchApp()
    {
        return addApp(account, QStringLiteral("Scratch %1").arg(nextMinute));
    }
    void addReview(const ObjectId &app, const QString &identifier)
    {
        addReviews(account, app, {{identifier, 3, QStringLiteral("t"), QStringLiteral("b"), nextMinute++, false, std::nullopt}});
    }

private slots:
    void initTestCase()
    {
        events();
        account = addAccount(QStringLiteral("Main"));
        alpha = addApp(account, QStringLiteral("Alpha"));
        beta = addApp(account, QStringLiteral("Beta"));
        versions[QStringLiteral("10.0")] = addVersion(alpha, QStringLiteral("10.0"));
        versions[QString()] = addVersion(alpha, std::nullopt);
        versions[QStringLiteral("9.0")] = addVersion(alpha, QStringLiteral("9.0"));
        const ObjectId v9 = versions[QStringLiteral("9.0")], v10 = versions[QStringLiteral("10.0")];
        addReviews(account, alpha,
                   {{QStringLiteral("r1"), 1, QStringLiteral("Crashes"), QStringLiteral("Crashes on start"), 10, false, v9},
                    {QStringLiteral("r2"), 2, QStringLiteral("Slow"), QStringLiteral("Caf\u00e9 au lait mode is slow"), 20, true, v9},
                    {QStringLiteral("r3"), 3, QStringLiteral("OK"), QStringLiteral("Works"), 30, false, v10},
                    {QStringLiteral("r4"), 4, QStringLiteral("CAFE"), QStringLiteral("Nice"), 40, true, v10},
                    {QStringLiteral("r5"), 5, QStringLiteral("Great"), QStringLiteral("Love it"), 50, false, versions[QString()]},
                    {QStringLiteral("r6"), 5, QStringLiteral("Perfect"), QStringLiteral("Nothing to add"), 60, true, v10}});
        const ObjectId betaVersion = addVersion(beta, QStringLiteral("9.0"));
        addReviews(account, beta,
                   {{QStringLiteral("b1"), 1, QStringLiteral("Caf\u00e9"), QStringLiteral("Caf\u00e9 everywhere"), 70, false, betaVersion}});
    }

    void init()
    {
        for (const QString &key : settingKeys)
            defaults().removeValue(key);
        events().take();
    }

    void filtersAndSearch_data()
    {
        QTest::addColumn<QList<int>>("stars");
        QTest::addColumn<bool>("withResponse");
        QTest::addColumn<bool>("withoutResponse");
        QTest::addColumn<QString>("version");  // "-" for none selected
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("cleared");  // once the search text is cleared

        const QList<int> all{1, 2, 3, 4, 5};
        const QStringList everything{"r1", "r2", "r3", "r4", "r5", "r6"};
        QTest::newRow("defaults: every review of the app") << all << true << true << "-" << "" << everything << QStringList{};
        QTest::newRow("no stars, responses on") << QList<int>{} << true << true << "-" << "" << QStringList{} << QStringList{};
        QTest::newRow("no stars, responses off") << QList<int>{} << false << false << "-" << "" << QStringList{} << QStringList{};
        QTest::newRow("no stars, with response") << QList<int>{} << true << false << "-" << "" << QStringList{} << QStringList{};
        QTest::newRow("both response flags off = both on") << all << false << false << "-" << "" << everything << QStringList{};
        QTest::newRow("with response only") << all << true << false << "-" << "" << QStringList{"r2", "r4", "r6"} << QStringList{};
        QTest::newRow("without response only") << all << false << true << "-" << "" << QStringList{"r1", "r3", "r5"} << QStringList{};
        QTest::newRow("five stars") << QList<int>{5} << true << true << "-" << "" << QStringList{"r5", "r6"} << QStringList{};
        QTest::newRow("one and three stars") << QList<int>{1, 3} << true << true << "-" << "" << QStringList{"r1", "r3"} << QStringList{};
        QTest::newRow("version 9.0") << all << true << true << "9.0" << "" << QStringList{"r1", "r2"} << QStringList{};
        QTest::newRow("version without text") << all << true << true << "" << "" << QStringList{"r5"} << QStringList{};
        QTest::newRow("10.0, four and five, responded")
            << QList<int>{4, 5} << true << false << "10.0" << "" << QStringList{"r4", "r6"} << QStringList{};
        // A search looks at every review of this app only, whatever the filters.
        QTest::newRow("search overrides every filter")
            << QList<int>{} << false << true << "9.0" << "cafe" << QStringList{"r2", "r4"} << QStringList{};
        QTest::newRow("search ignores case and diacritics")
            << QList<int>{1, 2} << true << true << "-" << "CAF\u00c9" << QStringList{"r2", "r4"}
            << QStringList{"r1", "r2"};
        QTest::newRow("a blank is a search") << QList<int>{} << true << true << "-" << " "
                                             << QStringList{"r1", "r2", "r5", "r6"} << QStringList{};
        QTest::newRow("search without match")
            << all << true << false << "-" << "zebra" << QStringList{} << QStringList{"r2", "r4", "r6"};
    }
    void filtersAndSearch()
    {
        QFETCH(QList<int>, stars);
        QFETCH(bool, withResponse);
        QFETCH(bool, withoutResponse);
        QFETCH(QString, version);
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, cleared);

        AppSummaryViewModel model(app(alpha));
        for (int rating = 1; rating <= 5; ++rating)
            defaults().setValue(settingKeys[rating], stars.contains(rating));
        defaults().setValue(QStringLiteral("includeReviewsWithResponse"), withResponse);
        defaults().setValue(QStringLiteral("includeReviewsWithoutResponse"), withoutResponse);
        model.setSearch(search);
        if (version != QLatin1String("-"))
            model.setSelectedVersion(StoreAppVersion{versions.value(version), version});
        QCOMPARE(model.includedRatings(), stars);

        QVERIFY(finished(model.loadReviews()));
        QCOMPARE(sorted(identifiers(model.reviews())), expected);
        if (!search.isEmpty()) {
            model.setSearch(QString());
            QVERIFY(finished(model.loadReviews()));
            QCOMPARE(sorted(identifiers(model.reviews())), cleared);
        }
    }

    void sortOrder_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<AppSummarySortOrder>("expected");
        QTest::newRow("nothing stored") << QVariant() << AppSummarySortOrder::dateDescending;
        QTest::newRow("0") << QVariant(0) << AppSummarySortOrder::dateAscending;
        QTest::newRow("2") << QVariant(2) << AppSummarySortOrder::ratingAscending;
        QTest::newRow("3") << QVariant(3) << AppSummarySortOrder::ratingDescending;
        QTest::newRow("7 names no order") << QVariant(7) << AppSummarySortOrder::dateDescending;
        QTest::newRow("-1 names no order") << QVariant(-1) << AppSummarySortOrder::dateDescending;
        QTest::newRow("not a number") << QVariant(QStringLiteral("up")) << AppSummarySortOrder::dateDescending;
    }
    void sortOrder()
    {
        QFETCH(QVariant, stored);
        QFETCH(AppSummarySortOrder, expected);
        if (stored.isValid())
            defaults().setValue(QStringLiteral("sortOrderSetting"), stored);
        const auto model = loadedModel(alpha);
        QCOMPARE(model->sortOrder(), expected);

        const auto &reviews = model->reviews();
        QCOMPARE(reviews.size(), 6);
        for (qsizetype i = 1; i < reviews.size(); ++i) {
            const auto &before = *reviews[i - 1];
            const auto &after = *reviews[i];
            switch (expected) {
            case AppSummarySortOrder::dateAscending: QVERIFY(before.created() < after.created()); break;
            case AppSummarySortOrder::dateDescending: QVERIFY(before.created() > after.created()); break;
            case AppSummarySortOrder::ratingAscending: QVERIFY(before.rating() <= after.rating()); break;
            case AppSummarySortOrder::ratingDescending: QVERIFY(before.rating() >= after.rating()); break;
            }
        }
    }

    void versionsAndSettingsAcrossModels()
    {
        const auto model = loadedModel(alpha);
        QStringList names;
        for (const StoreAppVersion &version : model->versions())
            names.append(version.name);
        QCOMPARE(names, (QStringList{"9.0", "10.0", "Unknown"}));  // text order, not numeric
        QCOMPARE(model->versions()[0].id, versions[QStringLiteral("9.0")]);
        QCOMPARE(model->reviews().size(), 6);  // loadVersions() ends after the reviews are in
        // The review records carry what the prefetched app and version rows hold.
        for (const auto &review : model->reviews()) {
            QCOMPARE(review->app(), QStringLiteral("Alpha"));
            QCOMPARE(review->thread(), thread());
        }

        model->setSelectedVersion(model->versions()[1]);
        model->setSortOrder(AppSummarySortOrder::ratingAscending);
        model->setIncludesRating(2, false);
        QVERIFY(finished(model->loadVersions()));
        QCOMPARE(model->selectedVersion()->name, QStringLiteral("10.0"));
        QCOMPARE(identifiers(model->reviews()), (QStringList{"r3", "r4", "r6"}));

        // Sort order and filters are the user's settings for every app; the version is not.
        const auto other = loadedModel(beta);
        QCOMPARE(other->sortOrder(), AppSummarySortOrder::ratingAscending);
        QCOMPARE(other->includedRatings(), (QList<int>{1, 3, 4, 5}));
        QVERIFY(!other->selectedVersion());
        QCOMPARE(identifiers(other->reviews()), QStringList{"b1"});
        QCOMPARE(defaults().integerValue(QStringLiteral("sortOrderSetting")), 2);
    }

    void aSelectedVersionThatIsGoneShowsAllVersions()
    {
        const ObjectId scratch = scratchApp();
        const ObjectId doomed = addVersion(scratch, QStringLiteral("1.0"));
        addVersion(scratch, QStringLiteral("2.0"));
        addReview(scratch, QStringLiteral("unversioned"));
        const auto model = loadedModel(scratch);
        model->setSelectedVersion(model->versions().constLast());
        QCOMPARE(model->selectedVersion()->id, doomed);
        QVERIFY(finished(model->loadReviews()));
        QVERIFY(model->reviews().isEmpty());

        view().deleteObject(view().existingObject(doomed));
        view().save();
        QVERIFY(finished(model->loadVersions()));
        QVERIFY(!model->selectedVersion());
        QCOMPARE(identifiers(model->reviews()), QStringList{"unversioned"});
    }

    // Each setter reloads even when given the value it already has: a review added to the store
    // behind the model's back shows up after each of them.
    void everySetterReloads()
    {
        const ObjectId scratch = scratchApp();
        const auto model = loadedModel(scratch);
        QTest::qWait(700);  // past the load after creation, which would hide a missing reload
        const QList<std::function<void()>> setters{
            [&] { model->setSortOrder(model->sortOrder()); },
            [&] { model->setSelectedVersion(std::nullopt); },
            [&] { model->setIncludesRating(1, true); },
            [&] { model->setIncludesRating(5, true); },
            [&] { model->setIncludeReviewsWithResponse(true); },
            [&] { model->setIncludeReviewsWithoutResponse(true); },
        };
        qsizetype expected = model->reviews().size();
        for (const auto &set : setters) {
            addReview(scratch, QStringLiteral("added-%1").arg(++expected));
            set();
            QTRY_COMPARE(model->reviews().size(), expected);
        }
    }

    void typingLoadsOncePerPause()
    {
        AppSummaryViewModel model(app(alpha));
        QSignalSpy loads(&model, &AppSummaryViewModel::reviewsChanged);
        // A burst of typing that begins before the load after creation would run.
        for (const char *text : {"c", "ca", "caf", "cafe"}) {
            model.setSearch(QString::fromLatin1(text));
            QTest::qWait(50);
        }
        QTRY_COMPARE(loads.size(), 1);
        QCOMPARE(sorted(identifiers(model.reviews())), (QStringList{"r2", "r4"}));
        QTest::qWait(800);
        QCOMPARE(loads.size(), 1);

        // Left alone, a new model loads once.
        AppSummaryViewModel idle(app(alpha));
        QSignalSpy idleLoads(&idle, &AppSummaryViewModel::reviewsChanged);
        QTRY_COMPARE(idleLoads.size(), 1);
        QTest::qWait(800);
        QCOMPARE(idleLoads.size(), 1);
        QCOMPARE(idle.reviews().size(), 6);
    }

    void storeChangesReloadAndTheTranslationSwitchRedraws()
    {
        const ObjectId scratch = scratchApp();
        const auto model = loadedModel(scratch);
        QTest::qWait(700);  // past the load after creation
        QSignalSpy versionLoads(model.get(), &AppSummaryViewModel::versionsChanged);
        QSignalSpy reviewLoads(model.get(), &AppSummaryViewModel::reviewsChanged);
        QSignalSpy notices(model.get(), &AppSummaryViewModel::objectWillChange);

        addReview(scratch, QStringLiteral("behind"));
        for (const QString &name : {Vantorel::StoreChange::dataRefreshed, Vantorel::StoreChange::accountUpdated,
                                    Vantorel::StoreChange::dataRefreshed})
            Vantorel::StoreChange::post(name);
        QTRY_COMPARE(reviewLoads.size(), 1);
        QCOMPARE(versionLoads.size(), 1);
        QVERIFY(identifiers(model->reviews()).contains(QStringLiteral("behind")));

        notices.clear();
        defaults().setValue(QStringLiteral("showNotifications"), false);
        defaults().setValue(QStringLiteral("enableTranslationSupport"), false);
        QCOMPARE(notices.size(), 0);  // sent later, from the event loop
        QTRY_COMPARE(notices.size(), 1);
        QTest::qWait(700);
        QCOMPARE(notices.size(), 1);
        QCOMPARE(reviewLoads.size(), 1);  // a redraw, not a reload
    }

    void failedLoadsEmptyTheLists_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("expectedEvents");
        QTest::addColumn<bool>("versionsLoad");
        QTest::newRow("reviews") << "Review" << QStringList{"ErrorLoadReviews"} << true;
        // The review fetch prefetches versions, so it fails too.
        QTest::newRow("versions") << "AppVersion" << QStringList{"ErrorLoadVersions", "ErrorLoadReviews"} << false;
    }
    void failedLoadsEmptyTheLists()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, expectedEvents);
        QFETCH(bool, versionsLoad);
        const auto model = loadedModel(alpha);
        QVERIFY(!model->reviews().isEmpty());
        QVERIFY(!model->versions().isEmpty());
        events().take();

        if (!versionsLoad)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not load versions: .+")));
        QVERIFY(finishedWithoutTable(table, "Could not load reviews", [&] { return model->loadVersions(); }));

        QStringList names;
        for (const QString &event : events().take())
            names.append(event.section(u':', 0, 0));
        QCOMPARE(names, expectedEvents);
        QVERIFY(model->reviews().isEmpty());  // the previous list is not kept
        QCOMPARE(model->versions().isEmpty(), !versionsLoad);

        QVERIFY(finished(model->loadVersions()));  // the next trigger tries again
        QVERIFY(!model->reviews().isEmpty());
    }

    // Run under AddressSanitizer this shows that nothing touches the model once it is gone.
    void modelDestroyedWhileItsLoadsRun()
    {
        QList<Review> many;
        for (int i = 0; i < 3000; ++i)
            many.append({QStringLiteral("many-%1").arg(i), 1 + i % 5, QStringLiteral("Title %1").arg(i),
                         QStringLiteral("A long enough body for review %1").arg(i), i, false, std::nullopt});
        const ObjectId big = addApp(account, QStringLiteral("Big"));
        addReviews(account, big, many);

        QList<QFuture<void>> loads;
        QPointer<AppSummaryViewModel> watched;
        {
            AppSummaryViewModel model(app(big));
            watched = &model;
            loads << model.loadVersions() << model.loadReviews();
            model.setSearch(QStringLiteral("review"));
            model.setIncludesRating(3, false);
            Vantorel::StoreChange::post(Vantorel::StoreChange::dataRefreshed);
        }
        QVERIFY(!watched);
        for (const auto &load : loads)
            QVERIFY(finished(load));
        QTest::qWait(800);  // past the debounces of the model that is gone
    }
};

VANTOREL_TEST_MAIN(AppSummaryViewModelTest)
#include "tst_app_summary_view_model.moc"
