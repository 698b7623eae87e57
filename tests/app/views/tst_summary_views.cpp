#include "app/ReviewFixture.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "app/models/SettingsKeys.h"
#include "app/models/AccountSummaryViewModel.h"
#include "app/models/AppSummaryViewModel.h"
#include "app/models/ReviewListModel.h"
#include "app/views/AccountSummaryView.h"
#include "app/views/AppSummaryView.h"
#include "app/views/ReviewListView.h"
#include "app/views/ReviewCardDelegate.h"
#include "app/views/ReviewView.h"
#include "platform/UserDefaults.h"
#include "platform/keychain/Keychain.h"
#include "support/TestHome.h"

#include "ViewTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTextLayout>
#include <QToolBar>

using namespace Vantorel;
using fixture::Seed;
using platform::store::ObjectId;

namespace {

QStringList itemsOf(const QComboBox &box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items.append(box.itemText(i));
    return items;
}

QStringList titlesOf(const ReviewListView &list)
{
    QStringList titles;
    for (const auto &review : list.reviewModel()->reviews())
        titles.append(review->title());
    return titles;
}

QList<ObjectId> idsOf(const ReviewListView &list)
{
    QList<ObjectId> ids;
    for (const auto &review : list.reviewModel()->reviews())
        ids.append(review->id());
    return ids;
}

// One change of a review's row (or the rows it points to), as a download makes it.
using RowEdit = std::function<void(Fennick::ManagedReview &)>;
// What a card shows of one field.
using ShownField = std::function<QString(const ReviewCardLayout &)>;
// Something the user or a download does to a summary shown in a window.
using SummaryChange = std::function<void(AppSummaryView &, fixture::ReviewStore &)>;

}  // namespace

Q_DECLARE_METATYPE(RowEdit)
Q_DECLARE_METATYPE(ShownField)
Q_DECLARE_METATYPE(SummaryChange)

class SummaryViewsTest : public QObject {
    Q_OBJECT

    // The summary in a window, its search field in the window's toolbar, as the main window
    // places it.
    std::unique_ptr<QMainWindow> m_window;

    template <class View>
    View *place(View *view)
    {
        m_window = std::make_unique<QMainWindow>();
        m_window->resize(820, 700);
        QToolBar *toolbar = m_window->addToolBar(QStringLiteral("main"));
        toolbar->addWidget(view->searchField());
        m_window->setCentralWidget(view);
        m_window->show();
        return QTest::qWaitForWindowExposed(m_window.get()) ? view : nullptr;
    }

private slots:
    void initTestCase()
    {
        platform::Keychain::useInMemoryBackendForTesting();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        platform::UserDefaults::standard().setValue(SettingsKey::enableTranslationSupport, true);
    }

    void cleanup()
    {
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void countTexts()
    {
        QCOMPARE(AppSummaryView::countText(0), QStringLiteral("0 reviews"));
        QCOMPARE(AppSummaryView::countText(1), QStringLiteral("1 review"));
        QCOMPARE(AppSummaryView::countText(2), QStringLiteral("2 reviews"));
        QCOMPARE(AppSummaryView::countText(20000), QStringLiteral("20000 reviews"));
    }

    void appSummary()
    {
        fixture::ReviewStore store(std::nullopt, QStringLiteral("Weather Pro"), QStringLiteral("2.1"));
        const ObjectId older = store.addVersion(QStringLiteral("10.0"));
        store.add(Seed{.title = QStringLiteral("Lovely forecasts"), .body = QStringLiteral("Accurate and quick."),
                       .rating = 5, .isNew = true, .created = QDateTime(QDate(2024, 5, 3), QTime(9, 0), Qt::UTC)});
        store.add(Seed{.title = QStringLiteral("Crashes on start"), .body = QStringLiteral("Since the update it crashes."),
                       .territory = QStringLiteral("DEU"), .language = QStringLiteral("de"), .rating = 1,
                       .created = QDateTime(QDate(2024, 5, 2), QTime(9, 0), Qt::UTC), .version = older});
        store.add(Seed{.title = QStringLiteral("Good"), .body = QStringLiteral("Does what it says; the widget is nice."),
                       .rating = 4, .responseText = QStringLiteral("Thank you!"),
                       .responseIdentifier = QStringLiteral("resp"),
                       .created = QDateTime(QDate(2024, 5, 1), QTime(9, 0), Qt::UTC)});

        AppSummaryView *view = place(new AppSummaryView(store.app()));
        QVERIFY(view);
        ReviewListView *list = view->reviewList();
        QTRY_COMPARE(list->reviewModel()->rowCount(), 3);
        QCOMPARE(view->countLabel()->text(), QStringLiteral("3 reviews"));
        QCOMPARE(titlesOf(*list), (QStringList{QStringLiteral("Lovely forecasts"), QStringLiteral("Crashes on start"),
                                               QStringLiteral("Good")}));

        // Pickers and menu.
        QTRY_COMPARE(itemsOf(*view->versionPicker()),
                     (QStringList{QStringLiteral("All Versions"), QStringLiteral("2.1"), QStringLiteral("10.0")}));
        QCOMPARE(view->versionPicker()->currentIndex(), 0);
        QCOMPARE(itemsOf(*view->sortPicker()), (QStringList{QStringLiteral("\u2191 Date"), QStringLiteral("\u2193 Date"),
                                                            QStringLiteral("\u2191 Rating"),
                                                            QStringLiteral("\u2193 Rating")}));
        QCOMPARE(view->sortPicker()->currentText(), QStringLiteral("\u2193 Date"));
        QStringList menu;
        for (QAction *action : view->filterMenu()->actions())
            menu.append(action->isSeparator() ? QStringLiteral("--") : action->text());
        QCOMPARE(menu, (QStringList{QStringLiteral("Include"), QStringLiteral("\u2605"), QStringLiteral("\u2605\u2605"),
                                    QStringLiteral("\u2605\u2605\u2605"), QStringLiteral("\u2605\u2605\u2605\u2605"),
                                    QStringLiteral("\u2605\u2605\u2605\u2605\u2605"), QStringLiteral("--"),
                                    QStringLiteral("Reviews With Response"), QStringLiteral("Reviews Without Response")}));
        QVERIFY(!view->filterMenu()->actions().first()->isEnabled());
        for (QAction *action : view->filterMenu()->actions().mid(1))
            QVERIFY(action->isSeparator() || (action->isCheckable() && action->isChecked()));
        QVERIFY(view->grab().save(testsupport::screenshotPath(QStringLiteral("app-summary.png"))));
        QVERIFY(m_window.get()->grab().save(testsupport::screenshotPath(QStringLiteral("app-summary-window.png"))));

        // Choosing a version, a sort order, a filter reloads at once.
        QTest::keyClick(view->versionPicker(), Qt::Key_Down);  // to "2.1"
        QTRY_COMPARE(view->countLabel()->text(), QStringLiteral("2 reviews"));
        QTest::keyClick(view->sortPicker(), Qt::Key_Down);
        QTest::keyClick(view->sortPicker(), Qt::Key_Down);  // to "↓ Rating"
        QTRY_COMPARE(titlesOf(*list).first(), QStringLiteral("Lovely forecasts"));
        QCOMPARE(view->viewModel()->sortOrder(), AppSummarySortOrder::ratingDescending);
        view->filterMenu()->findChild<QAction *>(QStringLiteral("include5Star"))->trigger();
        QTRY_COMPARE(view->countLabel()->text(), QStringLiteral("1 review"));
        QCOMPARE(titlesOf(*list), QStringList{QStringLiteral("Good")});

        // Searching covers every version and rating; the version picker and the filter menu
        // are off meanwhile, the sort picker stays on.
        QTest::keyClicks(view->searchField(), QStringLiteral("CRASH"));
        QVERIFY(!view->versionPicker()->isEnabled());
        QVERIFY(!view->filterButton()->isEnabled());
        QVERIFY(view->sortPicker()->isEnabled());
        QTRY_COMPARE(titlesOf(*list), QStringList{QStringLiteral("Crashes on start")});
        QCOMPARE(view->countLabel()->text(), QStringLiteral("1 review"));
        QTest::mouseClick(view->filterButton(), Qt::LeftButton);
        QVERIFY(!view->filterMenu()->isVisible());
        view->searchField()->clear();
        QVERIFY(view->versionPicker()->isEnabled());
        QVERIFY(view->filterButton()->isEnabled());
        QTRY_COMPARE(titlesOf(*list), QStringList{QStringLiteral("Good")});

        // All stars off: nothing.
        for (int stars = 1; stars <= 4; ++stars)
            view->filterMenu()->findChild<QAction *>(QStringLiteral("include%1Star").arg(stars))->trigger();
        QTRY_COMPARE(view->countLabel()->text(), QStringLiteral("0 reviews"));
        QCOMPARE(list->reviewModel()->rowCount(), 0);
        // Back to the defaults for the next test: these settings are shared by every summary.
        for (int stars = 1; stars <= 5; ++stars)
            view->viewModel()->setIncludesRating(stars, true);
        view->viewModel()->setSortOrder(AppSummarySortOrder::dateDescending);
    }

    void translationSwitchReachesTheCards()
    {
        fixture::ReviewStore store;
        store.add(Seed{.language = QStringLiteral("de")});
        AppSummaryView *view = place(new AppSummaryView(store.app()));
        QVERIFY(view);
        QTRY_COMPARE(view->reviewList()->reviewModel()->rowCount(), 1);
        ReviewListView *list = view->reviewList();
        list->setCurrentIndex(list->reviewModel()->index(0));
        ReviewView *card = list->openCard();
        QVERIFY(card);
        QVERIFY(card->button(ReviewCardLayout::Button::translate)->isVisibleTo(card));
        platform::UserDefaults::standard().setValue(SettingsKey::enableTranslationSupport, false);
        QTRY_VERIFY(!card->button(ReviewCardLayout::Button::translate)->isVisibleTo(card));
        platform::UserDefaults::standard().setValue(SettingsKey::enableTranslationSupport, true);
        QTRY_VERIFY(card->button(ReviewCardLayout::Button::translate)->isVisibleTo(card));
    }

    void cardsShowWhatTheStoreHoldsAfterADownload_data()
    {
        QTest::addColumn<RowEdit>("edit");
        QTest::addColumn<ShownField>("shown");
        const ShownField header = [](const ReviewCardLayout &card) { return card.headerText; };
        const ShownField byline = [](const ReviewCardLayout &card) { return card.bylineText; };
        QTest::newRow("title") << RowEdit([](Fennick::ManagedReview &row) { row.setTitle(QStringLiteral("New title")); })
                               << ShownField([](const ReviewCardLayout &card) { return card.title.layout->text(); });
        QTest::newRow("body") << RowEdit([](Fennick::ManagedReview &row) {
            row.setBody(QStringLiteral("A much longer body that the download brought. ").repeated(12));
        }) << ShownField([](const ReviewCardLayout &card) { return card.body.layout->text(); });
        QTest::newRow("rating") << RowEdit([](Fennick::ManagedReview &row) { row.setRating(5); })
                                << ShownField([](const ReviewCardLayout &card) { return QString::number(card.rating); });
        QTest::newRow("nickname") << RowEdit([](Fennick::ManagedReview &row) { row.setNickname(QStringLiteral("Sam")); })
                                  << byline;
        QTest::newRow("date") << RowEdit([](Fennick::ManagedReview &row) {
            row.setCreated(QDateTime(QDate(2024, 3, 9), QTime(7, 5), Qt::UTC));
        }) << byline;
        QTest::newRow("territory") << RowEdit([](Fennick::ManagedReview &row) { row.setTerritory(QStringLiteral("DEU")); })
                                   << ShownField([](const ReviewCardLayout &card) { return card.flagText; });
        QTest::newRow("version") << RowEdit([](Fennick::ManagedReview &row) {
            row.version()->setVersion(QStringLiteral("2.2"));
        }) << header;
        QTest::newRow("app name") << RowEdit([](Fennick::ManagedReview &row) {
            row.app()->setName(QStringLiteral("Weather Pro"));
        }) << header;
        QTest::newRow("new mark") << RowEdit([](Fennick::ManagedReview &row) { row.setIsNew(false); })
                                  << ShownField([](const ReviewCardLayout &card) {
                                         return card.badgeRect.isEmpty() ? QStringLiteral("old") : QStringLiteral("new");
                                     });
    }
    void cardsShowWhatTheStoreHoldsAfterADownload()
    {
        QFETCH(RowEdit, edit);
        QFETCH(ShownField, shown);
        fixture::ReviewStore store(std::nullopt, QStringLiteral("Weather"));
        const ObjectId changed = store.add(Seed{.title = QStringLiteral("Old title"), .body = QStringLiteral("Old body"),
                                                .rating = 2, .isNew = true});
        store.add(Seed{.title = QStringLiteral("Untouched"), .created = QDateTime(QDate(2023, 1, 1), QTime(0, 0), Qt::UTC)});
        auto *summary = new AppSummaryView(store.app());
        // Nothing but the download changes the row: a card on screen is not marked seen here.
        summary->reviewList()->setSeenHandler({});
        AppSummaryView *view = place(summary);
        QVERIFY(view);
        ReviewListView *list = view->reviewList();
        QTRY_COMPARE(list->reviewModel()->rowCount(), 2);
        list->setFocus();
        list->setCurrentIndex(list->reviewModel()->index(0));
        QVERIFY(list->openCard());
        // Drawn once, so that the list holds the card's layout and height for the old record.
        const QString before = shown(*list->cardDelegate()->layoutFor(*list->reviewModel()->reviewAt(0), list->cardWidth(),
                                                                      list->enableTranslation()));
        QCOMPARE(shown(*list->openCard()->cardLayout()), before);
        const std::shared_ptr<Fennick::StoreReview> old = list->reviewModel()->reviewAt(0);

        // A download on a background context rewrites one field.
        Fennick::PersistenceController::shared()
            .container()
            .performBackgroundTask([&](platform::store::Context &context) {
                edit(*context.existingObject<Fennick::ManagedReview>(changed));
                context.save();
            })
            .waitForFinished();
        StoreChange::post(StoreChange::dataRefreshed);
        QTRY_VERIFY(list->reviewModel()->reviewAt(0) != old);
        QCOMPARE(list->reviewModel()->reviewAt(0)->id(), changed);

        // What a card made afresh for the new record shows, apart from any cache.
        const ReviewCardLayout fresh(*list->reviewModel()->reviewAt(0), list->cardWidth(), list->enableTranslation(),
                                     list->cardDelegate()->controls());
        QVERIFY2(shown(fresh) != before, qPrintable(before));
        const auto painted = list->cardDelegate()->layoutFor(*list->reviewModel()->reviewAt(0), list->cardWidth(),
                                                             list->enableTranslation());
        QCOMPARE(shown(*painted), shown(fresh));
        ReviewView *card = list->openCard();
        QVERIFY(card);
        QCOMPARE(shown(*card->cardLayout()), shown(fresh));
        QTRY_COMPARE(list->reviewRect(changed).height(), fresh.height());
        QCOMPARE(card->geometry(), list->reviewRect(changed));
    }

    void changedChoicesShowTheListFromItsFirstCard_data()
    {
        QTest::addColumn<SummaryChange>("change");
        QTest::addColumn<bool>("fromStart");
        QTest::newRow("stars") << SummaryChange([](AppSummaryView &view, fixture::ReviewStore &) {
            view.filterMenu()->findChild<QAction *>(QStringLiteral("include1Star"))->trigger();
        }) << true;
        QTest::newRow("response filter") << SummaryChange([](AppSummaryView &view, fixture::ReviewStore &) {
            view.filterMenu()->findChild<QAction *>(QStringLiteral("includeWithResponse"))->trigger();
        }) << true;
        QTest::newRow("sort") << SummaryChange([](AppSummaryView &view, fixture::ReviewStore &) {
            QTest::keyClick(view.sortPicker(), Qt::Key_Down);
        }) << true;
        QTest::newRow("version") << SummaryChange([](AppSummaryView &view, fixture::ReviewStore &) {
            QTest::keyClick(view.versionPicker(), Qt::Key_Down);
        }) << true;
        QTest::newRow("search") << SummaryChange([](AppSummaryView &view, fixture::ReviewStore &) {
            QTest::keyClicks(view.searchField(), QStringLiteral("forecast"));
        }) << true;
        // A download brings a newer review: what the reader looks at stays where it is.
        QTest::newRow("store reload") << SummaryChange([](AppSummaryView &, fixture::ReviewStore &store) {
            store.add(Seed{.title = QStringLiteral("Downloaded"), .created = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC)});
            StoreChange::post(StoreChange::dataRefreshed);
        }) << false;
    }
    void changedChoicesShowTheListFromItsFirstCard()
    {
        QFETCH(SummaryChange, change);
        QFETCH(bool, fromStart);
        fixture::ReviewStore store(std::nullopt, QStringLiteral("Weather"), QStringLiteral("2.1"));
        const ObjectId older = store.addVersion(QStringLiteral("10.0"));
        const QDateTime start(QDate(2024, 6, 1), QTime(9, 0), Qt::UTC);
        for (int i = 0; i < 40; ++i) {
            const bool answered = i % 3 == 0;
            store.add(Seed{.title = QStringLiteral("Review %1").arg(i),
                           .body = i % 4 == 0 ? QStringLiteral("Quiet days.")
                                              : QStringLiteral("The forecast was right every morning. ").repeated(1 + i % 3),
                           .rating = 1 + i % 5,
                           .responseText = answered ? std::optional<QString>(QStringLiteral("Thank you!")) : std::nullopt,
                           .responseIdentifier = answered ? std::optional<QString>(QStringLiteral("resp-%1").arg(i))
                                                          : std::nullopt,
                           .created = start.addDays(-i),
                           .version = i % 2 == 0 ? std::optional<ObjectId>(older) : std::nullopt});
        }
        AppSummaryView *view = place(new AppSummaryView(store.app()));
        QVERIFY(view);
        // The filters and the sort order are settings every summary shares: back to the defaults.
        const auto restore = qScopeGuard([model = view->viewModel()] {
            model->setIncludesRating(1, true);
            model->setIncludeReviewsWithResponse(true);
            model->setSortOrder(AppSummarySortOrder::dateDescending);
        });
        ReviewListView *list = view->reviewList();
        QTRY_COMPARE(list->reviewModel()->rowCount(), 40);
        QTRY_VERIFY(!list->isMeasuring());

        // Scrolled well down, the top card's header above the viewport.
        list->scrollToReview(list->reviewModel()->reviewAt(20)->id());
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->value() + 30);
        const std::optional<ObjectId> top = list->topReviewId();
        QVERIFY(top);
        const int topOffset = list->reviewRect(*top).top();
        QCOMPARE(topOffset, -30);
        const QList<ObjectId> before = idsOf(*list);

        change(*view, store);
        QTRY_VERIFY(idsOf(*list) != before);
        // Right away, and again once every card is measured.
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1)
                QTRY_VERIFY(!list->isMeasuring());
            if (fromStart) {
                QCOMPARE(list->verticalScrollBar()->value(), 0);
                QCOMPARE(list->reviewRect(list->reviewModel()->reviewAt(0)->id()).top(), 0);
            } else {
                QCOMPARE(list->topReviewId(), top);
                QCOMPARE(list->reviewRect(*top).top(), topOffset);
            }
        }
        QVERIFY(view->grab().save(testsupport::screenshotPath(
            QStringLiteral("choices-%1.png").arg(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-')))));
    }

    void accountSummaryShowsTheNewestHundred()
    {
        fixture::ReviewStore store(std::nullopt, QStringLiteral("Notes"));
        fixture::ReviewStore other(std::nullopt, QStringLiteral("Other"));
        other.add(Seed{.title = QStringLiteral("Not this account"),
                       .created = QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC)});
        const QDateTime start(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < 105; ++i) {
            store.add(Seed{.title = QStringLiteral("Review %1").arg(i),
                           .body = i % 10 == 0 ? QStringLiteral("Syncs fast") : QStringLiteral("Fine"),
                           .rating = 1 + i % 5, .isNew = i >= 103,
                           .responseText = i % 4 == 0 ? std::optional<QString>(QStringLiteral("Thanks for writing!"))
                                                      : std::nullopt,
                           .responseIdentifier = i % 4 == 0 ? std::optional<QString>(QStringLiteral("resp-%1").arg(i))
                                                            : std::nullopt,
                           .created = start.addDays(i)});
        }
        AccountSummaryView *view = place(new AccountSummaryView(store.account()));
        QVERIFY(view);
        ReviewListView *list = view->reviewList();
        QTRY_COMPARE(list->reviewModel()->rowCount(), 100);
        QCOMPARE(titlesOf(*list).first(), QStringLiteral("Review 104"));
        QCOMPARE(titlesOf(*list).last(), QStringLiteral("Review 5"));
        QVERIFY(!titlesOf(*list).contains(QStringLiteral("Not this account")));
        QVERIFY(view->grab().save(testsupport::screenshotPath(QStringLiteral("account-summary.png"))));

        QTest::keyClicks(view->searchField(), QStringLiteral("syncs"));
        QTRY_COMPARE(list->reviewModel()->rowCount(), 11);

        // Shown again, it loads again: a review added meanwhile appears.
        view->searchField()->clear();
        QTRY_COMPARE(list->reviewModel()->rowCount(), 100);
        view->hide();
        store.add(Seed{.title = QStringLiteral("Newest"), .created = start.addDays(200)});
        view->show();
        QTRY_COMPARE(titlesOf(*list).first(), QStringLiteral("Newest"));
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, SummaryViewsTest)
#include "tst_summary_views.moc"
