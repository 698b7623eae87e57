#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <chrono>
#include <optional>

namespace platform::http {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

struct Request {
    enum class Method { Get, Post, Delete };

    QUrl url;
    Method method = Method::Get;
    // Sent in this order, after the transport's own (Host, Accept unless given here).
    HeaderList headers;
    QByteArray body;
    // The whole exchange must finish within this time; none means no limit of our own.
    std::optional<std::chrono::milliseconds> timeout;
};

struct Response {
    int status = 0;
    // The headers of the final reply (after redirects), in the order received.
    HeaderList headers;
    QByteArray body;

    // The first header of that name, compared case-insensitively; empty when there is none.
    QByteArray header(const QByteArray &name) const;
};

// The process-wide URL session: synchronous, one transfer per call on the calling thread, safe
// to use from any number of threads at once. Transport failures throw platform::Error in
// platform::UrlError::domain; an HTTP reply of any status is returned, not thrown.
// Connections, TLS sessions and name lookups are kept and reused across calls: a call that
// finds an idle connection to its host sends on it, so the number of connections to a host
// stays at the number of calls that ran at once.
class Session {
public:
    // Larger replies fail with UrlError::DataLengthExceedsMaximum rather than filling memory.
    static constexpr qint64 maximumBodySize = 50 * 1024 * 1024;
    static constexpr std::chrono::seconds defaultSilenceLimit{60};

    static Session &shared();

    // Every transfer fails with UrlError::TimedOut after this long without a byte arriving or
    // leaving, also while connecting; a reply that keeps arriving, however slowly, is not cut.
    // Applies to calls started afterwards; tests shorten it.
    static void setSilenceLimit(std::chrono::seconds limit);
    static std::chrono::seconds silenceLimit();

    // Trusts these PEM certificates for TLS in place of the system's authorities, for tests
    // against servers on this machine; an empty argument goes back to the system's.
    static void trustCertificatesForTesting(const QByteArray &pem);

    Response send(const Request &request) const;

    Response get(const QUrl &url, const HeaderList &headers = {},
                 std::optional<std::chrono::milliseconds> timeout = {}) const;
    Response post(const QUrl &url, const QByteArray &body, const HeaderList &headers = {},
                  std::optional<std::chrono::milliseconds> timeout = {}) const;
    Response deleteResource(const QUrl &url, const HeaderList &headers = {},
                            std::optional<std::chrono::milliseconds> timeout = {}) const;

private:
    Session();
    ~Session();
    struct Handles;
    Handles *m_handles;
};

}  // namespace platform::http
