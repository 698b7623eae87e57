#include "Fennick/DataImporter/InternetDate.h"
#include "support/TestHome.h"

using Fennick::parseInternetDateTime;

class InternetDateTest : public QObject {
    Q_OBJECT
private slots:
    void readsWithZoneOrOffset_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const auto utc = [](int y, int mo, int d, int h, int mi, int s) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
        };
        QTest::newRow("Z") << QStringLiteral("2024-01-02T11:19:36Z") << utc(2024, 1, 2, 11, 19, 36);
        QTest::newRow("west") << QStringLiteral("2024-01-02T11:19:36-07:00") << utc(2024, 1, 2, 18, 19, 36);
        QTest::newRow("east, half hour") << QStringLiteral("2024-01-02T01:19:36+05:30") << utc(2024, 1, 1, 19, 49, 36);
        QTest::newRow("zero offset") << QStringLiteral("2023-12-31T23:59:59+00:00") << utc(2023, 12, 31, 23, 59, 59);
        QTest::newRow("across the year") << QStringLiteral("2023-12-31T20:00:00-07:00") << utc(2024, 1, 1, 3, 0, 0);
        QTest::newRow("leap day") << QStringLiteral("2024-02-29T00:00:00Z") << utc(2024, 2, 29, 0, 0, 0);
    }
    void readsWithZoneOrOffset()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const std::optional<QDateTime> read = parseInternetDateTime(text);
        QVERIFY(read);
        QCOMPARE(*read, expected);
        QCOMPARE(read->timeSpec(), Qt::UTC);
    }

    void refusesAnythingElse_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text : {"2024-01-02T11:19:36.123Z", "2024-01-02T11:19:36.5-07:00", "2024-01-02T11:19:36",
                                 "2024-01-02 11:19:36Z", "2024-01-02t11:19:36z", "2024-01-02T11:19:36+0700",
                                 "2024-01-02T11:19:36+07", "2024-01-02", "2023-02-29T00:00:00Z",
                                 "2024-13-01T00:00:00Z", "2024-01-02T24:00:00Z", "2024-01-02T11:60:00Z",
                                 "2024-01-02T11:19:60Z", "2024-01-02T11:19:36+24:00", "2024-01-02T11:19:36+07:60",
                                 "0000-01-02T11:19:36Z", " 2024-01-02T11:19:36Z", "2024-01-02T11:19:36Z ", "",
                                 "+024-01-02T11:19:36Z", "2024-1-02T11:19:36Z0"})
            QTest::newRow(text) << QString::fromLatin1(text);
        // Digits of other scripts are not ASCII digits.
        QTest::newRow("arabic-indic digits") << QStringLiteral("٢٠٢٤-01-02T11:19:36Z");
    }
    void refusesAnythingElse()
    {
        QFETCH(QString, text);
        QCOMPARE(parseInternetDateTime(text), std::nullopt);
    }
};

VANTOREL_TEST_MAIN(InternetDateTest)
#include "tst_internet_date.moc"
