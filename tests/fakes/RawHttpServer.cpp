#include "RawHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace fakes {

namespace {

int listenOnLoopback(quint16 *port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind failed");
    }
    *port = ntohs(address.sin_port);
    return fd;
}

// Bytes the request still lacks once its head is in: its Content-Length, if any.
qsizetype expectedBodyLength(const QByteArray &head)
{
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed().toLongLong();
    }
    return 0;
}

}  // namespace

struct RawHttpServer::State {
    int listener = -1;
    int stopPipe[2] = {-1, -1};
    quint16 port = 0;
    std::thread thread;

    mutable std::mutex mutex;
    Mode mode = Mode::reply;
    QByteArray rawReply = RawHttpServer::reply(200, "{}");
    QList<QByteArray> requests;

    // Waits for one of the descriptors; false when asked to stop.
    bool waitFor(int fd) const
    {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0) {
        }
        return (fds[1].revents & POLLIN) == 0;
    }

    void serve(int connection)
    {
        QByteArray request;
        char buffer[16384];
        qsizetype headEnd = -1;
        while (waitFor(connection)) {
            const ssize_t received = ::recv(connection, buffer, sizeof buffer, 0);
            if (received <= 0)
                break;
            request.append(buffer, received);
            if (headEnd < 0)
                headEnd = request.indexOf("\r\n\r\n");
            if (headEnd >= 0 && request.size() >= headEnd + 4 + expectedBodyLength(request.left(headEnd)))
                break;
        }
        Mode current;
        QByteArray answer;
        {
            const std::lock_guard lock(mutex);
            requests.append(request);
            current = mode;
            answer = rawReply;
        }
        if (current == Mode::reply) {
            for (qsizetype sent = 0; sent < answer.size();) {
                const ssize_t written = ::send(connection, answer.constData() + sent, size_t(answer.size() - sent),
                                               MSG_NOSIGNAL);
                if (written <= 0)
                    break;
                sent += written;
            }
        } else if (current == Mode::silent) {
            // Hold the connection until the client gives up.
            while (waitFor(connection) && ::recv(connection, buffer, sizeof buffer, 0) > 0) {
            }
        }
        ::shutdown(connection, SHUT_RDWR);
        ::close(connection);
    }

    void run()
    {
        while (waitFor(listener)) {
            const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0)
                serve(connection);
        }
    }
};

RawHttpServer::RawHttpServer() : d(std::make_unique<State>())
{
    d->listener = listenOnLoopback(&d->port);
    if (::pipe2(d->stopPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    d->thread = std::thread([this] { d->run(); });
}

RawHttpServer::~RawHttpServer()
{
    const char stop = 's';
    (void)!::write(d->stopPipe[1], &stop, 1);
    d->thread.join();
    ::close(d->listener);
    ::close(d->stopPipe[0]);
    ::close(d->stopPipe[1]);
}

quint16 RawHttpServer::port() const
{
    return d->port;
}

QString RawHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(d->port);
}

void RawHttpServer::setMode(Mode mode)
{
    const std::lock_guard lock(d->mutex);
    d->mode = mode;
}

void RawHttpServer::setReply(const QByteArray &rawReply)
{
    const std::lock_guard lock(d->mutex);
    d->rawReply = rawReply;
}

QByteArray RawHttpServer::reply(int status, const QByteArray &body, const QByteArray &extraHeaders)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

QList<QByteArray> RawHttpServer::requests() const
{
    const std::lock_guard lock(d->mutex);
    return d->requests;
}

quint16 unusedPort()
{
    quint16 port = 0;
    ::close(listenOnLoopback(&port));
    return port;
}

}  // namespace fakes
