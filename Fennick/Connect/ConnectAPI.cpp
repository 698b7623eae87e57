#include "Fennick/Connect/ConnectAPI.h"

#include "Fennick/Endpoints.h"
#include "Fennick/RequestError.h"
#include "platform/http/HttpSession.h"
#include "platform/jwt/Es256.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QUrl>

namespace Fennick {

using platform::http::HeaderList;
using platform::http::Request;
using platform::json::ObjectReader;

namespace {

// An identifier is one path segment: "/" or "?" in it must not change which resource is asked
// for, and "." or ".." would be folded away by the transport.
QByteArray pathSegment(const QString &identifier)
{
    if (identifier.isEmpty() || identifier == QLatin1String(".") || identifier == QLatin1String(".."))
        throw platform::UrlError::make(
            platform::UrlError::BadUrl,
            QCoreApplication::translate("ConnectAPI", "The identifier \"%1\" does not form a valid address.")
                .arg(identifier));
    return QUrl::toPercentEncoding(identifier);
}

// The path is built after signing, so that a signing failure comes first whatever the identifier.
template<typename MakePath>
platform::http::Response send(Request::Method method, MakePath makePath, HeaderList headers,
                              const QByteArray &body, int expectedStatus, const Credentials &credentials)
{
    const QString token = ConnectAPI().signRequest(credentials);
    Request request;
    request.url = QUrl::fromEncoded(Endpoints::baseUrl(Endpoints::Service::connect).toUtf8() + makePath());
    request.method = method;
    headers.append({QByteArrayLiteral("Authorization"), "Bearer " + token.toLatin1()});
    request.headers = std::move(headers);
    request.body = body;
    request.timeout = ConnectAPI::requestTimeout;

    platform::http::Response response = platform::http::Session::shared().send(request);
    if (response.status <= 0)
        throw RequestError::badResponse();
    if (response.status != expectedStatus)
        throw RequestError::noSuccess(response.status);
    return response;
}

}  // namespace

QString ConnectAPI::signRequest(const Credentials &credentials) const
{
    const QJsonObject header{{QStringLiteral("typ"), QStringLiteral("JWT")},
                             {QStringLiteral("kid"), credentials.keyId}};
    const qint64 issuedAt = QDateTime::currentSecsSinceEpoch();
    const qint64 expires = QDateTime::currentSecsSinceEpoch() + tokenLifetimeSeconds;
    const QJsonObject claims{{QStringLiteral("iss"), credentials.issId},
                             {QStringLiteral("iat"), issuedAt},
                             {QStringLiteral("exp"), expires},
                             {QStringLiteral("aud"), audience}};
    return platform::jwt::signCompact(header, claims, credentials.p8);
}

QList<ServerApp> ConnectAPI::loadApps(const Credentials &credentials) const
{
    const auto response = send(
        Request::Method::Get, [] { return QByteArrayLiteral("/v1/apps?limit=200"); }, {}, {}, 200, credentials);
    return ObjectReader::parse(response.body).requiredArray(QStringLiteral("data"), &ServerApp::fromJson);
}

QList<ServerAppVersion> ConnectAPI::loadAppVersions(const QString &id, const Credentials &credentials) const
{
    const auto path = [&] { return "/v1/apps/" + pathSegment(id) + "/appStoreVersions?limit=200"; };
    const auto response = send(Request::Method::Get, path, {}, {}, 200, credentials);
    return ObjectReader::parse(response.body).requiredArray(QStringLiteral("data"), &ServerAppVersion::fromJson);
}

QList<ServerAppReview> ConnectAPI::loadAppVersionReviews(const QString &id, const Credentials &credentials) const
{
    const auto path = [&] {
        return "/v1/appStoreVersions/" + pathSegment(id)
               + "/customerReviews?limit=200&sort=-createdDate&include=response";
    };
    const auto response = send(Request::Method::Get, path, {}, {}, 200, credentials);
    const ObjectReader reply = ObjectReader::parse(response.body);
    auto reviews = reply.requiredArray(QStringLiteral("data"), &ServerAppReview::fromJson);
    const auto included = reply.optionalArray(QStringLiteral("included"), &ServerAppResponse::fromJson);
    return resolveResponses(std::move(reviews), included);
}

QString ConnectAPI::publishReviewResponse(const QString &text, const QString &reviewId,
                                          const Credentials &credentials) const
{
    const QJsonObject review{{QStringLiteral("data"),
                              QJsonObject{{QStringLiteral("id"), reviewId},
                                          {QStringLiteral("type"), QStringLiteral("customerReviews")}}}};
    const QJsonObject payload{
        {QStringLiteral("data"),
         QJsonObject{{QStringLiteral("attributes"), QJsonObject{{QStringLiteral("responseBody"), text}}},
                     {QStringLiteral("relationships"), QJsonObject{{QStringLiteral("review"), review}}},
                     {QStringLiteral("type"), QStringLiteral("customerReviewResponses")}}}};
    const QByteArray body = QJsonDocument(payload).toJson(QJsonDocument::Compact);
    const HeaderList headers{{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")}};
    const auto response = send(
        Request::Method::Post, [] { return QByteArrayLiteral("/v1/customerReviewResponses"); }, headers, body, 201, credentials);
    return ServerAppResponse::fromJson(ObjectReader::parse(response.body).requiredObject(QStringLiteral("data"))).id;
}

void ConnectAPI::deleteReviewResponse(const QString &responseId, const Credentials &credentials) const
{
    const auto path = [&] { return "/v1/customerReviewResponses/" + pathSegment(responseId); };
    send(Request::Method::Delete, path, {}, {}, 204, credentials);
}

QList<ServerAppReview> ConnectAPI::resolveResponses(QList<ServerAppReview> reviews,
                                                    const std::optional<QList<ServerAppResponse>> &included)
{
    if (!included)
        return reviews;
    for (ServerAppReview &review : reviews) {
        const std::optional<QString> link = review.linkedResponseId();
        if (!link)
            continue;
        const auto match = std::find_if(included->cbegin(), included->cend(),
                                        [&](const ServerAppResponse &response) { return response.id == *link; });
        if (match != included->cend())
            review.resolvedResponse = *match;
    }
    return reviews;
}

}  // namespace Fennick
