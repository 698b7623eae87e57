#include "app/models/AccountsViewModel.h"

#include "Fennick/Persistence/ManagedAccount.h"
#include "app/models/ModelSupport.h"
#include "platform/FutureContinuation.h"
#include "app/models/StoreChanges.h"
#include "platform/widgetkit/WidgetCenter.h"

#include <QCoreApplication>

namespace Vantorel {

using Fennick::Account;
using Fennick::ManagedAccount;
using platform::store::Context;

namespace {

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

void AccountsViewModel::deleteSelectedAccount()
{
    const std::shared_ptr<Account> selected = d->selectedAccount;
    if (!selected)
        return;

    if (const auto &id = selected->objectId()) {
        try {
            Context &context = Fennick::PersistenceController::shared().container().viewContext();
            if (auto *row = context.existingObject<ManagedAccount>(*id)) {
                context.deleteObject(row);
                try {
                    context.save();
                } catch (...) {
                    // Left pending, the deletion would go out with the next unrelated save of
                    // the view context although the account is still listed.
                    context.rollback();
                    throw;
                }
            }
        } catch (const std::exception &error) {
            ModelSupport::reportFailure(error, QStringLiteral("DeleteAccount"),
                                        QStringLiteral("Could not delete account: %1"));
            return;
        }
    }

    // The keychain items stay: nothing in the application deletes them.
    emit objectWillChange();
    d->accounts.removeIf([id = selected->id()](const std::shared_ptr<Account> &account) { return account->id() == id; });
    emit accountsChanged();
    setSelectedAccount(nullptr);
    StoreChange::post(StoreChange::accountRemoved);
    platform::widgetkit::WidgetCenter::reloadAllTimelines();
}

}  // namespace Vantorel

#include "moc_AccountsViewModel.cpp"
