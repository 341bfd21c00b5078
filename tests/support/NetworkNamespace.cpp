#include "support/NetworkNamespace.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace clipdeck::test {
namespace {

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

bool bringLoopbackUp(QString* error)
{
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (control < 0) {
        *error = systemError("socket");
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(control, SIOCGIFFLAGS, &request) == 0;
    if (up) {
        request.ifr_flags |= IFF_UP;
        up = ::ioctl(control, SIOCSIFFLAGS, &request) == 0;
    }
    if (!up)
        *error = systemError("bringing lo up");
    ::close(control);
    return up;
}

} // namespace

NetworkNamespace::NetworkNamespace()
{
    original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (original_ < 0) {
        error_ = systemError("opening /proc/thread-self/ns/net");
        return;
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        error_ = systemError("unshare(CLONE_NEWNET)");
        return;
    }
    active_ = bringLoopbackUp(&error_);
}

NetworkNamespace::~NetworkNamespace()
{
    if (original_ < 0)
        return;
    ::setns(original_, CLONE_NEWNET);
    ::close(original_);
}

} // namespace clipdeck::test
