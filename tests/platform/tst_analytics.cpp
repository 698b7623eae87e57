#include "platform/Analytics.h"
#include "support/TestHome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>
#include <atomic>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using platform::Analytics;

class AnalyticsTest : public QObject {
    Q_OBJECT
private slots:
    void eventsReachFileAndObserverFromManyThreads()
    {
        QFile::remove(Analytics::eventsFilePath());
        std::atomic<int> observed{0};
        const int token = Analytics::addObserver([&](const Analytics::Event &event) {
            if (event.name.startsWith(QStringLiteral("Burst")))
                ++observed;
        });

        constexpr int threads = 8, perThread = 250;
        const QString longText(400, QLatin1Char('x'));  // long lines make torn writes visible
        QList<QFuture<void>> futures;
        for (int t = 0; t < threads; ++t) {
            futures << QtConcurrent::run([t, &longText] {
                for (int i = 0; i < perThread; ++i)
                    Analytics::trackEvent(QStringLiteral("Burst%1").arg(t),
                                          {{QStringLiteral("i"), QString::number(i)},
                                           {QStringLiteral("pad"), longText}});
            });
        }
        for (auto &future : futures)
            future.waitForFinished();
        Analytics::removeObserver(token);
        Analytics::trackEvent(QStringLiteral("BurstAfterRemoval"));

        QCOMPARE(observed.load(), threads * perThread);
        QFile file(Analytics::eventsFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        int lines = 0;
        QMap<QString, int> perName;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            QVERIFY(line.endsWith('\n'));
            QJsonParseError parseError;
            const QJsonObject object = QJsonDocument::fromJson(line, &parseError).object();
            QCOMPARE(parseError.error, QJsonParseError::NoError);
            const QString name = object.value(QStringLiteral("name")).toString();
            if (name.startsWith(QStringLiteral("Burst")) && name != QStringLiteral("BurstAfterRemoval")) {
                QCOMPARE(object.value(QStringLiteral("properties")).toObject().value(QStringLiteral("pad")).toString(),
                         longText);
                ++perName[name];
            }
            ++lines;
        }
        QCOMPARE(lines, threads * perThread + 1);
        for (int t = 0; t < threads; ++t)
            QCOMPARE(perName.value(QStringLiteral("Burst%1").arg(t)), perThread);
    }

    void eventsBeforeStartAreKept()
    {
        QVERIFY(!Analytics::isStarted());
        Analytics::trackEvent(QStringLiteral("EarlyEvent"));
        QFile file(Analytics::eventsFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("\"name\":\"EarlyEvent\""));
    }

    void crashLeavesReport()
    {
        const QString folder = Analytics::crashesFolder();
        QDir(folder).removeRecursively();
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            Analytics::start(QStringLiteral("secret"), {Analytics::analyticsService, Analytics::crashesService});
            ::raise(SIGABRT);
            _exit(0);  // not reached
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGABRT);

        const QStringList reports = QDir(folder).entryList({QStringLiteral("crash-*.txt")}, QDir::Files);
        QCOMPARE(reports.size(), 1);
        QFile report(QDir(folder).filePath(reports.first()));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QByteArray text = report.readAll();
        QVERIFY2(text.startsWith("signal: " + QByteArray::number(SIGABRT) + "\ntime: "), text.constData());
        QVERIFY(text.contains("backtrace:\n"));
        QVERIFY(!text.contains("secret"));
    }
};

VANTOREL_TEST_MAIN(AnalyticsTest)
#include "tst_analytics.moc"
