#include "app/views/DetailViews.h"

#include <QLabel>
#include <QLineEdit>

namespace Vantorel {

namespace {
// Stand-in until the summary views exist: the name of what is selected and an idle search field.
DetailContent placeholder(const QString &title, QWidget *parent)
{
    auto *label = new QLabel(title, parent);
    label->setAlignment(Qt::AlignCenter);
    auto *search = new QLineEdit(parent);
    search->setPlaceholderText(QObject::tr("Search"));
    search->setClearButtonEnabled(true);
    return {label, search};
}
}  // namespace

DetailContent makeAccountSummary(const std::shared_ptr<Fennick::Account> &account, QWidget *parent)
{
    return placeholder(account ? account->name() : QString(), parent);
}

DetailContent makeAppSummary(const Fennick::StoreApp &app, QWidget *parent)
{
    return placeholder(app.name, parent);
}

}  // namespace Vantorel
