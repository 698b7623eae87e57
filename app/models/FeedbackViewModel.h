#pragma once

#include "platform/http/HttpSession.h"

#include <QObject>
#include <QString>
#include <chrono>

namespace Vantorel {

// The feedback form's state and its one request: the message goes out as an e-mail through the
// delivery service's HTTP API, from and to the support mailbox. GUI thread only; the request runs
// on a pool of its own. Nothing here is logged or reported: a failure only shows the alert.
class FeedbackViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString userName READ userName WRITE setUserName NOTIFY userNameChanged)
    Q_PROPERTY(QString userEmail READ userEmail WRITE setUserEmail NOTIFY userEmailChanged)
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(bool didFail READ didFail WRITE setDidFail NOTIFY didFailChanged)
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)

public:
    // Fewer user-perceived characters than this keep "Send" disabled.
    static constexpr int minimumMessageLength = 11;
    // The delivery service is slow at worst, never silent for a minute.
    static constexpr std::chrono::seconds requestTimeout{60};

    FeedbackViewModel(QString token, QString productName, QString email, QObject *parent = nullptr);

    const QString &userName() const { return m_userName; }
    void setUserName(const QString &value);
    const QString &userEmail() const { return m_userEmail; }
    void setUserEmail(const QString &value);
    const QString &message() const { return m_message; }
    void setMessage(const QString &value);

    bool isSending() const { return m_isSending; }
    // True while the failure alert shows; closing the alert sets it back to false.
    bool didFail() const { return m_didFail; }
    void setDidFail(bool value);

    // At least 11 user-perceived characters in the message and no request in flight.
    bool canSend() const;

    // The request send() starts: POST to the e-mail service's "/email" with the JSON body.
    platform::http::Request request() const;
    // Only a JSON object whose "ErrorCode" is a number equal to 0 means the e-mail went out;
    // the HTTP status does not matter.
    static bool isSuccessReply(const QByteArray &body);
    // Grapheme clusters: an emoji, even one made of several code points, counts once.
    static int userPerceivedLength(const QString &text);

    // Does nothing unless canSend(). Ends in sent() or with didFail set, then isSending false.
    void send();

signals:
    void userNameChanged();
    void userEmailChanged();
    void messageChanged();
    void isSendingChanged();
    void didFailChanged();
    void canSendChanged();
    // The service took the e-mail; the window closes.
    void sent();

private:
    QByteArray body() const;
    void setIsSending(bool value);
    void updateCanSend();

    const QString m_token;
    const QString m_productName;
    const QString m_email;
    QString m_userName;
    QString m_userEmail;
    QString m_message;
    bool m_isSending = false;
    bool m_didFail = false;
    bool m_canSend = false;
};

}  // namespace Vantorel
