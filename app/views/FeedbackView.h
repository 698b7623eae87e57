#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace Vantorel {

class FeedbackViewModel;

// The feedback window's form: name, e-mail address and message, and "Send". A successful send
// closes the window; a failed one shows the alert over the form and keeps what was typed.
class FeedbackView : public QWidget {
    Q_OBJECT
public:
    FeedbackView(const QString &token, const QString &productName, const QString &email, QWidget *parent = nullptr);

    FeedbackViewModel &model() const { return *m_model; }
    // The failure alert while it shows.
    QMessageBox *alert() const { return m_alert; }

private:
    void showAlert();
    void updateEnabled();

    FeedbackViewModel *m_model;
    QLineEdit *m_name;
    QLineEdit *m_email;
    QPlainTextEdit *m_message;
    QPushButton *m_send;
    QPointer<QMessageBox> m_alert;
};

}  // namespace Vantorel
