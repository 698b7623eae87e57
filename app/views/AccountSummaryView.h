#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

class QLineEdit;

namespace Fennick {
class Account;
}

namespace Vantorel {

class AccountSummaryViewModel;
class ReviewListView;

// The newest 100 reviews of one account as review cards. The search field belongs in the
// window's toolbar: the main window takes it from searchField() and places it there. Reloads
// each time it is shown.
class AccountSummaryView : public QWidget {
    Q_OBJECT
public:
    explicit AccountSummaryView(std::shared_ptr<Fennick::Account> account, QWidget *parent = nullptr);
    // Also deletes the search field, wherever it was placed.
    ~AccountSummaryView() override;

    const Fennick::Account &account() const;
    AccountSummaryViewModel *viewModel() const { return m_model; }
    ReviewListView *reviewList() const { return m_list; }
    // The search field, made without a parent for the window's toolbar.
    QLineEdit *searchField() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    AccountSummaryViewModel *m_model;
    ReviewListView *m_list;
    QPointer<QLineEdit> m_search;
};

}  // namespace Vantorel
