#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/AppGroup.h"
#include "support/TestHome.h"

#include <QDirIterator>
#include <QProcess>
#include <QtConcurrent>

using namespace Fennick;
using namespace platform::store;

namespace {

// The helper program with HOME (and so its test-mode data folder) at `home`. Unprivileged, it
// runs as "nobody" when we run as root, for whom no folder is ever unwritable.
QProcess *startHelper(const QStringList &arguments, const QString &home = {}, bool unprivileged = false)
{
    auto *process = new QProcess;
    if (!home.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (unprivileged)
            environment.insert(QStringLiteral("STORE_HELPER_UNPRIVILEGED"), QStringLiteral("1"));
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        process->setProcessEnvironment(environment);
    }
    process->start(QStringLiteral(STORE_HELPER), arguments);
    return process;
}

QString groupFolderUnder(const QString &home)
{
    return home + QStringLiteral("/.qttest/share/") + PersistenceController::appGroup;
}

}  // namespace

class PersistenceControllerTest : public QObject {
    Q_OBJECT

private slots:
    void sharedIsBuiltOnceAlsoUnderConcurrentFirstUse()
    {
        QList<QFuture<PersistenceController *>> askers;
        for (int i = 0; i < 8; ++i)
            askers.append(QtConcurrent::run([] { return &PersistenceController::shared(); }));
        PersistenceController *mine = &PersistenceController::shared();
        for (QFuture<PersistenceController *> &asker : askers)
            QCOMPARE(asker.result(), mine);

        Container &container = mine->container();
        QCOMPARE(container.name(), QStringLiteral("Vantorel"));
        const QString group = *platform::AppGroup::containerPath(PersistenceController::appGroup);
        QCOMPARE(container.storePath(), QDir(group).filePath(QStringLiteral("Vantorel.sqlite")));
        QVERIFY(QFile::exists(container.storePath()));

        // The view context belongs to the main thread, whoever built the container.
        Context &view = container.viewContext();
        auto *account = view.insert<ManagedAccount>();
        account->setName(QStringLiteral("main"));
        view.save();
        QCOMPARE(view.count(ManagedAccount::fetchRequest()), qint64(1));
        view.deleteObject(account);
        view.save();
    }

    void twoProcessesWriteTheSameFile()
    {
        Container &container = PersistenceController::shared().container();
        constexpr int perWriter = 400;
        std::unique_ptr<QProcess> first(startHelper({QStringLiteral("write"), QStringLiteral("first"), QString::number(perWriter)}));
        std::unique_ptr<QProcess> second(startHelper({QStringLiteral("write"), QStringLiteral("second"), QString::number(perWriter)}));
        // This process writes at the same time, one save per row like the helpers.
        QFuture<void> own = container.performBackgroundTask([](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            account->setName(QStringLiteral("own"));
            c.save();
            for (int i = 0; i < perWriter; ++i) {
                auto *app = c.insert<ManagedApp>();
                app->setAccount(account);
                c.save();
            }
        });
        QVERIFY_THROWS_NO_EXCEPTION(own.waitForFinished());
        for (QProcess *process : {first.get(), second.get()}) {
            QVERIFY(process->waitForFinished(120000));
            const QByteArray output = process->readAllStandardOutput();
            QVERIFY2(process->exitCode() == 0, output.constData());
            QCOMPARE(output, QByteArray("done\n"));
        }

        Context &view = container.viewContext();
        const QList<ManagedAccount *> accounts =
            view.fetch(ManagedAccount::fetchRequest().sortedBy(ManagedAccount::Keys::name.ascending()));
        QCOMPARE(accounts.size(), 3);
        const QHash<ObjectId, qint64> apps = view.countBy(ManagedApp::fetchRequest(), ManagedApp::Keys::account);
        for (ManagedAccount *account : accounts)
            QCOMPARE(apps.value(account->objectId()), qint64(perWriter));
        QCOMPARE(view.count(ManagedApp::fetchRequest()), qint64(3 * perWriter));
    }

    void twoProcessesCreateTheStoreTogether()
    {
        // Neither finds a store yet: both try to create it at the same moment.
        QTemporaryDir home;
        std::unique_ptr<QProcess> first(startHelper({QStringLiteral("write"), QStringLiteral("a"), QStringLiteral("20")}, home.path()));
        std::unique_ptr<QProcess> second(startHelper({QStringLiteral("write"), QStringLiteral("b"), QStringLiteral("20")}, home.path()));
        for (QProcess *process : {first.get(), second.get()}) {
            QVERIFY(process->waitForFinished(60000));
            QVERIFY2(process->exitCode() == 0, process->readAllStandardOutput().constData());
        }
        Container container(QStringLiteral("check"), storeModel(), groupFolderUnder(home.path()) + QStringLiteral("/Vantorel.sqlite"));
        QCOMPARE(container.viewContext().count(ManagedAccount::fetchRequest()), qint64(2));
        QCOMPARE(container.viewContext().count(ManagedApp::fetchRequest()), qint64(40));
    }

    void aDamagedStoreFileIsReportedAndKept()
    {
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(groupFolderUnder(home.path())));
        const QString file = groupFolderUnder(home.path()) + QStringLiteral("/Vantorel.sqlite");
        const QByteArray garbage = QByteArray("\x01\x02garbage instead of a store\n").repeated(300);
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(garbage);
        damaged.close();

        std::unique_ptr<QProcess> helper(startHelper({QStringLiteral("open")}, home.path()));
        QVERIFY(helper->waitForFinished(60000));
        QCOMPARE(helper->exitStatus(), QProcess::NormalExit);  // reported, not crashed
        QCOMPARE(helper->exitCode(), 2);
        const QString message = QString::fromUtf8(helper->readAllStandardOutput()).trimmed();
        QVERIFY2(message.startsWith(QStringLiteral("Unresolved error The store could not be opened, {")), qPrintable(message));
        QVERIFY2(message.contains(file) && message.contains(QStringLiteral("file is not a database")), qPrintable(message));

        QVERIFY(damaged.open(QIODevice::ReadOnly));
        QCOMPARE(damaged.readAll(), garbage);
    }

    void anUnwritableGroupFolderOrStoreIsALoadFailure_data()
    {
        QTest::addColumn<bool>("withStore");
        QTest::addColumn<QString>("locked");  // relative to the group folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder without a store") << false << QString() << QStringLiteral("unable to open database file");
        QTest::newRow("folder with a store") << true << QString() << QStringLiteral("readonly database");
        QTest::newRow("store file") << true << QStringLiteral("Vantorel.sqlite") << QStringLiteral("readonly database");
    }

    void anUnwritableGroupFolderOrStoreIsALoadFailure()
    {
        QFETCH(bool, withStore);
        QFETCH(QString, locked);
        QFETCH(QString, reason);
        QTemporaryDir home;
        QVERIFY(QFile::setPermissions(home.path(), QFileDevice::Permissions(0x7777)));  // open to "nobody"
        const QString group = groupFolderUnder(home.path());
        if (withStore) {
            std::unique_ptr<QProcess> writer(startHelper({QStringLiteral("write"), QStringLiteral("kept"), QStringLiteral("3")}, home.path(), true));
            QVERIFY(writer->waitForFinished(60000));
            QVERIFY2(writer->exitCode() == 0, writer->readAllStandardOutput().constData());
        } else {
            std::unique_ptr<QProcess> opener(startHelper({QStringLiteral("mkdir"), group}, home.path(), true));
            QVERIFY(opener->waitForFinished(60000));
            QCOMPARE(opener->exitCode(), 0);
        }
        const QString target = QDir(group).filePath(locked);
        QVERIFY(QFile::setPermissions(target, locked.isEmpty() ? QFileDevice::Permissions(0x5555) : QFileDevice::Permissions(0x4444)));

        std::unique_ptr<QProcess> helper(startHelper({QStringLiteral("open")}, home.path(), true));
        QVERIFY(helper->waitForFinished(60000));
        const QString message = QString::fromUtf8(helper->readAllStandardOutput()).trimmed();
        QCOMPARE(helper->exitCode(), 2);
        const QString store = QDir(group).filePath(QStringLiteral("Vantorel.sqlite"));
        QVERIFY2(message.startsWith(QStringLiteral("Unresolved error ")), qPrintable(message));
        QVERIFY2(message.contains(store) && message.contains(reason), qPrintable(message));

        // No store of its own appeared elsewhere.
        QStringList stores;
        QDirIterator it(home.path(), {QStringLiteral("*.sqlite")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            stores.append(it.next());
        QCOMPARE(stores, withStore ? QStringList{store} : QStringList());
        QVERIFY(QFile::setPermissions(target, QFileDevice::Permissions(0x7777)));
    }

    void withoutTheGroupTheStoreOpensInTheDataFolder()
    {
        QTemporaryDir home;
        // A plain file where the group folder should be: the group is unavailable.
        QVERIFY(QDir().mkpath(home.path() + QStringLiteral("/.qttest/share")));
        QFile blocker(groupFolderUnder(home.path()));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        std::unique_ptr<QProcess> helper(startHelper({QStringLiteral("write"), QStringLiteral("alone"), QStringLiteral("2")}, home.path()));
        QVERIFY(helper->waitForFinished(60000));
        QCOMPARE(helper->exitCode(), 0);
        QStringList stores;
        QDirIterator it(home.path(), {QStringLiteral("Vantorel.sqlite")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            stores.append(it.next());
        QCOMPARE(stores.size(), 1);
        QVERIFY(!stores[0].contains(PersistenceController::appGroup));
    }
};

VANTOREL_TEST_MAIN(PersistenceControllerTest)
#include "tst_persistence_controller.moc"
