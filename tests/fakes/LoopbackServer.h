#pragma once

#include <QtGlobal>

#include <thread>

namespace httplib {
class Server;
}

namespace fakes {

// Serves `server` on 127.0.0.1 at `port` (a free one when 0) from `thread`, and returns the port
// once it accepts connections; throws when no port can be bound. `what` names the fake in errors.
int startOnLoopback(httplib::Server &server, std::thread &thread, quint16 port, const char *what);
void stopOnLoopback(httplib::Server &server, std::thread &thread);

}  // namespace fakes
