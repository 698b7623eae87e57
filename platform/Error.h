#pragma once

#include <QException>
#include <QString>

namespace platform {

// The one error type of the system: a domain, a numeric code and the text a user may see.
// Derived from QException so that it crosses QFuture intact; every subclass overrides
// raise() and clone() so that it is not sliced on the way.
class Error : public QException {
public:
    Error(QString domain, qint64 code, QString localizedDescription);

    const QString &domain() const noexcept { return m_domain; }
    qint64 code() const noexcept { return m_code; }
    const QString &localizedDescription() const noexcept { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    Error *clone() const override { return new Error(*this); }

    // Any exception seen as an Error: ours keep domain, code and text; others get a generic one.
    static Error from(const std::exception &exception);

private:
    QString m_domain;
    qint64 m_code;
    QString m_description;
    QByteArray m_what;
};

// URL-loading failures. The codes are the platform's own numbers, because the failure
// reporting rules test for them.
namespace UrlError {
inline const QString domain = QStringLiteral("NSURLErrorDomain");

enum Code : qint64 {
    Unknown = -1,
    Cancelled = -999,
    BadUrl = -1000,
    TimedOut = -1001,
    UnsupportedUrl = -1002,
    CannotFindHost = -1003,
    CannotConnectToHost = -1004,
    NetworkConnectionLost = -1005,
    DnsLookupFailed = -1006,
    HttpTooManyRedirects = -1007,
    ResourceUnavailable = -1008,
    NotConnectedToInternet = -1009,
    BadServerResponse = -1011,
    CannotDecodeRawData = -1015,
    DataLengthExceedsMaximum = -1103,
    SecureConnectionFailed = -1200,
    ServerCertificateUntrusted = -1202,
};

Error make(Code code, const QString &description);
}  // namespace UrlError

}  // namespace platform
