// Framing and transport of remote messages: what a remote's bytes turn into, sending by
// address, closing with a reason, and the limits a bad or stalled peer runs into.
#include "RemoteServerSupport.h"

#include "platform/PropertyList.h"
#include "platform/TimeSource.h"
#include "platform/runloop/RunLoop.h"
#include "remote/CKRemoteProtocol.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using clipdeck::test::waitUntil;
using namespace remotetest;
using sockettest::settle;

namespace {

const QByteArray kSeparator("\xFA\xDE\xDE\xAD", 4);

QVariantMap typed(const char* type)
{
    return RemoteTestClient::ofType(QString::fromLatin1(type));
}

// A message whose body holds the separator: a data value with those bytes.
QByteArray messageHoldingTheSeparator()
{
    QVariantMap message = typed("ChecksumPassed");
    message.insert(QStringLiteral("Data"), QByteArray("ab") + kSeparator + QByteArray("cd"));
    return RemoteTestClient::frame(message);
}

struct FramingCase {
    const char* name;
    std::vector<QByteArray> chunks; // sent one by one, the server settling in between
    QStringList expected;
};

} // namespace

TEST(CKRemoteServer, FramingTurnsSegmentsIntoMessages)
{
    const QByteArray a = RemoteTestClient::frame(typed("ChecksumPassed"));
    const QByteArray b = RemoteTestClient::frame(typed("ChecksumFailed"));
    const QString from = QStringLiteral(" from 127.0.0.1");
    const std::vector<FramingCase> cases{
        {"two messages in one segment", {a + b}, {"ChecksumPassed" + from, "ChecksumFailed" + from}},
        {"one message split over three segments", {a.left(3), a.mid(3, 5), a.mid(8)}, {"ChecksumPassed" + from}},
        {"split inside the separator", {a.left(a.size() - 2), a.right(2) + b}, {"ChecksumPassed" + from, "ChecksumFailed" + from}},
        {"separator inside a body: both halves dropped, link kept", {messageHoldingTheSeparator(), a},
         {"nil" + from, "nil" + from, "ChecksumPassed" + from}},
        {"a bare separator", {kSeparator, a}, {"nil" + from, "ChecksumPassed" + from}},
        {"a body that is a list, not a dictionary", {*PropertyList::serialize(QVariantList{1}, PropertyList::Format::Binary) + kSeparator, a},
         {"nil" + from, "ChecksumPassed" + from}},
        {"garbage", {QByteArray("\x00\x01garbage") + kSeparator, a}, {"nil" + from, "ChecksumPassed" + from}},
    };
    for (const FramingCase& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server;
        const auto client = server.connect();
        ASSERT_TRUE(client);
        for (const QByteArray& chunk : c.chunks) {
            client->sendRaw(chunk);
            settle();
        }
        ASSERT_TRUE(waitUntil([&] { return server.delegate.events.size() >= c.expected.size(); }));
        settle();
        EXPECT_EQ(server.delegate.events, c.expected);
        EXPECT_EQ(server.server.connectedSockets().size(), 1u) << "the link stays";
    }
}

TEST(CKRemoteServer, APartialMessageIsNotDeliveredUntilItsSeparatorArrives)
{
    LoopbackServer server;
    const auto client = server.connect();
    ASSERT_TRUE(client);
    const QByteArray a = RemoteTestClient::frame(typed("ChecksumPassed"));
    client->sendRaw(a.left(a.size() - 1));
    settle();
    EXPECT_TRUE(server.delegate.events.isEmpty());
    client->sendRaw(a.right(1));
    ASSERT_TRUE(waitUntil([&] { return server.delegate.events.size() == 1; }));
}

TEST(CKRemoteServer, SendsToRemotesByAddress)
{
    LoopbackServer server;
    EXPECT_GT(server.server.port(), 0);
    EXPECT_FALSE(server.server.sendDictionary(typed("ConnectChallenge"), QStringLiteral("127.0.0.1"))) << "nobody connected";
    EXPECT_FALSE(server.server.sendDictionary(typed("ConnectChallenge"), QStringList())) << "nobody connected";

    const auto first = server.connect();
    const auto second = server.connect();
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(server.server.sendDictionary(typed("ConnectChallenge"), QStringLiteral("127.0.0.2")));
    EXPECT_TRUE(server.server.sendDictionary(typed("ConnectChallenge"), QStringList())) << "no hosts, all found";
    // Both remotes share one address: the first accepted gets what is sent to it.
    EXPECT_TRUE(server.server.sendDictionary(typed("ConnectChallenge"), QStringLiteral("127.0.0.1")));
    EXPECT_FALSE(server.server.sendDictionary(typed("PerformChecksum"), QStringList{"127.0.0.1", "127.0.0.2"}))
        << "one host missing";
    ASSERT_TRUE(first->waitFor([&] { return first->handled.size() == 2; }));
    EXPECT_EQ(first->count("ConnectChallenge"), 1);
    EXPECT_EQ(first->count("PerformChecksum"), 1) << "the hosts that exist still get it";
    second->poll();
    EXPECT_TRUE(second->handled.isEmpty());
}

TEST(CKRemoteServer, ClosingWithAReasonSendsItBeforeTheEnd)
{
    LoopbackServer server;
    const auto client = server.connect();
    ASSERT_TRUE(client);
    const QString reason = QStringLiteral("Clipdeck for Mac has quit.");
    EXPECT_TRUE(server.server.removeSocketWithHost(QStringLiteral("127.0.0.1"), reason));
    EXPECT_TRUE(server.server.connectedSockets().empty()) << "a closed socket leaves the list at once";
    ASSERT_TRUE(client->waitForClose());
    EXPECT_EQ(client->closeReason, reason);
    EXPECT_TRUE(client->closeReasonBeforeEnd);
    EXPECT_FALSE(server.server.removeSocketWithHost(QStringLiteral("127.0.0.1"), reason)) << "nobody left there";

    // Without a reason nothing is sent.
    const auto quiet = server.connect();
    ASSERT_TRUE(quiet);
    EXPECT_TRUE(server.server.removeSocketWithHost(QStringLiteral("127.0.0.1"), std::nullopt));
    ASSERT_TRUE(quiet->waitForClose());
    EXPECT_TRUE(quiet->received.isEmpty());
    EXPECT_TRUE(server.delegate.events.isEmpty());
}

TEST(CKRemoteServer, ARemoteThatClosesLeavesTheList)
{
    LoopbackServer server;
    auto client = server.connect();
    ASSERT_TRUE(client);
    client->peer().close();
    ASSERT_TRUE(waitUntil([&] { return server.server.connectedSockets().empty(); }));
}

TEST(CKRemoteServer, AMessageLongerThanTheReadMaximumClosesTheLink)
{
    LoopbackServer server;
    const auto bystander = server.connect();
    const auto client = server.connect();
    ASSERT_TRUE(client && bystander);

    // The largest message that fits, separator included, is read whole.
    const qsizetype limit = CKRemoteTerminal::kMaximumMessageLength;
    QVariantMap big = typed("ChecksumPassed");
    big.insert(QStringLiteral("Data"), QByteArray(limit - 100, 'x'));
    const qsizetype overhead = RemoteTestClient::frame(big).size() - (limit - 100);
    big.insert(QStringLiteral("Data"), QByteArray(limit - overhead, 'x'));
    const QByteArray fits = RemoteTestClient::frame(big);
    ASSERT_EQ(fits.size(), limit);
    client->sendRaw(fits);
    ASSERT_TRUE(waitUntil([&] { return server.delegate.events.size() == 1; }));
    EXPECT_EQ(server.delegate.events.front(), "ChecksumPassed from 127.0.0.1");

    // One byte more than the maximum without a separator closes the link (and only that one).
    client->sendRaw(QByteArray(CKRemoteTerminal::kMaximumMessageLength + 1, 'y'));
    ASSERT_TRUE(client->waitForClose());
    ASSERT_TRUE(waitUntil([&] { return server.server.connectedSockets().size() == 1; }));
    EXPECT_EQ(server.delegate.events.size(), 1);
    bystander->send(typed("ChecksumFailed"));
    ASSERT_TRUE(waitUntil([&] { return server.delegate.events.size() == 2; }));
}

TEST(CKRemoteServer, ARemoteThatStopsReadingIsClosedOnceItsBacklogPassesTheLimit)
{
    LoopbackServer server;
    const auto client = server.connect();
    ASSERT_TRUE(client);
    shrinkBuffers(*client, *server.server.connectedSockets().front());

    QVariantMap chunk = typed("ProgressUpdate");
    chunk.insert(QStringLiteral("Data"), QByteArray(512 * 1024, 'p'));
    int sent = 0;
    while (sent < 64 && server.server.sendDictionary(chunk, QStringLiteral("127.0.0.1"))) {
        ++sent;
        clipdeck::test::settleEventLoop(1);
    }
    EXPECT_LT(sent, 64) << "the backlog never reached the limit";
    EXPECT_GE(sent, 8) << "closed before 4 MiB were even queued";
    EXPECT_TRUE(server.server.connectedSockets().empty());
    ASSERT_TRUE(client->waitForClose());
}

TEST(CKRemoteServer, ClosingWithAReasonGivesUpAfterTwoSecondsWhenThePeerDoesNotRead)
{
    ManualTimeSource clock;
    LoopbackServer server;
    const auto client = server.connect();
    ASSERT_TRUE(client);
    const auto socket = server.server.connectedSockets().front();
    shrinkBuffers(*client, *socket);
    QVariantMap chunk = typed("ProgressUpdate");
    chunk.insert(QStringLiteral("Data"), QByteArray(1024 * 1024, 'p'));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(server.server.sendDictionary(chunk, QStringLiteral("127.0.0.1")));
    settle();

    // Inside the nested wait, time moves: 1.9 s (still waiting), then 0.1 s more.
    int token = 0;
    bool waitingAt19 = false;
    bool movedOn = false;
    RunLoop::main().perform(&token, 1, [&] {
        clock.advance(1.9);
        RunLoop::main().perform(&token, 2, [&] {
            waitingAt19 = true;
            clock.advance(0.1);
            movedOn = true;
        }, {CKRemoteTerminal::SynchronousWriteMode});
    }, {CKRemoteTerminal::SynchronousWriteMode});
    EXPECT_TRUE(server.server.removeSocketWithHost(QStringLiteral("127.0.0.1"), QStringLiteral("bye")));
    EXPECT_TRUE(waitingAt19);
    EXPECT_TRUE(movedOn);
    EXPECT_FALSE(server.server.syncWriteComplete());
    EXPECT_TRUE(server.server.connectedSockets().empty());
    EXPECT_FALSE(socket->isConnected());
    RunLoop::main().cancelPerforms(&token);
}
