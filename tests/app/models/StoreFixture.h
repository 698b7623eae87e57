#pragma once

#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/Records/StoreReview.h"
#include "platform/Analytics.h"

#include <QFuture>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

// Rows in the shared store of the test's throwaway home, written through the view context.
namespace fixture {

using platform::store::ObjectId;

inline platform::store::Context &view()
{
    return Fennick::PersistenceController::shared().container().viewContext();
}

inline ObjectId addAccount(const QString &name)
{
    auto *row = view().insert<Fennick::ManagedAccount>();
    row->setName(name);
    view().save();
    return row->objectId();
}

inline ObjectId addApp(const ObjectId &account, const QString &name)
{
    auto *row = view().insert<Fennick::ManagedApp>();
    row->setName(name);
    row->setIdentifier(QStringLiteral("id-") + name);
    row->setAccount(view().existingObject<Fennick::ManagedAccount>(account));
    view().save();
    return row->objectId();
}

inline ObjectId addVersion(const ObjectId &app, const std::optional<QString> &text)
{
    auto *row = view().insert<Fennick::ManagedAppVersion>();
    row->setVersion(text);
    auto *owner = view().existingObject<Fennick::ManagedApp>(app);
    row->setApp(owner);
    row->setAccount(owner->account());
    view().save();
    return row->objectId();
}

struct Review {
    QString identifier;
    qint64 rating = 5;
    QString title;
    QString body;
    int minutes = 0;  // created this many minutes after a fixed start
    bool responded = false;
    std::optional<ObjectId> version;
};

inline QDateTime createdAt(int minutes)
{
    return QDateTime(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC).addSecs(60 * qint64(minutes));
}

// All in one save.
inline void addReviews(const ObjectId &account, const std::optional<ObjectId> &app, const QList<Review> &reviews)
{
    auto &context = view();
    auto *accountRow = context.existingObject<Fennick::ManagedAccount>(account);
    auto *appRow = app ? context.existingObject<Fennick::ManagedApp>(*app) : nullptr;
    for (const Review &review : reviews) {
        auto *row = context.insert<Fennick::ManagedReview>();
        row->setIdentifier(review.identifier);
        row->setRating(review.rating);
        row->setTitle(review.title);
        row->setBody(review.body);
        row->setCreated(createdAt(review.minutes));
        if (review.responded) {
            row->setResponseIdentifier(QStringLiteral("response-") + review.identifier);
            row->setResponseText(QStringLiteral("Thanks"));
        }
        row->setAccount(accountRow);
        row->setApp(appRow);
        if (review.version)
            row->setVersion(context.existingObject<Fennick::ManagedAppVersion>(*review.version));
    }
    context.save();
}

// Waits, with the event loop running, until the future has finished.
template <class T>
bool finished(const QFuture<T> &future)
{
    return QTest::qWaitFor([&] { return future.isFinished(); }, 20000);
}

// Runs SQL on the store file through a connection of its own, to break the store under the
// models (a renamed table, a trigger that refuses a delete).
inline void runOnStoreFile(const QString &statement)
{
    const QString name = QStringLiteral("fixture-%1").arg(quintptr(&statement));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(Fennick::PersistenceController::storePath());
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(name);
}

// A summary model loads once by itself 0.5 s after it was made. A test that counts or breaks
// loads waits past that load first: started later, it would win over the test's own load.
inline void waitPastFirstSearchLoad()
{
    QTest::qWait(650);
}

// Starts a load with `table` renamed, so that the load's fetch fails, waits for it and puts the
// table back. True when the load finished in time. `message` is the error line it must log.
template <class Start>
bool finishedWithoutTable(const QString &table, const char *message, Start start)
{
    runOnStoreFile(QStringLiteral("ALTER TABLE \"%1\" RENAME TO \"%1_away\"").arg(table));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QLatin1Char('^') + QLatin1String(message) + QStringLiteral(": .+")));
    const bool done = finished(start());
    runOnStoreFile(QStringLiteral("ALTER TABLE \"%1_away\" RENAME TO \"%1\"").arg(table));
    return done;
}

inline QStringList identifiers(const QList<std::shared_ptr<Fennick::StoreReview>> &reviews)
{
    QStringList result;
    for (const auto &review : reviews)
        result.append(review->reviewIdentifier());
    return result;
}

inline QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}


// Analytics events as "name:message", recorded from the start of the test run.
class Events {
public:
    Events()
    {
        platform::Analytics::addObserver([this](const platform::Analytics::Event &event) {
            const QMutexLocker lock(&m_mutex);
            m_events.append(event.name + u':' + event.properties.value(QStringLiteral("message")));
        });
    }
    QStringList take()
    {
        const QMutexLocker lock(&m_mutex);
        return std::exchange(m_events, {});
    }

private:
    QMutex m_mutex;
    QStringList m_events;
};

// One recorder for the whole run: observers cannot be removed safely while events arrive.
inline Events &events()
{
    static Events *recorder = new Events;
    return *recorder;
}

}  // namespace fixture
