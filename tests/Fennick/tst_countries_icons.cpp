#include "Fennick/Country.h"
#include "Fennick/GroupIdentifier.h"
#include "Fennick/Icons/IconManager.h"
#include "platform/Analytics.h"
#include "platform/Error.h"
#include "support/Images.h"
#include "support/TestHome.h"

#include <QLocale>
#include <QStandardPaths>
#include <QtConcurrent>

using namespace Fennick;
using testsupport::pngBytes;

namespace {
QString groupFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(appGroupIdentifier);
}
}  // namespace

class CountriesIconsTest : public QObject {
    Q_OBJECT
private slots:
    void territoryTable()
    {
        const Country *usa = Country::forTerritory(QStringLiteral("USA"));
        QVERIFY(usa);
        QCOMPARE(usa->name(), QStringLiteral("United States"));
        QCOMPARE(usa->flag(), QString::fromUtf8("\U0001F1FA\U0001F1F8"));
        QCOMPARE(Country::forTerritory(QStringLiteral("UKR"))->flag(), QString::fromUtf8("\U0001F1FA\U0001F1E6"));
        QCOMPARE(Country::forTerritory(QStringLiteral("GBR"))->name(), QStringLiteral("United Kingdom"));
        for (const QString &code : {QStringLiteral("usa"), QString(), QStringLiteral("SGP"), QStringLiteral(" USA")})
            QCOMPARE(Country::forTerritory(code), nullptr);
        // Every row against Qt's own territory list: the English name names a territory there,
        // and the flag spells that territory's two-letter code.
        QHash<QString, QString> qtCodes;
        for (int value = QLocale::AnyTerritory + 1; value <= QLocale::LastTerritory; ++value) {
            const auto territory = QLocale::Territory(value);
            qtCodes.insert(QLocale::territoryToString(territory), QLocale::territoryToCode(territory));
        }
        const QStringList codes = Country::territories();
        QVERIFY(codes.contains(QStringLiteral("USA")));
        for (const QString &code : codes) {
            const Country *country = Country::forTerritory(code);
            QVERIFY2(country, qPrintable(code));
            const QString letters = qtCodes.value(country->name());
            QVERIFY2(letters.size() == 2, qPrintable(country->name()));
            const char32_t flag[] = {U'\U0001F1E6' + (letters[0].unicode() - u'A'), U'\U0001F1E6' + (letters[1].unicode() - u'A')};
            QVERIFY2(country->flag() == QString::fromUcs4(flag, 2), qPrintable(code));
        }
        // Built once even when many threads ask first.
        const auto results = QtConcurrent::blockingMapped<QList<const Country *>>(
            QList<int>(64, 0), [](int) { return Country::forTerritory(QStringLiteral("DEU")); });
        QVERIFY(results.first() && results.count(results.first()) == 64);
    }

    void storeAndReadIcons()
    {
        IconManager icons;
        QVERIFY(icons.icon(QStringLiteral("1234")).isNull());
        icons.store(pngBytes(Qt::red), QStringLiteral("1234"));
        QVERIFY(QFile::exists(QDir(groupFolder()).filePath(QStringLiteral("1234.png"))));
        QCOMPARE(icons.icon(QStringLiteral("1234")).pixelColor(3, 3), QColor(Qt::red));
        icons.store(pngBytes(Qt::blue), QStringLiteral("1234"));  // replaces
        QCOMPARE(icons.icon(QStringLiteral("1234")).pixelColor(3, 3), QColor(Qt::blue));

        icons.store(QByteArrayLiteral("<html>not an image</html>"), QStringLiteral("5678"));
        QVERIFY(icons.icon(QStringLiteral("5678")).isNull());
    }

    void identifiersNeverBecomePaths()
    {
        IconManager icons;
        for (const QString &bad : {QStringLiteral("../escape"), QStringLiteral("a/b"), QStringLiteral(".."),
                                   QString(), QStringLiteral("x") + QChar(u'\0') + QStringLiteral("y")}) {
            QVERIFY(!IconManager::iconPath(bad));
            QVERIFY(icons.icon(bad).isNull());
            QVERIFY_THROWS_EXCEPTION(platform::Error, icons.store(pngBytes(Qt::red), bad));
        }
        QVERIFY(!QFile::exists(QDir(groupFolder()).filePath(QStringLiteral("../escape.png"))));
    }

    void fallsBackWhenTheGroupIsUnavailable()
    {
        QDir(groupFolder()).removeRecursively();
        QFile blocker(groupFolder());  // a file where the group folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        int events = 0;
        const int token = platform::Analytics::addObserver([&](const platform::Analytics::Event &event) {
            events += event.name == QLatin1String("UnableToAccessAppGroupP");
        });
        IconManager icons;
        icons.store(pngBytes(Qt::green), QStringLiteral("42"));
        QCOMPARE(icons.icon(QStringLiteral("42")).pixelColor(1, 1), QColor(Qt::green));
        platform::Analytics::removeObserver(token);
        QCOMPARE(events, 2);  // once per folder lookup
        const QString fallback = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                     .filePath(QStringLiteral("Vantorel/42.png"));
        QVERIFY(QFile::exists(fallback));
        QFile::remove(groupFolder());
    }
};

VANTOREL_TEST_MAIN_WITH(QGuiApplication, CountriesIconsTest)
#include "tst_countries_icons.moc"
