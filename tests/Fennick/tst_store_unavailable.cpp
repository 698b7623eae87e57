#include "Fennick/Account.h"
#include "Fennick/GroupIdentifier.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Records/StoreReview.h"
#include "platform/keychain/Keychain.h"
#include "support/TestHome.h"

#include <QStandardPaths>

using namespace Fennick;
using platform::store::ObjectId;

// A process whose store cannot be loaded: calls with an optional result give nothing and log;
// none of them throws at the GUI thread.
class StoreUnavailableTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        platform::Keychain::useInMemoryBackendForTesting();
        const QString group =
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(appGroupIdentifier);
        QVERIFY(QDir().mkpath(group));
        QFile damaged(QDir(group).filePath(QStringLiteral("Vantorel.sqlite")));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray("not a database\n").repeated(100));
    }

    void optionalResultsAreAbsent()
    {
        StoreReview::Fields fields;
        fields.id = ObjectId(QUuid::createUuid(), QString::fromLatin1(ManagedReview::entityName), 1);
        const StoreReview review(fields);

        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Unresolved error")));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not read the review's account: Unresolved error")));
        std::optional<Credentials> read;
        QVERIFY_THROWS_NO_EXCEPTION(read = review.credentials());
        QCOMPARE(read, std::nullopt);

        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not read the review's account: Unresolved error")));
        QFuture<std::optional<Credentials>> loaded;
        QVERIFY_THROWS_NO_EXCEPTION(loaded = review.loadCredentials());
        QTRY_VERIFY(loaded.isFinished());
        QCOMPARE(loaded.result(), std::nullopt);
    }

    void anAccountLoadFailsInItsFuture()
    {
        QFuture<std::shared_ptr<Account>> loaded;
        QVERIFY_THROWS_NO_EXCEPTION(loaded = Account::load(ObjectId(QUuid::createUuid(), QStringLiteral("Account"), 1)));
        QTRY_VERIFY(loaded.isFinished());
        QVERIFY_THROWS_EXCEPTION(platform::Error, loaded.result());
    }
};

VANTOREL_TEST_MAIN(StoreUnavailableTest)
#include "tst_store_unavailable.moc"
