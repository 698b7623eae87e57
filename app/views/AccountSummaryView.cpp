#include "app/views/AccountSummaryView.h"

#include "app/models/AccountSummaryViewModel.h"
#include "app/views/ReviewListView.h"
#include "app/views/SummaryViewSupport.h"

#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

namespace Vantorel {

AccountSummaryView::AccountSummaryView(std::shared_ptr<Fennick::Account> account, QWidget *parent)
    : QWidget(parent),
      m_model(new AccountSummaryViewModel(std::move(account), this)),
      m_list(new ReviewListView(this)),
      m_search(SummaryViewSupport::makeSearchField())
{
    setObjectName(QStringLiteral("accountSummary"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) { m_model->setSearch(text); });
    connect(m_model, &AccountSummaryViewModel::searchChanged, this, [this] {
        if (m_search && m_search->text() != m_model->search())
            m_search->setText(m_model->search());
    });
    connect(m_model, &AccountSummaryViewModel::reviewsChanged, this, [this] {
        m_list->setReviews(m_model->reviews(), m_model->reviewsFollowNewChoices()
                                                   ? ReviewListView::Placement::fromStart
                                                   : ReviewListView::Placement::keepPlace);
    });
    SummaryViewSupport::redrawCardsOnChange(m_model, &AccountSummaryViewModel::objectWillChange, m_list);
    m_list->setReviews(m_model->reviews());
}

AccountSummaryView::~AccountSummaryView()
{
    delete m_search.data();
}

const Fennick::Account &AccountSummaryView::account() const
{
    return m_model->account();
}

QLineEdit *AccountSummaryView::searchField() const
{
    return m_search;
}

void AccountSummaryView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_model->reload();
}

}  // namespace Vantorel
