// Hostile peers beside well-behaved remotes: whatever they send, they are closed or
// ignored, and the remotes beside them keep getting every message.
#include "RemoteServerSupport.h"

#include "platform/TimeSource.h"
#include "remote/CKRemoteProtocol.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using clipdeck::test::waitUntil;
using namespace remotetest;

TEST(RemoteHostilePeers, AreClosedOrIgnoredWhileTheOthersKeepTheirMessages)
{
    ManualTimeSource clock;
    LoopbackServer server;
    std::vector<std::unique_ptr<RemoteTestClient>> good;
    for (int i = 0; i < 3; ++i)
        good.push_back(server.connect());
    const auto oversized = server.connect();
    const auto truncated = server.connect();
    const auto garbage = server.connect();
    const auto slow = server.connect();
    std::vector<std::unique_ptr<RemoteTestClient>> crowd;
    for (int i = 0; i < 20; ++i)
        crowd.push_back(server.connect());
    for (const auto& client : good)
        ASSERT_TRUE(client);
    ASSERT_TRUE(oversized && truncated && garbage && slow);
    for (const auto& client : crowd)
        ASSERT_TRUE(client);
    ASSERT_EQ(server.server.connectedSockets().size(), 27u);

    const QByteArray message = RemoteTestClient::frame(RemoteTestClient::connectRequest("id", "slow host"));
    const QString host = QStringLiteral("127.0.0.1");
    const int ticks = 20;
    for (int tick = 0; tick < ticks; ++tick) {
        oversized->sendRaw(QByteArray(64 * 1024, char(tick)));
        if (tick == 0)
            truncated->sendRaw(message.left(message.size() / 2));
        if (tick == 1)
            truncated->peer().close();
        static const char junk[] = "\xFA\xDE\xDE\xAD bplist00\xFF\xFF\xFF\xFF\xFA\xDE\xDE";
        garbage->sendRaw(QByteArray(junk, sizeof junk - 1) + char(tick));
        // One byte a second.
        clock.advance(1.0);
        if (tick < message.size())
            slow->sendRaw(message.mid(tick, 1));
        for (const auto& client : crowd)
            client->sendRaw(QByteArray(tick * 7 + 1, char(0xA0 + tick)) + (tick % 3 == 0 ? QByteArray("\xFA\xDE\xDE\xAD", 4) : QByteArray()));
        // The remotes' commit of this tick (the first the board uuid of the others).
        const QVariantMap commit = CKRemoteProtocol::commitFromVote(
            CKRemoteProtocol::modifyChange(CKRemoteProtocol::ControllerChange, "masterVolume", tick / 20.0));
        QStringList hosts;
        hosts << host;
        server.server.sendDictionary(commit, hosts);
        clipdeck::test::settleEventLoop(1);
    }

    // Every remote at this address shares the host text, so the commits all go to the first
    // socket: that one must have every commit, in order.
    ASSERT_TRUE(good[0]->waitFor([&] { return good[0]->count("CommitIncChange") == ticks; }));
    EXPECT_EQ(good[0]->mirror.value("masterVolume").toDouble(), (ticks - 1) / 20.0);
    EXPECT_TRUE(oversized->waitForClose()) << "more than 1 MiB without a separator";
    EXPECT_TRUE(waitUntil([&] { return server.server.connectedSockets().size() == 25; }))
        << "the oversized and the truncated ones are gone";
    EXPECT_FALSE(garbage->poll()) << "garbage is ignored, the link stays";
    EXPECT_FALSE(slow->poll());
    // Each of the 20 ended a piece every third tick (7 pieces), the garbage one a piece a
    // tick (its first separator leads): every piece is unreadable, and nothing else came.
    const qsizetype unreadable = 20 * 7 + ticks;
    ASSERT_TRUE(waitUntil([&] { return server.delegate.events.count("nil from 127.0.0.1") >= unreadable; }));
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(server.delegate.events.count("nil from 127.0.0.1"), unreadable);
    EXPECT_EQ(server.delegate.events.size(), unreadable);
    EXPECT_EQ(server.delegate.events.count("ConnectRequest from 127.0.0.1"), 0) << "the slow message is not complete yet";

    // The slow one's last bytes arrive: its message is whole and read.
    slow->sendRaw(message.mid(ticks));
    ASSERT_TRUE(waitUntil([&] { return server.delegate.events.count("ConnectRequest from 127.0.0.1") == 1; }));
}
