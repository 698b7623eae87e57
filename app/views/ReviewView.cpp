#include "app/views/ReviewView.h"

#include "Fennick/Analytics.h"
#include "Fennick/Records/StoreReview.h"
#include "app/models/ReviewResponder.h"
#include "app/views/LinkOpener.h"
#include "app/views/ReviewCardDelegate.h"
#include "app/views/ReviewCardText.h"

#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

namespace Vantorel {

using Button = ReviewCardLayout::Button;
using Fennick::StoreReview;

ReviewView::ReviewView(const ReviewCardDelegate &delegate, QWidget *parent)
    : QWidget(parent),
      m_delegate(delegate),
      m_title(new ReviewCardText(this)),
      m_body(new ReviewCardText(this)),
      m_response(new ReviewCardText(this))
{
    setObjectName(QStringLiteral("reviewCard"));
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_title->setObjectName(QStringLiteral("titleText"));
    m_body->setObjectName(QStringLiteral("bodyText"));
    m_response->setObjectName(QStringLiteral("responseText"));

    const ReviewCardControls &controls = m_delegate.controls();
    const std::pair<Button, const char *> buttons[] = {
        {Button::translate, "translateButton"}, {Button::revert, "revertButton"},
        {Button::write, "writeResponseButton"}, {Button::edit, "editResponseButton"},
        {Button::remove, "deleteResponseButton"}};
    for (const auto &[kind, name] : buttons) {
        auto *button = new QPushButton(this);
        button->setObjectName(QLatin1String(name));
        controls.configureButton(*button);
        button->hide();
        connect(button, &QPushButton::clicked, this, [this, kind = kind] { clicked(kind); });
        m_buttons.append({kind, button});
    }
    // Made after the other buttons: the keyboard reaches it last, as it stands last.
    m_share = new QToolButton(this);
    m_share->setObjectName(QStringLiteral("shareButton"));
    controls.configureShareButton(*m_share);
    m_shareMenu = makeShareMenu(this, [this] { return m_review ? ReviewResponder::shareText(*m_review) : QString(); });
    connect(m_share, &QToolButton::clicked, this,
            [this] { m_shareMenu->popup(m_share->mapToGlobal(QPoint(0, m_share->height()))); });
}

ReviewView::~ReviewView() = default;

QMenu *ReviewView::makeShareMenu(QWidget *parent, std::function<QString()> text)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("shareMenu"));
    QAction *copy = menu->addAction(tr("Copy"));
    copy->setObjectName(QStringLiteral("shareCopyAction"));
    QObject::connect(copy, &QAction::triggered, menu, [text] { QApplication::clipboard()->setText(text()); });
    QAction *mail = menu->addAction(tr("Email"));
    mail->setObjectName(QStringLiteral("shareMailAction"));
    QObject::connect(mail, &QAction::triggered, menu, [text, menu] { openLink(mailtoUrl(text()), menu->parentWidget()); });
    return menu;
}

QUrl ReviewView::mailtoUrl(const QString &text)
{
    // Encoded by hand: every character that means something in a query ("&", "=", "+", "#")
    // must reach the mail program as text.
    return QUrl::fromEncoded("mailto:?body=" + QUrl::toPercentEncoding(text), QUrl::StrictMode);
}

void ReviewView::setReview(std::shared_ptr<StoreReview> review, std::shared_ptr<ReviewResponder> responder, int width,
                           bool enableTranslation)
{
    m_review = std::move(review);
    m_responder = std::move(responder);
    m_width = width;
    m_enableTranslation = enableTranslation;
    refresh();
}

QPushButton *ReviewView::button(Button kind) const
{
    for (const auto &[buttonKind, button] : m_buttons) {
        if (buttonKind == kind)
            return button;
    }
    return nullptr;
}

void ReviewView::refresh()
{
    if (!m_review)
        return;
    m_layout = m_delegate.layoutFor(*m_review, m_width, m_enableTranslation);
    const std::pair<ReviewCardText *, const ReviewCardLayout::Text *> texts[] = {
        {m_title, &m_layout->title}, {m_body, &m_layout->body}, {m_response, &m_layout->response}};
    for (const auto &[widget, text] : texts) {
        widget->setVisible(!text->isEmpty());
        if (!text->isEmpty()) {
            widget->setGeometry(text->rect);
            widget->setLayout(text->layout);
        }
    }
    for (const auto &[kind, button] : m_buttons) {
        const ReviewCardLayout::ButtonRect *place = m_layout->button(kind);
        button->setVisible(place);
        if (place) {
            button->setText(place->label);
            button->setGeometry(place->rect);
        }
    }
    if (const ReviewCardLayout::ButtonRect *place = m_layout->button(Button::share))
        m_share->setGeometry(place->rect);
    update();
}

QList<QWidget *> ReviewView::tabStops() const
{
    QList<QWidget *> stops;
    if (!m_layout)
        return stops;
    for (const ReviewCardLayout::ButtonRect &place : m_layout->buttons) {
        if (place.kind == Button::share)
            stops.append(m_share);
        else if (QPushButton *shown = button(place.kind))
            stops.append(shown);
    }
    return stops;
}

void ReviewView::setMarked(bool marked)
{
    if (marked == m_marked)
        return;
    m_marked = marked;
    update();
}

void ReviewView::clicked(Button kind)
{
    if (!m_responder)
        return;
    // The responder may drop its last other holder while it works.
    const std::shared_ptr<ReviewResponder> responder = m_responder;
    switch (kind) {
    case Button::translate:
        Fennick::TrackEvent(QStringLiteral("Translate"));
        responder->translate();
        break;
    case Button::revert:
        Fennick::TrackEvent(QStringLiteral("Untranslate"));
        responder->untranslate();
        break;
    case Button::write:
        responder->beginEditingResponse(QStringLiteral("WriteResponse"));
        break;
    case Button::edit:
        responder->beginEditingResponse(QStringLiteral("EditResponse"));
        break;
    case Button::remove:
        responder->deleteResponse();
        break;
    case Button::share:
        break;
    }
}

void ReviewView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().brush(QPalette::Base));
    if (m_layout)
        m_layout->paint(painter, QPoint(0, 0), palette(), m_delegate.controls(), event->rect(),
                        ReviewCardLayout::texts | ReviewCardLayout::controls);
    if (m_layout && m_marked)
        m_layout->paintCurrentMark(painter, QPoint(0, 0), palette());
}

bool ReviewView::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && m_layout) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (!m_layout->flagRect.isEmpty() && m_layout->flagRect.contains(help->pos())) {
            QToolTip::showText(help->globalPos(), m_layout->flagToolTip, this, m_layout->flagRect);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

}  // namespace Vantorel
