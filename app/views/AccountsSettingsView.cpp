#include "app/views/AccountsSettingsView.h"

#include "app/models/AccountListModel.h"
#include "app/models/AccountsViewModel.h"
#include "app/views/AccountDetailsView.h"
#include "app/views/AccountRowDelegate.h"
#include "app/views/SettingsSymbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QShowEvent>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace Vantorel {

namespace {
QToolButton *barButton(SettingsSymbol symbol, const QString &help, const QString &name, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setIcon(settingsSymbolIcon(symbol, parent->palette().color(QPalette::WindowText)));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(help);
    button->setAccessibleName(help);
    return button;
}
}  // namespace

AccountsSettingsView::AccountsSettingsView(QWidget *parent)
    : QWidget(parent), m_viewModel(new AccountsViewModel(this)), m_listModel(new AccountListModel(m_viewModel, this))
{
    setObjectName(QStringLiteral("accountsSettings"));

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("accountList"));
    m_list->setModel(m_listModel);
    m_list->setItemDelegate(new AccountRowDelegate(m_list));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setAlternatingRowColors(false);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

    m_remove = barButton(SettingsSymbol::minusCircle, tr("Remove selected App Store Connect account"),
                         QStringLiteral("removeAccountButton"), this);
    m_add = barButton(SettingsSymbol::plusCircle, tr("Add App Store Connect account"),
                      QStringLiteral("addAccountButton"), this);
    auto *bar = new QHBoxLayout;
    bar->setSpacing(4);
    bar->addStretch(1);
    bar->addWidget(m_remove);
    bar->addWidget(m_add);

    auto *left = new QWidget(this);
    left->setFixedWidth(listWidth);
    auto *leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    leftColumn->addWidget(m_list, 1);
    leftColumn->addLayout(bar);

    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("accountsHint"));
    m_hint->setAlignment(Qt::AlignCenter);
    QPalette secondary = m_hint->palette();
    QColor text = secondary.color(QPalette::WindowText);
    text.setAlphaF(0.6f);
    secondary.setColor(QPalette::WindowText, text);
    m_hint->setPalette(secondary);
    m_hintPage = new QWidget(this);
    auto *hintColumn = new QVBoxLayout(m_hintPage);
    hintColumn->addStretch(1);
    hintColumn->addWidget(m_hint);
    hintColumn->addStretch(1);

    m_right = new QStackedWidget(this);
    m_right->addWidget(m_hintPage);

    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(12);
    layout->addWidget(left);
    layout->addWidget(m_right, 1);

    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_syncingSelection)
            return;
        const QModelIndexList rows = m_list->selectionModel()->selectedRows();
        m_viewModel->setSelectedAccount(rows.isEmpty() ? nullptr : m_listModel->accountAt(rows.first().row()));
    });
    connect(m_remove, &QToolButton::clicked, m_viewModel, &AccountsViewModel::deleteSelectedAccount);
    connect(m_add, &QToolButton::clicked, m_viewModel, &AccountsViewModel::addAccount);
    connect(m_viewModel, &AccountsViewModel::accountsChanged, this, &AccountsSettingsView::showAccounts);
    connect(m_viewModel, &AccountsViewModel::selectedAccountChanged, this, &AccountsSettingsView::showSelection);
    connect(m_viewModel, &AccountsViewModel::isDeletingChanged, this, &AccountsSettingsView::updateButtons);

    showAccounts();
    showSelection();
}

AccountsSettingsView::~AccountsSettingsView() = default;

AccountDetailsView *AccountsSettingsView::detailsView() const
{
    return m_details;
}

void AccountsSettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_viewModel->load();
}

void AccountsSettingsView::selectRow(int row)
{
    // Mirrors the model's selection in the list without sending it back.
    m_syncingSelection = true;
    if (row < 0)
        m_list->selectionModel()->clearSelection();
    else
        m_list->selectionModel()->select(m_listModel->index(row), QItemSelectionModel::ClearAndSelect);
    m_syncingSelection = false;
}

void AccountsSettingsView::showAccounts()
{
    // The list was rebuilt: the selected account keeps its row if it is still listed.
    selectRow(m_listModel->rowOf(m_viewModel->selectedAccount().get()));
    m_hint->setText(m_viewModel->accounts().isEmpty() ? tr("Add an App Store Connect account\nto get started")
                                                       : tr("Select an account"));
    updateButtons();
}

void AccountsSettingsView::showSelection()
{
    const std::shared_ptr<Fennick::Account> &selected = m_viewModel->selectedAccount();
    selectRow(m_listModel->rowOf(selected.get()));
    if (selected) {
        const int row = m_listModel->rowOf(selected.get());
        if (row >= 0)
            m_list->scrollTo(m_listModel->index(row));
    }

    disconnect(m_selectedIsNew);
    if (selected)
        m_selectedIsNew = connect(selected.get(), &Fennick::Account::isNewChanged, this, &AccountsSettingsView::updateButtons);

    if (!m_details || m_details->account() != selected) {
        if (m_details) {
            // Later: the form may be in the middle of one of its own signals.
            m_right->removeWidget(m_details);
            m_details->hide();
            m_details->deleteLater();
            m_details = nullptr;
        }
        if (selected) {
            m_details = new AccountDetailsView(selected, m_right);
            connect(m_details, &AccountDetailsView::dismissRequested, this, &AccountsSettingsView::dismissForm);
            m_right->addWidget(m_details);
        }
    }
    m_right->setCurrentWidget(m_details ? static_cast<QWidget *>(m_details) : m_hintPage);
    updateButtons();
}

void AccountsSettingsView::updateButtons()
{
    const std::shared_ptr<Fennick::Account> &selected = m_viewModel->selectedAccount();
    // One removal at a time: the next may start once the list shows the last one's outcome.
    m_remove->setEnabled(selected != nullptr && !m_viewModel->isDeleting());
    m_add->setEnabled(!(selected && selected->isNew()));
}

void AccountsSettingsView::dismissForm()
{
    // The new account is stored: close its form and list it as the store has it.
    m_viewModel->setSelectedAccount(nullptr);
    m_viewModel->load();
}

}  // namespace Vantorel
