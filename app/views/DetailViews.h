#pragma once

#include "Fennick/Account.h"
#include "Fennick/Records/StoreApp.h"

#include <QWidget>
#include <memory>

namespace Vantorel {

// What the detail column shows for a selection: the summary itself and, when it has one, its
// search field, which the main window places in its toolbar. The caller owns both.
struct DetailContent {
    QWidget *view = nullptr;
    QWidget *searchField = nullptr;
};

DetailContent makeAccountSummary(const std::shared_ptr<Fennick::Account> &account, QWidget *parent);
DetailContent makeAppSummary(const Fennick::StoreApp &app, QWidget *parent);

}  // namespace Vantorel
