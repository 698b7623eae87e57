#pragma once

#include "Fennick/Credentials.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace fakes {

struct FakeResponse {
    QString id;
    QString body;
};

struct FakeReview {
    QString id;
    int rating = 5;
    QString title;
    QString body;
    QString nickname;
    QString territory = QStringLiteral("USA");
    QString createdDate;  // ISO 8601
    std::optional<FakeResponse> response;
};

struct FakeVersion {
    QString id;
    QString versionString;
    QList<FakeReview> reviews;
};

struct FakeApp {
    QString id;
    QString name;
    QString bundleId;
    QList<FakeVersion> versions;
};

// One API key of an account: the issuer, the key id and its key pair (generated at run time).
struct FakeAccount {
    QString issuerId;
    QString keyId;
    QByteArray privateKeyPem;
    QByteArray publicKeyPem;

    Fennick::Credentials credentials() const { return {keyId, issuerId, privateKeyPem}; }
};

// How to answer one path instead of (or on top of) the normal handling.
struct Override {
    enum class Body { normal, truncated, malformed, replaced };
    int status = 0;  // 0 keeps the status of the normal handling
    int delayMs = 0;
    Body body = Body::normal;
    QByteArray replacement;  // for Body::replaced
};

struct RecordedRequest {
    QByteArray method;
    QByteArray target;  // raw path and query as sent
    QByteArray path;    // raw path, still percent-encoded
    QByteArray body;
    bool authorized = false;
    QString rejection;  // why the token was refused
    QString issuer;     // of an accepted token
    QString appId;      // the app a version or review list belongs to; empty for the app list
    int clientPort = 0;  // tells the client's connections apart
    bool fromPrepared = false;  // answered with a reply built before
    std::chrono::nanoseconds handlingTime{0};  // from the request read to the reply handed over
    std::chrono::steady_clock::time_point receivedAt{};  // when the handling started
};

// A stand-in for App Store Connect on 127.0.0.1. Every request must carry a bearer token whose
// ES256 signature verifies with a public key registered for its issuer and key id (read once, at
// registration), with the right audience, a lifetime of at most 20 minutes and no expiry in the
// past; otherwise 401. Connections are kept open between requests, as the real service does.
// Apps are shared between accounts; each account lists the apps it may see. Thread-safe: tests
// may change the data while requests run.
class FakeConnectServer {
public:
    explicit FakeConnectServer(quint16 port = 0);
    ~FakeConnectServer();
    FakeConnectServer(const FakeConnectServer &) = delete;
    FakeConnectServer &operator=(const FakeConnectServer &) = delete;

    QString baseUrl() const;
    quint16 port() const;

    // A new account with a fresh P-256 key; empty ids are made up.
    FakeAccount addAccount(QString issuerId = {}, QString keyId = {});
    // Another key for an issuer (created when unknown).
    void registerKey(const QString &issuerId, const QString &keyId, const QByteArray &publicPem);

    // Stores the apps (replacing apps of the same id) and lists them for the issuer, in order.
    void setApps(const QString &issuerId, const QList<FakeApp> &apps);
    // Stores or replaces one app and lists it for the issuer when not yet listed.
    void addApp(const QString &issuerId, const FakeApp &app);
    void setReviews(const QString &versionId, const QList<FakeReview> &reviews);
    std::optional<FakeReview> review(const QString &reviewId) const;

    void setOverride(const QByteArray &rawPath, const Override &override);
    void clearOverrides();
    // Added to every request, before the reply.
    void setDelay(int milliseconds);
    // Shifts the server's clock, to age tokens.
    void setClockOffset(qint64 seconds);

    // Builds, outside anyone's timing, the replies to the list requests that an import makes
    // for every account (apps, their versions, the versions' reviews); until the data changes,
    // those requests are answered from them. Replies to other requests are kept as they are
    // first built.
    void prepareReplies();

    int requestCount() const;
    int rejectedCount() const;
    QList<RecordedRequest> requests() const;
    void clearRequests();

    // Measured over the requests since the last clearRequests():
    // The least time an import of them can take, by the server's own handling times: for each
    // account in turn, its app list, then its slowest app's version list and review lists one
    // after another (the apps of an account run at the same time).
    std::chrono::nanoseconds criticalPath() const;
    // The client connections they came on.
    int connectionCount() const;
    // The most requests that were being answered at one time.
    int peakConcurrency() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

// Some apps, versions and reviews with and without responses, for by-hand runs and smoke tests.
QList<FakeApp> sampleApps(int apps = 3, int versionsPerApp = 2, int reviewsPerVersion = 5,
                          const QString &prefix = QStringLiteral("sample"));

}  // namespace fakes
