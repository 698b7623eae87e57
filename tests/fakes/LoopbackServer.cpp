#include "LoopbackServer.h"

#include <httplib.h>

#include <QDir>

#include <arpa/inet.h>
#include <chrono>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/socket.h>

namespace fakes {

namespace {

std::mutex busyMutex;
// For each server, the client ports of the requests it is answering: from routing until the
// reply is written (the logger runs last).
std::map<const httplib::Server *, std::multiset<int>> busyPorts;

}  // namespace

int startOnLoopback(httplib::Server &server, std::thread &thread, quint16 port, const char *what)
{
    // httplib listens with a backlog of 5: a burst of connections (one per request, twenty apps
    // at once) overflows it, and a dropped SYN costs the client a one-second retransmission.
    int listening = -1;
    server.set_socket_options([&listening](socket_t socket) {
        httplib::default_socket_options(socket);
        listening = socket;
    });
    // A reply's head and body leave in separate writes; with Nagle's algorithm the body's last
    // segment would wait for the client's delayed acknowledgement (up to 40 ms).
    server.set_tcp_nodelay(true);
    server.set_pre_routing_handler([&server](const httplib::Request &request, httplib::Response &) {
        const std::lock_guard lock(busyMutex);
        busyPorts[&server].insert(request.remote_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger([&server](const httplib::Request &request, const httplib::Response &) {
        const std::lock_guard lock(busyMutex);
        std::multiset<int> &ports = busyPorts[&server];
        if (const auto found = ports.find(request.remote_port); found != ports.end())
            ports.erase(found);
    });
    const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                                : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error(std::string(what) + " could not bind a port");
    if (listening >= 0)
        ::listen(listening, SOMAXCONN);
    thread = std::thread([&server] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return bound;
}

void stopOnLoopback(httplib::Server &server, std::thread &thread, quint16 port)
{
    server.stop();
    std::multiset<int> busy;
    {
        const std::lock_guard lock(busyMutex);
        busy = busyPorts[&server];
    }
    // The server's end of each connection to it that waits for another request: bound to its
    // port on loopback, with a peer that has no request being answered. Closing its reading
    // side wakes the worker at once. (A connection being answered must stay whole: the server
    // writes no reply to one it finds closed.)
    QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString &name : descriptors.entryList(QDir::Files | QDir::System)) {
        bool isNumber = false;
        const int fd = name.toInt(&isNumber);
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (isNumber && ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localLength) == 0
            && local.sin_family == AF_INET && ntohs(local.sin_port) == port
            && local.sin_addr.s_addr == htonl(INADDR_LOOPBACK)
            && ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) == 0
            && !busy.contains(ntohs(peer.sin_port)))
            ::shutdown(fd, SHUT_RD);
    }
    thread.join();
    const std::lock_guard lock(busyMutex);
    busyPorts.erase(&server);
}

}  // namespace fakes
