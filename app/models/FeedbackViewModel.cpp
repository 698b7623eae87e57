#include "app/models/FeedbackViewModel.h"

#include "Fennick/Endpoints.h"
#include "Fennick/WorkerPools.h"
#include "platform/FutureContinuation.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>
#include <QtConcurrent>

#include <limits>
#include <optional>

namespace Vantorel {

namespace {

// Counts grapheme clusters, stopping once `limit` is reached.
int countGraphemes(const QString &text, int limit)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (count < limit && finder.toNextBoundary() > 0)
        ++count;
    return count;
}

}  // namespace

FeedbackViewModel::FeedbackViewModel(QString token, QString productName, QString email, QObject *parent)
    : QObject(parent), m_token(std::move(token)), m_productName(std::move(productName)), m_email(std::move(email))
{
}

void FeedbackViewModel::setUserName(const QString &value)
{
    if (value == m_userName)
        return;
    m_userName = value;
    emit userNameChanged();
}

void FeedbackViewModel::setUserEmail(const QString &value)
{
    if (value == m_userEmail)
        return;
    m_userEmail = value;
    emit userEmailChanged();
}

void FeedbackViewModel::setMessage(const QString &value)
{
    if (value == m_message)
        return;
    m_message = value;
    emit messageChanged();
    updateCanSend();
}

void FeedbackViewModel::setDidFail(bool value)
{
    if (value == m_didFail)
        return;
    m_didFail = value;
    emit didFailChanged();
}

void FeedbackViewModel::setIsSending(bool value)
{
    if (value == m_isSending)
        return;
    m_isSending = value;
    emit isSendingChanged();
    updateCanSend();
}

bool FeedbackViewModel::canSend() const
{
    return m_canSend;
}

void FeedbackViewModel::updateCanSend()
{
    const bool value = !m_isSending && countGraphemes(m_message, minimumMessageLength) >= minimumMessageLength;
    if (value == m_canSend)
        return;
    m_canSend = value;
    emit canSendChanged();
}

int FeedbackViewModel::userPerceivedLength(const QString &text)
{
    return countGraphemes(text, std::numeric_limits<int>::max());
}

QByteArray FeedbackViewModel::body() const
{
    QJsonObject object{
        {QStringLiteral("From"), m_email},
        {QStringLiteral("To"), m_email},
        {QStringLiteral("Subject"), m_productName + QStringLiteral(" Feedback")},
        {QStringLiteral("TextBody"),
         m_userName.isEmpty() ? m_message : QStringLiteral("%1 wrote:\n\n").arg(m_userName) + m_message},
    };
    // Taken as typed: the reply-to address is neither trimmed nor checked.
    if (!m_userEmail.isEmpty())
        object.insert(QStringLiteral("ReplyTo"), m_userEmail);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

platform::http::Request FeedbackViewModel::request() const
{
    platform::http::Request request;
    request.url = QUrl(Fennick::Endpoints::baseUrl(Fennick::Endpoints::Service::email) + QStringLiteral("/email"));
    request.method = platform::http::Request::Method::Post;
    request.headers = {{"Accept", "application/json"},
                       {"Content-Type", "application/json"},
                       {"X-Postmark-Server-Token", m_token.toUtf8()}};
    request.body = body();
    request.timeout = requestTimeout;
    return request;
}

bool FeedbackViewModel::isSuccessReply(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonValue code = document.object().value(QStringLiteral("ErrorCode"));
    return code.isDouble() && code.toDouble() == 0.0;
}

void FeedbackViewModel::send()
{
    if (!canSend())
        return;
    const platform::http::Request request = this->request();
    setIsSending(true);
    // A transport failure delivers no data; the status of a reply is not looked at.
    const QFuture<std::optional<QByteArray>> reply =
        QtConcurrent::run(&Fennick::WorkerPools::feedbackRequests(), [request]() -> std::optional<QByteArray> {
            try {
                return platform::http::Session::shared().send(request).body;
            } catch (const std::exception &) {
                return std::nullopt;
            }
        });
    platform::whenFinished(reply, this, [this](const QFuture<std::optional<QByteArray>> &done) {
        const std::optional<QByteArray> data = done.result();
        if (data && isSuccessReply(*data))
            emit sent();
        else
            setDidFail(true);
        setIsSending(false);
    });
}

}  // namespace Vantorel
