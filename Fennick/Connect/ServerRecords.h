#pragma once

#include "platform/json/JsonDecoding.h"

#include <QJsonObject>
#include <QString>

#include <concepts>
#include <optional>

namespace Fennick {

// A downloaded resource known by its server identifier; the importer keys rows by it.
template<typename T>
concept ServerItem = requires(const T &item) {
    { item.id } -> std::convertible_to<QString>;
};

// Every record decodes strictly from the service's JSON (a missing or mistyped required member
// throws platform::json::DecodingError) and encodes over the same keys, optional ones only
// when present.

struct ServerApp {
    struct Attributes {
        QString name;
        QString bundleId;

        static Attributes fromJson(const platform::json::ObjectReader &json);
        QJsonObject toJson() const;
        friend bool operator==(const Attributes &, const Attributes &) = default;
    };

    QString id;
    Attributes attributes;

    static ServerApp fromJson(const platform::json::ObjectReader &json);
    QJsonObject toJson() const;
    friend bool operator==(const ServerApp &, const ServerApp &) = default;
};

struct ServerAppVersion {
    struct Attributes {
        QString versionString;

        static Attributes fromJson(const platform::json::ObjectReader &json);
        QJsonObject toJson() const;
        friend bool operator==(const Attributes &, const Attributes &) = default;
    };

    QString id;
    Attributes attributes;

    static ServerAppVersion fromJson(const platform::json::ObjectReader &json);
    QJsonObject toJson() const;
    friend bool operator==(const ServerAppVersion &, const ServerAppVersion &) = default;
};

struct ServerAppResponse {
    struct Attributes {
        QString responseBody;

        static Attributes fromJson(const platform::json::ObjectReader &json);
        QJsonObject toJson() const;
        friend bool operator==(const Attributes &, const Attributes &) = default;
    };

    QString id;
    Attributes attributes;

    static ServerAppResponse fromJson(const platform::json::ObjectReader &json);
    QJsonObject toJson() const;
    friend bool operator==(const ServerAppResponse &, const ServerAppResponse &) = default;
};

struct ServerAppReview {
    struct Attributes {
        QString body;
        qint64 rating = 0;
        QString reviewerNickname;
        QString title;
        QString territory;
        // ISO 8601 text as sent; the importer parses it.
        QString createdDate;

        static Attributes fromJson(const platform::json::ObjectReader &json);
        QJsonObject toJson() const;
        friend bool operator==(const Attributes &, const Attributes &) = default;
    };

    struct Relationships {
        struct RelationshipResponse {
            struct ResponseData {
                QString id;

                static ResponseData fromJson(const platform::json::ObjectReader &json);
                QJsonObject toJson() const;
                friend bool operator==(const ResponseData &, const ResponseData &) = default;
            };

            // The service sends null when the review has no response.
            std::optional<ResponseData> data;

            static RelationshipResponse fromJson(const platform::json::ObjectReader &json);
            QJsonObject toJson() const;
            friend bool operator==(const RelationshipResponse &, const RelationshipResponse &) = default;
        };

        std::optional<RelationshipResponse> response;

        static Relationships fromJson(const platform::json::ObjectReader &json);
        QJsonObject toJson() const;
        friend bool operator==(const Relationships &, const Relationships &) = default;
    };

    QString id;
    Attributes attributes;
    std::optional<Relationships> relationships;
    // Filled by the client from the reply's included resources.
    std::optional<ServerAppResponse> resolvedResponse;

    // relationships.response.data.id, when all three levels are present.
    std::optional<QString> linkedResponseId() const;

    static ServerAppReview fromJson(const platform::json::ObjectReader &json);
    QJsonObject toJson() const;
    friend bool operator==(const ServerAppReview &, const ServerAppReview &) = default;
};

static_assert(ServerItem<ServerApp> && ServerItem<ServerAppVersion> && ServerItem<ServerAppResponse>
              && ServerItem<ServerAppReview> && ServerItem<ServerAppReview::Relationships::RelationshipResponse::ResponseData>);

}  // namespace Fennick
