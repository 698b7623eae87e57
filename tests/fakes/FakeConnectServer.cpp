#include "FakeConnectServer.h"

#include "LoopbackServer.h"

#include "TestCrypto.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QUrl>
#include <QUrlQuery>

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace fakes {

namespace {

constexpr qint64 maximumTokenLifetime = 20 * 60;
constexpr qint64 allowedClockSkew = 60;

struct Reply {
    int status = 200;
    QByteArray body;
};

Reply errorReply(int status, const QString &code, const QString &detail)
{
    const QJsonObject error{{QStringLiteral("status"), QString::number(status)},
                            {QStringLiteral("code"), code},
                            {QStringLiteral("title"), code},
                            {QStringLiteral("detail"), detail}};
    return {status, QJsonDocument(QJsonObject{{QStringLiteral("errors"), QJsonArray{error}}}).toJson(QJsonDocument::Compact)};
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject responseResource(const FakeResponse &response)
{
    return {{QStringLiteral("type"), QStringLiteral("customerReviewResponses")},
            {QStringLiteral("id"), response.id},
            {QStringLiteral("attributes"),
             QJsonObject{{QStringLiteral("responseBody"), response.body},
                         {QStringLiteral("lastModifiedDate"), QStringLiteral("2024-01-01T00:00:00-07:00")},
                         {QStringLiteral("state"), QStringLiteral("PUBLISHED")}}},
            {QStringLiteral("links"), QJsonObject{{QStringLiteral("self"), QStringLiteral("https://example.invalid/r")}}}};
}

}  // namespace

struct FakeConnectServer::State {
    struct Issuer {
        QHash<QString, std::shared_ptr<const PublicKey>> publicKeys;  // by key id
        QStringList appIds;
    };

    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    QHash<QString, Issuer> issuers;
    QList<FakeApp> apps;
    QHash<QByteArray, Override> overrides;
    QList<RecordedRequest> recorded;
    int delayMs = 0;
    qint64 clockOffset = 0;
    int requestCount = 0;
    int rejectedCount = 0;
    int inFlight = 0;
    int peakInFlight = 0;
    int nextResponse = 1;
    int nextAccount = 1;
    // Replies to GET requests by issuer and target, valid while `generation` stays the same.
    QHash<QByteArray, Reply> prepared;
    quint64 generation = 0;

    using Issuers = QHash<QString, Issuer>;

    static const FakeApp *findAppIn(const QList<FakeApp> &apps, const QString &id)
    {
        const auto found = std::find_if(apps.cbegin(), apps.cend(), [&](const FakeApp &app) { return app.id == id; });
        return found == apps.cend() ? nullptr : &*found;
    }

    static const FakeVersion *findVersionIn(const QList<FakeApp> &apps, const QString &id, QString *appId)
    {
        for (const FakeApp &app : apps) {
            for (const FakeVersion &version : app.versions) {
                if (version.id == id) {
                    *appId = app.id;
                    return &version;
                }
            }
        }
        return nullptr;
    }

    FakeApp *findApp(const QString &id)
    {
        const auto found = std::find_if(apps.begin(), apps.end(), [&](const FakeApp &app) { return app.id == id; });
        return found == apps.end() ? nullptr : &*found;
    }

    FakeVersion *findVersion(const QString &id, QString *appId = nullptr)
    {
        for (FakeApp &app : apps) {
            for (FakeVersion &version : app.versions) {
                if (version.id == id) {
                    if (appId)
                        *appId = app.id;
                    return &version;
                }
            }
        }
        return nullptr;
    }

    FakeReview *findReview(const QString &id)
    {
        for (FakeApp &app : apps)
            for (FakeVersion &version : app.versions)
                for (FakeReview &review : version.reviews)
                    if (review.id == id)
                        return &review;
        return nullptr;
    }

    FakeReview *findReviewByResponse(const QString &responseId)
    {
        for (FakeApp &app : apps)
            for (FakeVersion &version : app.versions)
                for (FakeReview &review : version.reviews)
                    if (review.response && review.response->id == responseId)
                        return &review;
        return nullptr;
    }

    // Every change of the data goes through here (under the lock): kept replies are stale.
    void changed()
    {
        prepared.clear();
        ++generation;
    }

    static QByteArray preparedKey(const QString &issuer, const QByteArray &target)
    {
        return issuer.toUtf8() + '\n' + target;
    }

    void storeApp(const FakeApp &app)
    {
        changed();
        if (FakeApp *existing = findApp(app.id))
            *existing = app;
        else
            apps.append(app);
    }

    // The issuer whose key signed the token, or why the token is refused. Works on a copy of the
    // keys, so that the signature check runs outside the lock.
    static std::optional<QString> authenticate(const httplib::Request &request, const Issuers &issuers,
                                               qint64 clockOffset, QString *why)
    {
        const std::string authorization = request.get_header_value("Authorization");
        const std::string prefix = "Bearer ";
        if (authorization.rfind(prefix, 0) != 0) {
            *why = QStringLiteral("no bearer token");
            return std::nullopt;
        }
        const auto token = decodeToken(QByteArray::fromStdString(authorization.substr(prefix.size())));
        if (!token) {
            *why = QStringLiteral("malformed token");
            return std::nullopt;
        }
        if (token->header.value(QStringLiteral("alg")).toString() != QLatin1String("ES256")
            || token->header.value(QStringLiteral("typ")).toString() != QLatin1String("JWT")) {
            *why = QStringLiteral("wrong algorithm or type");
            return std::nullopt;
        }
        const QString issuer = token->claims.value(QStringLiteral("iss")).toString();
        const QString keyId = token->header.value(QStringLiteral("kid")).toString();
        const auto account = issuers.constFind(issuer);
        if (account == issuers.constEnd() || !account->publicKeys.contains(keyId)) {
            *why = QStringLiteral("unknown issuer or key id");
            return std::nullopt;
        }
        if (!account->publicKeys.value(keyId)->verifyEs256(token->signingInput, token->signature)) {
            *why = QStringLiteral("bad signature");
            return std::nullopt;
        }
        if (token->claims.value(QStringLiteral("aud")).toString() != QLatin1String("appstoreconnect-v1")) {
            *why = QStringLiteral("wrong audience");
            return std::nullopt;
        }
        const QJsonValue issuedAt = token->claims.value(QStringLiteral("iat"));
        const QJsonValue expires = token->claims.value(QStringLiteral("exp"));
        if (!issuedAt.isDouble() || !expires.isDouble()) {
            *why = QStringLiteral("missing times");
            return std::nullopt;
        }
        const double now = double(QDateTime::currentSecsSinceEpoch() + clockOffset);
        if (expires.toDouble() <= now) {
            *why = QStringLiteral("expired");
            return std::nullopt;
        }
        if (issuedAt.toDouble() > now + allowedClockSkew
            || expires.toDouble() - issuedAt.toDouble() > double(maximumTokenLifetime)) {
            *why = QStringLiteral("lifetime too long");
            return std::nullopt;
        }
        return issuer;
    }

    // The read handlers work on copies of the data (cheap: Qt containers share until written).
    static Reply listApps(const Issuers &issuers, const QList<FakeApp> &apps, const QString &issuer, int limit)
    {
        QJsonArray data;
        for (const QString &appId : issuers.value(issuer).appIds) {
            const auto app = std::find_if(apps.cbegin(), apps.cend(), [&](const FakeApp &a) { return a.id == appId; });
            if (app == apps.cend() || data.size() >= limit)
                continue;
            data.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("apps")},
                                    {QStringLiteral("id"), app->id},
                                    {QStringLiteral("attributes"),
                                     QJsonObject{{QStringLiteral("name"), app->name},
                                                 {QStringLiteral("bundleId"), app->bundleId},
                                                 {QStringLiteral("sku"), app->id},
                                                 {QStringLiteral("primaryLocale"), QStringLiteral("en-US")}}}});
        }
        return {200, compact({{QStringLiteral("data"), data}, {QStringLiteral("meta"), QJsonObject{}}})};
    }

    static Reply listVersions(const Issuers &issuers, const QList<FakeApp> &apps, const QString &issuer,
                              const QString &appId, int limit)
    {
        const FakeApp *app = findAppIn(apps, appId);
        if (!app || !issuers.value(issuer).appIds.contains(appId))
            return errorReply(404, QStringLiteral("NOT_FOUND"), QStringLiteral("no such app"));
        QJsonArray data;
        for (const FakeVersion &version : app->versions) {
            if (data.size() >= limit)
                break;
            data.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("appStoreVersions")},
                                    {QStringLiteral("id"), version.id},
                                    {QStringLiteral("attributes"),
                                     QJsonObject{{QStringLiteral("versionString"), version.versionString},
                                                 {QStringLiteral("platform"), QStringLiteral("IOS")}}}});
        }
        return {200, compact({{QStringLiteral("data"), data}})};
    }

    static Reply listReviews(const Issuers &issuers, const QList<FakeApp> &apps, const QString &issuer,
                             const QString &versionId, const QUrlQuery &query)
    {
        QString appId;
        const FakeVersion *version = findVersionIn(apps, versionId, &appId);
        if (!version || !issuers.value(issuer).appIds.contains(appId))
            return errorReply(404, QStringLiteral("NOT_FOUND"), QStringLiteral("no such version"));
        QList<FakeReview> reviews = version->reviews;
        if (query.queryItemValue(QStringLiteral("sort")) == QLatin1String("-createdDate"))
            std::stable_sort(reviews.begin(), reviews.end(),
                             [](const FakeReview &a, const FakeReview &b) { return a.createdDate > b.createdDate; });
        const int limit = std::clamp(query.queryItemValue(QStringLiteral("limit")).toInt(), 1, 200);
        const bool include = query.queryItemValue(QStringLiteral("include")) == QLatin1String("response");

        QJsonArray data;
        QJsonArray included;
        for (const FakeReview &review : reviews.mid(0, limit)) {
            QJsonObject responseLink;
            if (review.response) {
                responseLink.insert(QStringLiteral("data"),
                                    QJsonObject{{QStringLiteral("type"), QStringLiteral("customerReviewResponses")},
                                                {QStringLiteral("id"), review.response->id}});
                if (include)
                    included.append(responseResource(*review.response));
            } else {
                responseLink.insert(QStringLiteral("data"), QJsonValue::Null);
            }
            data.append(QJsonObject{
                {QStringLiteral("type"), QStringLiteral("customerReviews")},
                {QStringLiteral("id"), review.id},
                {QStringLiteral("attributes"),
                 QJsonObject{{QStringLiteral("rating"), review.rating},
                             {QStringLiteral("title"), review.title},
                             {QStringLiteral("body"), review.body},
                             {QStringLiteral("reviewerNickname"), review.nickname},
                             {QStringLiteral("createdDate"), review.createdDate},
                             {QStringLiteral("territory"), review.territory}}},
                {QStringLiteral("relationships"), QJsonObject{{QStringLiteral("response"), responseLink}}}});
        }
        QJsonObject reply{{QStringLiteral("data"), data},
                          {QStringLiteral("meta"),
                           QJsonObject{{QStringLiteral("paging"),
                                        QJsonObject{{QStringLiteral("total"), reviews.size()},
                                                    {QStringLiteral("limit"), limit}}}}}};
        if (!included.isEmpty())
            reply.insert(QStringLiteral("included"), included);
        return {200, compact(reply)};
    }

    Reply publish(const QByteArray &body)
    {
        const QJsonObject data = QJsonDocument::fromJson(body).object().value(QStringLiteral("data")).toObject();
        const QJsonValue text = data.value(QStringLiteral("attributes")).toObject().value(QStringLiteral("responseBody"));
        const QJsonObject reviewRef = data.value(QStringLiteral("relationships"))
                                          .toObject()
                                          .value(QStringLiteral("review"))
                                          .toObject()
                                          .value(QStringLiteral("data"))
                                          .toObject();
        if (data.value(QStringLiteral("type")).toString() != QLatin1String("customerReviewResponses")
            || reviewRef.value(QStringLiteral("type")).toString() != QLatin1String("customerReviews")
            || !reviewRef.value(QStringLiteral("id")).isString() || !text.isString())
            return errorReply(422, QStringLiteral("ENTITY_UNPROCESSABLE"), QStringLiteral("bad payload"));
        FakeReview *review = findReview(reviewRef.value(QStringLiteral("id")).toString());
        if (!review)
            return errorReply(404, QStringLiteral("NOT_FOUND"), QStringLiteral("no such review"));
        changed();
        review->response = FakeResponse{QStringLiteral("response-%1").arg(nextResponse++), text.toString()};
        return {201, compact({{QStringLiteral("data"), responseResource(*review->response)}})};
    }

    Reply remove(const QString &responseId)
    {
        FakeReview *review = findReviewByResponse(responseId);
        if (!review)
            return errorReply(404, QStringLiteral("NOT_FOUND"), QStringLiteral("no such response"));
        changed();
        review->response.reset();
        return {204, {}};
    }

    Reply route(const QByteArray &method, const QList<QByteArray> &segments, const QUrlQuery &query,
                const QString &issuer, const QByteArray &body, const Issuers &issuersCopy,
                const QList<FakeApp> &appsCopy)
    {
        const int limit = std::clamp(query.queryItemValue(QStringLiteral("limit")).toInt(), 1, 200);
        auto segment = [&](int index) { return QString::fromUtf8(QByteArray::fromPercentEncoding(segments[index])); };
        const qsizetype count = segments.size();
        if (count < 3 || !segments[0].isEmpty() || segments[1] != "v1")
            return errorReply(404, QStringLiteral("NOT_FOUND"), QStringLiteral("no such path"));
        if (method == "GET" && count == 3 && segments[2] == "apps")
            return listApps(issuersCopy, appsCopy, issuer, limit);
        if (method == "GET" && count == 5 && segments[2] == "apps" && segments[4] == "appStoreVersions")
            return listVersions(issuersCopy, appsCopy, issuer, segment(3), limit);
        if (method == "GET" && count == 5 && segments[2] == "appStoreVersions" && segments[4] == "customerReviews")
            return listReviews(issuersCopy, appsCopy, issuer, segment(3), query);
        if (method == "POST" && count == 3 && segments[2] == "customerReviewResponses") {
            const std::lock_guard lock(mutex);
            return publish(body);
        }
        if (method == "DELETE" && count == 4 && segments[2] == "customerReviewResponses") {
            const std::lock_guard lock(mutex);
            return remove(segment(3));
        }
        return errorReply(404, QStringLiteral("NOT_FOUND"), QStringLiteral("no such path"));
    }

    // Builds the reply to a request whose token named `issuer`.
    Reply build(const QByteArray &method, const QByteArray &target, const QString &issuer, const QByteArray &body,
                const Issuers &issuersCopy, const QList<FakeApp> &appsCopy)
    {
        const qsizetype question = target.indexOf('?');
        const QByteArray rawPath = question < 0 ? target : target.left(question);
        const QUrlQuery query(QString::fromUtf8(question < 0 ? QByteArray() : target.mid(question + 1)));
        return route(method, rawPath.split('/'), query, issuer, body, issuersCopy, appsCopy);
    }

    // A kept reply to a GET, else a new one, kept unless the data changed since `seen`.
    Reply answer(const QByteArray &method, const QByteArray &target, const QString &issuer, const QByteArray &body,
                 const Issuers &issuersCopy, const QList<FakeApp> &appsCopy, quint64 seen, bool *fromPrepared)
    {
        if (method != "GET")
            return build(method, target, issuer, body, issuersCopy, appsCopy);
        const QByteArray key = preparedKey(issuer, target);
        {
            const std::lock_guard lock(mutex);
            const auto found = prepared.constFind(key);
            *fromPrepared = found != prepared.constEnd();
            if (*fromPrepared)
                return *found;
        }
        Reply reply = build(method, target, issuer, body, issuersCopy, appsCopy);
        const std::lock_guard lock(mutex);
        if (generation == seen)
            prepared.insert(key, reply);
        return reply;
    }

    // The app that a version or review list belongs to.
    static QString appOf(const QList<QByteArray> &segments, const QList<FakeApp> &apps)
    {
        if (segments.size() != 5)
            return {};
        const QString id = QString::fromUtf8(QByteArray::fromPercentEncoding(segments[3]));
        if (segments[2] == "apps")
            return id;
        QString appId;
        if (segments[2] == "appStoreVersions")
            findVersionIn(apps, id, &appId);
        return appId;
    }

    void handle(const httplib::Request &request, httplib::Response &response)
    {
        const auto started = std::chrono::steady_clock::now();
        const QByteArray target = QByteArray::fromStdString(request.target);
        const qsizetype question = target.indexOf('?');
        const QByteArray rawPath = question < 0 ? target : target.left(question);

        RecordedRequest record{QByteArray::fromStdString(request.method), target, rawPath,
                               QByteArray::fromStdString(request.body), false, {}, {}, {}, request.remote_port, false, {}};
        Issuers issuersCopy;
        QList<FakeApp> appsCopy;
        Override override;
        qint64 offset = 0;
        int delay = 0;
        quint64 seen = 0;
        {
            const std::lock_guard lock(mutex);
            ++requestCount;
            peakInFlight = std::max(peakInFlight, ++inFlight);
            issuersCopy = issuers;
            appsCopy = apps;
            override = overrides.value(rawPath);
            offset = clockOffset;
            delay = delayMs;
            seen = generation;
        }

        Reply reply;
        const std::optional<QString> issuer = authenticate(request, issuersCopy, offset, &record.rejection);
        record.authorized = issuer.has_value();
        if (issuer) {
            record.issuer = *issuer;
            record.appId = appOf(rawPath.split('/'), appsCopy);
            reply = answer(record.method, target, *issuer, record.body, issuersCopy, appsCopy, seen, &record.fromPrepared);
            delay += override.delayMs;
        } else {
            override = {};
            reply = errorReply(401, QStringLiteral("NOT_AUTHORIZED"), record.rejection);
        }
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));

        if (override.status != 0)
            reply.status = override.status;
        switch (override.body) {
        case Override::Body::normal: break;
        case Override::Body::truncated: reply.body.truncate(reply.body.size() / 2); break;
        case Override::Body::malformed: reply.body = "{\"data\": [ <html>Service Unavailable</html>"; break;
        case Override::Body::replaced: reply.body = override.replacement; break;
        }
        response.status = reply.status;
        // With a charset the server leaves the body uncompressed: its brotli at full strength would
        // cost far more than everything measured here.
        if (!reply.body.isEmpty() || reply.status != 204)
            response.set_content(reply.body.toStdString(), "application/json; charset=utf-8");

        record.handlingTime = std::chrono::steady_clock::now() - started;
        record.receivedAt = started;
        const std::lock_guard lock(mutex);
        --inFlight;
        rejectedCount += issuer ? 0 : 1;
        recorded.append(record);
    }
};

FakeConnectServer::FakeConnectServer(quint16 port) : d(std::make_unique<State>())
{
    d->server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    // A client may keep its connection for every request of a long import.
    d->server.set_keep_alive_max_count(100000);
    auto handler = [this](const httplib::Request &request, httplib::Response &response) { d->handle(request, response); };
    d->server.Get(".*", handler);
    d->server.Post(".*", handler);
    d->server.Delete(".*", handler);
    d->port = startOnLoopback(d->server, d->thread, port, "the fake App Store Connect");
}

FakeConnectServer::~FakeConnectServer()
{
    stopOnLoopback(d->server, d->thread, quint16(d->port));
}

QString FakeConnectServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(d->port);
}

quint16 FakeConnectServer::port() const
{
    return quint16(d->port);
}

FakeAccount FakeConnectServer::addAccount(QString issuerId, QString keyId)
{
    int number = 0;
    {
        const std::lock_guard lock(d->mutex);
        number = d->nextAccount++;
    }
    if (issuerId.isEmpty())
        issuerId = QStringLiteral("69a6de7e-0000-47e3-e053-5b8c7c11a4d%1").arg(number);
    if (keyId.isEmpty())
        keyId = QStringLiteral("KEY%1ABCDE").arg(number, 3, 10, QLatin1Char('0'));
    const KeyPair keys = generateKeyPair();
    registerKey(issuerId, keyId, keys.publicPem);
    return {issuerId, keyId, keys.privatePem, keys.publicPem};
}

void FakeConnectServer::registerKey(const QString &issuerId, const QString &keyId, const QByteArray &publicPem)
{
    auto key = std::make_shared<const PublicKey>(publicPem);
    const std::lock_guard lock(d->mutex);
    d->issuers[issuerId].publicKeys.insert(keyId, std::move(key));
}

void FakeConnectServer::setApps(const QString &issuerId, const QList<FakeApp> &apps)
{
    const std::lock_guard lock(d->mutex);
    QStringList ids;
    for (const FakeApp &app : apps) {
        d->storeApp(app);
        ids.append(app.id);
    }
    d->issuers[issuerId].appIds = ids;
    d->changed();
}

void FakeConnectServer::addApp(const QString &issuerId, const FakeApp &app)
{
    const std::lock_guard lock(d->mutex);
    d->storeApp(app);
    QStringList &ids = d->issuers[issuerId].appIds;
    if (!ids.contains(app.id))
        ids.append(app.id);
    d->changed();
}

void FakeConnectServer::setReviews(const QString &versionId, const QList<FakeReview> &reviews)
{
    const std::lock_guard lock(d->mutex);
    if (FakeVersion *version = d->findVersion(versionId)) {
        version->reviews = reviews;
        d->changed();
    }
    else
        throw std::invalid_argument("unknown version");
}

std::optional<FakeReview> FakeConnectServer::review(const QString &reviewId) const
{
    const std::lock_guard lock(d->mutex);
    if (const FakeReview *review = d->findReview(reviewId))
        return *review;
    return std::nullopt;
}

void FakeConnectServer::setOverride(const QByteArray &rawPath, const Override &override)
{
    const std::lock_guard lock(d->mutex);
    d->overrides.insert(rawPath, override);
}

void FakeConnectServer::clearOverrides()
{
    const std::lock_guard lock(d->mutex);
    d->overrides.clear();
}

void FakeConnectServer::setDelay(int milliseconds)
{
    const std::lock_guard lock(d->mutex);
    d->delayMs = milliseconds;
}

void FakeConnectServer::setClockOffset(qint64 seconds)
{
    const std::lock_guard lock(d->mutex);
    d->clockOffset = seconds;
}

int FakeConnectServer::requestCount() const
{
    const std::lock_guard lock(d->mutex);
    return d->requestCount;
}

int FakeConnectServer::rejectedCount() const
{
    const std::lock_guard lock(d->mutex);
    return d->rejectedCount;
}

QList<RecordedRequest> FakeConnectServer::requests() const
{
    const std::lock_guard lock(d->mutex);
    return d->recorded;
}

void FakeConnectServer::clearRequests()
{
    const std::lock_guard lock(d->mutex);
    d->recorded.clear();
    d->requestCount = 0;
    d->rejectedCount = 0;
    d->peakInFlight = d->inFlight;
}

void FakeConnectServer::prepareReplies()
{
    State::Issuers issuers;
    QList<FakeApp> apps;
    quint64 seen = 0;
    {
        const std::lock_guard lock(d->mutex);
        issuers = d->issuers;
        apps = d->apps;
        seen = d->generation;
    }
    // The targets as the client writes them; any other spelling is only answered more slowly.
    QHash<QByteArray, Reply> built;
    for (auto issuer = issuers.cbegin(); issuer != issuers.cend(); ++issuer) {
        const auto prepare = [&](const QByteArray &target) {
            built.insert(State::preparedKey(issuer.key(), target),
                         d->build("GET", target, issuer.key(), {}, issuers, apps));
        };
        prepare("/v1/apps?limit=200");
        for (const QString &appId : issuer->appIds) {
            const FakeApp *app = State::findAppIn(apps, appId);
            if (!app)
                continue;
            prepare("/v1/apps/" + QUrl::toPercentEncoding(app->id) + "/appStoreVersions?limit=200");
            for (const FakeVersion &version : app->versions)
                prepare("/v1/appStoreVersions/" + QUrl::toPercentEncoding(version.id)
                        + "/customerReviews?limit=200&sort=-createdDate&include=response");
        }
    }
    const std::lock_guard lock(d->mutex);
    if (d->generation == seen)
        d->prepared.insert(built);
}

std::chrono::nanoseconds FakeConnectServer::criticalPath() const
{
    using std::chrono::nanoseconds;
    QHash<QString, nanoseconds> appLists;                // by issuer
    QHash<QString, QHash<QString, nanoseconds>> chains;  // by issuer, then app
    {
        const std::lock_guard lock(d->mutex);
        for (const RecordedRequest &request : std::as_const(d->recorded)) {
            if (!request.authorized || request.method != "GET")
                continue;
            if (request.appId.isEmpty())
                appLists[request.issuer] += request.handlingTime;
            else
                chains[request.issuer][request.appId] += request.handlingTime;
        }
    }
    nanoseconds total{0};
    for (auto list = appLists.cbegin(); list != appLists.cend(); ++list) {
        nanoseconds slowest{0};
        for (const nanoseconds chain : chains.value(list.key()))
            slowest = std::max(slowest, chain);
        total += *list + slowest;
    }
    return total;
}

int FakeConnectServer::connectionCount() const
{
    const std::lock_guard lock(d->mutex);
    QSet<int> ports;
    for (const RecordedRequest &request : std::as_const(d->recorded))
        ports.insert(request.clientPort);
    return int(ports.size());
}

int FakeConnectServer::peakConcurrency() const
{
    const std::lock_guard lock(d->mutex);
    return d->peakInFlight;
}

QList<FakeApp> sampleApps(int apps, int versionsPerApp, int reviewsPerVersion, const QString &prefix)
{
    static const char *const territories[] = {"USA", "DEU", "GBR", "FRA", "JPN", "CAN"};
    QList<FakeApp> result;
    const QDateTime start(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC);
    for (int a = 0; a < apps; ++a) {
        FakeApp app{QStringLiteral("%1-app-%2").arg(prefix).arg(a + 1), QStringLiteral("Sample App %1").arg(a + 1),
                    QStringLiteral("com.example.%1.app%2").arg(prefix).arg(a + 1), {}};
        for (int v = 0; v < versionsPerApp; ++v) {
            FakeVersion version{QStringLiteral("%1-a%2-v%3").arg(prefix).arg(a + 1).arg(v + 1),
                                QStringLiteral("1.%1").arg(v), {}};
            for (int r = 0; r < reviewsPerVersion; ++r) {
                FakeReview review;
                review.id = QStringLiteral("%1-a%2-v%3-r%4").arg(prefix).arg(a + 1).arg(v + 1).arg(r + 1);
                review.rating = 1 + (r % 5);
                review.title = QStringLiteral("Review %1").arg(r + 1);
                review.body = QStringLiteral("Body of review %1 on version 1.%2.").arg(r + 1).arg(v);
                review.nickname = QStringLiteral("reviewer%1").arg(r + 1);
                review.territory = QString::fromLatin1(territories[r % 6]);
                review.createdDate = start.addSecs(qint64(v) * 86400 * 30 + qint64(r) * 3600)
                                         .toString(Qt::ISODate)
                                         .replace(QLatin1String("Z"), QLatin1String("-07:00"));
                if (r % 3 == 0)
                    review.response = FakeResponse{review.id + QStringLiteral("-response"),
                                                   QStringLiteral("Thank you for review %1.").arg(r + 1)};
                version.reviews.append(review);
            }
            app.versions.append(version);
        }
        result.append(app);
    }
    return result;
}

}  // namespace fakes
