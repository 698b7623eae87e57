#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/ManagedAppVersion.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/store/Container.h"
#include "platform/store/ViewContextEvents.h"
#include "platform/ThreadPools.h"
#include "support/TestHome.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace Fennick;
using namespace platform::store;

class ContextTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;
    std::unique_ptr<Container> open()
    {
        const QString path = m_dir.filePath(QStringLiteral("store%1.sqlite").arg(++m_files));
        return std::make_unique<Container>(QStringLiteral("Vantorel"), storeModel(), path);
    }

    static QStringList appNames(Context &c)
    {
        QStringList names;
        for (const ManagedApp *app : c.fetch(ManagedApp::fetchRequest().sortedBy(ManagedApp::Keys::name.ascending())))
            names.append(app->name().value_or(QString()));
        return names;
    }

private slots:
    void rowValuesComeInTheOrderAsked()
    {
        auto container = open();
        auto context = container->newBackgroundContext();
        context->performAndWait([](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            auto *named = c.insert<ManagedApp>();
            named->setName(QStringLiteral("named"));
            named->setIdentifier(QStringLiteral("1"));
            named->setIsHidden(true);
            named->setAccount(account);
            auto *unnamed = c.insert<ManagedApp>();
            unnamed->setIdentifier(QStringLiteral("2"));
            unnamed->setAccount(account);
            auto *other = c.insert<ManagedApp>();
            other->setIdentifier(QStringLiteral("3"));
            c.save();

            const auto request = ManagedApp::fetchRequest().where(ManagedApp::Keys::account == account).sortedBy(
                ManagedApp::Keys::identifier.ascending());
            auto rows = c.fetchRowValues(request, {QStringLiteral("isHidden"), QStringLiteral("name"),
                                                   QStringLiteral("identifier")});
            QCOMPARE(rows.size(), 2);
            QCOMPARE(rows[0].first, named->objectId());
            QCOMPARE(rows[0].second, (QVariantList{true, QStringLiteral("named"), QStringLiteral("1")}));
            QCOMPARE(rows[1].first, unnamed->objectId());
            QVERIFY(!rows[1].second[1].isValid());  // absent, not empty
            QCOMPARE(rows[1].second[0], QVariant(false));

            // Rows deleted here are left out, as in every fetch; no attributes gives ids alone.
            c.deleteObject(unnamed);
            rows = c.fetchRowValues(request, {});
            QCOMPARE(rows.size(), 1);
            QVERIFY(rows[0].second.isEmpty());
            QVERIFY_THROWS_EXCEPTION(StoreError, c.fetchRowValues(request, {QStringLiteral("nonsense")}));
            c.rollback();
        });
    }

    void pendingChangesAreDroppedAndObjectsTakeStoredValues()
    {
        auto container = open();
        auto context = container->newBackgroundContext();
        context->performAndWait([](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            for (const char *name : {"kept", "renamed", "deleted"}) {
                auto *app = c.insert<ManagedApp>();
                app->setName(QString::fromLatin1(name));
                app->setAccount(account);
            }
            c.save();

            const QList<ManagedApp *> apps = c.fetch(ManagedApp::fetchRequest().sortedBy(ManagedApp::Keys::name.ascending()));
            ManagedApp *deleted = apps[0];
            ManagedApp *renamed = apps[2];
            renamed->setName(QStringLiteral("changed"));
            deleted->setName(QStringLiteral("changed before delete"));
            c.deleteObject(deleted);
            auto *inserted = c.insert<ManagedApp>();
            inserted->setName(QStringLiteral("inserted"));
            QVERIFY(c.hasChanges());

            c.rollback();
            QVERIFY(!c.hasChanges());
            QVERIFY(inserted->isDeleted());
            QVERIFY(!deleted->isDeleted());
            QCOMPARE(deleted->name(), QStringLiteral("deleted"));
            QCOMPARE(renamed->name(), QStringLiteral("renamed"));
            QCOMPARE(c.existingObject<ManagedApp>(deleted->objectId()), deleted);

            // A later save writes only what changed after the rollback.
            renamed->setIsHidden(true);
            c.save();
        });
        auto other = container->newBackgroundContext();
        other->performAndWait([](Context &c) {
            QCOMPARE(appNames(c), (QStringList{QStringLiteral("deleted"), QStringLiteral("kept"), QStringLiteral("renamed")}));
            QCOMPARE(c.count(ManagedApp::fetchRequest().where(ManagedApp::Keys::isHidden == true)), 1);
        });
    }

    void aSaveWritesOnlyWhatChangedInItsContext()
    {
        auto container = open();
        auto stale = container->newBackgroundContext();
        const ObjectId appId = stale->performAndWait([](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            auto *app = c.insert<ManagedApp>();
            app->setName(QStringLiteral("old name"));
            app->setIdentifier(QStringLiteral("id-1"));
            app->setAccount(account);
            c.save();
            return app->objectId();
        });
        // Another context (or process) changes other attributes of the row meanwhile.
        auto other = container->newBackgroundContext();
        other->performAndWait([&](Context &c) {
            auto *app = c.existingObject<ManagedApp>(appId);
            app->setIsHidden(true);
            app->setHasSyncedOnce(true);
            app->setIdentifier(QStringLiteral("id-2"));
            c.save();
        });
        // The first context still holds its older copy and changes the name alone.
        stale->performAndWait([&](Context &c) {
            auto *app = c.existingObject<ManagedApp>(appId);
            QVERIFY(!app->isHidden());  // not read again
            app->setName(QStringLiteral("new name"));
            c.save();
        });
        other->performAndWait([&](Context &c) {
            const auto rows = c.fetchRowValues(ManagedApp::fetchRequest(),
                                               {QStringLiteral("name"), QStringLiteral("isHidden"),
                                                QStringLiteral("hasSyncedOnce"), QStringLiteral("identifier")});
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows[0].second, (QVariantList{QStringLiteral("new name"), true, true, QStringLiteral("id-2")}));
        });
    }

    void afterAFailedSaveTheNextSaveCarriesNothingOfIt()
    {
        auto container = open();
        auto context = container->newBackgroundContext();
        ObjectId accountId;
        context->performAndWait([&](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            c.save();
            accountId = account->objectId();
        });
        // Another context removes the account, so rows pointing at it cannot be saved.
        auto deleter = container->newBackgroundContext();
        deleter->performAndWait([&](Context &c) {
            c.deleteObject(c.existingObject(accountId));
            c.save();
        });
        context->performAndWait([&](Context &c) {
            // A whole level: a good row and one that the store refuses.
            auto *sibling = c.insert<ManagedApp>();
            sibling->setName(QStringLiteral("half"));
            auto *orphan = c.insert<ManagedApp>();
            orphan->setName(QStringLiteral("orphan"));
            ManagedAccount *gone = c.existingObject<ManagedAccount>(accountId);
            QVERIFY(gone);  // still registered here
            orphan->setAccount(gone);
            QVERIFY_THROWS_EXCEPTION(StoreError, c.save());
            c.rollback();

            auto *other = c.insert<ManagedApp>();
            other->setName(QStringLiteral("later"));
            c.save();
            QCOMPARE(appNames(c), QStringList{QStringLiteral("later")});
            QCOMPARE(c.count(ManagedAccount::fetchRequest()), 0);
        });
    }

    void aRolledBackObjectWhoseRowIsGoneReadsAsDeleted()
    {
        auto container = open();
        auto context = container->newBackgroundContext();
        auto deleter = container->newBackgroundContext();
        context->performAndWait([&](Context &c) {
            auto *app = c.insert<ManagedApp>();
            app->setName(QStringLiteral("before"));
            c.save();
            const ObjectId id = app->objectId();
            app->setName(QStringLiteral("unsaved"));
            deleter->performAndWait([&](Context &d) {
                d.deleteObject(d.existingObject(id));
                d.save();
            });
            c.rollback();
            QVERIFY(app->isDeleted());
            QVERIFY(!c.existingObject(id));
            QVERIFY(!c.hasChanges());
        });
    }

    void aChildMovedAndNotSavedLeavesItsOldOwnersList()
    {
        auto container = open();
        auto context = container->newBackgroundContext();
        context->performAndWait([](Context &c) {
            auto *first = c.insert<ManagedAccount>();
            auto *second = c.insert<ManagedAccount>();
            auto *app = c.insert<ManagedApp>();
            app->setAccount(first);
            c.save();
            QCOMPARE(first->apps(), QList<ManagedApp *>{app});  // the list is read and kept

            app->setAccount(second);
            QVERIFY(first->apps().isEmpty());
            QCOMPARE(second->apps(), QList<ManagedApp *>{app});
            c.rollback();
            QCOMPARE(first->apps(), QList<ManagedApp *>{app});
            QVERIFY(second->apps().isEmpty());
        });
    }

    void theViewContextAnnouncesEachMergedSave()
    {
        auto container = open();
        Context &view = container->viewContext();
        auto *account = view.insert<ManagedAccount>();
        auto *app = view.insert<ManagedApp>();
        app->setName(QStringLiteral("old"));
        app->setAccount(account);
        auto *doomed = view.insert<ManagedApp>();
        doomed->setAccount(account);
        auto *version = view.insert<ManagedAppVersion>();
        version->setApp(doomed);
        view.save();
        const ObjectId appId = app->objectId();
        const ObjectId doomedId = doomed->objectId();
        const ObjectId versionId = version->objectId();

        QList<MergedChanges> announced;
        QStringList namesWhenAnnounced;
        bool onViewThread = true;
        QObject receiver;
        QObject::connect(&container->viewContextEvents(), &ViewContextEvents::changesMerged, &receiver,
                         [&](const MergedChanges &changes) {
                             onViewThread = onViewThread && QThread::currentThread() == thread();
                             namesWhenAnnounced.append(*app->name());
                             announced.append(changes);
                         });

        auto background = container->newBackgroundContext();
        const QList<ObjectId> inserted = background->performAndWait([&](Context &c) {
            c.existingObject<ManagedApp>(appId)->setName(QStringLiteral("new"));
            c.deleteObject(c.existingObject(doomedId));
            auto *fresh = c.insert<ManagedApp>();
            auto *review = c.insert<ManagedReview>();
            review->setApp(fresh);
            c.save();
            c.save();  // nothing to save: nothing announced
            return QList<ObjectId>{fresh->objectId(), review->objectId()};
        });
        QTRY_COMPARE(announced.size(), 1);
        QVERIFY(onViewThread);
        QCOMPARE(namesWhenAnnounced, QStringList{QStringLiteral("new")});  // taken in before the signal
        QCOMPARE(announced[0].inserted, QSet<ObjectId>(inserted.cbegin(), inserted.cend()));
        QCOMPARE(announced[0].updated, QSet<ObjectId>{appId});
        QCOMPARE(announced[0].deleted, (QSet<ObjectId>{doomedId, versionId}));  // with what went with it
        QVERIFY(version->isDeleted());

        // The view context's own saves are its own business.
        app->setName(QStringLiteral("mine"));
        view.save();
        QTest::qWait(50);
        QCOMPARE(announced.size(), 1);
    }

    void theViewContextLetsGoOfObjectsNothingUses()
    {
        auto container = open();
        constexpr int rows = 3000;
        container->performBackgroundTask([](Context &c) {
            auto *account = c.insert<ManagedAccount>();
            for (int i = 0; i < rows; ++i) {
                auto *app = c.insert<ManagedApp>();
                app->setName(QStringLiteral("app %1").arg(i));
                app->setAccount(account);
            }
            c.save();
        }).waitForFinished();

        // A long session: everything was looked at once, one object is still in use.
        Context &view = container->viewContext();
        const QList<ManagedApp *> apps = view.fetch(ManagedApp::fetchRequest().sortedBy(ManagedApp::Keys::name.ascending()));
        QCOMPARE(apps.size(), rows);
        ManagedApp *inUse = apps[0];
        QCOMPARE(view.loadedObjectCount(), rows);
        QTRY_VERIFY_WITH_TIMEOUT(inUse->name() && view.loadedObjectCount() <= 2, 10000);

        // Released objects stay valid and read the row as it is now.
        ManagedApp *released = apps[1];
        ManagedApp *edited = apps[2];
        ManagedApp *removed = apps[3];
        edited->setName(QStringLiteral("edited here"));
        view.releaseUnusedObjects();
        view.releaseUnusedObjects();
        QVERIFY(view.loadedObjectCount() <= 3);
        {
            // Another program renames one row and deletes another; nothing tells this one.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            db.setDatabaseName(container->storePath());
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("UPDATE \"App\" SET name = 'renamed elsewhere' WHERE pk = %1").arg(released->objectId().key())));
            QVERIFY(query.exec(QStringLiteral("DELETE FROM \"App\" WHERE pk = %1").arg(removed->objectId().key())));
            query = QSqlQuery();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        QCOMPARE(released->name(), QStringLiteral("renamed elsewhere"));
        QCOMPARE(edited->name(), QStringLiteral("edited here"));  // unsaved changes are kept
        QVERIFY(edited->hasChanges());
        QVERIFY(!view.existingObject(removed->objectId()));
        QVERIFY(removed->isDeleted());
        QCOMPARE(released->account()->apps().size(), rows - 1);
        view.save();
    }

    // Ended contexts leave their connections to the next ones: what those read must be the file
    // as it is now, whatever the connection read or wrote before.
    void aConnectionPassedOnReadsTheFileAsItIsNow()
    {
        auto container = open();
        auto writer = std::make_unique<Container>(QStringLiteral("Vantorel"), storeModel(), container->storePath());
        const auto addApp = [](Container &store, const QString &name) {
            store.performBackgroundTask([name](Context &c) {
                auto *app = c.insert<ManagedApp>();
                app->setName(name);
                c.save();
            }).waitForFinished();
        };
        addApp(*container, QStringLiteral("a"));
        for (const QString &name : {QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}) {
            // Read, end the context, let another connection write, read again in a new context.
            QCOMPARE(container->performBackgroundTask(appNames).result().size(), appNames(container->viewContext()).size());
            addApp(*writer, name);
            QCOMPARE(container->performBackgroundTask(appNames).result().last(), name);
        }
        // A context that ends inside a failed write leaves nothing open to the next.
        const ObjectId account = container->performBackgroundTask([](Context &c) {
            auto *row = c.insert<ManagedAccount>();
            c.save();
            return row->objectId();
        }).result();
        QVERIFY_THROWS_EXCEPTION(StoreError, container->performBackgroundTask([&](Context &c) {
            ManagedAccount *owner = c.existingObject<ManagedAccount>(account);
            writer->performBackgroundTask([account](Context &other) {
                other.deleteObject(other.existingObject(account));
                other.save();
            }).waitForFinished();
            auto *app = c.insert<ManagedApp>();
            app->setName(QStringLiteral("never"));
            app->setAccount(owner);
            c.save();
        }).waitForFinished());
        addApp(*writer, QStringLiteral("e"));
        QCOMPARE(container->performBackgroundTask(appNames).result(),
                 (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("e")}));
    }

    // A task's future finishes before the task, and the context it ends, are taken down on the
    // context's thread; a program leaving at that moment met Qt's globals already gone.
    void backgroundWorkIncludesTakingDownAFinishedTask()
    {
        auto container = open();
        struct SlowToDestroy {
            std::shared_ptr<std::atomic<bool>> destroyed = std::make_shared<std::atomic<bool>>(false);
            SlowToDestroy() = default;
            SlowToDestroy(const SlowToDestroy &) = default;
            SlowToDestroy(SlowToDestroy &&other) noexcept = default;
            ~SlowToDestroy()
            {
                if (destroyed.use_count() == 2) {  // the last copy but the test's own
                    QThread::msleep(300);
                    destroyed->store(true);
                }
            }
        };
        const SlowToDestroy watched;
        QFuture<int> done = container->performBackgroundTask([held = watched](Context &) { return 1; });
        done.waitForFinished();
        QVERIFY(!watched.destroyed->load());
        QVERIFY(platform::waitForBackgroundWork(std::chrono::seconds(10)));
        QVERIFY(watched.destroyed->load());
    }
};

VANTOREL_TEST_MAIN(ContextTest)
#include "tst_context.moc"
