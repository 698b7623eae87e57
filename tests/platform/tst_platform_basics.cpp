#include "platform/AppGroup.h"
#include "platform/Error.h"
#include "platform/ThreadPools.h"
#include "platform/UserDefaults.h"
#include "support/TestHome.h"

#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtConcurrent>

#include <atomic>

using namespace platform;

namespace {
// A subclass, to check that nothing slices it on its way through a future.
class DerivedError : public Error {
public:
    DerivedError() : Error(QStringLiteral("Derived"), 42, QStringLiteral("derived text")) {}
    void raise() const override { throw *this; }
    DerivedError *clone() const override { return new DerivedError(*this); }
};
}  // namespace

class PlatformBasicsTest : public QObject {
    Q_OBJECT
private slots:
    void errorCrossesFutureIntact()
    {
        QFuture<int> future = QtConcurrent::run([]() -> int {
            throw UrlError::make(UrlError::TimedOut, QStringLiteral("The request timed out."));
        });
        try {
            future.waitForFinished();
            QFAIL("no exception");
        } catch (const Error &error) {
            QCOMPARE(error.domain(), UrlError::domain);
            QCOMPARE(error.code(), qint64(-1001));
            QCOMPARE(error.localizedDescription(), QStringLiteral("The request timed out."));
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("The request timed out."));
        }

        QFuture<void> derived = QtConcurrent::run([] { throw DerivedError(); });
        bool caughtDerived = false;
        try {
            derived.waitForFinished();
        } catch (const DerivedError &error) {
            caughtDerived = error.code() == 42;
        }
        QVERIFY(caughtDerived);
    }

    void foreignExceptionsBecomeGenericErrors()
    {
        const Error error = Error::from(std::runtime_error("disk on fire"));
        QCOMPARE(error.localizedDescription(), QStringLiteral("disk on fire"));
        QVERIFY(error.code() != UrlError::NotConnectedToInternet);
        const Error same = Error::from(UrlError::make(UrlError::Cancelled, QStringLiteral("cancelled")));
        QCOMPARE(same.code(), qint64(-999));
        QCOMPARE(same.domain(), UrlError::domain);
    }

    void groupFolderIsCreatedAndReused()
    {
        const auto first = AppGroup::containerPath(QStringLiteral("group.test.one"));
        QVERIFY(first.has_value());
        QVERIFY(QFileInfo(*first).isDir());
        QVERIFY(first->startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)));
        QCOMPARE(AppGroup::containerPath(QStringLiteral("group.test.one")), first);
        QVERIFY(!AppGroup::containerPath(QStringLiteral("../escape")).has_value());
    }

    void groupFolderUnavailableWhenItCannotBeCreated()
    {
        // A plain file where the folder should be: mkpath fails even for root.
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QDir().mkpath(base);
        QFile blocker(QDir(base).filePath(QStringLiteral("group.test.blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!AppGroup::containerPath(QStringLiteral("group.test.blocked")).has_value());
        QCOMPARE(UserDefaults::suite(QStringLiteral("group.test.blocked")), nullptr);
    }

    void registeredDefaultsNeverOverrideStoredValues()
    {
        UserDefaults &defaults = UserDefaults::standard();
        defaults.setValue(QStringLiteral("showNotifications"), false);
        defaults.registerDefaults({{QStringLiteral("showNotifications"), true},
                                   {QStringLiteral("loadReviewsAtLaunch"), true},
                                   {QStringLiteral("sortOrderSetting"), 1}});
        QCOMPARE(defaults.boolValue(QStringLiteral("showNotifications")), false);
        QCOMPARE(defaults.boolValue(QStringLiteral("loadReviewsAtLaunch")), true);
        QCOMPARE(defaults.integerValue(QStringLiteral("sortOrderSetting")), 1);
        QCOMPARE(defaults.boolValue(QStringLiteral("neverRegistered")), false);
        QVERIFY(!defaults.value(QStringLiteral("neverRegistered")).isValid());

        defaults.removeValue(QStringLiteral("showNotifications"));
        QCOMPARE(defaults.boolValue(QStringLiteral("showNotifications")), true);
    }

    void changeSignalNamesTheKey()
    {
        UserDefaults &defaults = UserDefaults::standard();
        QSignalSpy spy(&defaults, &UserDefaults::valueChanged);
        defaults.setValue(QStringLiteral("enableTranslationSupport"), false);
        defaults.removeValue(QStringLiteral("enableTranslationSupport"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("enableTranslationSupport"));
    }

    void suiteSeesWritesOfAnotherWriter()
    {
        UserDefaults *suite = UserDefaults::suite(QStringLiteral("group.test.shared"));
        QVERIFY(suite);
        QCOMPARE(UserDefaults::suite(QStringLiteral("group.test.shared")), suite);
        QCOMPARE(suite->doubleValue(QStringLiteral("lastFullDownloadDate")), 0.0);

        // Another process writes the same file through its own settings object.
        {
            QSettings other(suite->fileName(), QSettings::IniFormat);
            other.setValue(QStringLiteral("lastFullDownloadDate"), 812345678.5);
        }
        QCOMPARE(suite->doubleValue(QStringLiteral("lastFullDownloadDate")), 812345678.5);
        suite->setValue(QStringLiteral("lastLiteDownloadDate"), 42.25);
        QSettings reader(suite->fileName(), QSettings::IniFormat);
        QCOMPARE(reader.value(QStringLiteral("lastLiteDownloadDate")).toDouble(), 42.25);
    }

    // Work that hands more work to another pool on its way out is waited for too; work that does
    // not end within the limit makes the wait give up on time.
    void backgroundWorkIsWaitedForAcrossPools()
    {
        QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("test"), 1);
        std::atomic<bool> release = false, handedOnDone = false;
        pool->start([&] {
            while (!release)
                QThread::msleep(5);
            QThreadPool::globalInstance()->start([&] {
                QThread::msleep(200);
                handedOnDone = true;
            });
        });

        QElapsedTimer timer;
        timer.start();
        QVERIFY(!platform::waitForBackgroundWork(std::chrono::milliseconds(150)));
        QVERIFY(timer.elapsed() >= 140 && timer.elapsed() < 2000);

        release = true;
        QVERIFY(platform::waitForBackgroundWork(std::chrono::seconds(10)));
        QVERIFY(handedOnDone);
    }
};

VANTOREL_TEST_MAIN(PlatformBasicsTest)
#include "tst_platform_basics.moc"
