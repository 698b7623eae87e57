#include "Fennick/Connect/ServerRecords.h"

namespace Fennick {

using platform::json::ObjectReader;

namespace {

const QString idKey = QStringLiteral("id");
const QString attributesKey = QStringLiteral("attributes");

}  // namespace

ServerApp::Attributes ServerApp::Attributes::fromJson(const ObjectReader &json)
{
    return {json.requiredString(QStringLiteral("name")), json.requiredString(QStringLiteral("bundleId"))};
}

QJsonObject ServerApp::Attributes::toJson() const
{
    return {{QStringLiteral("name"), name}, {QStringLiteral("bundleId"), bundleId}};
}

ServerApp ServerApp::fromJson(const ObjectReader &json)
{
    return {json.requiredString(idKey), Attributes::fromJson(json.requiredObject(attributesKey))};
}

QJsonObject ServerApp::toJson() const
{
    return {{idKey, id}, {attributesKey, attributes.toJson()}};
}

ServerAppVersion::Attributes ServerAppVersion::Attributes::fromJson(const ObjectReader &json)
{
    return {json.requiredString(QStringLiteral("versionString"))};
}

QJsonObject ServerAppVersion::Attributes::toJson() const
{
    return {{QStringLiteral("versionString"), versionString}};
}

ServerAppVersion ServerAppVersion::fromJson(const ObjectReader &json)
{
    return {json.requiredString(idKey), Attributes::fromJson(json.requiredObject(attributesKey))};
}

QJsonObject ServerAppVersion::toJson() const
{
    return {{idKey, id}, {attributesKey, attributes.toJson()}};
}

ServerAppResponse::Attributes ServerAppResponse::Attributes::fromJson(const ObjectReader &json)
{
    return {json.requiredString(QStringLiteral("responseBody"))};
}

QJsonObject ServerAppResponse::Attributes::toJson() const
{
    return {{QStringLiteral("responseBody"), responseBody}};
}

ServerAppResponse ServerAppResponse::fromJson(const ObjectReader &json)
{
    return {json.requiredString(idKey), Attributes::fromJson(json.requiredObject(attributesKey))};
}

QJsonObject ServerAppResponse::toJson() const
{
    return {{idKey, id}, {attributesKey, attributes.toJson()}};
}

ServerAppReview::Attributes ServerAppReview::Attributes::fromJson(const ObjectReader &json)
{
    Attributes attributes;
    attributes.body = json.requiredString(QStringLiteral("body"));
    attributes.rating = json.requiredInteger(QStringLiteral("rating"));
    attributes.reviewerNickname = json.requiredString(QStringLiteral("reviewerNickname"));
    attributes.title = json.requiredString(QStringLiteral("title"));
    attributes.territory = json.requiredString(QStringLiteral("territory"));
    attributes.createdDate = json.requiredString(QStringLiteral("createdDate"));
    return attributes;
}

QJsonObject ServerAppReview::Attributes::toJson() const
{
    return {{QStringLiteral("body"), body},
            {QStringLiteral("rating"), rating},
            {QStringLiteral("reviewerNickname"), reviewerNickname},
            {QStringLiteral("title"), title},
            {QStringLiteral("territory"), territory},
            {QStringLiteral("createdDate"), createdDate}};
}

using RelationshipResponse = ServerAppReview::Relationships::RelationshipResponse;

RelationshipResponse::ResponseData RelationshipResponse::ResponseData::fromJson(const ObjectReader &json)
{
    return {json.requiredString(idKey)};
}

QJsonObject RelationshipResponse::ResponseData::toJson() const
{
    return {{idKey, id}};
}

RelationshipResponse RelationshipResponse::fromJson(const ObjectReader &json)
{
    RelationshipResponse response;
    if (const auto data = json.optionalObject(QStringLiteral("data")))
        response.data = ResponseData::fromJson(*data);
    return response;
}

QJsonObject RelationshipResponse::toJson() const
{
    QJsonObject json;
    if (data)
        json.insert(QStringLiteral("data"), data->toJson());
    return json;
}

ServerAppReview::Relationships ServerAppReview::Relationships::fromJson(const ObjectReader &json)
{
    Relationships relationships;
    if (const auto response = json.optionalObject(QStringLiteral("response")))
        relationships.response = RelationshipResponse::fromJson(*response);
    return relationships;
}

QJsonObject ServerAppReview::Relationships::toJson() const
{
    QJsonObject json;
    if (response)
        json.insert(QStringLiteral("response"), response->toJson());
    return json;
}

std::optional<QString> ServerAppReview::linkedResponseId() const
{
    if (relationships && relationships->response && relationships->response->data)
        return relationships->response->data->id;
    return std::nullopt;
}

ServerAppReview ServerAppReview::fromJson(const ObjectReader &json)
{
    ServerAppReview review;
    review.id = json.requiredString(idKey);
    review.attributes = Attributes::fromJson(json.requiredObject(attributesKey));
    if (const auto relationships = json.optionalObject(QStringLiteral("relationships")))
        review.relationships = Relationships::fromJson(*relationships);
    if (const auto response = json.optionalObject(QStringLiteral("resolvedResponse")))
        review.resolvedResponse = ServerAppResponse::fromJson(*response);
    return review;
}

QJsonObject ServerAppReview::toJson() const
{
    QJsonObject json{{idKey, id}, {attributesKey, attributes.toJson()}};
    if (relationships)
        json.insert(QStringLiteral("relationships"), relationships->toJson());
    if (resolvedResponse)
        json.insert(QStringLiteral("resolvedResponse"), resolvedResponse->toJson());
    return json;
}

}  // namespace Fennick
