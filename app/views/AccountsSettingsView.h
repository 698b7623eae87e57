#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

class QLabel;
class QListView;
class QStackedWidget;
class QToolButton;

namespace Vantorel {

class AccountDetailsView;
class AccountListModel;
class AccountsViewModel;

// The Accounts tab: the stored accounts on the left with buttons to remove the selected one or
// add a new one, and on the right the selected account's sign-in form or a hint. The list is
// loaded again each time the tab is shown.
class AccountsSettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int listWidth = 140;

    explicit AccountsSettingsView(QWidget *parent = nullptr);
    ~AccountsSettingsView() override;

    AccountsViewModel *viewModel() const { return m_viewModel; }
    // The form of the selected account; nullptr while the hint shows.
    AccountDetailsView *detailsView() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showSelection();
    void showAccounts();
    void updateButtons();
    void selectRow(int row);
    void dismissForm();

    AccountsViewModel *m_viewModel;
    AccountListModel *m_listModel;
    QListView *m_list;
    QToolButton *m_remove;
    QToolButton *m_add;
    QStackedWidget *m_right;
    QWidget *m_hintPage;
    QLabel *m_hint;
    QPointer<AccountDetailsView> m_details;
    QMetaObject::Connection m_selectedIsNew;
    bool m_syncingSelection = false;
};

}  // namespace Vantorel
