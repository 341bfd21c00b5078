#include "SocketTestSupport.h"

#include "platform/runloop/RunLoop.h"
#include "support/TestEnvironment.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sockettest {

int RecordingDelegate::count(const QString& prefix) const
{
    int n = 0;
    for (const QString& event : events)
        n += event.startsWith(prefix);
    return n;
}

void RecordingDelegate::onSocketDidAcceptNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>& newSocket)
{
    events << QStringLiteral("accept");
    if (keepAccepted)
        accepted.push_back(newSocket);
}

void RecordingDelegate::onSocketDidConnectToHost(AsyncSocket&, const QString& host, uint16_t port)
{
    events << QStringLiteral("connect %1 %2").arg(host).arg(port);
}

void RecordingDelegate::onSocketWillDisconnectWithError(AsyncSocket& sock, const Error& err)
{
    events << (err.isError() ? QStringLiteral("willDisconnect %1 %2").arg(err.domain).arg(err.code)
                             : QStringLiteral("willDisconnect nil"));
    if (recordUnreadData)
        events << QStringLiteral("unread %1").arg(QString::fromLatin1(sock.unreadData().toHex()));
}

void RecordingDelegate::onSocketDidDisconnect(AsyncSocket&)
{
    events << QStringLiteral("didDisconnect");
}

void RecordingDelegate::onSocketDidReadData(AsyncSocket& sock, const QByteArray& data, long tag)
{
    nestedRead = nestedRead || readDepth > 0;
    ++readDepth;
    events << QStringLiteral("read %1 %2").arg(tag).arg(QString::fromLatin1(data.toHex()));
    if (!rearmSeparator.isEmpty())
        sock.readDataToData(rearmSeparator, -1, rearmMaxLength, tag);
    if (onRead)
        onRead(sock, data);
    --readDepth;
}

void RecordingDelegate::onSocketDidReadPartialDataOfLength(AsyncSocket&, size_t partialLength, long tag)
{
    events << QStringLiteral("partial %1 %2").arg(tag).arg(partialLength);
}

void RecordingDelegate::onSocketDidWriteDataWithTag(AsyncSocket&, long tag)
{
    events << QStringLiteral("wrote %1").arg(tag);
}

double RecordingDelegate::onSocketShouldTimeoutReadWithTag(AsyncSocket&, long tag, double elapsed, size_t bytesDone)
{
    events << QStringLiteral("timeout? %1 %2 %3").arg(tag).arg(elapsed).arg(bytesDone);
    if (readExtensions.empty())
        return 0;
    const double extension = readExtensions.front();
    readExtensions.erase(readExtensions.begin());
    return extension;
}

Peer::Peer(const char* host, uint16_t port, const char* sourceAddress)
{
    sockaddr_storage address{};
    socklen_t length = 0;
    auto* in = reinterpret_cast<sockaddr_in*>(&address);
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET, host, &in->sin_addr) == 1) {
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        length = sizeof *in;
    } else if (inet_pton(AF_INET6, host, &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        length = sizeof *in6;
    } else {
        return;
    }
    fd_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return;
    if (sourceAddress && address.ss_family == AF_INET) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        if (inet_pton(AF_INET, sourceAddress, &source.sin_addr) != 1
            || ::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    // Blocking connect (loopback answers at once), then non-blocking use.
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    const int flags = fcntl(fd_, F_GETFL);
    fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

Peer::~Peer()
{
    close();
}

void Peer::send(const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

bool Peer::readAvailable()
{
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            received_.append(chunk, n);
            continue;
        }
        // The end of the stream, or a reset: either way the connection is over.
        return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }
}

void Peer::reset()
{
    const linger immediately{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &immediately, sizeof immediately);
    close();
}

void Peer::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

Listener::Listener()
{
    socket->setRunLoopModes({NSRunLoopCommonModes});
    socket->acceptOnPort(0);
}

Listener::~Listener()
{
    for (const auto& accepted : delegate.accepted)
        accepted->setDelegate(nullptr);
    socket->setDelegate(nullptr);
}

std::shared_ptr<AsyncSocket> Listener::connect(std::unique_ptr<Peer>& peer, const char* host)
{
    const size_t before = delegate.accepted.size();
    peer = std::make_unique<Peer>(host, port());
    if (!peer->isConnected())
        return nullptr;
    const int connects = delegate.count(QStringLiteral("connect "));
    if (!clipdeck::test::waitUntil([&] { return delegate.accepted.size() > before && delegate.count(QStringLiteral("connect ")) > connects; }))
        return nullptr;
    return delegate.accepted.back();
}

Connection::Connection()
{
    socket = listener.connect(peer);
    if (socket)
        socket->setDelegate(&delegate);
}

Connection::~Connection()
{
    if (socket)
        socket->setDelegate(nullptr);
}

bool hasIPv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace sockettest
