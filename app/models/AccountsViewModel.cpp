#include "app/models/AccountsViewModel.h"

#include "Fennick/Persistence/ManagedAccount.h"
#include "app/models/ModelSupport.h"
#include "platform/FutureContinuation.h"
#include "app/models/StoreChanges.h"
#include "platform/widgetkit/WidgetCenter.h"

#include <QCoreApplication>
#include <QPointer>

namespace Vantorel {

using Fennick::Account;
using Fennick::ManagedAccount;
using platform::store::Context;
using platform::store::ObjectId;

namespace {

// The keychain items stay: nothing in the application deletes them.
void announceRemoval()
{
    StoreChange::post(StoreChange::accountRemoved);
    platform::widgetkit::WidgetCenter::reloadAllTimelines();
}

// Account's constructor reads the keychain, which may wait for an unlock prompt: the accounts
// are built on the background context's thread and then handed to the GUI thread.
QList<std::shared_ptr<Account>> fetchAccounts(Context &context)
{
    QList<std::shared_ptr<Account>> accounts;
    for (const ManagedAccount *row : context.fetch(ManagedAccount::fetchRequest())) {
        auto account = std::make_shared<Account>(*row);
        if (QCoreApplication::instance())
            account->moveToThread(QCoreApplication::instance()->thread());
        accounts.append(std::move(account));
    }
    return accounts;
}

}  // namespace

struct AccountsViewModel::Private {
    QList<std::shared_ptr<Account>> accounts;
    std::shared_ptr<Account> selectedAccount;
    QMetaObject::Connection selectedAccountUpdation;
    bool isDeleting = false;
};

AccountsViewModel::AccountsViewModel(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

AccountsViewModel::~AccountsViewModel()
{
    QObject::disconnect(d->selectedAccountUpdation);
}

const QList<std::shared_ptr<Account>> &AccountsViewModel::accounts() const
{
    return d->accounts;
}

const std::shared_ptr<Account> &AccountsViewModel::selectedAccount() const
{
    return d->selectedAccount;
}

bool AccountsViewModel::isDeleting() const
{
    return d->isDeleting;
}

void AccountsViewModel::setSelectedAccount(std::shared_ptr<Account> account)
{
    // End the old forwarding first, so that no notice of the old account arrives afterwards.
    QObject::disconnect(d->selectedAccountUpdation);
    d->selectedAccountUpdation = {};
    const bool changed = account != d->selectedAccount;
    if (changed)
        emit objectWillChange();
    d->selectedAccount = std::move(account);
    if (d->selectedAccount) {
        // An edit in the account's form redraws the list and its buttons at once.
        d->selectedAccountUpdation = connect(d->selectedAccount.get(), &Account::objectWillChange, this,
                                             &AccountsViewModel::objectWillChange);
    }
    if (changed)
        emit selectedAccountChanged();
}

QFuture<void> AccountsViewModel::load()
{
    QFuture<QList<std::shared_ptr<Account>>> fetched = ModelSupport::inBackgroundContext(fetchAccounts);
    return platform::whenFinished(fetched, this, [this](QFuture<QList<std::shared_ptr<Account>>> result) {
        auto accounts = ModelSupport::resultOrReport(result, QStringLiteral("LoadAccounts"),
                                                     QStringLiteral("Could not load accounts: %1"));
        emit objectWillChange();
        d->accounts = std::move(accounts);
        emit accountsChanged();
    });
}

void AccountsViewModel::addAccount()
{
    auto account = std::make_shared<Account>(std::nullopt, QStringLiteral("My App Store Account"), QString(),
                                             QString(), std::nullopt);
    account->setIsNew(true);
    emit objectWillChange();
    d->accounts.append(account);
    emit accountsChanged();
    setSelectedAccount(std::move(account));
}

QFuture<void> AccountsViewModel::deleteSelectedAccount()
{
    const std::shared_ptr<Account> selected = d->selectedAccount;
    if (!selected || d->isDeleting)
        return QtFuture::makeReadyFuture();
    const std::optional<ObjectId> rowId = selected->objectId();
    if (!rowId) {
        // A sign-in of it that is still running must not store it after all.
        selected->markRemoved();
        removeFromList(selected->id());
        announceRemoval();
        return QtFuture::makeReadyFuture();
    }

    // The row's apps, versions and reviews go with it: for a large account that is a long write,
    // which must not hold up the GUI thread. The background context goes with the task, so a
    // failed deletion leaves nothing pending for anyone's next save.
    setDeleting(true);
    QFuture<void> deleted = ModelSupport::inBackgroundContext([id = *rowId](Context &context) {
        // A row that is gone already, or that is not an account, is not deleted; the steps go on.
        if (auto *row = context.existingObject<ManagedAccount>(id)) {
            context.deleteObject(row);
            context.save();
        }
    });
    // The view context has dropped its objects of the deleted rows before this runs: the merge
    // of the save was queued to the GUI thread ahead of the future's end. The removal is
    // announced also when the model has gone meanwhile, since the store has changed all the same.
    return platform::whenFinished(
        deleted, QCoreApplication::instance(),
        [self = QPointer(this), selected, accountId = selected->id()](QFuture<void> result) {
            if (self)
                self->setDeleting(false);
            try {
                result.waitForFinished();  // throws the deletion's error
            } catch (const std::exception &error) {
                ModelSupport::reportFailure(error, QStringLiteral("DeleteAccount"),
                                            QStringLiteral("Could not delete account: %1"));
                return;
            }
            selected->markRemoved();
            if (self)
                self->removeFromList(accountId);
            announceRemoval();
        });
}

void AccountsViewModel::setDeleting(bool deleting)
{
    if (d->isDeleting == deleting)
        return;
    emit objectWillChange();
    d->isDeleting = deleting;
    emit isDeletingChanged();
}

void AccountsViewModel::removeFromList(const QString &accountId)
{
    emit objectWillChange();
    d->accounts.removeIf([&](const std::shared_ptr<Account> &account) { return account->id() == accountId; });
    emit accountsChanged();
    // Another account chosen while the deletion ran stays chosen.
    if (d->selectedAccount && d->selectedAccount->id() == accountId)
        setSelectedAccount(nullptr);
}

}  // namespace Vantorel

#include "moc_AccountsViewModel.cpp"
