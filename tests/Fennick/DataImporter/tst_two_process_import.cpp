#include "Fennick/Endpoints.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/store/Container.h"
#include "support/TestHome.h"

#include "FakeConnectServer.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace Fennick;
using platform::store::Container;
using platform::store::Context;

namespace {

fakes::FakeReview makeReview(const QString &id)
{
    fakes::FakeReview review;
    review.id = id;
    review.rating = 3;
    review.title = QStringLiteral("Title of ") + id;
    review.body = QStringLiteral("The body of review %1, long enough to tell its language apart.").arg(id);
    review.createdDate = QStringLiteral("2024-05-06T07:08:09Z");
    return review;
}

}  // namespace

// The application and the widget import the same account at the same moment, round after round,
// while the server gains reviews, versions and apps.
class TwoProcessImportTest : public QObject {
    Q_OBJECT

    static constexpr int rounds = 20;

    QTemporaryDir m_dir;

    // Starts both importers, lets them go at once and returns the sum of their counts (-1 when
    // one of them failed).
    int importTwiceAtOnce(const QString &store, const QString &url)
    {
        std::unique_ptr<QProcess> processes[2];
        for (auto &process : processes) {
            process = std::make_unique<QProcess>();
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("Vantorel.*.info=false"));
            process->setProcessEnvironment(environment);
            process->start(QStringLiteral(IMPORT_PROCESS), {store, url});
        }
        for (auto &process : processes) {
            if (!process->waitForReadyRead(30000) || process->readLine().trimmed() != "ready")
                return -1;
        }
        for (auto &process : processes) {
            process->write("go\n");
            process->waitForBytesWritten(1000);  // QProcess writes only when asked to wait
        }
        int total = 0;
        for (auto &process : processes) {
            if (process->state() != QProcess::NotRunning)
                process->waitForFinished(60000);
            const QByteArray report = process->readAll().trimmed();
            if (process->state() != QProcess::NotRunning || process->exitStatus() != QProcess::NormalExit
                || process->exitCode() != 0 || !report.startsWith("new ")) {
                qWarning("an importer failed (state %d, status %d, code %d): %s", int(process->state()),
                         int(process->exitStatus()), process->exitCode(), report.constData());
                return -1;
            }
            total += report.mid(4).toInt();
        }
        return total;
    }

    // Rows whose identifier another row under the same parent also has, read with plain SQL.
    static int duplicates(const QString &store)
    {
        int found = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(store);
            if (!db.open())
                return -1;
            const char *const parents[][2] = {{"App", "account__pk"}, {"AppVersion", "app__pk"}, {"Review", "version__pk"}};
            for (const auto &[table, parent] : parents) {
                QSqlQuery query(db);
                query.exec(QStringLiteral("SELECT COUNT(*) - COUNT(DISTINCT %2 || '/' || identifier) FROM \"%1\" "
                                          "WHERE identifier IS NOT NULL")
                               .arg(QString::fromLatin1(table), QString::fromLatin1(parent)));
                found += query.next() ? query.value(0).toInt() : 1;
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
        return found;
    }

private slots:
    void everyItemIsStoredOnceAndEveryNewReviewCountedOnce()
    {
        fakes::FakeConnectServer server;
        server.setDelay(1);
        const fakes::FakeAccount fake = server.addAccount();
        QList<fakes::FakeApp> apps = fakes::sampleApps(3, 2, 6, QStringLiteral("both"));
        server.setApps(fake.issuerId, apps);

        const QString store = m_dir.filePath(QStringLiteral("Vantorel.sqlite"));
        Container container(QStringLiteral("Vantorel"), storeModel(), store);
        auto reader = container.newBackgroundContext();
        reader->performAndWait([&](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            account->setName(QStringLiteral("Shared"));
            account->setIssuerId(fake.issuerId);
            account->setKeyId(fake.keyId);
            account->setKeyBlob(fake.privateKeyPem);
            c.save();
        });

        int expectedNew = 0;
        for (int round = 0; round <= rounds; ++round) {
            // What the server gained since the last round; reviews of an app that has never
            // been imported whole do not count as new.
            int added = 0;
            if (round > 0) {
                for (fakes::FakeApp &app : apps) {
                    for (qsizetype v = 0; v < app.versions.size(); ++v) {
                        fakes::FakeVersion &version = app.versions[v];
                        const int fresh = int(round + v + app.id.size()) % 3;
                        for (int i = 0; i < fresh; ++i)
                            version.reviews.prepend(makeReview(QStringLiteral("%1-n%2-%3").arg(version.id).arg(round).arg(i)));
                        added += fresh;
                    }
                    if (round % 4 == 0) {
                        const QString id = QStringLiteral("%1-v%2").arg(app.id).arg(round);
                        app.versions.append({id, QStringLiteral("2.%1").arg(round), {makeReview(id + QStringLiteral("-r1"))}});
                        ++added;
                    }
                }
                if (round % 7 == 0) {
                    fakes::FakeApp fresh = fakes::sampleApps(1, 1, 3, QStringLiteral("r%1").arg(round)).first();
                    apps.append(fresh);
                }
                server.setApps(fake.issuerId, apps);
            }
            expectedNew += added;

            const int counted = importTwiceAtOnce(store, server.baseUrl());
            QCOMPARE(duplicates(store), 0);
            QCOMPARE(counted, added);

            int versions = 0, reviews = 0;
            for (const fakes::FakeApp &app : std::as_const(apps)) {
                versions += int(app.versions.size());
                for (const fakes::FakeVersion &version : app.versions)
                    reviews += int(version.reviews.size());
            }
            reader->performAndWait([&](Context &c) {
                QCOMPARE(c.count(ManagedApp::fetchRequest()), apps.size());
                for (const ManagedApp *app : c.fetch(ManagedApp::fetchRequest()))
                    QVERIFY(app->hasSyncedOnce());
                QCOMPARE(c.count(ManagedAppVersion::fetchRequest()), versions);
                QCOMPARE(c.count(ManagedReview::fetchRequest()), reviews);
                QCOMPARE(c.count(ManagedReview::fetchRequest().where(ManagedReview::Keys::isNew == true)), expectedNew);
            });
            if (QTest::currentTestFailed()) {
                qWarning("failed in round %d", round);
                return;
            }
        }
    }
};

VANTOREL_TEST_MAIN(TwoProcessImportTest)
#include "tst_two_process_import.moc"
