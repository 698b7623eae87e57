#include "app/views/SummaryViewSupport.h"

#include "app/views/ReviewCardLayout.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>

namespace Vantorel::SummaryViewSupport {

QLineEdit *makeSearchField()
{
    auto *field = new QLineEdit;
    field->setObjectName(QStringLiteral("searchField"));
    field->setPlaceholderText(QCoreApplication::translate("SummaryView", "Search"));
    field->setClearButtonEnabled(true);
    field->setMinimumWidth(160);
    field->setMaximumWidth(280);
    return field;
}

QFrame *makeDivider(QWidget *parent)
{
    auto *divider = new QFrame(parent);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    return divider;
}

void useSecondaryText(QLabel &label)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, ReviewCardStyle::secondaryText(palette));
    label.setPalette(palette);
}

}  // namespace Vantorel::SummaryViewSupport
