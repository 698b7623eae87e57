#include "StoreFixture.h"
#include "app/models/AccountSummaryViewModel.h"
#include "app/models/StoreChanges.h"
#include "platform/UserDefaults.h"
#include "platform/keychain/Keychain.h"
#include "support/TestHome.h"

#include <QSignalSpy>

using namespace fixture;
using Fennick::Account;
using Vantorel::AccountSummaryViewModel;

class AccountSummaryViewModelTest : public QObject {
    Q_OBJECT
    ObjectId mine, other;
    QStringList newestOfMine;  // the 100 newest of 150, newest first

    static std::shared_ptr<Account> account(const std::optional<ObjectId> &id)
    {
        return std::make_shared<Account>(id, QStringLiteral("A"), QString(), QString(), std::nullopt);
    }

private slots:
    void initTestCase()
    {
        platform::Keychain::useInMemoryBackendForTesting();
        mine = addAccount(QStringLiteral("Mine"));
        other = addAccount(QStringLiteral("Other"));
        const ObjectId app = addApp(mine, QStringLiteral("App"));
        QList<Review> reviews;
        for (int i = 0; i < 150; ++i) {
            // Stored in an order unlike their dates, so that only the sort can bring the newest first.
            const int minutes = (i * 37) % 150;
            reviews.append({QStringLiteral("m%1").arg(minutes, 3, 10, QLatin1Char('0')), 4, QStringLiteral("Title"),
                            minutes == 7 ? QStringLiteral("Sch\u00f6ne Gr\u00fc\u00dfe") : QStringLiteral("Plain"), minutes,
                            false, std::nullopt});
        }
        reviews.append({QStringLiteral("spaced"), 4, QStringLiteral("NoBlank"), QStringLiteral("two  blanks"), 3, false,
                        std::nullopt});
        addReviews(mine, app, reviews);
        for (int minutes = 149; minutes >= 50; --minutes)
            newestOfMine.append(QStringLiteral("m%1").arg(minutes, 3, 10, QLatin1Char('0')));

        // Newer than all of them, and matching the searches below: never listed for Mine.
        addReviews(other, addApp(other, QStringLiteral("Theirs")),
                   {{QStringLiteral("o1"), 1, QStringLiteral("Sch\u00f6ne Gr\u00fc\u00dfe"), QStringLiteral("two  blanks"), 500, false,
                     std::nullopt}});
        // A review without an account must not show up for an account that was never saved.
        auto *orphan = view().insert<Fennick::ManagedReview>();
        orphan->setIdentifier(QStringLiteral("orphan"));
        orphan->setTitle(QStringLiteral("Schone"));
        view().save();
    }

    void newestHundredOfTheAccount_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no search") << QString() << newestOfMine;
        QTest::newRow("capitals without accents") << QStringLiteral("SCHONE GRU") << QStringList{"m007"};
        QTest::newRow("two blanks") << QStringLiteral("  ") << QStringList{"spaced"};
        QTest::newRow("no match") << QStringLiteral("zebra") << QStringList{};
    }
    void newestHundredOfTheAccount()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        AccountSummaryViewModel model(account(mine));
        model.setSearch(search);
        QVERIFY(finished(model.reload()));
        QCOMPARE(identifiers(model.reviews()), expected);
        for (const auto &review : model.reviews())
            QCOMPARE(review->app(), QStringLiteral("App"));

        // Clearing the text lists the newest again after the pause.
        QSignalSpy loads(&model, &AccountSummaryViewModel::reviewsChanged);
        model.setSearch(QString());
        QTRY_VERIFY(!loads.isEmpty());
        QCOMPARE(identifiers(model.reviews()), newestOfMine);
    }

    void unsavedAccountListsNothing()
    {
        AccountSummaryViewModel model(account(std::nullopt));
        model.setSearch(QStringLiteral("schone"));
        QVERIFY(finished(model.reload()));
        QVERIFY(model.reviews().isEmpty());
    }

    void triggersReloadOncePerBurstAndTheSwitchRedraws()
    {
        auto model = std::make_unique<AccountSummaryViewModel>(account(other));
        QSignalSpy loads(model.get(), &AccountSummaryViewModel::reviewsChanged);
        QSignalSpy notices(model.get(), &AccountSummaryViewModel::objectWillChange);
        for (const char *text : {"t", "tw", "two"}) {  // typed before the load after creation
            model->setSearch(QString::fromLatin1(text));
            QTest::qWait(50);
        }
        QTRY_COMPARE(loads.size(), 1);
        QCOMPARE(identifiers(model->reviews()), QStringList{"o1"});

        addReviews(other, std::nullopt, {{QStringLiteral("o2"), 2, QStringLiteral("two"), {}, 600, false, std::nullopt}});
        Vantorel::StoreChange::post(Vantorel::StoreChange::accountAdded);
        Vantorel::StoreChange::post(Vantorel::StoreChange::accountRemoved);
        QTRY_COMPARE(loads.size(), 2);
        QCOMPARE(identifiers(model->reviews()), (QStringList{"o2", "o1"}));

        notices.clear();
        platform::UserDefaults::standard().setValue(QStringLiteral("enableTranslationSupport"), true);
        QCOMPARE(notices.size(), 0);
        QTRY_COMPARE(notices.size(), 1);
        QTest::qWait(700);
        QCOMPARE(loads.size(), 2);

        // A store change after the model has gone does nothing.
        model.reset();
        Vantorel::StoreChange::post(Vantorel::StoreChange::dataRefreshed);
        QTest::qWait(700);
    }

    void failedFetchEmptiesTheList()
    {
        AccountSummaryViewModel model(account(mine));
        waitPastFirstSearchLoad();
        QVERIFY(finished(model.reload()));
        QCOMPARE(model.reviews().size(), 100);
        events().take();

        QVERIFY(finishedWithoutTable(QStringLiteral("Review"), "Could not load reviews", [&] { return model.reload(); }));
        QVERIFY(model.reviews().isEmpty());
        const QStringList reported = events().take();
        QCOMPARE(reported.size(), 1);
        QVERIFY(reported[0].startsWith(QStringLiteral("ErrorLoadReviews:")));
    }
};

VANTOREL_TEST_MAIN(AccountSummaryViewModelTest)
#include "tst_account_summary_view_model.moc"
