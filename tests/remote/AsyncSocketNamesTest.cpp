// Host names and interfaces (looked up inside a network namespace of the test's own, so no
// query leaves the machine) and the connect time-out.
#include "SocketTestSupport.h"

#include "platform/TimeSource.h"
#include "platform/network/SocketAddress.h"
#include "support/NetworkNamespace.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using clipdeck::test::NetworkNamespace;
using clipdeck::test::waitUntil;
using namespace sockettest;

TEST(AsyncSocketNames, InterfacesAreFoundWithoutALookup)
{
    NetworkNamespace ns;
    REQUIRE_NETWORK_NAMESPACE(ns);
    RecordingDelegate delegate;
    const auto listener = AsyncSocket::create(&delegate);

    Error err;
    EXPECT_FALSE(listener->acceptOnInterface("no-such-interface.invalid", 0, &err));
    EXPECT_EQ(err.domain, "kCFStreamErrorDomainNetDB");
    EXPECT_NE(err.code, 0);
    EXPECT_FALSE(err.localizedDescription.isEmpty());
    EXPECT_TRUE(listener->isDisconnected());

    const struct {
        const char* interface;
        const char* host4;
    } cases[] = {{"lo", "127.0.0.1"}, {"127.0.0.1", "127.0.0.1"}, {"loopback", "127.0.0.1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interface);
        ASSERT_TRUE(listener->acceptOnInterface(c.interface, 0, &err)) << err.description().toStdString();
        EXPECT_EQ(listener->localHost4(), c.host4);
        Peer peer("127.0.0.1", listener->localPort());
        EXPECT_TRUE(peer.isConnected());
        listener->disconnect();
    }
    for (const auto& accepted : delegate.accepted)
        accepted->setDelegate(nullptr);
    listener->setDelegate(nullptr);
}

TEST(AsyncSocketNames, ConnectToHostLooksTheNameUpOffTheMainThread)
{
    NetworkNamespace ns;
    REQUIRE_NETWORK_NAMESPACE(ns);
    Listener listener;

    RecordingDelegate delegate;
    const auto client = AsyncSocket::create(&delegate);
    Error err;
    ASSERT_TRUE(client->connectToHost("localhost", listener.port(), &err)) << err.description().toStdString();
    EXPECT_TRUE(delegate.events.isEmpty()) << "nothing is reported inside the call";
    ASSERT_TRUE(waitUntil([&] { return !delegate.events.isEmpty(); }));
    const QString host = client->connectedHost();
    EXPECT_TRUE(host == "127.0.0.1" || host == "::1") << host.toStdString();
    EXPECT_EQ(delegate.events, QStringList({QStringLiteral("connect %1 %2").arg(host).arg(listener.port())}));
    client->disconnect();

    // A name nobody knows closes the attempt with the resolver's error.
    delegate.events.clear();
    ASSERT_TRUE(client->connectToHost("no-such-host.invalid", listener.port(), &err));
    ASSERT_TRUE(waitUntil([&] { return delegate.count("didDisconnect") == 1; }, 20000));
    ASSERT_EQ(delegate.events.size(), 2);
    EXPECT_TRUE(delegate.events[0].startsWith("willDisconnect kCFStreamErrorDomainNetDB ")) << delegate.events[0].toStdString();
    client->setDelegate(nullptr);
}

namespace {

// A listener whose backlog is full: a further connection attempt waits, unanswered.
struct FullListener {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::vector<int> fillers;
    uint16_t port = 0;

    FullListener()
    {
        const QByteArray address = socketaddress::ipv4Loopback(0);
        ::bind(fd, reinterpret_cast<const sockaddr*>(address.constData()), socklen_t(address.size()));
        ::listen(fd, 0);
        port = socketaddress::port(socketaddress::localAddress(fd, socketaddress::kIPv4Family));
        // Connect until one attempt stays unanswered.
        for (int i = 0; i < 16; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            const QByteArray target = socketaddress::ipv4Loopback(port);
            ::connect(filler, reinterpret_cast<const sockaddr*>(target.constData()), socklen_t(target.size()));
            fillers.push_back(filler);
            pollfd ready{filler, POLLOUT, 0};
            if (::poll(&ready, 1, 300) == 0)
                break;
        }
    }
    ~FullListener()
    {
        for (const int filler : fillers)
            ::close(filler);
        ::close(fd);
    }
};

} // namespace

TEST(AsyncSocketTimeouts, ConnectTimeoutFollowsTheClock)
{
    FullListener full;
    const struct {
        const char* name;
        double timeout;
        double advance;
        QStringList expected;
    } cases[] = {
        {"-1 never fires", -1, 1e6, {}},
        {"0 fires on the next pass", 0, 0, {"willDisconnect AsyncSocketErrorDomain 2", "didDisconnect"}},
        {"3 s fires after 3 s", 3, 3, {"willDisconnect AsyncSocketErrorDomain 2", "didDisconnect"}},
        {"not before", 3, 2.9, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualTimeSource clock;
        RecordingDelegate delegate;
        const auto client = AsyncSocket::create(&delegate);
        ASSERT_TRUE(client->connectToAddress(socketaddress::ipv4Loopback(full.port), c.timeout));
        settle();
        clock.advance(c.advance);
        settle();
        EXPECT_EQ(delegate.events, c.expected);
        client->setDelegate(nullptr);
    }

    // A connection that opens in time is not timed out.
    Listener listener;
    ManualTimeSource clock;
    RecordingDelegate delegate;
    const auto client = AsyncSocket::create(&delegate);
    ASSERT_TRUE(client->connectToAddress(socketaddress::ipv4Loopback(listener.port()), 0.0));
    ASSERT_TRUE(waitUntil([&] { return !delegate.events.isEmpty(); }));
    clock.advance(1);
    settle();
    EXPECT_EQ(delegate.events.size(), 1);
    EXPECT_TRUE(delegate.events[0].startsWith("connect 127.0.0.1"));
    client->setDelegate(nullptr);
}
