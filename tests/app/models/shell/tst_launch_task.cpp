#include "Fennick/GroupSettings.h"
#include "app/models/SettingsKeys.h"
#include "Fennick/ReferenceDate.h"
#include "app/models/LaunchTask.h"
#include "app/models/MainViewModel.h"
#include "app/models/SettingsTab.h"
#include "platform/UserDefaults.h"
#include "support/TestHome.h"

#include <QSignalSpy>

using namespace Vantorel;
using platform::UserDefaults;

class LaunchTaskTest : public QObject {
    Q_OBJECT

    static bool runAt(MainViewModel &model, double now)
    {
        QFuture<bool> future = LaunchTask::run(model, [now] { return now; });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 10000); }();
        const bool started = future.result();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!model.isSyncing(), 10000); }();
        return started;
    }

private slots:
    void aDownloadIsDueStrictlyAfterADay_data()
    {
        QTest::addColumn<double>("secondsAgo");
        QTest::addColumn<bool>("due");
        QTest::newRow("exactly a day") << 86400.0 << false;
        QTest::newRow("a moment more") << 86400.001 << true;
        QTest::newRow("an hour") << 3600.0 << false;
        QTest::newRow("in the future (clock set back)") << -60.0 << false;
    }

    void aDownloadIsDueStrictlyAfterADay()
    {
        QFETCH(double, secondsAgo);
        QFETCH(bool, due);
        const double now = Fennick::secondsSinceReferenceDate();
        QCOMPARE(LaunchTask::isDownloadDue(now, now - secondsAgo), due);
        QVERIFY(LaunchTask::isDownloadDue(now, 0));  // never downloaded
    }

    void launchReloadsRegistersTheTabAndAppliesTheDayRule()
    {
        UserDefaults &defaults = UserDefaults::standard();
        QVERIFY(!defaults.value(settingsTabSelectionKey).isValid());
        defaults.setValue(SettingsKey::loadReviewsAtLaunch, true);
        MainViewModel model;
        QSignalSpy syncing(&model, &MainViewModel::isSyncingChanged);

        Fennick::GroupSettings::setLastFullDownloadDate(1000);
        QVERIFY(!runAt(model, 1000 + 86400.0));
        QVERIFY(model.performedInitialLoad());  // the reload came first
        QCOMPARE(defaults.integerValue(settingsTabSelectionKey), qint64(1));
        QCOMPARE(syncing.count(), 0);

        QVERIFY(runAt(model, 1000 + 86400.5));
        QCOMPARE(syncing.count(), 2);  // on and off again
        // The sync recorded its end; with the real clock the next launch is not due.
        QVERIFY(Fennick::GroupSettings::lastFullDownloadDate() > 1000 + 86400.5);

        Fennick::GroupSettings::setLastFullDownloadDate(0);
        QVERIFY(runAt(model, Fennick::secondsSinceReferenceDate()));

        // Switched off: no download, whatever the date.
        defaults.setValue(SettingsKey::loadReviewsAtLaunch, false);
        Fennick::GroupSettings::setLastFullDownloadDate(0);
        syncing.clear();
        QVERIFY(!runAt(model, Fennick::secondsSinceReferenceDate()));
        QCOMPARE(syncing.count(), 0);

        // A tab the user chose stays.
        defaults.setValue(settingsTabSelectionKey, 0);
        runAt(model, 0);
        QCOMPARE(defaults.integerValue(settingsTabSelectionKey), qint64(0));
    }
};

VANTOREL_TEST_MAIN_WITH(QGuiApplication, LaunchTaskTest)
#include "tst_launch_task.moc"
