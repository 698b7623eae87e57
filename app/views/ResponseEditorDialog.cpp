#include "app/views/ResponseEditorDialog.h"

#include "Fennick/Records/StoreReview.h"
#include "app/models/ReviewResponder.h"
#include "app/views/ReviewCardLayout.h"
#include "app/views/ReviewCardText.h"
#include "ratingui/RatingView.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QAbstractTextDocumentLayout>
#include <QVBoxLayout>

namespace Vantorel {

using Fennick::StoreReview;

namespace {
constexpr int minimumLines = 3;
}

void showReviewAlert(QWidget *parent, const QString &text, std::function<void()> dismissed)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), text,
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("reviewAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, box, [dismissed = std::move(dismissed)] {
        if (dismissed)
            dismissed();
    });
    box->open();
}

ResponseTextEdit::ResponseTextEdit(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
    setTabChangesFocus(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(document(), &QTextDocument::contentsChanged, this, &QWidget::updateGeometry);
}

int ResponseTextEdit::minimumContentHeight() const
{
    const QMargins margins = contentsMargins() + viewportMargins();
    return fontMetrics().lineSpacing() * minimumLines + 2 * int(document()->documentMargin()) + margins.top()
           + margins.bottom();
}

int ResponseTextEdit::contentHeight() const
{
    const QMargins margins = contentsMargins() + viewportMargins();
    const int content = int(std::ceil(document()->size().height())) + margins.top() + margins.bottom();
    return std::max(minimumContentHeight(), content);
}

QSize ResponseTextEdit::sizeHint() const
{
    return {QTextEdit::sizeHint().width(), contentHeight()};
}

QSize ResponseTextEdit::minimumSizeHint() const
{
    return {QTextEdit::minimumSizeHint().width(), minimumContentHeight()};
}

void ResponseTextEdit::keyPressEvent(QKeyEvent *event)
{
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && (event->modifiers() & (Qt::ShiftModifier | Qt::AltModifier))) {
        textCursor().insertBlock();
        return;
    }
    if (isReturn && !(event->modifiers() & Qt::ControlModifier)) {
        emit submitted();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

ResponseEditorDialog::ResponseEditorDialog(std::shared_ptr<ReviewResponder> responder, QWidget *parent)
    : QDialog(parent),
      m_responder(std::move(responder)),
      m_scroll(new QScrollArea(this)),
      m_reviewText(new ReviewCardText),
      m_field(new ResponseTextEdit(this)),
      m_cancel(new QPushButton(tr("Cancel"), this)),
      m_publish(new QPushButton(tr("Publish"), this)),
      m_progress(new QProgressBar(this))
{
    Q_ASSERT(m_responder);
    const std::shared_ptr<StoreReview> &review = m_responder->review();
    setObjectName(QStringLiteral("responseEditor"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(review->app());
    setMinimumWidth(sheetMinimumWidth);
    setMaximumWidth(sheetMaximumWidth);
    const ReviewCardStyle style = ReviewCardStyle::forFont(font());

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(8);

    auto *headingRow = new QHBoxLayout;
    auto *heading = new QLabel(tr("Responding To:"), this);
    QFont headingFont = style.headline;
    headingFont.setCapitalization(QFont::SmallCaps);
    heading->setFont(headingFont);
    headingRow->addWidget(heading);
    headingRow->addStretch(1);
    headingRow->addWidget(new FennickUI::RatingView(review->rating(), FennickUI::ImageScale::small, this));
    layout->addLayout(headingRow);

    m_scroll->setObjectName(QStringLiteral("reviewScrollArea"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setWidgetResizable(true);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_reviewText->setObjectName(QStringLiteral("reviewText"));
    m_reviewText->setPlainText(review->translatedBody().value_or(review->body()), style.small);
    m_scroll->setWidget(m_reviewText);
    layout->addWidget(m_scroll);

    m_field->setObjectName(QStringLiteral("responseField"));
    m_field->setPlaceholderText(tr("Enter your response..."));
    m_field->setPlainText(review->responseUncommitedBody());
    m_field->moveCursor(QTextCursor::End);
    layout->addWidget(m_field);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(10);
    buttonRow->setContentsMargins(0, 4, 0, 0);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_cancel->setAutoDefault(false);
    m_publish->setObjectName(QStringLiteral("publishButton"));
    m_publish->setDefault(true);
    m_progress->setObjectName(QStringLiteral("publishProgress"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setMaximumSize(64, 12);
    m_progress->setVisible(m_responder->isPublishing());
    buttonRow->addWidget(m_cancel);
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_progress);
    buttonRow->addWidget(m_publish);
    layout->addLayout(buttonRow);

    // The field and the record's draft follow each other.
    connect(m_field, &QTextEdit::textChanged, this, [this] {
        m_responder->review()->setResponseUncommitedBody(m_field->toPlainText());
        updateHeights();
    });
    connect(review.get(), &StoreReview::responseUncommitedBodyChanged, this, [this] {
        const QString draft = m_responder->review()->responseUncommitedBody();
        if (draft != m_field->toPlainText())
            m_field->setPlainText(draft);
    });

    connect(m_field->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &ResponseEditorDialog::updateHeights);

    connect(m_cancel, &QPushButton::clicked, this, [this] { m_responder->setShowEditor(false); });
    connect(m_publish, &QPushButton::clicked, this, [this] { m_responder->publishResponse(); });
    connect(m_field, &ResponseTextEdit::submitted, this, [this] { m_responder->publishResponse(); });
    connect(m_responder.get(), &ReviewResponder::isPublishingChanged, this,
            [this] { m_progress->setVisible(m_responder->isPublishing()); });
    connect(m_responder.get(), &ReviewResponder::showEditorChanged, this, [this] {
        if (!m_responder->showEditor())
            close();
    });
    connect(m_responder.get(), &ReviewResponder::showPublishErrorAlertChanged, this, [this] {
        if (m_responder->showPublishErrorAlert())
            showPublishAlert();
    });

    resize(sheetMinimumWidth, sizeHint().height());
    updateHeights();
    m_field->setFocus();
}

ResponseEditorDialog::~ResponseEditorDialog() = default;

void ResponseEditorDialog::done(int result)
{
    QDialog::done(result);
    m_responder->setShowEditor(false);
}

void ResponseEditorDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    updateHeights();
}

void ResponseEditorDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    updateHeights();
}

void ResponseEditorDialog::updateHeights()
{
    if (m_updatingHeights)
        return;
    m_updatingHeights = true;
    // The review text scrolls beyond 480 points; the field grows without a limit of its own, but
    // the window stays on the screen.
    const int textHeight = m_reviewText->heightForWidth(m_scroll->width());
    m_scroll->setFixedHeight(std::clamp(textHeight, 16, reviewMaximumHeight));
    int fieldHeight = m_field->contentHeight();
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen)
        fieldHeight = std::min(fieldHeight, std::max(m_field->minimumContentHeight(),
                                                     screen->availableGeometry().height() * 2 / 3));
    m_field->setFixedHeight(fieldHeight);
    layout()->activate();
    const int height = layout()->sizeHint().height();
    setMinimumHeight(height);
    setMaximumHeight(height);
    m_updatingHeights = false;
}

void ResponseEditorDialog::showPublishAlert()
{
    std::weak_ptr<ReviewResponder> responder = m_responder;
    // Back to the text, where its cursor was: the focus must not stay on "Publish" (clicked or
    // pressed), where each space typed to correct the text would publish again.
    QPointer<ResponseTextEdit> field = m_field;
    showReviewAlert(this, m_responder->publishAlertError(), [responder, field] {
        if (auto strong = responder.lock())
            strong->setShowPublishErrorAlert(false);
        if (field)
            field->setFocus(Qt::OtherFocusReason);
    });
}

}  // namespace Vantorel
