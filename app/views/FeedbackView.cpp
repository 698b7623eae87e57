#include "app/views/FeedbackView.h"

#include "app/views/WindowShortcuts.h"

#include "app/models/FeedbackViewModel.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Vantorel {

FeedbackView::FeedbackView(const QString &token, const QString &productName, const QString &email, QWidget *parent)
    : QWidget(parent),
      m_model(new FeedbackViewModel(token, productName, email, this)),
      m_name(new QLineEdit(this)),
      m_email(new QLineEdit(this)),
      m_message(new QPlainTextEdit(this)),
      m_send(new QPushButton(tr("Send"), this))
{
    setWindowTitle(tr("Send Feedback"));
    setMinimumSize(420, 220);
    setMaximumSize(680, 540);
    resize(520, 320);
    addCloseShortcuts(*this);

    m_name->setObjectName(QStringLiteral("name"));
    m_name->setPlaceholderText(tr("optional"));
    m_email->setObjectName(QStringLiteral("email"));
    m_email->setPlaceholderText(tr("if you want a response"));
    for (QLineEdit *field : {m_name, m_email})
        field->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setTabChangesFocus(true);
    m_send->setObjectName(QStringLiteral("send"));
    m_send->setDefault(true);

    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(tr("Name:"), m_name);
    form->addRow(tr("Email:"), m_email);
    form->addRow(tr("Message:"), m_message);
    // The label sits level with the editor's first line of text, not with its frame.
    if (auto *label = qobject_cast<QLabel *>(form->labelForField(m_message)))
        label->setContentsMargins(0, m_message->frameWidth() + int(m_message->document()->documentMargin()), 0, 0);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(m_send, QDialogButtonBox::AcceptRole);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addWidget(buttons);

    connect(m_name, &QLineEdit::textEdited, m_model, &FeedbackViewModel::setUserName);
    connect(m_email, &QLineEdit::textEdited, m_model, &FeedbackViewModel::setUserEmail);
    connect(m_message, &QPlainTextEdit::textChanged, this, [this] { m_model->setMessage(m_message->toPlainText()); });
    connect(m_send, &QPushButton::clicked, m_model, &FeedbackViewModel::send);
    connect(m_model, &FeedbackViewModel::canSendChanged, this, &FeedbackView::updateEnabled);
    connect(m_model, &FeedbackViewModel::isSendingChanged, this, &FeedbackView::updateEnabled);
    connect(m_model, &FeedbackViewModel::didFailChanged, this, [this] {
        if (m_model->didFail())
            showAlert();
    });
    connect(m_model, &FeedbackViewModel::sent, this, &QWidget::close);
    updateEnabled();
}

void FeedbackView::updateEnabled()
{
    const bool sending = m_model->isSending();
    for (QWidget *input : {static_cast<QWidget *>(m_name), static_cast<QWidget *>(m_email),
                           static_cast<QWidget *>(m_message)})
        input->setEnabled(!sending);
    m_send->setEnabled(m_model->canSend());
}

void FeedbackView::showAlert()
{
    if (m_alert)
        return;
    m_alert = new QMessageBox(QMessageBox::Warning, windowTitle(), tr("Your feedback could not be sent."),
                              QMessageBox::Ok, this);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    m_alert->setWindowModality(Qt::WindowModal);
    connect(m_alert, &QMessageBox::finished, m_model, [this] { m_model->setDidFail(false); });
    m_alert->open();
}

}  // namespace Vantorel
