// The network MIDI session as others find it: announced by DNS-SD on an Avahi daemon of the
// test's own (in a network namespace of its own), withdrawn when the session ends.
#include "NetworkSessionTestSupport.h"

#include "support/AvahiTestDaemon.h"

using namespace netmiditest;
using namespace clipdeck::test;

TEST_F(NetworkSessionTest, TheSessionIsAnnouncedAtItsControlPortUntilItEnds)
{
    AvahiTestDaemon daemon;
    REQUIRE_AVAHI_DAEMON(daemon);
    AvahiBrowser browser("_apple-midi._udp");

    auto session = std::make_unique<ZEPMIDINetworkSession>("Clipdeck", "Studio Mac", nullptr);
    const uint16_t port = waitForPort(session->entity());
    ASSERT_NE(port, 0);
    ASSERT_TRUE(waitUntil([&] { return browser.resolved("Studio Mac").has_value(); }, 20000));
    EXPECT_EQ(browser.resolved("Studio Mac")->port, port);

    RTPMIDITestPeer peer(0x0A0B0C0D);
    peer.setSessionPort(port);
    ASSERT_TRUE(peer.join());
    const uint32_t ours = driver.responderFor(session->entity())->ssrc();

    session.reset();
    const auto bye = peer.receiveCommand(RTPMIDITestPeer::Control, "BY");
    ASSERT_TRUE(bye);
    EXPECT_EQ(RTPMIDITestPeer::field(*bye, 12, 4), ours);
    EXPECT_TRUE(waitUntil([&] { return browser.removed("Studio Mac"); }, 20000));
}
