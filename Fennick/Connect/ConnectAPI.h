#pragma once

#include "Fennick/Connect/ServerRecords.h"
#include "Fennick/Credentials.h"

#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace Fennick {

// The client of the App Store Connect REST API. It holds no state: every call signs a fresh
// token and makes one request. All calls are synchronous and meant for worker threads; any
// number may run at once. They throw: signing failures (platform::jwt), transport failures
// (platform::UrlError) and decoding failures (platform::json::DecodingError) unchanged, an
// unexpected status as RequestError::noSuccess, a reply without status as badResponse.
class ConnectAPI {
public:
    static constexpr std::chrono::seconds requestTimeout{60};
    static constexpr qint64 tokenLifetimeSeconds = 1080;
    static inline const QString audience = QStringLiteral("appstoreconnect-v1");

    ConnectAPI() = default;

    // The compact ES256 token for one request.
    QString signRequest(const Credentials &credentials) const;

    QList<ServerApp> loadApps(const Credentials &credentials) const;
    QList<ServerAppVersion> loadAppVersions(const QString &id, const Credentials &credentials) const;
    // The newest reviews of a version, each with its response resolved from the reply.
    QList<ServerAppReview> loadAppVersionReviews(const QString &id, const Credentials &credentials) const;
    // Returns the new response's identifier.
    QString publishReviewResponse(const QString &text, const QString &reviewId,
                                  const Credentials &credentials) const;
    void deleteReviewResponse(const QString &responseId, const Credentials &credentials) const;

    // Gives every review whose link names an included response the first such response.
    static QList<ServerAppReview> resolveResponses(QList<ServerAppReview> reviews,
                                                   const std::optional<QList<ServerAppResponse>> &included);
};

}  // namespace Fennick
