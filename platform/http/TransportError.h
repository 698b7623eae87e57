#pragma once

#include "platform/Error.h"

struct sockaddr;

namespace platform::http {

// What libcurl reported about a transfer that failed, and what the system knew at the time.
struct TransportFailure {
    int curlCode = 0;           // the CURLcode of the transfer
    long osErrno = 0;           // CURLINFO_OS_ERRNO
    long status = 0;            // the status of the last reply seen, 0 when none came
    const char *detail = nullptr;  // libcurl's error text, if any
    bool loopbackTarget = false;   // the address names this machine
    bool networkUp = true;         // some interface beyond loopback is up (nonLoopbackNetworkUp())
};

// The URL error for a failed transfer. The codes matter beyond the text: the failure reporting
// leaves "not connected", "cannot connect" and "timed out" unreported, so a name that cannot be
// resolved or a host that cannot be reached while no network is up is "not connected".
Error transportError(const TransportFailure &failure);

// True when an interface other than loopback is up, running and has an address that reaches
// beyond its own link. When the system cannot tell, the network counts as up.
bool nonLoopbackNetworkUp();

// The rule for one interface address (flags as from getifaddrs).
bool reachesBeyondLink(unsigned int interfaceFlags, const sockaddr *address);

}  // namespace platform::http
