#include "app/views/DetailViews.h"

#include "app/views/AccountSummaryView.h"
#include "app/views/AppSummaryView.h"

#include <QLineEdit>

namespace Vantorel {

DetailContent makeAccountSummary(const std::shared_ptr<Fennick::Account> &account, QWidget *parent)
{
    auto *view = new AccountSummaryView(account, parent);
    return {view, view->searchField()};
}

DetailContent makeAppSummary(const Fennick::StoreApp &app, QWidget *parent)
{
    auto *view = new AppSummaryView(app, parent);
    return {view, view->searchField()};
}

}  // namespace Vantorel
