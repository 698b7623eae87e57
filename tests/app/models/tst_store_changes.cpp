#include "app/models/StoreChanges.h"
#include "platform/NotificationCenter.h"
#include "support/TestHome.h"

#include <QThread>
#include <thread>

using namespace Vantorel;
using platform::NotificationCenter;

namespace {

struct Post {
    int atMs;
    QString name;
    bool fromWorker = false;
};

struct Delivery {
    QString name;
    QThread *thread;
};

}  // namespace

Q_DECLARE_METATYPE(QList<Post>)

class StoreChangesTest : public QObject {
    Q_OBJECT

private slots:
    // Handlers see only their own name, on their context's thread, and not after it is gone.
    void notificationCenterDelivery()
    {
        NotificationCenter &center = NotificationCenter::defaultCenter();
        QList<Delivery> seen;
        auto context = std::make_unique<QObject>();
        center.subscribe(QStringLiteral("test.a"), context.get(), [&](const QString &name) {
            seen.append({name, QThread::currentThread()});
        });
        QObject other;
        int otherCalls = 0;
        center.subscribe(QStringLiteral("test.b"), &other, [&](const QString &) { ++otherCalls; });

        center.post(QStringLiteral("test.a"));
        QCOMPARE(seen.size(), 1);  // from the context's own thread: at once
        QCOMPARE(otherCalls, 0);

        // A thread of its own: waiting on a pool's future may run the task on this thread.
        std::thread([&center] { center.post(QStringLiteral("test.a")); }).join();
        QCOMPARE(seen.size(), 1);  // from a worker: through the event loop
        QTRY_COMPARE(seen.size(), 2);
        QCOMPARE(seen.at(1).thread, QThread::currentThread());

        // Posted from a worker, then the context goes before the event loop turns.
        std::thread([&center] { center.post(QStringLiteral("test.a")); }).join();
        context.reset();
        center.post(QStringLiteral("test.a"));
        QTest::qWait(50);
        QCOMPARE(seen.size(), 2);
        center.post(QStringLiteral("test.b"));
        QCOMPARE(otherCalls, 1);
    }

    void debounce_data()
    {
        QTest::addColumn<QList<Post>>("posts");
        QTest::addColumn<QStringList>("delivered");
        const QString added = StoreChange::accountAdded;
        const QString refreshed = StoreChange::dataRefreshed;
        QTest::newRow("one name") << QList<Post>{{0, StoreChange::accountRemoved}}
                                  << QStringList{StoreChange::accountRemoved};
        QTest::newRow("the same name twice") << QList<Post>{{0, added}, {0, added}} << QStringList{added};
        QTest::newRow("added, then another name") << QList<Post>{{0, added}, {0, StoreChange::accountUpdated}}
                                                  << QStringList{StoreChange::accountUpdated};
        QTest::newRow("each name restarts the window")
            << QList<Post>{{0, added}, {300, added}, {700, refreshed}} << QStringList{refreshed};
        QTest::newRow("two bursts") << QList<Post>{{0, added}, {900, refreshed}} << QStringList{added, refreshed};
        QTest::newRow("from a worker") << QList<Post>{{0, refreshed, true}, {0, added, true}} << QStringList{added};
        QTest::newRow("other names are not store changes") << QList<Post>{{0, QStringLiteral("reviews.other")}}
                                                           << QStringList{};
    }
    void debounce()
    {
        QFETCH(QList<Post>, posts);
        QFETCH(QStringList, delivered);
        QList<Delivery> seen;
        auto token = observeStoreChanges([&](const QString &name) { seen.append({name, QThread::currentThread()}); });

        int lastPost = 0;
        for (const Post &post : std::as_const(posts)) {
            auto send = [post] {
                if (post.fromWorker)
                    std::thread([name = post.name] { StoreChange::post(name); }).join();
                else
                    StoreChange::post(post.name);
            };
            if (post.atMs == 0)
                send();
            else
                QTimer::singleShot(post.atMs, Qt::PreciseTimer, this, send);
            lastPost = std::max(lastPost, post.atMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), delivered.size(), lastPost + 5000);
        QTest::qWait(StoreChangeSubscription::debounceMilliseconds + 200);  // nothing more comes
        QStringList names;
        for (const Delivery &delivery : std::as_const(seen)) {
            names.append(delivery.name);
            QCOMPARE(delivery.thread, QThread::currentThread());
        }
        QCOMPARE(names, delivered);
    }

    // Releasing the token ends the subscription, also in the middle of a burst.
    void releasedToken()
    {
        int calls = 0;
        auto token = observeStoreChanges([&](const QString &) { ++calls; });
        StoreChange::post(StoreChange::accountAdded);
        token.reset();
        StoreChange::post(StoreChange::dataRefreshed);
        QTest::qWait(StoreChangeSubscription::debounceMilliseconds + 200);
        QCOMPARE(calls, 0);
    }
};

VANTOREL_TEST_MAIN(StoreChangesTest)
#include "tst_store_changes.moc"
