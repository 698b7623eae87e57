#include "FakeEmailServer.h"

#include "LoopbackServer.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace fakes {

struct FakeEmailServer::State {
    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    int status = 200;
    QByteArray body = successBody();
    bool held = false;
    bool stopping = false;
    QList<EmailRequest> requests;

    static QByteArray header(const httplib::Request &request, const char *name)
    {
        return request.has_header(name) ? QByteArray::fromStdString(request.get_header_value(name)) : QByteArray();
    }

    void handle(const httplib::Request &request, httplib::Response &response)
    {
        std::unique_lock lock(mutex);
        requests.append({QByteArray::fromStdString(request.method), QByteArray::fromStdString(request.path),
                         header(request, "Accept"), header(request, "Content-Type"),
                         header(request, "X-Postmark-Server-Token"), QByteArray::fromStdString(request.body)});
        changed.notify_all();
        changed.wait(lock, [this] { return !held || stopping; });
        if (request.method != "POST" || request.path != "/email") {
            response.status = 404;
            response.set_content("{\"ErrorCode\":404,\"Message\":\"Not found\"}", "application/json");
            return;
        }
        response.status = status;
        response.set_content(body.toStdString(), "application/json");
    }
};

FakeEmailServer::FakeEmailServer(quint16 port) : d(std::make_unique<State>())
{
    const auto handler = [this](const httplib::Request &request, httplib::Response &response) {
        d->handle(request, response);
    };
    d->server.Post(".*", handler);
    d->server.Get(".*", handler);
    d->port = startOnLoopback(d->server, d->thread, port, "the fake e-mail service");
}

FakeEmailServer::~FakeEmailServer()
{
    {
        const std::lock_guard lock(d->mutex);
        d->stopping = true;
        d->changed.notify_all();
    }
    stopOnLoopback(d->server, d->thread, quint16(d->port));
}

QString FakeEmailServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(d->port);
}

QByteArray FakeEmailServer::successBody()
{
    return QByteArrayLiteral("{\"To\":\"support@example.com\",\"SubmittedAt\":\"2024-01-01T00:00:00Z\","
                             "\"MessageID\":\"0a129aee-e1cd-480d-b08d-4f48548ff48d\",\"ErrorCode\":0,"
                             "\"Message\":\"OK\"}");
}

void FakeEmailServer::setReply(int status, const QByteArray &body)
{
    const std::lock_guard lock(d->mutex);
    d->status = status;
    d->body = body;
}

void FakeEmailServer::hold()
{
    const std::lock_guard lock(d->mutex);
    d->held = true;
}

void FakeEmailServer::release()
{
    const std::lock_guard lock(d->mutex);
    d->held = false;
    d->changed.notify_all();
}

QList<EmailRequest> FakeEmailServer::requests() const
{
    const std::lock_guard lock(d->mutex);
    return d->requests;
}

bool FakeEmailServer::waitForRequests(int count, int milliseconds) const
{
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this, count] { return d->requests.size() >= count; });
}

}  // namespace fakes
