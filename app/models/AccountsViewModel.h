#pragma once

#include "Fennick/Account.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <memory>

namespace Vantorel {

// The Accounts tab's list and selection. GUI thread only.
class AccountsViewModel : public QObject {
    Q_OBJECT

public:
    explicit AccountsViewModel(QObject *parent = nullptr);
    ~AccountsViewModel() override;

    // The stored accounts in fetch order, then accounts added and not yet signed in.
    const QList<std::shared_ptr<Fennick::Account>> &accounts() const;
    // Null when nothing is selected. While one is, its changes are forwarded as objectWillChange.
    const std::shared_ptr<Fennick::Account> &selectedAccount() const;
    void setSelectedAccount(std::shared_ptr<Fennick::Account> account);
    // True while a stored account's row is being deleted; no other deletion starts meanwhile.
    bool isDeleting() const;

    // Replaces the list with the stored accounts (keys read off the GUI thread); the selection
    // is kept. Finishes when the list is published.
    QFuture<void> load();
    // Appends "My App Store Account" (new, unsaved) and selects it.
    void addAccount();
    // Deletes the selected account's row (and so its apps, versions and reviews) on a background
    // context, then on the GUI thread drops it from the list, clears the selection if it is still
    // that account, posts "reviews.storeAccountRemoved" and reloads the widget; an account that
    // was never stored goes through those steps at once. A failed deletion is reported and
    // logged and changes nothing else. Keychain items stay. Finishes when all that is done; a
    // request while nothing is selected or another deletion runs does nothing.
    QFuture<void> deleteSelectedAccount();

signals:
    void objectWillChange();
    void accountsChanged();
    void selectedAccountChanged();
    void isDeletingChanged();

private:
    void setDeleting(bool deleting);
    void removeFromList(const QString &accountId);

    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace Vantorel
