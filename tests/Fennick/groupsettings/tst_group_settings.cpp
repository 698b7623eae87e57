#include "Fennick/GroupSettings.h"
#include "platform/Analytics.h"
#include "platform/UserDefaults.h"
#include "support/TestHome.h"

using Fennick::GroupSettings;
using platform::UserDefaults;

class GroupSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_token = platform::Analytics::addObserver(
            [this](const platform::Analytics::Event &event) { m_events << event.name; });
    }

    void cleanupTestCase()
    {
        platform::Analytics::removeObserver(m_token);
        QVERIFY(!m_events.contains(QStringLiteral("UnableToAccessAppGroupD")));
    }

    void freshSystemReadsZero()
    {
        QCOMPARE(GroupSettings::lastFullDownloadDate(), 0.0);
        QCOMPARE(GroupSettings::lastLiteDownloadDate(), 0.0);
        QCOMPARE(GroupSettings::mostRecentDownloadDate(), 0.0);
    }

    void mostRecentIsTheLaterTime_data()
    {
        QTest::addColumn<double>("full");
        QTest::addColumn<double>("lite");
        QTest::addColumn<double>("expected");
        QTest::newRow("lite later") << 1000.0 << 2000.0 << 2000.0;
        QTest::newRow("full later") << 2000.0 << 1000.0 << 2000.0;
        QTest::newRow("equal") << 1500.0 << 1500.0 << 1500.0;
        QTest::newRow("lite only") << 0.0 << 786000000.5 << 786000000.5;
    }

    void mostRecentIsTheLaterTime()
    {
        QFETCH(double, full);
        QFETCH(double, lite);
        QFETCH(double, expected);
        GroupSettings::setLastFullDownloadDate(full);
        GroupSettings::setLastLiteDownloadDate(lite);
        QCOMPARE(GroupSettings::lastFullDownloadDate(), full);
        QCOMPARE(GroupSettings::lastLiteDownloadDate(), lite);
        QCOMPARE(GroupSettings::mostRecentDownloadDate(), expected);
    }

    // Sub-second times survive the text file unchanged.
    void timesKeepFullPrecision()
    {
        const double now = 786543210.123456789;
        GroupSettings::setLastFullDownloadDate(now);
        QVERIFY(GroupSettings::lastFullDownloadDate() == now);  // exact, not QCOMPARE's fuzzy match
    }

    void timesLiveInTheGroupSuiteAndSeeOtherWriters()
    {
        UserDefaults *suite = UserDefaults::suite(GroupSettings::suiteName);
        QVERIFY(suite);
        GroupSettings::setLastLiteDownloadDate(0);
        GroupSettings::setLastFullDownloadDate(1234.5);
        QCOMPARE(QSettings(suite->fileName(), QSettings::IniFormat)
                     .value(QStringLiteral("lastFullDownloadDate"))
                     .toDouble(),
                 1234.5);
        QVERIFY(!UserDefaults::standard().hasStoredValue(QStringLiteral("lastFullDownloadDate")));

        // The widget process writes its time through its own settings object.
        QCOMPARE(GroupSettings::mostRecentDownloadDate(), 1234.5);
        {
            QSettings widget(suite->fileName(), QSettings::IniFormat);
            widget.setValue(QStringLiteral("lastLiteDownloadDate"), 99999.25);
            widget.sync();
            QCOMPARE(widget.status(), QSettings::NoError);
        }
        QCOMPARE(GroupSettings::lastLiteDownloadDate(), 99999.25);
        QCOMPARE(GroupSettings::mostRecentDownloadDate(), 99999.25);
    }

private:
    int m_token = 0;
    QStringList m_events;
};

VANTOREL_TEST_MAIN(GroupSettingsTest)
#include "tst_group_settings.moc"
