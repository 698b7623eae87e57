#pragma once

#include "app/views/ReviewListView.h"

#include <QTimer>

class QFrame;
class QLabel;
class QLineEdit;
class QWidget;

// Small pieces that the two summaries share. Not part of any view's interface.
namespace Vantorel::SummaryViewSupport {

// A search field with the platform's prompt and a clear button, without a parent: it goes into
// the window's toolbar.
QLineEdit *makeSearchField();
QFrame *makeDivider(QWidget *parent);
void useSecondaryText(QLabel &label);

// The model's change notice (for instance the translation switch) redraws the cards, once per
// turn of the event loop however many notices came.
template <class Model, class Signal>
void redrawCardsOnChange(Model *model, Signal signal, ReviewListView *list)
{
    auto *pending = new QTimer(list);
    pending->setSingleShot(true);
    pending->setInterval(0);
    QObject::connect(pending, &QTimer::timeout, list, &ReviewListView::refreshCards);
    QObject::connect(model, signal, pending, [pending] { pending->start(); });
}

}  // namespace Vantorel::SummaryViewSupport
