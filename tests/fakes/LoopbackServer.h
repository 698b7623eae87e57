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
// Stops the server started on `port` once the requests being answered have their replies.
// Connections that clients keep open for their next request are ended too: the server would
// otherwise wait for each of them to time out.
void stopOnLoopback(httplib::Server &server, std::thread &thread, quint16 port);

}  // namespace fakes
