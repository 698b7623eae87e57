#include "app/models/AccountListModel.h"

#include "Fennick/Account.h"
#include "app/models/AccountsViewModel.h"

namespace Vantorel {

AccountListModel::AccountListModel(AccountsViewModel *accounts, QObject *parent)
    : QAbstractListModel(parent), m_accounts(accounts)
{
    connect(m_accounts, &AccountsViewModel::accountsChanged, this, &AccountListModel::reset);
    reset();
}

AccountListModel::~AccountListModel() = default;

void AccountListModel::reset()
{
    beginResetModel();
    for (const auto &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_rows = m_accounts->accounts();
    for (const auto &account : std::as_const(m_rows)) {
        const Fennick::Account *raw = account.get();
        m_connections.append(connect(raw, &Fennick::Account::nameChanged, this, [this, raw] {
            for (int row = 0; row < m_rows.size(); ++row) {
                if (m_rows.at(row).get() == raw)
                    emit dataChanged(index(row), index(row), {Qt::DisplayRole, Qt::ToolTipRole});
            }
        }));
    }
    endResetModel();
}

int AccountListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant AccountListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const auto &account = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return account->name();
    default:
        return {};
    }
}

std::shared_ptr<Fennick::Account> AccountListModel::accountAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : nullptr;
}

int AccountListModel::rowOf(const Fennick::Account *account) const
{
    if (!account)
        return -1;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (*m_rows.at(row) == *account)
            return row;
    }
    return -1;
}

}  // namespace Vantorel
