#include "app/ReviewFixture.h"
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

}  // namespace

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

    void cardsShowWhatTheStoreHoldsAfterADownload()
    {
        fixture::ReviewStore store(std::nullopt, QStringLiteral("Weather"));
        const ObjectId changed = store.add(Seed{.title = QStringLiteral("Old title"), .body = QStringLiteral("Old body"),
                                                .rating = 2});
        store.add(Seed{.title = QStringLiteral("Untouched"), .created = QDateTime(QDate(2023, 1, 1), QTime(0, 0), Qt::UTC)});
        AppSummaryView *view = place(new AppSummaryView(store.app()));
        QVERIFY(view);
        ReviewListView *list = view->reviewList();
        QTRY_COMPARE(list->reviewModel()->rowCount(), 2);
        list->setFocus();
        list->setCurrentIndex(list->reviewModel()->index(0));
        QVERIFY(list->openCard());
        QCOMPARE(list->openCard()->cardLayout()->title.layout->text(), QStringLiteral("Old title"));
        const int oldHeight = list->reviewRect(changed).height();

        // A download on a background context rewrites the review and renames the app.
        Fennick::PersistenceController::shared()
            .container()
            .performBackgroundTask([&](platform::store::Context &context) {
                auto *row = context.existingObject<Fennick::ManagedReview>(changed);
                row->setTitle(QStringLiteral("New title"));
                row->setBody(QStringLiteral("A much longer body that the download brought. ").repeated(12));
                row->setRating(5);
                row->app()->setName(QStringLiteral("Weather Pro"));
                context.save();
            })
            .waitForFinished();
        StoreChange::post(StoreChange::dataRefreshed);
        QTRY_COMPARE(list->reviewModel()->reviewAt(0)->title(), QStringLiteral("New title"));

        const auto painted = list->cardDelegate()->layoutFor(*list->reviewModel()->reviewAt(0), list->cardWidth(),
                                                             list->enableTranslation());
        ReviewView *card = list->openCard();
        QVERIFY(card);
        for (const ReviewCardLayout *layout : {painted.get(), card->cardLayout()}) {
            QCOMPARE(layout->title.layout->text(), QStringLiteral("New title"));
            QVERIFY(layout->body.layout->text().startsWith(QStringLiteral("A much longer body")));
            QCOMPARE(layout->rating, 5);
            QCOMPARE(layout->headerText, QStringLiteral("Weather Pro 2.1"));
        }
        QTRY_COMPARE(list->reviewRect(changed).height(), painted->height());
        QVERIFY(list->reviewRect(changed).height() > oldHeight);
        QCOMPARE(card->geometry(), list->reviewRect(changed));
        QVERIFY(view->grab().save(testsupport::screenshotPath(QStringLiteral("card-after-download.png"))));
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
