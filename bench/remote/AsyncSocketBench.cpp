// Framed messages through an accepted AsyncSocket over loopback: how many per second the
// socket reads to their separator, and how many bytes its read path copies per message
// beyond the one copy out of the kernel.
#include "platform/network/SocketAddress.h"
#include "remote/AsyncSocket.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray kSeparator("\xFA\xDE\xDE\xAD", 4);
constexpr int kMessageSize = 200; // body and separator

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "remote_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

struct Server : AsyncSocketDelegate {
    std::shared_ptr<AsyncSocket> listener = AsyncSocket::create(this);
    std::shared_ptr<AsyncSocket> connection;
    int64_t messages = 0;
    bool connected = false;

    void onSocketDidAcceptNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>& newSocket) override { connection = newSocket; }
    void onSocketDidConnectToHost(AsyncSocket& sock, const QString&, uint16_t) override
    {
        connected = true;
        sock.readDataToData(kSeparator, -1, 0);
    }
    void onSocketDidReadData(AsyncSocket& sock, const QByteArray& data, long) override
    {
        // The next read is armed before the message is looked at, as the remote server does.
        sock.readDataToData(kSeparator, -1, 0);
        if (data.size() == kMessageSize)
            ++messages;
    }
};

void BM_FramedMessagesThroughAnAcceptedSocket(benchmark::State& state)
{
    application();
    Server server;
    server.listener->setRunLoopModes({NSRunLoopCommonModes});
    if (!server.listener->acceptOnPort(0)) {
        state.SkipWithError("cannot listen");
        return;
    }
    const int peer = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const QByteArray address = socketaddress::ipv4Loopback(server.listener->localPort());
    ::connect(peer, reinterpret_cast<const sockaddr*>(address.constData()), socklen_t(address.size()));
    while (!server.connected)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    const int batch = int(state.range(0));
    QByteArray burst;
    for (int i = 0; i < batch; ++i)
        burst += QByteArray(kMessageSize - kSeparator.size(), char('a' + i % 26)) + kSeparator;

    const uint64_t copiedBefore = PartialReadBuffer::bytesCopied();
    const int64_t messagesBefore = server.messages;
    for (auto _ : state) {
        const int64_t target = server.messages + batch;
        for (qsizetype sent = 0; sent < burst.size();) {
            const ssize_t n = ::send(peer, burst.constData() + sent, size_t(burst.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
        while (server.messages < target)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double messages = double(server.messages - messagesBefore);
    state.SetItemsProcessed(int64_t(messages));
    state.SetBytesProcessed(int64_t(messages) * kMessageSize);
    state.counters["readAheadBytesCopiedPerMessage"] = double(PartialReadBuffer::bytesCopied() - copiedBefore) / messages;
    server.connection->setDelegate(nullptr);
    server.listener->setDelegate(nullptr);
    ::close(peer);
}

} // namespace

BENCHMARK(BM_FramedMessagesThroughAnAcceptedSocket)->Arg(1)->Arg(16)->Arg(256)->UseRealTime();
