#include "Fennick/GroupSettings.h"
#include "platform/Analytics.h"
#include "platform/UserDefaults.h"
#include "support/TestHome.h"

#include <QStandardPaths>

using Fennick::GroupSettings;
using platform::UserDefaults;

class GroupSettingsFallbackTest : public QObject {
    Q_OBJECT
private slots:
    // A plain file where the group folder belongs: the suite cannot be opened.
    void initTestCase()
    {
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QVERIFY(QDir().mkpath(base));
        QFile blocker(QDir(base).filePath(GroupSettings::suiteName));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(UserDefaults::suite(GroupSettings::suiteName), nullptr);

        m_token = platform::Analytics::addObserver([this](const platform::Analytics::Event &event) {
            if (event.name == QStringLiteral("UnableToAccessAppGroupD"))
                m_fallbackEvents << event;
        });
    }

    void cleanupTestCase() { platform::Analytics::removeObserver(m_token); }

    void standardDefaultsStandInAndTheEventIsSentOnce()
    {
        QCOMPARE(GroupSettings::mostRecentDownloadDate(), 0.0);
        QCOMPARE(m_fallbackEvents.size(), 1);
        QVERIFY(m_fallbackEvents.first().properties.isEmpty());

        GroupSettings::setLastFullDownloadDate(1000);
        GroupSettings::setLastLiteDownloadDate(2000);
        QCOMPARE(GroupSettings::mostRecentDownloadDate(), 2000.0);
        QCOMPARE(UserDefaults::standard().doubleValue(QStringLiteral("lastFullDownloadDate")), 1000.0);
        QCOMPARE(UserDefaults::standard().doubleValue(QStringLiteral("lastLiteDownloadDate")), 2000.0);

        // Opened once for the process: no further events, however often it is used.
        QCOMPARE(m_fallbackEvents.size(), 1);
    }

private:
    int m_token = 0;
    QList<platform::Analytics::Event> m_fallbackEvents;
};

VANTOREL_TEST_MAIN(GroupSettingsFallbackTest)
#include "tst_group_settings_fallback.moc"
