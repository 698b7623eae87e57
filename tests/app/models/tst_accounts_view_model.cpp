#include "StoreFixture.h"
#include "app/models/AccountsViewModel.h"
#include "app/models/StoreChanges.h"
#include "platform/NotificationCenter.h"
#include "platform/keychain/Keychain.h"
#include "platform/widgetkit/WidgetCenter.h"
#include "support/TestHome.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>

using namespace fixture;
using Fennick::Account;
using Fennick::ManagedAccount;
using platform::Keychain;
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
}  // namespace

class AccountsViewModelTest : public QObject {
    Q_OBJECT
    QLocalServer widgetHost;
    QByteArray widgetMessages;
    int removals = 0;

    // Saves a row and its keychain items as a sign-in would.
    ObjectId signedIn(const QString &name)
    {
        const ObjectId id = addAccount(name);
        Account keys(std::nullopt, name, QStringLiteral("issuer-") + name, QStringLiteral("key-") + name,
                     QByteArray("p8 of ") + name.toUtf8());
        [&] { QVERIFY(keys.saveToKeychain(id.uriString())); }();
        return id;
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
                                                                [this](const QString &) { ++removals; });
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
        fixture::addReviews(gone, fixture::addApp(gone, QStringLiteral("App")),
                            {{QStringLiteral("r"), 5, QStringLiteral("t"), QStringLiteral("b"), 1, false, std::nullopt}});
        AccountsViewModel model;
        QVERIFY(finished(model.load()));

        model.deleteSelectedAccount();  // nothing selected: nothing happens
        QCOMPARE(model.accounts().size(), 2);
        QCOMPARE(takeSignals(), std::make_pair(false, 0));

        if (saved) {
            model.setSelectedAccount(model.accounts()[1]);
        } else {
            model.addAccount();
        }
        model.deleteSelectedAccount();
        QCOMPARE(names(model.accounts()), (QStringList{"Keep", "Gone"}).mid(0, saved ? 1 : 2));
        QVERIFY(!model.selectedAccount());
        QCOMPARE(takeSignals(), std::make_pair(true, 1));
        QVERIFY(stored(keep));
        QCOMPARE(stored(gone), !saved);
        if (saved) {
            QCOMPARE(view().count(Fennick::ManagedReview::fetchRequest()), 0);
            // Its keychain items stay.
            QCOMPARE(Keychain(Account::keychainService).text(QStringLiteral("issuer.") + gone.uriString()),
                     std::optional<QString>(QStringLiteral("issuer-Gone")));
        }
        QVERIFY(events().take().isEmpty());
    }

    void failedDeleteChangesNothing()
    {
        signedIn(QStringLiteral("Only"));
        AccountsViewModel model;
        QVERIFY(finished(model.load()));
        const auto only = model.accounts()[0];
        model.setSelectedAccount(only);

        runOnStoreFile(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON \"Account\" "
                                      "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not delete account: .+")));
        model.deleteSelectedAccount();
        runOnStoreFile(QStringLiteral("DROP TRIGGER refuse"));

        const QStringList reported = events().take();
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].startsWith(QStringLiteral("ErrorDeleteAccount:")), qPrintable(reported[0]));
        QCOMPARE(model.accounts().size(), 1);
        QCOMPARE(model.selectedAccount(), only);
        QCOMPARE(takeSignals(), std::make_pair(false, 0));

        // The refused deletion is not left pending: the next save of the view context, made for
        // something else, must not take the account with it.
        addAccount(QStringLiteral("Later"));
        AccountsViewModel reloaded;
        QVERIFY(finished(reloaded.load()));
        QCOMPARE(names(reloaded.accounts()), (QStringList{"Only", "Later"}));
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
