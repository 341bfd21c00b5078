// Listening, accepting, connecting, disconnecting and the socket's description.
#include "SocketTestSupport.h"

#include "platform/network/SocketAddress.h"
#include "platform/network/SocketStream.h"
#include "platform/runloop/RunLoop.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <unistd.h>

using clipdeck::test::waitUntil;
using namespace sockettest;

TEST(AsyncSocketAccept, OnePortServesBothFamiliesAndNamesEachPeer)
{
    RecordingDelegate delegate;
    const auto listener = AsyncSocket::create(&delegate);
    EXPECT_EQ(listener->localPort(), 0);
    Error err;
    ASSERT_TRUE(listener->acceptOnPort(0, &err)) << err.description().toStdString();
    const uint16_t port = listener->localPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(listener->localPort4(), port);
    EXPECT_TRUE(listener->isIPv4());

    Peer peer4("127.0.0.1", port);
    ASSERT_TRUE(peer4.isConnected());
    ASSERT_TRUE(waitUntil([&] { return delegate.count("connect ") == 1; }));
    ASSERT_EQ(delegate.accepted.size(), 1u);
    EXPECT_EQ(delegate.accepted[0]->connectedHost(), "127.0.0.1");
    EXPECT_TRUE(delegate.accepted[0]->isConnected());
    EXPECT_EQ(delegate.events.last(), QStringLiteral("connect 127.0.0.1 %1").arg(delegate.accepted[0]->connectedPort()));

    if (hasIPv6Loopback()) {
        EXPECT_EQ(listener->localPort6(), port);
        Peer peer6("::1", port);
        ASSERT_TRUE(peer6.isConnected());
        ASSERT_TRUE(waitUntil([&] { return delegate.count("connect ") == 2; }));
        EXPECT_EQ(delegate.accepted[1]->connectedHost(), "::1");
        EXPECT_TRUE(delegate.accepted[1]->isIPv6());
    } else {
        std::printf("note: ::1 is missing on this machine; the IPv6 half is left out\n");
    }

    for (const auto& accepted : delegate.accepted)
        accepted->setDelegate(nullptr);
    listener->disconnect();
    EXPECT_EQ(listener->localPort(), 0);
    EXPECT_TRUE(delegate.accepted[0]->isConnected()) << "closing the listener leaves its connections alone";
    delegate.accepted[0]->disconnect();
    EXPECT_TRUE(delegate.accepted[0]->connectedHost().isEmpty());
}

TEST(AsyncSocketAccept, LocalhostListensOnLoopbackOnly)
{
    RecordingDelegate delegate;
    const auto listener = AsyncSocket::create(&delegate);
    ASSERT_TRUE(listener->acceptOnInterface("localhost", 0));
    EXPECT_EQ(listener->localHost4(), "127.0.0.1");
    if (hasIPv6Loopback()) {
        EXPECT_EQ(listener->localHost6(), "::1");
    }
    listener->setDelegate(nullptr);
}

TEST(AsyncSocketAccept, MisuseThrowsWithItsText)
{
    const auto lonely = AsyncSocket::create();
    try {
        lonely->acceptOnPort(0);
        FAIL() << "no exception";
    } catch (const AsyncSocketException& e) {
        EXPECT_STREQ(e.what(), "Attempting to accept without a delegate. Set a delegate first.");
    }
    try {
        lonely->connectToHost("localhost", 1);
        FAIL() << "no exception";
    } catch (const AsyncSocketException& e) {
        EXPECT_STREQ(e.what(), "Attempting to connect without a delegate. Set a delegate first.");
    }

    RecordingDelegate delegate;
    const auto listener = AsyncSocket::create(&delegate);
    ASSERT_TRUE(listener->acceptOnPort(0));
    try {
        listener->acceptOnPort(0);
        FAIL() << "no exception";
    } catch (const AsyncSocketException& e) {
        EXPECT_STREQ(e.what(), "Attempting to accept while connected or accepting connections. Disconnect first.");
    }
    listener->setDelegate(nullptr);
}

TEST(AsyncSocketAccept, ASocketNobodyKeepsIsClosedAndReported)
{
    Listener listener;
    listener.delegate.keepAccepted = false;
    Peer peer("127.0.0.1", listener.port());
    ASSERT_TRUE(peer.isConnected());
    ASSERT_TRUE(waitUntil([&] { return listener.delegate.count("didDisconnect") == 1; }));
    EXPECT_EQ(listener.delegate.events, QStringList({"accept", "didDisconnect"}));
    // The peer sees the connection end.
    ASSERT_TRUE(waitUntil([&] { return peer.readAvailable(); }));
}

TEST(AsyncSocketConnect, ConnectToAddressReachesOurListener)
{
    Listener listener;
    RecordingDelegate delegate;
    const auto client = AsyncSocket::create(&delegate);
    Error err;
    ASSERT_TRUE(client->connectToAddress(socketaddress::ipv4Loopback(listener.port()), &err)) << err.description().toStdString();
    // Queued before the connection opens: served once it has.
    client->writeData("hello", -1, 2);
    ASSERT_TRUE(waitUntil([&] { return delegate.count("connect ") == 1; }));
    EXPECT_EQ(delegate.events.value(0), QStringLiteral("connect 127.0.0.1 %1").arg(listener.port()));
    EXPECT_EQ(client->connectedPort(), listener.port());
    EXPECT_TRUE(client->isConnected());

    // Written on one side, read on the other.
    ASSERT_TRUE(waitUntil([&] { return listener.delegate.accepted.size() == 1; }));
    listener.delegate.accepted[0]->readDataToLength(5, -1, 1);
    ASSERT_TRUE(waitUntil([&] { return listener.delegate.count("read 1") == 1 && delegate.count("wrote 2") == 1; }));
    EXPECT_TRUE(listener.delegate.events.contains(QStringLiteral("read 1 %1").arg(QString(QByteArray("hello").toHex()))));
    client->setDelegate(nullptr);
}

TEST(AsyncSocketConnect, AddressOfAnUnknownFamilyIsRefused)
{
    RecordingDelegate delegate;
    const auto client = AsyncSocket::create(&delegate);
    Error err;
    EXPECT_FALSE(client->connectToAddress(QByteArray(16, '\x07'), &err));
    EXPECT_EQ(err.domain, AsyncSocketErrorDomain);
    EXPECT_EQ(err.code, -1);
    EXPECT_EQ(err.localizedDescription, "Remote address is not IPv4 or IPv6");
    EXPECT_TRUE(client->isDisconnected());
    EXPECT_TRUE(delegate.events.isEmpty());
}

// How each way of ending a connection is reported.
TEST(AsyncSocketDisconnect, EachWayOfClosingIsReportedAsItShouldBe)
{
    enum class How { PeerCloses, Disconnect, DelegateClearedFirst };
    const struct {
        const char* name;
        How how;
        QStringList expected;
    } cases[] = {
        {"peer closes", How::PeerCloses,
         {"partial 1 12", "willDisconnect nil", "unread " + QByteArray("partial line").toHex(), "didDisconnect"}},
        {"disconnect", How::Disconnect, {"didDisconnect"}},
        {"delegate cleared first", How::DelegateClearedFirst, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Connection connection;
        const auto socket = connection.socket;
        ASSERT_TRUE(socket);
        RecordingDelegate& own = connection.delegate;
        own.recordUnreadData = true;
        Peer* peer = connection.peer.get();
        // A read waits, and (but where the peer closes, which a write would turn into a
        // reset) a long write; neither is reported when the connection goes.
        socket->readDataToData(AsyncSocket::CRLFData(), -1, 1);
        if (c.how != How::PeerCloses)
            socket->writeData(QByteArray(4 * 1024 * 1024, 'x'), -1, 2);
        switch (c.how) {
        case How::PeerCloses:
            peer->send("partial line");
            peer->close();
            ASSERT_TRUE(waitUntil([&] { return own.count("didDisconnect") == 1; }));
            break;
        case How::Disconnect:
            socket->disconnect();
            break;
        case How::DelegateClearedFirst:
            socket->setDelegate(nullptr);
            socket->disconnect();
            break;
        }
        settle(); // any late message would arrive meanwhile
        EXPECT_EQ(own.events, c.expected);
        EXPECT_TRUE(socket->isDisconnected());
    }
}

TEST(AsyncSocketDisconnect, AfterWritingFlushesThenClosesAndIgnoresLaterWork)
{
    Connection connection;
    const auto socket = connection.socket;
    ASSERT_TRUE(socket);
    RecordingDelegate& own = connection.delegate;
    Peer* peer = connection.peer.get();

    const QByteArray payload(300 * 1024, 'p');
    socket->writeData(payload, -1, 1);
    socket->disconnectAfterWriting();
    socket->writeData("late", -1, 2);
    socket->readDataWithTimeout(-1, 3);
    EXPECT_TRUE(socket->description().contains("has queued 0 reads 1 writes")) << socket->description().toStdString();
    EXPECT_TRUE(socket->description().contains(", will disconnect after writes"));

    bool peerClosed = false;
    ASSERT_TRUE(waitUntil([&] { return (peerClosed = peer->readAvailable()); }));
    EXPECT_EQ(peer->received(), payload);
    EXPECT_EQ(own.events, QStringList({"wrote 1", "didDisconnect"}));
}

TEST(AsyncSocketDescription, AClosedSocketDescribesItselfAsNowhere)
{
    const auto socket = AsyncSocket::create();
    const QString expected = QString::asprintf("<AsyncSocket %p", static_cast<const void*>(socket.get()))
        + " local nowhere remote nowhere has queued 0 reads 0 writes, no current read, no current write, "
        + QString::asprintf("read stream %p not open, write stream %p not open", nullptr, nullptr) + ", not connected>";
    EXPECT_EQ(socket->description(), expected);
}

TEST(AsyncSocketErrors, StreamErrorsConvertByDomain)
{
    EXPECT_FALSE(AsyncSocket::errorFromCFStreamError({0, 0}).isError());
    const struct {
        StreamError error;
        const char* domain;
    } cases[] = {
        {{kCFStreamErrorDomainPOSIX, 104}, "NSPOSIXErrorDomain"},
        {{kCFStreamErrorDomainMacOSStatus, -50}, "NSOSStatusErrorDomain"},
        {{kCFStreamErrorDomainMach, 5}, "NSMachErrorDomain"},
        {{kCFStreamErrorDomainNetDB, -2}, "kCFStreamErrorDomainNetDB"},
        {{kCFStreamErrorDomainSSL, -9800}, "kCFStreamErrorDomainSSL"},
        {{99, 42}, "CFStreamError (unlisted domain)"},
        {{0, 7}, "CFStreamError (unlisted domain)"},
    };
    for (const auto& c : cases) {
        const Error err = AsyncSocket::errorFromCFStreamError(c.error);
        EXPECT_EQ(err.domain, c.domain);
        EXPECT_EQ(err.code, c.error.code);
    }
    EXPECT_FALSE(AsyncSocket::errorFromCFStreamError({kCFStreamErrorDomainNetDB, -2}).localizedDescription.isEmpty());
    EXPECT_TRUE(AsyncSocket::errorFromCFStreamError({kCFStreamErrorDomainPOSIX, 104}).localizedDescription.isEmpty());
}

TEST(AsyncSocketAccept, DescriptorZeroIsAConnectionLikeAnyOther)
{
    Listener listener;
    Peer peer("127.0.0.1", listener.port());
    ASSERT_TRUE(peer.isConnected());
    // The accepted connection gets the lowest free descriptor: 0.
    const int savedInput = ::dup(0);
    ::close(0);
    const bool accepted = waitUntil([&] { return listener.delegate.count("connect ") == 1; });
    const auto socket = accepted ? listener.delegate.accepted[0] : nullptr;
    const int native = socket && socket->getCFReadStream() ? socket->getCFReadStream()->nativeHandle() : -1;
    const bool disconnected = socket && socket->isDisconnected();
    const QString host = socket ? socket->connectedHost() : QString();
    if (socket) {
        socket->setDelegate(nullptr);
        socket->disconnect();
    }
    ::dup2(savedInput, 0);
    ::close(savedInput);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(native, 0);
    EXPECT_FALSE(disconnected);
    EXPECT_EQ(host, "127.0.0.1");
}
