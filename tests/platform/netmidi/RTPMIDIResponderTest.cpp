// The session responder on its own: who it lets in and hears, its feedback cadence and the
// silence limit on the test's clock, and its goodbye. Inside a network namespace of the
// test's own.
#include "platform/netmidi/RTPMIDIResponder.h"

#include "platform/TimeSource.h"
#include "support/NetworkNamespace.h"
#include "support/RTPMIDITestPeer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace clipdeck::test;
using Bytes = std::vector<uint8_t>;

namespace {

class ResponderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_NETWORK_NAMESPACE(ns);
        ASSERT_TRUE(responder.start(0, &error)) << error.toStdString();
    }

    std::vector<Bytes> heard() const
    {
        std::lock_guard lock(mutex);
        return messages;
    }

    bool join(RTPMIDITestPeer& peer)
    {
        peer.setSessionPort(responder.port());
        return peer.join();
    }

    // Every datagram the peer has sent to data so far has been handled once the answer to a
    // clock sync sent after them has come back.
    bool handled(RTPMIDITestPeer& peer)
    {
        peer.send(RTPMIDITestPeer::Data, RTPMIDITestPeer::clockSync(peer.ssrc(), 0, 1));
        return peer.receiveCommand(RTPMIDITestPeer::Data, "CK").has_value();
    }

    NetworkNamespace ns;
    ManualTimeSource clock; // before the responder: its thread reads it
    mutable std::mutex mutex;
    std::vector<Bytes> messages;
    RTPMIDIResponder responder{"Responder", RTPMIDIResponder::kJoinPolicyAnyone,
                               [this](const uint8_t* bytes, size_t length) {
                                   std::lock_guard lock(mutex);
                                   messages.emplace_back(bytes, bytes + length);
                               }};
    QString error;
};

const Bytes kNote{0x90, 0x3C, 0x64};

} // namespace

TEST_F(ResponderTest, OnlyParticipantsAreHeardAndAnswered)
{
    RTPMIDITestPeer member(0x1000), stranger(0x2000);
    stranger.setSessionPort(responder.port());
    // IN on the data port before the control port is refused.
    stranger.send(RTPMIDITestPeer::Data, RTPMIDITestPeer::invitation(1, stranger.ssrc(), "Early"));
    EXPECT_TRUE(stranger.receiveCommand(RTPMIDITestPeer::Data, "NO"));
    // So is a protocol version other than 2.
    stranger.send(RTPMIDITestPeer::Control, RTPMIDITestPeer::invitation(1, stranger.ssrc(), "Old", 1));
    EXPECT_TRUE(stranger.receiveCommand(RTPMIDITestPeer::Control, "NO"));
    ASSERT_TRUE(join(member));

    // MIDI and clock syncs from outside: from a stranger, and under the member's SSRC from a
    // socket the member did not join from.
    stranger.send(RTPMIDITestPeer::Data, stranger.midi(kNote));
    stranger.send(RTPMIDITestPeer::Data, RTPMIDITestPeer::clockSync(stranger.ssrc(), 0, 1));
    stranger.send(RTPMIDITestPeer::Data, RTPMIDITestPeer::rtpMIDI(member.ssrc(), 1, 0, kNote));
    stranger.send(RTPMIDITestPeer::Data, RTPMIDITestPeer::clockSync(member.ssrc(), 0, 1));
    member.send(RTPMIDITestPeer::Control, member.midi({0x80, 0x3C, 0x00})); // MIDI belongs on data
    member.send(RTPMIDITestPeer::Data, member.midi(kNote));
    ASSERT_TRUE(handled(member));
    EXPECT_EQ(heard(), std::vector<Bytes>{kNote});
    // The control port's datagram may be read after the data port's clock sync.
    EXPECT_TRUE(waitUntil([&] { return responder.datagramsRefused() == 3u; }))
        << responder.datagramsRefused() << " refused";
    // The clock sync under the member's SSRC came from the member's host: it was answered.
    EXPECT_TRUE(stranger.receiveCommand(RTPMIDITestPeer::Data, "CK", 0));
    EXPECT_FALSE(stranger.receive(RTPMIDITestPeer::Data, 0)) << "nothing for the stranger's own SSRC";
}

TEST_F(ResponderTest, AJoinPolicyOtherThanAnyoneRefusesEveryInvitation)
{
    RTPMIDITestPeer peer(0x1000);
    peer.setSessionPort(responder.port());
    responder.setJoinPolicy(0);
    peer.send(RTPMIDITestPeer::Control, RTPMIDITestPeer::invitation(9, peer.ssrc(), "Peer"));
    const auto refused = peer.receiveCommand(RTPMIDITestPeer::Control, "NO");
    ASSERT_TRUE(refused);
    EXPECT_EQ(RTPMIDITestPeer::field(*refused, 8, 4), 9u);
    EXPECT_TRUE(responder.participants().empty());
    responder.setJoinPolicy(RTPMIDIResponder::kJoinPolicyAnyone);
    EXPECT_TRUE(peer.join());
}

TEST_F(ResponderTest, FeedbackGoesOutAboutOnceASecondAndSilentParticipantsAreDropped)
{
    RTPMIDITestPeer talker(0x1000), quiet(0x2000);
    ASSERT_TRUE(join(talker));
    ASSERT_TRUE(join(quiet));

    talker.send(RTPMIDITestPeer::Data, talker.midi(kNote));
    EXPECT_TRUE(talker.receiveCommand(RTPMIDITestPeer::Control, "RS")) << "at once after the first MIDI";
    const uint16_t last = talker.nextSequence();
    talker.send(RTPMIDITestPeer::Data, talker.midi(kNote));
    ASSERT_TRUE(handled(talker));
    EXPECT_FALSE(talker.receive(RTPMIDITestPeer::Control, 0)) << "not again within the second";
    clock.advance(1.0);
    ASSERT_TRUE(handled(talker)); // the thread looks at the clock after each datagram
    const auto feedback = talker.receiveCommand(RTPMIDITestPeer::Control, "RS");
    ASSERT_TRUE(feedback);
    EXPECT_EQ(RTPMIDITestPeer::field(*feedback, 8, 2), last);

    // The talker keeps the clock; the quiet one says nothing for more than two minutes.
    clock.advance(60.0);
    ASSERT_TRUE(handled(talker));
    clock.advance(61.0);
    ASSERT_TRUE(handled(talker));
    ASSERT_TRUE(waitUntil([&] { return responder.participants().size() == 1; }));
    EXPECT_EQ(responder.participants()[0].ssrc, talker.ssrc());
}

TEST_F(ResponderTest, StoppingSaysGoodbyeToEveryParticipant)
{
    RTPMIDITestPeer first(0x1000), second(0x2000, 10 /* AF_INET6 */);
    ASSERT_TRUE(join(first));
    ASSERT_TRUE(join(second));
    responder.stop();
    EXPECT_EQ(responder.port(), 0);
    for (RTPMIDITestPeer* peer : {&first, &second}) {
        const auto bye = peer->receiveCommand(RTPMIDITestPeer::Control, "BY");
        ASSERT_TRUE(bye);
        EXPECT_EQ(RTPMIDITestPeer::field(*bye, 8, 4), 0x51C0FFEEu) << "the token of the invitation";
        EXPECT_EQ(RTPMIDITestPeer::field(*bye, 12, 4), responder.ssrc());
    }
    EXPECT_TRUE(responder.participants().empty());
}
