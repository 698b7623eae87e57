// Makes requests from a network namespace of its own, where no network is up, and prints the
// URL error code of each as "<what> <code>". Exits with 77 when no namespace can be made.

#include "platform/Error.h"
#include "platform/http/HttpSession.h"

#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

long long codeOf(const char *url)
{
    try {
        platform::http::Session::shared().get(QUrl(QString::fromLatin1(url)));
    } catch (const platform::Error &error) {
        return error.code();
    }
    return 0;
}

bool bringLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = short(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return up;
}

}  // namespace

int main()
{
    // Still single-threaded, as a new user namespace requires (needed when not root).
    if (::unshare(CLONE_NEWNET) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return 77;

    // Not even loopback is up yet.
    std::printf("name %lld\n", codeOf("https://api.appstoreconnect.apple.com/v1/apps"));
    std::printf("address %lld\n", codeOf("http://192.0.2.1/"));
    if (!bringLoopbackUp())
        return 78;
    // Loopback up and nothing listening: this machine answers, so this is no "offline".
    std::printf("loopback %lld\n", codeOf("http://127.0.0.1:9/"));
    std::printf("name with loopback %lld\n", codeOf("https://itunes.apple.com/lookup?id=1"));
    return 0;
}
