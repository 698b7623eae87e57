#include "FakeLookupServer.h"

#include "LoopbackServer.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <httplib.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace fakes {

struct FakeLookupServer::State {
    struct App {
        int number = 0;
        QByteArray artwork;
        QHash<QString, LookupAnswer> answers;  // by country
    };

    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    QHash<QString, App> apps;
    QHash<int, QString> appByNumber;
    QList<LookupRequest> lookups;
    int nextNumber = 1;
    int delayMs = 0;
    int requestCount = 0;
    int artworkCount = 0;
    int running = 0;
    int maximumRunning = 0;

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }

    void lookup(const QByteArray &target, const QUrlQuery &query, httplib::Response &response)
    {
        const QString id = query.queryItemValue(QStringLiteral("id"), QUrl::FullyDecoded);
        const QString country = query.queryItemValue(QStringLiteral("country"), QUrl::FullyDecoded);
        LookupAnswer answer;
        std::optional<App> app;
        {
            const std::lock_guard lock(mutex);
            lookups.append({target, id, country});
            if (const auto found = apps.constFind(id); found != apps.cend()) {
                app = *found;
                answer = found->answers.value(country);
            }
        }
        QByteArray body;
        if (answer.results == LookupAnswer::Results::malformed) {
            body = "{\"resultCount\": 1, \"results\": [ {\"artworkUrl100\": ";
        } else {
            QJsonArray results;
            if (app && answer.results != LookupAnswer::Results::empty) {
                const QString artwork = base() + QStringLiteral("/artwork/%1/").arg(app->number);
                QJsonObject result{{QStringLiteral("trackId"), id.toLongLong()},
                                   {QStringLiteral("trackName"), QStringLiteral("App ") + id},
                                   {QStringLiteral("artworkUrl60"), artwork + QStringLiteral("60x60bb.jpg")},
                                   {QStringLiteral("artworkUrl512"), artwork + QStringLiteral("512x512bb.jpg")}};
                if (answer.results != LookupAnswer::Results::noArtwork100)
                    result.insert(QStringLiteral("artworkUrl100"), artwork + QStringLiteral("100x100bb.jpg"));
                results.append(result);
            }
            body = QJsonDocument(QJsonObject{{QStringLiteral("resultCount"), results.size()},
                                             {QStringLiteral("results"), results}})
                       .toJson(QJsonDocument::Compact);
        }
        response.status = answer.status;
        response.set_content(body.toStdString(), "text/javascript; charset=utf-8");
    }

    void artwork(const QList<QByteArray> &segments, httplib::Response &response)
    {
        QByteArray bytes;
        bool found = false;
        {
            const std::lock_guard lock(mutex);
            ++artworkCount;
            if (segments.size() == 4) {
                const QString id = appByNumber.value(segments[2].toInt());
                if (apps.contains(id)) {
                    bytes = apps.value(id).artwork;
                    found = true;
                }
            }
        }
        response.status = found ? 200 : 404;
        response.set_content(found ? bytes.toStdString() : std::string("<html>Not Found</html>"),
                             found ? "image/png" : "text/html");
    }

    void handle(const httplib::Request &request, httplib::Response &response)
    {
        int delay = 0;
        {
            const std::lock_guard lock(mutex);
            ++requestCount;
            maximumRunning = std::max(maximumRunning, ++running);
            delay = delayMs;
        }
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));

        const QByteArray target = QByteArray::fromStdString(request.target);
        const qsizetype question = target.indexOf('?');
        const QByteArray path = question < 0 ? target : target.left(question);
        const QList<QByteArray> segments = path.split('/');
        if (path == "/lookup") {
            lookup(target, QUrlQuery(QString::fromUtf8(question < 0 ? QByteArray() : target.mid(question + 1))), response);
        } else if (segments.size() > 1 && segments[1] == "artwork") {
            artwork(segments, response);
        } else {
            response.status = 404;
            response.set_content("<html>Not Found</html>", "text/html");
        }

        const std::lock_guard lock(mutex);
        --running;
    }
};

FakeLookupServer::FakeLookupServer(quint16 port) : d(std::make_unique<State>())
{
    d->server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    d->server.Get(".*", [this](const httplib::Request &request, httplib::Response &response) {
        d->handle(request, response);
    });
    d->port = startOnLoopback(d->server, d->thread, port, "the fake lookup service");
}

FakeLookupServer::~FakeLookupServer()
{
    stopOnLoopback(d->server, d->thread, quint16(d->port));
}

QString FakeLookupServer::baseUrl() const
{
    return d->base();
}

void FakeLookupServer::addApp(const QString &id, const QByteArray &artwork)
{
    const std::lock_guard lock(d->mutex);
    auto found = d->apps.find(id);
    if (found == d->apps.end()) {
        found = d->apps.insert(id, {d->nextNumber++, {}, {}});
        d->appByNumber.insert(found->number, id);
    }
    found->artwork = artwork;
}

void FakeLookupServer::setAnswer(const QString &id, const QString &country, const LookupAnswer &answer)
{
    const std::lock_guard lock(d->mutex);
    const auto found = d->apps.find(id);
    if (found == d->apps.end())
        throw std::logic_error("setAnswer() for an app that was never added");
    found->answers.insert(country, answer);
}

void FakeLookupServer::setDelay(int milliseconds)
{
    const std::lock_guard lock(d->mutex);
    d->delayMs = milliseconds;
}

int FakeLookupServer::requestCount() const
{
    const std::lock_guard lock(d->mutex);
    return d->requestCount;
}

int FakeLookupServer::lookupCount() const
{
    const std::lock_guard lock(d->mutex);
    return int(d->lookups.size());
}

int FakeLookupServer::artworkCount() const
{
    const std::lock_guard lock(d->mutex);
    return d->artworkCount;
}

int FakeLookupServer::maximumConcurrency() const
{
    const std::lock_guard lock(d->mutex);
    return d->maximumRunning;
}

QList<LookupRequest> FakeLookupServer::lookups() const
{
    const std::lock_guard lock(d->mutex);
    return d->lookups;
}

void FakeLookupServer::clearRequests()
{
    const std::lock_guard lock(d->mutex);
    d->lookups.clear();
    d->requestCount = 0;
    d->artworkCount = 0;
    d->maximumRunning = 0;
}

}  // namespace fakes
