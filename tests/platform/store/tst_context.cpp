#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedApp.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/store/Container.h"
#include "support/TestHome.h"

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
};

VANTOREL_TEST_MAIN(ContextTest)
#include "tst_context.moc"
