// Reads to a separator, writes in pieces, a peer's reset, and time-outs on the injected clock.
#include "SocketTestSupport.h"

#include "platform/TimeSource.h"
#include "platform/network/SocketStream.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>

using clipdeck::test::waitUntil;
using namespace sockettest;

namespace {

const QByteArray kSeparator("\xFA\xDE\xDE\xAD", 4);

QString readEvent(long tag, const QByteArray& data)
{
    return QStringLiteral("read %1 %2").arg(tag).arg(QString::fromLatin1(data.toHex()));
}

} // namespace

TEST(AsyncSocketReads, SeparatorReadsDeliverWholeMessagesInOrder)
{
    const QByteArray sep = kSeparator;
    const struct {
        const char* name;
        std::vector<QByteArray> sends; // each one send(), the loop running between them
        uint32_t maxLength;
        QStringList expected;
    } cases[] = {
        {"two messages in one send", {"one" + sep + "two" + sep}, 0,
         {readEvent(7, "one" + sep), readEvent(7, "two" + sep)}},
        {"a separator split over two sends", {"hello" + sep.left(2), sep.mid(2) + "tail"}, 0,
         {"partial 7 7", readEvent(7, "hello" + sep), "partial 7 4"}},
        {"a separator alone", {sep}, 0, {readEvent(7, sep)}},
        {"a message longer than the maximum", {QByteArray("0123456789")}, 8,
         {"partial 7 8", "willDisconnect AsyncSocketErrorDomain 3", "didDisconnect"}},
        {"a long message read ahead in chunks", {QByteArray(700, 'm') + sep + "x"}, 0,
         {readEvent(7, QByteArray(700, 'm') + sep), "partial 7 1"}},
        {"a message across sends", {"ab", "cd", sep}, 0, {"partial 7 2", "partial 7 2", readEvent(7, "abcd" + sep)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Connection connection;
        ASSERT_TRUE(connection.socket);
        RecordingDelegate& delegate = connection.delegate;
        delegate.rearmSeparator = sep;
        delegate.rearmMaxLength = c.maxLength;
        connection.socket->readDataToData(sep, -1, c.maxLength, 7);
        for (const QByteArray& bytes : c.sends) {
            connection.peer->send(bytes);
            // Wait until the socket has taken these bytes in.
            const qsizetype before = delegate.events.size();
            waitUntil([&] { return delegate.events.size() > before; }, 200);
        }
        ASSERT_TRUE(waitUntil([&] { return delegate.events.size() >= c.expected.size(); }));
        settle();
        EXPECT_EQ(delegate.events, c.expected);
        EXPECT_FALSE(delegate.nestedRead) << "a read queued inside a read is served on a later pass";
    }
}

TEST(AsyncSocketReads, RefusedRequestsQueueNothing)
{
    Connection connection;
    ASSERT_TRUE(connection.socket);
    AsyncSocket& socket = *connection.socket;
    socket.readDataToData(kSeparator, -1, 3, 1);   // maximum shorter than the separator
    socket.readDataToData(QByteArray(), -1, 2);     // no separator
    socket.readDataToLength(0, -1, 3);              // nothing to read
    socket.readDataWithTimeout(-1, std::make_shared<QByteArray>(4, '\0'), 5, 4); // offset past the buffer
    socket.writeData(QByteArray(), -1, 5);          // nothing to write
    EXPECT_TRUE(socket.description().contains("has queued 0 reads 0 writes")) << socket.description().toStdString();
    connection.peer->send("abc" + kSeparator);
    settle();
    EXPECT_TRUE(connection.delegate.events.isEmpty());
    EXPECT_TRUE(std::isnan(socket.progressOfReadReturningTag(nullptr, nullptr, nullptr)));
}

TEST(AsyncSocketReads, ReadsIntoACallersBufferBehindItsOffset)
{
    Connection connection;
    ASSERT_TRUE(connection.socket);
    auto buffer = std::make_shared<QByteArray>("head:");
    connection.socket->readDataToLength(6, -1, buffer, 5, 1);
    connection.peer->send("bodies and more");
    ASSERT_TRUE(waitUntil([&] { return connection.delegate.count("read 1") == 1; }));
    EXPECT_EQ(connection.delegate.events, QStringList({readEvent(1, "bodies")}));
    EXPECT_EQ(*buffer, "head:bodies");
}

TEST(AsyncSocketWrites, A10000ByteWriteIsOfferedIn4096BytePieces)
{
    Connection connection;
    ASSERT_TRUE(connection.socket);
    std::vector<size_t> offered;
    connection.socket->getCFWriteStream()->setWriteObserver([&](size_t count, ssize_t) { offered.push_back(count); });
    QByteArray payload(10000, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7);
    connection.socket->writeData(payload, -1, 9);
    ASSERT_TRUE(waitUntil([&] {
        connection.peer->readAvailable();
        return connection.peer->received().size() == payload.size();
    }));
    settle();
    EXPECT_EQ(offered, (std::vector<size_t>{4096, 4096, 1808}));
    EXPECT_EQ(connection.delegate.events, QStringList({"wrote 9"}));
    EXPECT_EQ(connection.peer->received(), payload);
}

TEST(AsyncSocketWrites, APeerResetDuringALongWriteIsAnErrorNotACrash)
{
    Connection connection;
    ASSERT_TRUE(connection.socket);
    connection.socket->writeData(QByteArray(16 * 1024 * 1024, 'w'), -1, 1);
    // Some of it is on its way when the peer resets.
    ASSERT_TRUE(waitUntil([&] { return connection.socket->progressOfWriteReturningTag(nullptr, nullptr, nullptr) > 0; }));
    connection.peer->reset();
    ASSERT_TRUE(waitUntil([&] { return connection.delegate.count("didDisconnect") == 1; }));
    ASSERT_EQ(connection.delegate.events.size(), 2);
    EXPECT_TRUE(connection.delegate.events[0].startsWith("willDisconnect NSPOSIXErrorDomain ")) << connection.delegate.events[0].toStdString();
    EXPECT_EQ(connection.delegate.events[1], "didDisconnect");
}

// Time-outs run on the injected clock: the test moves it.
TEST(AsyncSocketTimeouts, ReadTimeoutsFollowTheClock)
{
    const struct {
        const char* name;
        double timeout;
        bool dataFirst;
        std::vector<double> extensions;
        double advance;
        QStringList expected;
    } cases[] = {
        {"-1 never fires", -1, false, {}, 1e6, {}},
        {"0 fires on the next pass", 0, false, {}, 0, {"timeout? 3 0 0", "willDisconnect AsyncSocketErrorDomain 4", "didDisconnect"}},
        {"0 does not fire once done", 0, true, {}, 0, {readEvent(3, "x")}},
        {"an extension of 5 s reports first + 5", 2, false, {5}, 7,
         {"timeout? 3 2 0", "timeout? 3 7 0", "willDisconnect AsyncSocketErrorDomain 4", "didDisconnect"}},
        {"just before the extension runs out", 2, false, {5}, 6.9, {"timeout? 3 2 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Connection connection;
        ASSERT_TRUE(connection.socket);
        ManualTimeSource clock;
        connection.delegate.readExtensions = c.extensions;
        if (c.dataFirst) {
            connection.peer->send("x");
            ASSERT_TRUE(waitUntil([&] { return connection.socket->getCFReadStream()->hasBytesAvailable(); }));
        }
        connection.socket->readDataWithTimeout(c.timeout, 3);
        // The read starts on the next pass (its timer with it).
        ASSERT_TRUE(waitUntil([&] { return !std::isnan(connection.socket->progressOfReadReturningTag(nullptr, nullptr, nullptr)) || !connection.delegate.events.isEmpty(); }));
        clock.advance(c.advance);
        settle();
        EXPECT_EQ(connection.delegate.events, c.expected);
    }
}

TEST(AsyncSocketTimeouts, WriteTimeoutClosesWithItsCode)
{
    Connection connection;
    ASSERT_TRUE(connection.socket);
    ManualTimeSource clock;
    // More than the socket buffers hold while the peer reads nothing.
    connection.socket->writeData(QByteArray(64 * 1024 * 1024, 'w'), 1.5, 4);
    ASSERT_TRUE(waitUntil([&] { return connection.socket->progressOfWriteReturningTag(nullptr, nullptr, nullptr) > 0; }));
    clock.advance(1.0);
    EXPECT_EQ(connection.delegate.count("willDisconnect"), 0);
    clock.advance(0.5);
    EXPECT_EQ(connection.delegate.events, QStringList({"willDisconnect AsyncSocketErrorDomain 5", "didDisconnect"}));
}

TEST(AsyncSocketWrites, ATLSUpgradeIsRefusedAndCloses)
{
    Connection connection;
    ASSERT_TRUE(connection.socket);
    connection.socket->writeData("before", -1, 1);
    connection.socket->startTLS({});
    connection.socket->writeData("after", -1, 2);
    ASSERT_TRUE(waitUntil([&] { return connection.delegate.count("didDisconnect") == 1; }));
    EXPECT_EQ(connection.delegate.events,
              QStringList({"wrote 1", "willDisconnect AsyncSocketErrorDomain -1", "didDisconnect"}));
}
