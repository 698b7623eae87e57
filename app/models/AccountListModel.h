#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QMetaObject>
#include <memory>

namespace Fennick {
class Account;
}

namespace Vantorel {

class AccountsViewModel;

// The accounts of an AccountsViewModel as list rows showing their names; a row changes as soon
// as its account's name does.
class AccountListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit AccountListModel(AccountsViewModel *accounts, QObject *parent = nullptr);
    ~AccountListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    std::shared_ptr<Fennick::Account> accountAt(int row) const;
    // The row of the account with the same id; -1 when none.
    int rowOf(const Fennick::Account *account) const;

private:
    void reset();

    AccountsViewModel *m_accounts;
    QList<std::shared_ptr<Fennick::Account>> m_rows;
    QList<QMetaObject::Connection> m_connections;
};

}  // namespace Vantorel
