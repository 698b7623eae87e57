#include "platform/http/HttpSession.h"

#include "platform/Error.h"
#include "platform/http/TransportError.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QMutex>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::http {

namespace {

// libcurl's global state must be set up once before any other thread exists; a static object of
// this library runs while the process is still single-threaded.
const struct GlobalInit {
    GlobalInit() { curl_global_init(CURL_GLOBAL_DEFAULT); }
} globalInit;

QString text(const char *source)
{
    return QCoreApplication::translate("platform::http", source);
}

std::atomic<long> silenceSeconds{long(Session::defaultSilenceLimit.count())};

QMutex trustedMutex;
QByteArray trustedForTesting;  // guarded by trustedMutex

// The same scheme, host and port: an idle handle that last spoke to it keeps its connection.
QByteArray originOf(const QUrl &url)
{
    return url.scheme().toLower().toUtf8() + "://" + url.host().toLower().toUtf8() + ':'
           + QByteArray::number(url.port(-1));
}

bool isLoopback(const QUrl &url)
{
    const QString host = url.host().toLower();
    if (host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

struct Transfer {
    QByteArray body;
    HeaderList headers;
    bool tooLarge = false;
};

size_t writeBody(char *data, size_t size, size_t count, void *user)
{
    auto *transfer = static_cast<Transfer *>(user);
    const size_t length = size * count;
    if (transfer->body.size() + qint64(length) > Session::maximumBodySize) {
        transfer->tooLarge = true;
        return 0;
    }
    try {
        transfer->body.append(data, qsizetype(length));
    } catch (...) {
        return 0;
    }
    return length;
}

size_t writeHeader(char *data, size_t size, size_t count, void *user)
{
    auto *transfer = static_cast<Transfer *>(user);
    const size_t length = size * count;
    try {
        const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
        // A new status line starts the headers of the next reply (interim reply or redirect).
        if (line.startsWith("HTTP/")) {
            transfer->headers.clear();
        } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
            const QByteArray name = line.left(colon).trimmed();
            const QByteArray value = line.mid(colon + 1).trimmed();
            transfer->headers.append({name, value});
            // One allocation for the body when its size is announced (and allowed).
            bool known = false;
            const qint64 length = value.toLongLong(&known);
            if (known && length > 0 && length <= Session::maximumBodySize
                && name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                transfer->body.reserve(qsizetype(length));
        }
    } catch (...) {
        return 0;
    }
    return length;
}

struct ListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

bool hasLineBreak(const QByteArray &bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

}  // namespace

// Easy handles kept between calls, each with the connections it opened; they share one cache of
// name lookups and TLS sessions, so that even a new connection resumes its TLS session. A handle
// serves one call at a time, on whichever thread makes it. Connections themselves stay with
// their handle: libcurl does not support one connection cache shared by concurrent threads.
struct Session::Handles {
    // More idle handles than calls ever run at once would only hold connections open.
    static constexpr size_t maximumIdle = 32;

    struct Idle {
        CURL *handle;
        QByteArray origin;
    };

    CURLSH *share = curl_share_init();
    std::mutex shareLocks[CURL_LOCK_DATA_LAST];
    QMutex mutex;
    std::vector<Idle> idle;  // guarded by mutex; the most recently returned last

    Handles()
    {
        if (!share)
            return;
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Handles::lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Handles::unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }

    static void lock(CURL *, curl_lock_data data, curl_lock_access, void *user)
    {
        static_cast<Handles *>(user)->shareLocks[data].lock();
    }
    static void unlock(CURL *, curl_lock_data data, void *user)
    {
        static_cast<Handles *>(user)->shareLocks[data].unlock();
    }

    // An idle handle that last spoke to the origin, else the one used last, else a new one.
    CURL *acquire(const QByteArray &origin)
    {
        {
            const QMutexLocker locker(&mutex);
            if (!idle.empty()) {
                auto chosen = std::find_if(idle.rbegin(), idle.rend(),
                                           [&](const Idle &entry) { return entry.origin == origin; });
                if (chosen == idle.rend())
                    chosen = idle.rbegin();
                CURL *handle = chosen->handle;
                idle.erase(std::next(chosen).base());
                return handle;
            }
        }
        CURL *handle = curl_easy_init();
        if (handle && share)
            curl_easy_setopt(handle, CURLOPT_SHARE, share);
        return handle;
    }

    void release(CURL *handle, const QByteArray &origin)
    {
        // Drops every pointer into the finished call (buffers, header list, body); the handle
        // keeps its connections and the share.
        curl_easy_reset(handle);
        {
            const QMutexLocker locker(&mutex);
            if (idle.size() < maximumIdle) {
                idle.push_back({handle, origin});
                return;
            }
        }
        curl_easy_cleanup(handle);
    }
};

QByteArray Response::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

Session::Session() : m_handles(new Handles) {}

// Never runs: the shared session lives as long as the process, since a call may still be in
// flight on some pool thread while the process exits.
Session::~Session()
{
    delete m_handles;
}

Session &Session::shared()
{
    static Session *session = new Session;
    return *session;
}

void Session::setSilenceLimit(std::chrono::seconds limit)
{
    silenceSeconds.store(std::max<long>(1, long(limit.count())));
}

std::chrono::seconds Session::silenceLimit()
{
    return std::chrono::seconds(silenceSeconds.load());
}

void Session::trustCertificatesForTesting(const QByteArray &pem)
{
    const QMutexLocker locker(&trustedMutex);
    trustedForTesting = pem;
}

Response Session::send(const Request &request) const
{
    const QString scheme = request.url.scheme().toLower();
    if (request.url.isValid() && !scheme.isEmpty() && scheme != QLatin1String("http")
        && scheme != QLatin1String("https"))
        throw UrlError::make(UrlError::UnsupportedUrl, text("The address uses an unsupported scheme."));
    if (!request.url.isValid() || request.url.host().isEmpty())
        throw UrlError::make(UrlError::BadUrl, text("The address is not valid."));

    std::unique_ptr<curl_slist, ListDeleter> headerList;
    auto appendHeader = [&headerList](const QByteArray &line) {
        curl_slist *extended = curl_slist_append(headerList.get(), line.constData());
        if (!extended)
            throw std::bad_alloc();
        (void)headerList.release();
        headerList.reset(extended);
    };
    bool hasContentType = false;
    for (const auto &[name, value] : request.headers) {
        // A line break would let a value smuggle extra headers into the request.
        if (name.isEmpty() || hasLineBreak(name) || hasLineBreak(value) || name.contains(':'))
            throw UrlError::make(UrlError::BadUrl, text("A request header is not valid."));
        hasContentType = hasContentType || name.compare("Content-Type", Qt::CaseInsensitive) == 0;
        // "Name;" is libcurl's way of sending a header with an empty value.
        appendHeader(value.isEmpty() ? name + ';' : name + ": " + value);
    }
    const bool sendsBody = request.method == Request::Method::Post || !request.body.isEmpty();
    if (sendsBody) {
        if (!hasContentType)
            appendHeader("Content-Type:");  // no form-encoding type of libcurl's own
        appendHeader("Expect:");            // no wait for an interim 100 reply
    }
    QByteArray trusted;
    {
        const QMutexLocker locker(&trustedMutex);
        trusted = trustedForTesting;
    }

    const QByteArray origin = originOf(request.url);
    const std::unique_ptr<CURL, std::function<void(CURL *)>> lease(
        m_handles->acquire(origin), [this, &origin](CURL *handle) { m_handles->release(handle, origin); });
    if (!lease)
        throw UrlError::make(UrlError::Unknown, text("The request could not be started."));
    CURL *handle = lease.get();

    Transfer transfer;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray url = request.url.toEncoded();
    const long silence = silenceSeconds.load();

    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // A redirect may leave plain HTTP for HTTPS, never the other way: that would send the rest
    // of the exchange readable on the wire.
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, scheme == QLatin1String("https") ? "https" : "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maximumBodySize));
    // Silence: under one byte a second for that long, or a connection not made in that time.
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, silence);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, silence);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &writeHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    if (!trusted.isEmpty()) {
        curl_blob blob{trusted.data(), size_t(trusted.size()), CURL_BLOB_COPY};
        curl_easy_setopt(handle, CURLOPT_CAINFO_BLOB, &blob);
    }
    if (headerList)
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());
    if (request.timeout) {
        const long milliseconds = std::max<long>(1, long(request.timeout->count()));
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, milliseconds);
    }
    if (sendsBody) {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.constData());
    }
    // libcurl sends a request again, unasked, when a kept connection turns out closed before any
    // reply; for a POST the server may have acted on the first one, so it gets a connection of
    // its own, closed after it.
    if (request.method == Request::Method::Post) {
        curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    }
    if (request.method == Request::Method::Delete)
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, "DELETE");

    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK) {
        if (transfer.tooLarge)
            throw UrlError::make(UrlError::DataLengthExceedsMaximum, text("The reply is larger than 50 MB."));
        TransportFailure failure;
        failure.curlCode = result;
        failure.detail = errorBuffer;
        curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &failure.osErrno);
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &failure.status);
        // The host that failed, which after a redirect is not the one asked for.
        const char *effective = nullptr;
        curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective);
        failure.loopbackTarget = isLoopback(effective ? QUrl::fromEncoded(effective) : request.url);
        failure.networkUp = nonLoopbackNetworkUp();
        throw transportError(failure);
    }

    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    Response response;
    response.status = int(status);
    response.headers = std::move(transfer.headers);
    response.body = std::move(transfer.body);
    return response;
}

Response Session::get(const QUrl &url, const HeaderList &headers,
                      std::optional<std::chrono::milliseconds> timeout) const
{
    return send(Request{url, Request::Method::Get, headers, {}, timeout});
}

Response Session::post(const QUrl &url, const QByteArray &body, const HeaderList &headers,
                       std::optional<std::chrono::milliseconds> timeout) const
{
    return send(Request{url, Request::Method::Post, headers, body, timeout});
}

Response Session::deleteResource(const QUrl &url, const HeaderList &headers,
                                 std::optional<std::chrono::milliseconds> timeout) const
{
    return send(Request{url, Request::Method::Delete, headers, {}, timeout});
}

}  // namespace platform::http
