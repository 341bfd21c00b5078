#include "platform/network/NativeSocket.h"

#include "platform/network/SocketAddress.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

NativeSocket::NativeSocket(int descriptor, int family, CallBackType type, Callout callout)
    : descriptor_(descriptor), family_(family), type_(type), callout_(std::move(callout)),
      source_([this](int events) { handle(events); })
{
    source_.setDescriptor(descriptor_);
}

std::unique_ptr<NativeSocket> NativeSocket::create(int family, CallBackType type, Callout callout)
{
    const int descriptor = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (descriptor < 0)
        return nullptr;
    if (family == AF_INET6 && type == AcceptCallBack) {
        const int on = 1;
        if (setsockopt(descriptor, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) {
            const int error = errno;
            ::close(descriptor);
            errno = error;
            return nullptr;
        }
    }
    return std::unique_ptr<NativeSocket>(new NativeSocket(descriptor, family, type, std::move(callout)));
}

std::unique_ptr<NativeSocket> NativeSocket::createWithNative(int descriptor)
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    const int family = getsockname(descriptor, reinterpret_cast<sockaddr*>(&storage), &length) == 0 ? storage.ss_family : 0;
    std::unique_ptr<NativeSocket> socket(new NativeSocket(descriptor, family, NoCallBack, {}));
    socket->closeOnInvalidate_ = false;
    return socket;
}

NativeSocket::~NativeSocket()
{
    invalidate();
}

bool NativeSocket::setReuseAddress()
{
    const int on = 1;
    return isValid() && setsockopt(descriptor_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool NativeSocket::bindToAddress(const QByteArray& address)
{
    if (!isValid()) {
        errno = EBADF;
        return false;
    }
    return ::bind(descriptor_, reinterpret_cast<const sockaddr*>(address.constData()), socklen_t(address.size())) == 0;
}

bool NativeSocket::setAddress(const QByteArray& address)
{
    if (!bindToAddress(address) || ::listen(descriptor_, SOMAXCONN) != 0)
        return false;
    source_.setInterest(RunLoopSource::Readable);
    return true;
}

bool NativeSocket::connectToAddress(const QByteArray& address)
{
    if (!isValid()) {
        errno = EBADF;
        return false;
    }
    int result;
    do
        result = ::connect(descriptor_, reinterpret_cast<const sockaddr*>(address.constData()), socklen_t(address.size()));
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        // Made at once (loopback may do that): reported on a later pass all the same.
        immediateConnectResult_ = 0;
        source_.signal();
        return true;
    }
    if (errno != EINPROGRESS)
        return false;
    source_.setInterest(RunLoopSource::Writable);
    return true;
}

QByteArray NativeSocket::copyAddress() const
{
    return isValid() ? socketaddress::localAddress(descriptor_, family_) : QByteArray();
}

QByteArray NativeSocket::copyPeerAddress() const
{
    return isValid() ? socketaddress::peerAddress(descriptor_, family_) : QByteArray();
}

void NativeSocket::invalidate()
{
    if (descriptor_ < 0)
        return;
    source_.setInterest(0);
    source_.setDescriptor(-1);
    if (closeOnInvalidate_)
        ::close(descriptor_);
    descriptor_ = -1;
    callout_ = nullptr;
}

void NativeSocket::handle(int events)
{
    if (!isValid() || !callout_)
        return;
    // The callout may destroy this socket: call a copy and touch nothing after.
    const Callout callout = callout_;
    if (type_ == AcceptCallBack && (events & RunLoopSource::Readable)) {
        const int accepted = ::accept4(descriptor_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (accepted >= 0) {
            callout(*this, AcceptCallBack, accepted);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
            qWarning("NativeSocket: accepting a connection failed: %s", std::strerror(errno));
        }
        return;
    }
    if (type_ == ConnectCallBack && !connectReported_) {
        int error = 0;
        if (events & RunLoopSource::Signalled) {
            error = immediateConnectResult_;
        } else if (events & RunLoopSource::Writable) {
            socklen_t length = sizeof error;
            if (getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        } else {
            return;
        }
        connectReported_ = true;
        source_.setInterest(0);
        callout(*this, ConnectCallBack, error);
    }
}
