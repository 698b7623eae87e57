#include "platform/http/HttpSession.h"

#include "platform/Error.h"

#include <QCoreApplication>

#include <curl/curl.h>

#include <cerrno>
#include <memory>

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

// The one table from libcurl's failures to the platform's URL error codes, which the failure
// reporting rules test. Anything not listed is UrlError::Unknown with libcurl's own text.
struct CodeMapping {
    CURLcode curl;
    UrlError::Code code;
    const char *description;
};

constexpr CodeMapping codeTable[] = {
    // Only a redirect can lead to another scheme; see transportError() for the other cause.
    {CURLE_UNSUPPORTED_PROTOCOL, UrlError::UnsupportedUrl, "The address uses an unsupported scheme."},
    {CURLE_URL_MALFORMAT, UrlError::BadUrl, "The address is not valid."},
    {CURLE_COULDNT_RESOLVE_PROXY, UrlError::CannotFindHost, "The proxy server could not be found."},
    {CURLE_COULDNT_RESOLVE_HOST, UrlError::CannotFindHost,
     "A server with the specified hostname could not be found."},
    // Refined to NotConnectedToInternet when the system says the network is unreachable.
    {CURLE_COULDNT_CONNECT, UrlError::CannotConnectToHost, "Could not connect to the server."},
    {CURLE_OPERATION_TIMEDOUT, UrlError::TimedOut, "The request timed out."},
    {CURLE_ABORTED_BY_CALLBACK, UrlError::Cancelled, "The request was cancelled."},
    {CURLE_SEND_ERROR, UrlError::NetworkConnectionLost, "The network connection was lost."},
    {CURLE_RECV_ERROR, UrlError::NetworkConnectionLost, "The network connection was lost."},
    {CURLE_PARTIAL_FILE, UrlError::NetworkConnectionLost, "The network connection was lost."},
    {CURLE_GOT_NOTHING, UrlError::NetworkConnectionLost, "The network connection was lost."},
    {CURLE_TOO_MANY_REDIRECTS, UrlError::HttpTooManyRedirects, "Too many HTTP redirects."},
    {CURLE_WEIRD_SERVER_REPLY, UrlError::BadServerResponse, "The server returned an invalid response."},
    {CURLE_HTTP2, UrlError::BadServerResponse, "The server returned an invalid response."},
    {CURLE_HTTP2_STREAM, UrlError::BadServerResponse, "The server returned an invalid response."},
    {CURLE_BAD_CONTENT_ENCODING, UrlError::CannotDecodeRawData, "The reply could not be decoded."},
    {CURLE_FILESIZE_EXCEEDED, UrlError::DataLengthExceedsMaximum, "The reply is larger than 50 MB."},
    {CURLE_SSL_CONNECT_ERROR, UrlError::SecureConnectionFailed,
     "A secure connection to the server could not be made."},
    {CURLE_SSL_CIPHER, UrlError::SecureConnectionFailed,
     "A secure connection to the server could not be made."},
    {CURLE_SSL_CERTPROBLEM, UrlError::SecureConnectionFailed,
     "A secure connection to the server could not be made."},
    {CURLE_SSL_CACERT_BADFILE, UrlError::SecureConnectionFailed,
     "A secure connection to the server could not be made."},
    {CURLE_PEER_FAILED_VERIFICATION, UrlError::ServerCertificateUntrusted,
     "The certificate of the server is not trusted."},
};

Error transportError(CURLcode result, long osErrno, long status, const char *detail)
{
    // The scheme is checked before sending, so without any reply status this means the server
    // answered in something that is not HTTP/1.x or later.
    if (result == CURLE_UNSUPPORTED_PROTOCOL && status == 0)
        return UrlError::make(UrlError::BadServerResponse, text("The server returned an invalid response."));
    if (result == CURLE_COULDNT_CONNECT && (osErrno == ENETUNREACH || osErrno == ENETDOWN))
        return UrlError::make(UrlError::NotConnectedToInternet,
                              text("The Internet connection appears to be offline."));
    for (const CodeMapping &mapping : codeTable) {
        if (mapping.curl == result)
            return UrlError::make(mapping.code, text(mapping.description));
    }
    const QString why = QString::fromUtf8(detail && *detail ? detail : curl_easy_strerror(result));
    return UrlError::make(UrlError::Unknown, text("The request failed: %1").arg(why));
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

struct EasyDeleter {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

bool hasLineBreak(const QByteArray &bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

}  // namespace

QByteArray Response::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

Session &Session::shared()
{
    static Session session;
    return session;
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

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy)
        throw UrlError::make(UrlError::Unknown, text("The request could not be started."));
    CURL *handle = easy.get();

    Transfer transfer;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray url = request.url.toEncoded();

    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maximumBodySize));
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &writeHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
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
    if (request.method == Request::Method::Delete)
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, "DELETE");

    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK) {
        if (transfer.tooLarge)
            throw UrlError::make(UrlError::DataLengthExceedsMaximum, text("The reply is larger than 50 MB."));
        long osErrno = 0;
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osErrno);
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        throw transportError(result, osErrno, status, errorBuffer);
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
