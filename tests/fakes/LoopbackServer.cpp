#include "LoopbackServer.h"

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <sys/socket.h>

namespace fakes {

int startOnLoopback(httplib::Server &server, std::thread &thread, quint16 port, const char *what)
{
    // httplib listens with a backlog of 5: a burst of connections (one per request, twenty apps
    // at once) overflows it, and a dropped SYN costs the client a one-second retransmission.
    int listening = -1;
    server.set_socket_options([&listening](socket_t socket) {
        httplib::default_socket_options(socket);
        listening = socket;
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

void stopOnLoopback(httplib::Server &server, std::thread &thread)
{
    server.stop();
    thread.join();
}

}  // namespace fakes
