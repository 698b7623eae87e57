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

    // Replaces the list with the stored accounts (keys read off the GUI thread); the selection
    // is kept. Finishes when the list is published.
    QFuture<void> load();
    // Appends "My App Store Account" (new, unsaved) and selects it.
    void addAccount();
    // Deletes the selected account's row, drops it from the list, clears the selection, posts
    // "reviews.storeAccountRemoved" and reloads the widget. Keychain items stay.
    void deleteSelectedAccount();

signals:
    void objectWillChange();
    void accountsChanged();
    void selectedAccountChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace Vantorel
