#include "platform/http/TransportError.h"

#include <QCoreApplication>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace platform::http {

namespace {

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

Error notConnected()
{
    return UrlError::make(UrlError::NotConnectedToInternet, text("The Internet connection appears to be offline."));
}

}  // namespace

Error transportError(const TransportFailure &failure)
{
    const auto result = CURLcode(failure.curlCode);
    // The scheme is checked before sending, so without any reply status this means the server
    // answered in something that is not HTTP/1.x or later.
    if (result == CURLE_UNSUPPORTED_PROTOCOL && failure.status == 0)
        return UrlError::make(UrlError::BadServerResponse, text("The server returned an invalid response."));
    if (result == CURLE_COULDNT_CONNECT && (failure.osErrno == ENETUNREACH || failure.osErrno == ENETDOWN))
        return notConnected();
    // Without a network, a name cannot be resolved and no outside host answers; this machine's
    // own addresses still can, and a failure there says nothing about the network.
    const bool needsNetwork = result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_RESOLVE_PROXY
                              || result == CURLE_COULDNT_CONNECT;
    if (needsNetwork && !failure.loopbackTarget && !failure.networkUp)
        return notConnected();
    for (const CodeMapping &mapping : codeTable) {
        if (mapping.curl == result)
            return UrlError::make(mapping.code, text(mapping.description));
    }
    const char *detail = failure.detail && *failure.detail ? failure.detail : curl_easy_strerror(result);
    return UrlError::make(UrlError::Unknown, text("The request failed: %1").arg(QString::fromUtf8(detail)));
}

bool reachesBeyondLink(unsigned int interfaceFlags, const sockaddr *address)
{
    if (!address || (interfaceFlags & IFF_LOOPBACK) || !(interfaceFlags & IFF_UP) || !(interfaceFlags & IFF_RUNNING))
        return false;
    if (address->sa_family == AF_INET) {
        const in_addr_t host = ntohl(reinterpret_cast<const sockaddr_in *>(address)->sin_addr.s_addr);
        const bool loopback = (host >> 24) == 127;
        const bool linkLocal = (host >> 16) == 0xa9fe;  // 169.254/16, self-assigned without a network
        return !loopback && !linkLocal && host != INADDR_ANY;
    }
    if (address->sa_family == AF_INET6) {
        // Every interface with a link gets an fe80:: address, network or not.
        const in6_addr &host = reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr;
        return !IN6_IS_ADDR_LOOPBACK(&host) && !IN6_IS_ADDR_LINKLOCAL(&host) && !IN6_IS_ADDR_UNSPECIFIED(&host);
    }
    return false;
}

bool nonLoopbackNetworkUp()
{
    ifaddrs *interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0)
        return true;
    bool up = false;
    for (const ifaddrs *entry = interfaces; entry && !up; entry = entry->ifa_next)
        up = reachesBeyondLink(entry->ifa_flags, entry->ifa_addr);
    ::freeifaddrs(interfaces);
    return up;
}

}  // namespace platform::http
