#include "Fennick/Account.h"
#include "Fennick/Endpoints.h"
#include "Fennick/GroupSettings.h"
#include "FakeConnectServer.h"
#include "platform/Analytics.h"
#include "platform/keychain/Keychain.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "support/TestHome.h"
#include "Fennick/ReferenceDate.h"
#include "widget/Provider.h"

#include <QApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

using namespace Glimmerwick;
using namespace Fennick;
using platform::store::Context;
using platform::widgetkit::Timeline;

namespace {
constexpr double now = 800'000'000.0;  // a fixed "now", in seconds since the reference date

struct Answer {
    std::atomic<int> calls{0};
    Timeline<SimpleEntry> timeline;
};

// Runs one timeline request and waits for its answer (and a little longer, to see a second one).
Timeline<SimpleEntry> requestTimeline(Provider &provider, int *calls = nullptr)
{
    auto answer = std::make_shared<Answer>();
    provider.makeTimeline([answer](Timeline<SimpleEntry> timeline) {
        answer->timeline = std::move(timeline);
        ++answer->calls;
    });
    if (!QTest::qWaitFor([&] { return answer->calls.load() > 0; }, 10000))
        qFatal("no answer");
    QTest::qWait(50);
    if (calls)
        *calls = answer->calls.load();
    return answer->timeline;
}

void addReviews(const QString &accountName, const QList<std::pair<QString, int>> &titlesAndAges, bool hidden = false)
{
    auto background = PersistenceController::shared().container().newBackgroundContext();
    background->performAndWait([&](Context &c) {
        auto *account = c.insert<ManagedAccount>();
        account->setName(accountName);
        auto *app = c.insert<ManagedApp>();
        app->setName(accountName + QStringLiteral(" app"));
        app->setIsHidden(hidden);
        app->setAccount(account);
        auto *version = c.insert<ManagedAppVersion>();
        version->setApp(app);
        version->setAccount(account);
        for (const auto &[title, ageInMinutes] : titlesAndAges) {
            auto *review = c.insert<ManagedReview>();
            review->setTitle(title);
            review->setCreated(QDateTime::currentDateTimeUtc().addSecs(-60 * ageInMinutes));
            review->setApp(app);
            review->setVersion(version);
            review->setAccount(account);
        }
        c.save();
    });
}

QStringList titles(const Timeline<SimpleEntry> &timeline)
{
    QStringList result;
    for (const auto &review : timeline.entries.first().reviews)
        result << review->title();
    return result;
}
}  // namespace

class WidgetProviderTest : public QObject {
    Q_OBJECT
    int m_imports = 0;

    Provider provider()
    {
        return Provider([this](const std::shared_ptr<Context> &) { return ++m_imports, 3; }, [] { return now; });
    }

private slots:
    void init()
    {
        m_imports = 0;
        GroupSettings::setLastFullDownloadDate(0);
        GroupSettings::setLastLiteDownloadDate(0);
    }

    void placeholderHoldsFourSamples()
    {
        Provider p = provider();
        const SimpleEntry entry = p.placeholder({});
        QCOMPARE(entry.reviews.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const StoreReview &sample = *entry.reviews[i];
            QCOMPARE(sample.app(), QStringLiteral("My Great App %1").arg(i + 1));
            QVERIFY(sample.id().isTemporary());
            QCOMPARE(sample.rating(), 5);
            QVERIFY(sample.isNew());
            QVERIFY(!sample.appIdentifier());
        }
        QVERIFY(entry.reviews[0]->id() != entry.reviews[1]->id());
        QCOMPARE(m_imports, 0);
    }

    void gateOpensOnlyAfterFourHours_data()
    {
        QTest::addColumn<double>("full");
        QTest::addColumn<double>("lite");
        QTest::addColumn<bool>("downloads");
        QTest::newRow("never downloaded") << 0.0 << 0.0 << true;
        QTest::newRow("exactly four hours") << now - 14400 << 0.0 << false;
        QTest::newRow("just over four hours") << now - 14400.5 << 0.0 << true;
        QTest::newRow("in the future") << now + 100 << 0.0 << false;
        QTest::newRow("app synced recently, widget long ago") << now - 3600 << now - 86400 << false;
        QTest::newRow("widget synced recently, app long ago") << now - 86400 << now - 3600 << false;
        QTest::newRow("both long ago") << now - 86400 << now - 20000 << true;
    }
    void gateOpensOnlyAfterFourHours()
    {
        QFETCH(double, full);
        QFETCH(double, lite);
        QFETCH(bool, downloads);
        GroupSettings::setLastFullDownloadDate(full);
        GroupSettings::setLastLiteDownloadDate(lite);
        Provider p = provider();
        QTest::ignoreMessage(QtInfoMsg, downloads ? "Extension fetched new reviews: 3" : "Skipping widget data refresh");
        int calls = 0;
        const Timeline<SimpleEntry> timeline = requestTimeline(p, &calls);
        QCOMPARE(calls, 1);
        QCOMPARE(m_imports, downloads ? 1 : 0);
        QCOMPARE(GroupSettings::lastLiteDownloadDate(), downloads ? now : lite);
        QCOMPARE(GroupSettings::lastFullDownloadDate(), full);  // never the widget's to write
        QCOMPARE(timeline.entries.size(), 1);
        const qint64 reloadIn = timeline.entries.first().date.secsTo(timeline.policy.date);
        QVERIFY(reloadIn >= 14399 && reloadIn <= 14401);
    }

    void emptyStoreGivesAnEntryWithoutReviews()
    {
        GroupSettings::setLastFullDownloadDate(now);
        Provider p = provider();
        QTest::ignoreMessage(QtInfoMsg, "Skipping widget data refresh");
        QVERIFY(requestTimeline(p).entries.first().reviews.isEmpty());
    }

    void newestFourOfEveryAccountAndHiddenApp()
    {
        addReviews(QStringLiteral("A"), {{QStringLiteral("a 50"), 50}, {QStringLiteral("a 5"), 5}, {QStringLiteral("a 70"), 70}});
        addReviews(QStringLiteral("B"), {{QStringLiteral("b 10"), 10}, {QStringLiteral("b 90"), 90}, {QStringLiteral("b 60"), 60}});
        addReviews(QStringLiteral("C"), {{QStringLiteral("c 1"), 1}, {QStringLiteral("c 40"), 40}, {QStringLiteral("c 80"), 80},
                                         {QStringLiteral("c 99"), 99}}, /*hidden=*/true);
        GroupSettings::setLastFullDownloadDate(now);
        Provider p = provider();
        QTest::ignoreMessage(QtInfoMsg, "Skipping widget data refresh");
        const Timeline<SimpleEntry> timeline = requestTimeline(p);
        QCOMPARE(titles(timeline), (QStringList{QStringLiteral("c 1"), QStringLiteral("a 5"), QStringLiteral("b 10"),
                                                QStringLiteral("c 40")}));
        QCOMPARE(timeline.entries.first().reviews.first()->app(), QStringLiteral("C app"));
    }

    void failingFetchIsStillAnsweredOnce()
    {
        // The download hook takes the review table away, so the fetch after it fails.
        const QString path = PersistenceController::storePath();
        auto sabotage = [path](bool hide) {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("sabotage"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY2(query.exec(hide ? QStringLiteral("ALTER TABLE Review RENAME TO Hidden")
                                     : QStringLiteral("ALTER TABLE Hidden RENAME TO Review")),
                     qPrintable(query.lastError().text()));
        };
        Provider p([&](const std::shared_ptr<Context> &) {
            sabotage(true);
            return 0;
        }, [] { return now; });
        QTest::ignoreMessage(QtInfoMsg, "Extension fetched new reviews: 0");
        int calls = 0;
        const Timeline<SimpleEntry> timeline = requestTimeline(p, &calls);
        QSqlDatabase::removeDatabase(QStringLiteral("sabotage"));
        sabotage(false);
        QSqlDatabase::removeDatabase(QStringLiteral("sabotage"));
        QCOMPARE(calls, 1);
        QCOMPARE(timeline.entries.size(), 1);
        QVERIFY(timeline.entries.first().reviews.isEmpty());
        QVERIFY(timeline.entries.first().date.secsTo(timeline.policy.date) >= 14399);
    }

    void realDownloadFillsTheEntryOnce()
    {
        platform::Keychain::useInMemoryBackendForTesting();
        fakes::FakeConnectServer server;
        Endpoints::setBaseUrl(Endpoints::Service::connect, server.baseUrl());
        const fakes::FakeAccount fake = server.addAccount();
        server.setApps(fake.issuerId, fakes::sampleApps(2, 1, 3, QStringLiteral("w")));
        const auto accountId = PersistenceController::shared().container().viewContext().performAndWait([](Context &c) {
            auto *row = c.insert<ManagedAccount>();
            row->setName(QStringLiteral("Fake"));
            c.save();
            return row->objectId();
        });
        Account key(std::nullopt, QStringLiteral("Fake"), fake.issuerId, fake.keyId, fake.privateKeyPem);
        QVERIFY(key.saveToKeychain(accountId.uriString()));

        GroupSettings::setLastFullDownloadDate(0);
        GroupSettings::setLastLiteDownloadDate(0);
        const double before = secondsSinceReferenceDate();
        Provider real;  // the real download and clock
        QTest::ignoreMessage(QtInfoMsg, "Extension fetched new reviews: 0");  // an app's first import
        int calls = 0;
        const Timeline<SimpleEntry> timeline = requestTimeline(real, &calls);
        QCOMPARE(calls, 1);
        QVERIFY(server.requestCount() > 0);
        QVERIFY(GroupSettings::lastLiteDownloadDate() >= before);
        QCOMPARE(GroupSettings::lastFullDownloadDate(), 0.0);
        QCOMPARE(timeline.entries.first().reviews.size(), 4);
        QVERIFY(!platform::Analytics::isStarted());  // the widget never starts the service

        // Within four hours the next request only reads the store.
        const int requests = server.requestCount();
        QTest::ignoreMessage(QtInfoMsg, "Skipping widget data refresh");
        QCOMPARE(requestTimeline(real).entries.first().reviews.size(), 4);
        QCOMPARE(server.requestCount(), requests);
    }

    void snapshotIsTheTimelinesEntry()
    {
        GroupSettings::setLastFullDownloadDate(now);
        Provider p = provider();
        QTest::ignoreMessage(QtInfoMsg, "Skipping widget data refresh");
        std::atomic<int> calls{0};
        SimpleEntry snapshot;
        p.getSnapshot({}, [&](SimpleEntry entry) {
            snapshot = std::move(entry);
            ++calls;
        });
        QTRY_COMPARE(calls.load(), 1);
        QCOMPARE(snapshot.reviews.size(), 4);  // the store filled by the earlier test
    }
};

VANTOREL_TEST_MAIN_WITH(QApplication, WidgetProviderTest)
#include "tst_widget_provider.moc"
