#include "StoreFixture.h"
#include "Fennick/Endpoints.h"
#include "app/models/AccountDetailsViewModel.h"
#include "app/models/AccountsViewModel.h"
#include "app/models/StoreChanges.h"
#include "platform/NotificationCenter.h"
#include "platform/keychain/Keychain.h"
#include "platform/widgetkit/WidgetCenter.h"
#include "support/TestHome.h"

#include "FakeConnectServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSemaphore>
#include <QSignalSpy>
#include <algorithm>
#include <atomic>
#include <functional>

using namespace fixture;
using Fennick::Account;
using Fennick::ManagedAccount;
using platform::Keychain;
using Vantorel::AccountDetailsViewModel;
using Vantorel::AccountsViewModel;

namespace {
QStringList names(const QList<std::shared_ptr<Account>> &accounts)
{
    QStringList result;
    for (const auto &account : accounts)
        result.append(account->name());
    return result;
}

bool stored(const ObjectId &id)
{
    return view().existingObject<ManagedAccount>(id) != nullptr;
}

// Rows of `table` that belong to the account, counted on a connection of the test's own.
qint64 rowsOf(const char *table, const ObjectId &account)
{
    const QString name = QStringLiteral("count-rows");
    qint64 rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(Fennick::PersistenceController::storePath());
        QSqlQuery query(db);
        const QString column = qstrcmp(table, "Account") == 0 ? QStringLiteral("pk") : QStringLiteral("account__pk");
        if (db.open()
            && query.exec(QStringLiteral("SELECT COUNT(*) FROM \"%1\" WHERE %2 = %3")
                              .arg(QLatin1String(table), column)
                              .arg(account.key()))
            && query.next())
            rows = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// Holds the store's write lock for as long as it lives: every save of another connection waits.
class WriteLock {
public:
    WriteLock()
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        m_db.setDatabaseName(Fennick::PersistenceController::storePath());
        if (!m_db.open() || !QSqlQuery(m_db).exec(QStringLiteral("BEGIN IMMEDIATE")))
            qFatal("cannot lock the store: %s", qPrintable(m_db.lastError().text()));
    }
    ~WriteLock()
    {
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }

private:
    static inline const QString name = QStringLiteral("write-lock");
    QSqlDatabase m_db;
};
}  // namespace

class AccountsViewModelTest : public QObject {
    Q_OBJECT
    QLocalServer widgetHost;
    QByteArray widgetMessages;
    int removals = 0;
    std::function<void()> atRemoval;  // runs as "reviews.storeAccountRemoved" is delivered
    QStringList posts;                // every store-change name posted, in order
    std::atomic<int> keychainCalls = 0;
    // Armed, the next keychain call waits (as for a slow or locked keyring) until released.
    std::atomic<bool> holdNextKeychainCall = false;
    std::atomic<bool> keychainCallHeld = false;
    QSemaphore keychainRelease;
    std::unique_ptr<fakes::FakeConnectServer> server;

    // A key that App Store Connect answers for, given to `account` as the form would.
    void giveWorkingKey(Account &account)
    {
        const fakes::FakeAccount key = server->addAccount();
        server->setApps(key.issuerId, {{key.issuerId + QStringLiteral("-app"), QStringLiteral("App"),
                                        QStringLiteral("com.example.app"), {}}});
        account.setIssuerId(key.issuerId);
        account.setKeyId(key.keyId);
        account.setKeyBlob(key.privateKeyPem);
    }

    // Saves a row and its keychain items as a sign-in would.
    ObjectId signedIn(const QString &name)
    {
        const ObjectId id = addAccount(name);
        Account keys(std::nullopt, name, QStringLiteral("issuer-") + name, QStringLiteral("key-") + name,
                     QByteArray("p8 of ") + name.toUtf8());
        [&] { QVERIFY(keys.saveToKeychain(id.uriString())); }();
        return id;
    }

    void releaseKeychainCall()
    {
        if (keychainCallHeld.exchange(false))
            keychainRelease.release();
    }

    // Whether a widget reload and a removal notice arrived since the last call.
    std::pair<bool, int> takeSignals()
    {
        QTest::qWait(50);  // the widget host reads from the event loop
        const bool reloaded = widgetMessages.contains(platform::widgetkit::WidgetCenter::reloadMessage);
        widgetMessages.clear();
        return {reloaded, std::exchange(removals, 0)};
    }

private slots:
    void initTestCase()
    {
        Keychain::useInMemoryBackendForTesting();
        events();
        QLocalServer::removeServer(platform::widgetkit::WidgetCenter::serverName());
        QVERIFY(widgetHost.listen(platform::widgetkit::WidgetCenter::serverName()));
        connect(&widgetHost, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = widgetHost.nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] { widgetMessages += socket->readAll(); });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        platform::NotificationCenter::defaultCenter().subscribe(Vantorel::StoreChange::accountRemoved, this,
                                                                [this](const QString &) {
                                                                    ++removals;
                                                                    if (atRemoval)
                                                                        atRemoval();
                                                                });
        for (const QString &name : {Vantorel::StoreChange::accountAdded, Vantorel::StoreChange::accountUpdated,
                                    Vantorel::StoreChange::accountRemoved}) {
            platform::NotificationCenter::defaultCenter().subscribe(name, this,
                                                                    [this, name](const QString &) { posts << name; });
        }
        Keychain::observeCallsForTesting([this] {
            ++keychainCalls;
            if (holdNextKeychainCall.exchange(false)) {
                keychainCallHeld = true;
                keychainRelease.acquire();
            }
        });
        server = std::make_unique<fakes::FakeConnectServer>();
        Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::connect, server->baseUrl());
    }

    void init()
    {
        view().performAndWait([](platform::store::Context &context) {
            for (ManagedAccount *row : context.fetch(ManagedAccount::fetchRequest()))
                context.deleteObject(row);
            context.save();
        });
        events().take();
        takeSignals();
        posts.clear();
        server->setDelay(0);
    }

    void cleanup()
    {
        atRemoval = nullptr;  // it may point into the finished test's locals
        holdNextKeychainCall = false;
        releaseKeychainCall();
    }

    void loadReadsKeysAndKeepsTheSelection()
    {
        signedIn(QStringLiteral("First"));
        signedIn(QStringLiteral("Second"));
        AccountsViewModel model;
        QVERIFY(finished(model.load()));
        QCOMPARE(names(model.accounts()), (QStringList{"First", "Second"}));
        const auto &second = *model.accounts()[1];
        QCOMPARE(second.issuerId(), QStringLiteral("issuer-Second"));
        QCOMPARE(second.keyBlob(), std::optional<QByteArray>("p8 of Second"));
        QCOMPARE(second.thread(), thread());

        // An account added and never signed in goes with the next load; its selection stays.
        model.addAccount();
        const auto added = model.selectedAccount();
        QCOMPARE(names(model.accounts()), (QStringList{"First", "Second", "My App Store Account"}));
        QVERIFY(added->isNew());
        QVERIFY(!added->objectId());
        QVERIFY(finished(model.load()));
        QCOMPARE(names(model.accounts()), (QStringList{"First", "Second"}));
        QCOMPARE(model.selectedAccount(), added);
    }

    void onlyTheSelectedAccountsChangesAreForwarded()
    {
        auto model = std::make_unique<AccountsViewModel>();
        QSignalSpy notices(model.get(), &AccountsViewModel::objectWillChange);
        model->addAccount();
        const auto first = model->selectedAccount();
        model->addAccount();
        const auto second = model->selectedAccount();
        QCOMPARE(model->accounts().size(), 2);

        notices.clear();
        first->setName(QStringLiteral("not selected"));
        QCOMPARE(notices.size(), 0);
        second->setName(QStringLiteral("typed"));
        QCOMPARE(notices.size(), 1);

        model->setSelectedAccount(first);
        notices.clear();
        second->setIsNew(false);
        first->setIsNew(false);
        QCOMPARE(notices.size(), 1);

        model->setSelectedAccount(nullptr);
        notices.clear();
        first->setName(QStringLiteral("after"));
        QCOMPARE(notices.size(), 0);

        model->setSelectedAccount(first);
        model.reset();
        first->setName(QStringLiteral("model gone"));  // must not reach the dead model
    }

    void deleteRemovesTheRowAndTellsEveryone_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::newRow("signed-in account") << true;
        QTest::newRow("never signed in") << false;
    }
    void deleteRemovesTheRowAndTellsEveryone()
    {
        QFETCH(bool, saved);
        const ObjectId keep = signedIn(QStringLiteral("Keep"));
        const ObjectId gone = signedIn(QStringLiteral("Gone"));
        const ObjectId app = fixture::addApp(gone, QStringLiteral("App"));
        const ObjectId version = fixture::addVersion(app, QStringLiteral("1.0"));
        fixture::addReviews(gone, app, {{QStringLiteral("r"), 5, QStringLiteral("t"), QStringLiteral("b"), 1, false, version}});
        AccountsViewModel model;
        QVERIFY(finished(model.load()));

        QVERIFY(model.deleteSelectedAccount().isFinished());  // nothing selected: nothing happens
        QCOMPARE(model.accounts().size(), 2);
        QCOMPARE(takeSignals(), std::make_pair(false, 0));

        if (saved) {
            model.setSelectedAccount(model.accounts()[1]);
        } else {
            model.addAccount();
        }
        const QString removedId = model.selectedAccount()->id();
        const auto listed = [&] {
            return std::any_of(model.accounts().cbegin(), model.accounts().cend(),
                               [&](const auto &account) { return account->id() == removedId; });
        };
        // The view context's objects of the rows that go, one of them with an unsaved change.
        auto *appRow = view().existingObject<Fennick::ManagedApp>(app);
        auto *versionRow = view().existingObject<Fennick::ManagedAppVersion>(version);
        auto *reviewRow = view().fetch(Fennick::ManagedReview::fetchRequest()).value(0);
        QVERIFY(appRow && versionRow && reviewRow);
        if (saved)
            reviewRow->setTitle(QStringLiteral("edited, not saved"));

        // When the notice goes out, the list and the selection show the removal already.
        std::optional<std::pair<QStringList, bool>> shownAtRemoval;
        atRemoval = [&] { shownAtRemoval = {names(model.accounts()), model.selectedAccount() == nullptr}; };
        const QFuture<void> deletion = model.deleteSelectedAccount();
        // A stored account's row goes on another thread: until that is done, the list stays.
        QCOMPARE(deletion.isFinished(), !saved);
        QCOMPARE(model.isDeleting(), saved);
        QCOMPARE(listed(), saved);
        QVERIFY(finished(deletion));

        QVERIFY(!model.isDeleting());
        const QStringList left = QStringList{"Keep", "Gone"}.mid(0, saved ? 1 : 2);
        QCOMPARE(names(model.accounts()), left);
        QVERIFY(!listed());
        QVERIFY(!model.selectedAccount());
        QCOMPARE(shownAtRemoval, std::make_optional(std::make_pair(left, true)));
        QCOMPARE(takeSignals(), std::make_pair(true, 1));
        QVERIFY(stored(keep));
        QCOMPARE(stored(gone), !saved);
        QCOMPARE(rowsOf("Review", gone), saved ? 0 : 1);
        if (saved) {
            QCOMPARE(rowsOf("App", gone), 0);
            QCOMPARE(rowsOf("AppVersion", gone), 0);
            // The view context keeps no live object of a deleted row, so nothing there can write
            // one again, nor can a later sign-in take the account's old object for a stored one.
            QVERIFY(appRow->isDeleted() && versionRow->isDeleted() && reviewRow->isDeleted());
            QVERIFY(!view().hasChanges());
            // Its keychain items stay.
            QCOMPARE(Keychain(Account::keychainService).text(QStringLiteral("issuer.") + gone.uriString()),
                     std::optional<QString>(QStringLiteral("issuer-Gone")));
        }
        QVERIFY(events().take().isEmpty());
    }

    // The deletion waits for the store's write lock here, which only a deletion off the GUI
    // thread can do while the GUI thread goes on.
    void removingALargeAccountLeavesTheGuiThreadFree()
    {
        const ObjectId keep = signedIn(QStringLiteral("Keep"));
        fixture::addReviews(keep, fixture::addApp(keep, QStringLiteral("Kept")),
                            {{QStringLiteral("k"), 4, QStringLiteral("t"), QStringLiteral("b"), 1, false, std::nullopt}});
        const ObjectId gone = signedIn(QStringLiteral("Large"));
        for (const QString &name : {QStringLiteral("One"), QStringLiteral("Two")}) {
            const ObjectId app = fixture::addApp(gone, name);
            const ObjectId version = fixture::addVersion(app, QStringLiteral("1.0"));
            runOnStoreFile(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
                                          "INSERT INTO \"Review\" (\"identifier\", \"rating\", \"title\", \"body\", "
                                          "\"account__pk\", \"app__pk\", \"version__pk\") "
                                          "SELECT '%1-' || i, 1 + i % 5, 'Title ' || i, 'Body of review ' || i, %2, %3, %4 FROM n")
                               .arg(name)
                               .arg(gone.key())
                               .arg(app.key())
                               .arg(version.key()));
        }
        // Rows written past the store reach its search index in one pass.
        runOnStoreFile(QStringLiteral("INSERT INTO \"Review__search\" (\"Review__search\") VALUES ('rebuild')"));
        QCOMPARE(rowsOf("Review", gone), 20000);
        AccountsViewModel model;
        QVERIFY(finished(model.load()));
        model.setSelectedAccount(model.accounts()[1]);

        QFuture<void> deletion;
        std::shared_ptr<Account> kept;
        {
            WriteLock lock;
            deletion = model.deleteSelectedAccount();
            QVERIFY(model.isDeleting());
            QTest::qWait(100);  // the GUI thread turns its event loop meanwhile
            QVERIFY(!deletion.isFinished());
            QCOMPARE(model.accounts().size(), 2);

            // Another account chosen meanwhile is not deleted by a second request, and stays chosen.
            kept = model.accounts()[0];
            model.setSelectedAccount(kept);
            QVERIFY(model.deleteSelectedAccount().isFinished());
        }
        QVERIFY(finished(deletion));
        QCOMPARE(names(model.accounts()), QStringList{"Keep"});
        QCOMPARE(model.selectedAccount(), kept);
        QCOMPARE(takeSignals(), std::make_pair(true, 1));
        for (const char *table : {"Account", "App", "AppVersion", "Review"})
            QVERIFY2(rowsOf(table, gone) == 0, table);
        QCOMPARE(rowsOf("Review", keep), 1);
        QCOMPARE(rowsOf("App", keep), 1);
        QVERIFY(events().take().isEmpty());  // nothing failed, nothing waited too long for the lock
    }

    // The store has changed all the same: the rest of the application must hear of it.
    void removalIsAnnouncedWhenTheModelGoesMeanwhile()
    {
        const ObjectId gone = signedIn(QStringLiteral("Gone"));
        auto model = std::make_unique<AccountsViewModel>();
        QVERIFY(finished(model->load()));
        model->setSelectedAccount(model->accounts()[0]);
        const QFuture<void> deletion = model->deleteSelectedAccount();
        model.reset();
        QVERIFY(finished(deletion));
        QVERIFY(!stored(gone));
        QCOMPARE(takeSignals(), std::make_pair(true, 1));
    }

    void failedDeleteChangesNothing()
    {
        const ObjectId id = signedIn(QStringLiteral("Only"));
        fixture::addReviews(id, fixture::addApp(id, QStringLiteral("App")),
                            {{QStringLiteral("r"), 5, QStringLiteral("t"), QStringLiteral("b"), 1, false, std::nullopt}});
        AccountsViewModel model;
        QVERIFY(finished(model.load()));
        const auto only = model.accounts()[0];
        model.setSelectedAccount(only);

        runOnStoreFile(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON \"Account\" "
                                      "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not delete account: .+")));
        QSignalSpy listChanges(&model, &AccountsViewModel::accountsChanged);
        QVERIFY(finished(model.deleteSelectedAccount()));
        runOnStoreFile(QStringLiteral("DROP TRIGGER refuse"));

        const QStringList reported = events().take();
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].startsWith(QStringLiteral("ErrorDeleteAccount:")), qPrintable(reported[0]));
        QVERIFY(!model.isDeleting());
        QCOMPARE(listChanges.size(), 0);
        QCOMPARE(model.accounts().size(), 1);
        QCOMPARE(model.selectedAccount(), only);
        QCOMPARE(takeSignals(), std::make_pair(false, 0));
        QCOMPARE(rowsOf("Review", id), 1);

        // The refused deletion is not left pending: the next save of the view context, made for
        // something else, must not take the account with it.
        QVERIFY(!view().hasChanges());
        addAccount(QStringLiteral("Later"));
        AccountsViewModel reloaded;
        QVERIFY(finished(reloaded.load()));
        QCOMPARE(names(reloaded.accounts()), (QStringList{"Only", "Later"}));
    }

    // The user removes an account while the server still holds its sign-in back.
    void anAccountRemovedDuringItsSignInStaysRemoved_data()
    {
        QTest::addColumn<QString>("account");
        QTest::newRow("new, removed from its list") << "new";
        QTest::newRow("stored, removed from its list") << "stored";
        QTest::newRow("stored, removed from a list loaded later") << "stored, other list";
        QTest::newRow("stored, deleted by another program") << "stored, other program";
    }
    void anAccountRemovedDuringItsSignInStaysRemoved()
    {
        QFETCH(QString, account);
        std::optional<ObjectId> row;
        AccountsViewModel model;
        if (account == QLatin1String("new")) {
            model.addAccount();
        } else {
            row = signedIn(QStringLiteral("Stored"));
            QVERIFY(finished(model.load()));
            model.setSelectedAccount(model.accounts()[0]);
        }
        const std::shared_ptr<Account> signingIn = model.selectedAccount();
        giveWorkingKey(*signingIn);
        server->setDelay(800);
        auto form = std::make_unique<AccountDetailsViewModel>(signingIn);
        QSignalSpy alerts(form.get(), &AccountDetailsViewModel::alertRequested);
        const QFuture<void> signIn = form->signIn();

        AccountsViewModel later;  // the settings window closed and opened again
        AccountsViewModel &remover = account == QLatin1String("stored, other list") ? later : model;
        if (&remover == &later) {
            QVERIFY(finished(later.load()));
            later.setSelectedAccount(later.accounts()[0]);
        }
        keychainCalls = 0;
        const bool byAnotherProgram = account == QLatin1String("stored, other program");
        if (byAnotherProgram) {
            QVERIFY(stored(*row));  // the view context knows the row and does not hear of this
            runOnStoreFile(QStringLiteral("DELETE FROM \"Account\""));
        } else {
            QVERIFY(finished(remover.deleteSelectedAccount()));
        }
        QVERIFY2(!signIn.isFinished(), "the server answered before the removal");
        QVERIFY(finished(signIn));
        QTest::qWait(100);  // anything queued after the sign-in

        QCOMPARE(view().count(ManagedAccount::fetchRequest()), 0);
        QCOMPARE(keychainCalls.load(), 0);  // no second set of items under another row
        QCOMPARE(posts, byAnotherProgram ? QStringList() : QStringList{Vantorel::StoreChange::accountRemoved});
        QCOMPARE(alerts.count(), 0);
        QVERIFY(!form->isSigningIn());
        QVERIFY(events().take().isEmpty());
        AccountsViewModel reloaded;
        QVERIFY(finished(reloaded.load()));
        QVERIFY(reloaded.accounts().isEmpty());
    }

    // The row is saved, but its keychain items are still being written (a slow or locked
    // keyring) when a list opened later removes the account: the sign-in then announces nothing.
    void anAccountRemovedWhileItsKeysAreWrittenIsNotAnnounced_data()
    {
        QTest::addColumn<bool>("isNew");
        QTest::newRow("new account") << true;
        QTest::newRow("edited account") << false;
    }
    void anAccountRemovedWhileItsKeysAreWrittenIsNotAnnounced()
    {
        QFETCH(bool, isNew);
        AccountsViewModel model;
        if (isNew) {
            model.addAccount();
        } else {
            signedIn(QStringLiteral("Stored"));
            QVERIFY(finished(model.load()));
            model.setSelectedAccount(model.accounts()[0]);
        }
        const std::shared_ptr<Account> signingIn = model.selectedAccount();
        giveWorkingKey(*signingIn);
        auto form = std::make_unique<AccountDetailsViewModel>(signingIn);
        QSignalSpy dismissals(form.get(), &AccountDetailsViewModel::dismissRequested);
        holdNextKeychainCall = true;
        const QFuture<void> signIn = form->signIn();
        QTRY_VERIFY(keychainCallHeld);
        QVERIFY(signingIn->objectId());

        AccountsViewModel later;  // the settings window closed and opened again
        QVERIFY(finished(later.load()));
        QCOMPARE(later.accounts().size(), 1);
        QCOMPARE(later.accounts()[0]->id(), signingIn->id());
        later.setSelectedAccount(later.accounts()[0]);
        QVERIFY(finished(later.deleteSelectedAccount()));
        releaseKeychainCall();
        QVERIFY(finished(signIn));
        QTest::qWait(100);  // anything queued after the sign-in

        QCOMPARE(posts, QStringList{Vantorel::StoreChange::accountRemoved});
        QCOMPARE(dismissals.count(), 0);
        QVERIFY(!form->isSigningIn());
        QCOMPARE(view().count(ManagedAccount::fetchRequest()), 0);
        QVERIFY(events().take().isEmpty());
    }

    // Another writer holds the store (the removal of a large account): the sign-in's save waits
    // for it off the GUI thread, where the account can be removed from its list meanwhile.
    void aSaveWaitingForTheStoreLeavesTheGuiThreadFree_data()
    {
        QTest::addColumn<bool>("removed");
        QTest::newRow("kept") << false;
        QTest::newRow("removed from its list meanwhile") << true;
    }
    void aSaveWaitingForTheStoreLeavesTheGuiThreadFree()
    {
        QFETCH(bool, removed);
        AccountsViewModel model;
        model.addAccount();
        const std::shared_ptr<Account> signingIn = model.selectedAccount();
        giveWorkingKey(*signingIn);
        auto form = std::make_unique<AccountDetailsViewModel>(signingIn);
        keychainCalls = 0;
        QFuture<void> signIn;
        {
            WriteLock lock;
            const qint64 requests = server->requestCount();
            signIn = form->signIn();
            QTRY_COMPARE(server->requestCount(), requests + 1);
            QTest::qWait(200);  // the apps have come back; the save waits for the lock
            QVERIFY(form->isSigningIn());
            QVERIFY(!signIn.isFinished());
            if (removed)
                QVERIFY(finished(model.deleteSelectedAccount()));
        }
        QVERIFY(finished(signIn));
        QTest::qWait(100);  // anything queued after the sign-in

        QCOMPARE(posts, QStringList{removed ? Vantorel::StoreChange::accountRemoved : Vantorel::StoreChange::accountAdded});
        QCOMPARE(view().count(ManagedAccount::fetchRequest()), removed ? 0 : 1);
        QCOMPARE(keychainCalls.load() > 0, !removed);
        QVERIFY(!form->isSigningIn());
        QVERIFY(events().take().isEmpty());
    }

    void anAccountSignedInWhileAnotherIsSelectedRemovesItsOwnRow()
    {
        signedIn(QStringLiteral("Other"));
        AccountsViewModel model;
        QVERIFY(finished(model.load()));
        model.addAccount();
        const std::shared_ptr<Account> added = model.selectedAccount();
        added->setName(QStringLiteral("Added"));
        giveWorkingKey(*added);
        server->setDelay(300);
        auto form = std::make_unique<AccountDetailsViewModel>(added);
        const QFuture<void> signIn = form->signIn();
        // Another account chosen before the sign-in ends: the form goes with the selection.
        model.setSelectedAccount(model.accounts()[0]);
        form.reset();
        QVERIFY(finished(signIn));
        QCOMPARE(posts, QStringList{Vantorel::StoreChange::accountAdded});
        QCOMPARE(view().count(ManagedAccount::fetchRequest()), 2);

        model.setSelectedAccount(added);
        QVERIFY(finished(model.deleteSelectedAccount()));
        QCOMPARE(names(model.accounts()), QStringList{"Other"});
        QCOMPARE(view().count(ManagedAccount::fetchRequest()), 1);
        QVERIFY(finished(model.load()));
        QCOMPARE(names(model.accounts()), QStringList{"Other"});
    }

    void unreadableStoreListsNothing()
    {
        signedIn(QStringLiteral("Hidden"));
        AccountsViewModel model;
        QVERIFY(finished(model.load()));
        QCOMPARE(model.accounts().size(), 1);

        QVERIFY(finishedWithoutTable(QStringLiteral("Account"), "Could not load accounts", [&] { return model.load(); }));
        QVERIFY(model.accounts().isEmpty());
        const QStringList reported = events().take();
        QCOMPARE(reported.size(), 1);
        QVERIFY(reported[0].startsWith(QStringLiteral("ErrorLoadAccounts:")));
    }
};

VANTOREL_TEST_MAIN(AccountsViewModelTest)
#include "tst_accounts_view_model.moc"
