#include "platform/network/SocketAddress.h"
#include "platform/network/SocketStream.h"
#include "platform/runloop/RunLoop.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

using clipdeck::test::settleEventLoop;
using clipdeck::test::waitUntil;

namespace {

// A stream pair over one end of a connected socket pair; the other end plays the peer.
struct StreamsOverSocketPair {
    int ends[2] = {-1, -1};
    SocketStreamPair streams;
    std::vector<int> readEvents;
    std::vector<int> writeEvents;

    StreamsOverSocketPair()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
            throw std::runtime_error("socketpair");
        streams = SocketStreamPair::withSocket(ends[0]);
        streams.readStream->setShouldCloseNativeSocket(true);
        const int all = SocketStream::OpenCompleted | SocketStream::HasBytesAvailable | SocketStream::CanAcceptBytes
            | SocketStream::ErrorOccurred | SocketStream::EndEncountered;
        streams.readStream->setClient(all, [this](SocketStream::Event event) { readEvents.push_back(event); });
        streams.writeStream->setClient(all, [this](SocketStream::Event event) { writeEvents.push_back(event); });
        streams.readStream->scheduleWithRunLoop(RunLoop::main(), NSDefaultRunLoopMode);
        streams.writeStream->scheduleWithRunLoop(RunLoop::main(), NSDefaultRunLoopMode);
    }
    ~StreamsOverSocketPair()
    {
        streams = {};
        if (ends[1] >= 0)
            ::close(ends[1]);
    }
};

} // namespace

TEST(SocketStream, EventsArriveOnLaterPassesNeverInsideACall)
{
    StreamsOverSocketPair pair;
    ASSERT_TRUE(pair.streams.readStream->open());
    ASSERT_TRUE(pair.streams.writeStream->open());
    EXPECT_FALSE(pair.streams.readStream->open()) << "a stream opens once";
    EXPECT_TRUE(pair.readEvents.empty() && pair.writeEvents.empty()) << "open-completed is posted";
    ASSERT_TRUE(waitUntil([&] { return !pair.readEvents.empty() && !pair.writeEvents.empty(); }));
    EXPECT_EQ(pair.readEvents, std::vector<int>{SocketStream::OpenCompleted});
    EXPECT_EQ(pair.writeEvents.front(), SocketStream::OpenCompleted);
    EXPECT_EQ(pair.streams.readStream->status(), StreamStatus::Open);

    // Bytes available is told once, and again only after a read.
    (void)!::write(pair.ends[1], "abc", 3);
    ASSERT_TRUE(waitUntil([&] { return pair.readEvents.size() == 2; }));
    EXPECT_EQ(pair.readEvents.back(), SocketStream::HasBytesAvailable);
    (void)!::write(pair.ends[1], "def", 3);
    settleEventLoop();
    EXPECT_EQ(pair.readEvents.size(), 2u);
    uint8_t bytes[16];
    EXPECT_EQ(pair.streams.readStream->read(bytes, 2), 2);
    EXPECT_TRUE(pair.streams.readStream->hasBytesAvailable());
    EXPECT_EQ(pair.streams.readStream->read(bytes, sizeof bytes), 4);
    EXPECT_FALSE(pair.streams.readStream->hasBytesAvailable());

    // The peer's end is an end event, not a stream of empty reads.
    ::close(pair.ends[1]);
    pair.ends[1] = -1;
    ASSERT_TRUE(waitUntil([&] { return pair.readEvents.back() == SocketStream::EndEncountered; }));
    EXPECT_EQ(pair.streams.readStream->status(), StreamStatus::AtEnd);
}

TEST(SocketStream, AWriteToAVanishedPeerIsAnErrorNotASignal)
{
    StreamsOverSocketPair pair;
    pair.streams.readStream->open();
    pair.streams.writeStream->open();
    ASSERT_TRUE(waitUntil([&] { return pair.streams.writeStream->status() == StreamStatus::Open; }));
    ::close(pair.ends[1]);
    pair.ends[1] = -1;
    const uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(pair.streams.writeStream->write(bytes, sizeof bytes), -1);
    EXPECT_EQ(pair.streams.writeStream->status(), StreamStatus::Error);
    EXPECT_EQ(pair.streams.writeStream->error().domain, kCFStreamErrorDomainPOSIX);
    EXPECT_EQ(pair.streams.writeStream->error().code, EPIPE);
    EXPECT_FALSE(pair.streams.writeStream->setSSLSettings({})) << "no TLS here";
}

TEST(SocketAddress, RecordsRoundTripAndBadOnesGiveNoText)
{
    QByteArray address = socketaddress::ipv4Loopback(0);
    EXPECT_EQ(address.size(), socketaddress::kIPv4Size);
    EXPECT_EQ(socketaddress::family(address), 2);
    socketaddress::setPort(address, 51234);
    EXPECT_EQ(socketaddress::port(address), 51234);
    EXPECT_EQ(socketaddress::host(address), QStringLiteral("127.0.0.1"));
    const QByteArray address6 = socketaddress::ipv6Loopback(80);
    EXPECT_EQ(address6.size(), socketaddress::kIPv6Size);
    EXPECT_EQ(socketaddress::family(address6), 10);
    EXPECT_EQ(socketaddress::host(address6), QStringLiteral("::1"));

    // Unknown families and short records: no text, no exception.
    EXPECT_FALSE(socketaddress::host(QByteArray(16, '\x07')).has_value());
    EXPECT_FALSE(socketaddress::host(QByteArray(4, '\x02')).has_value());
    EXPECT_EQ(socketaddress::port(QByteArray(1, '\0')), 0);
}
