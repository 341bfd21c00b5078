// The network MIDI driver and the device set-up it lives in: entities and their typed
// properties, and the session each online entity with settings runs, announces and ends.
// Inside a network namespace of the test's own, with DNS-SD publishing faked.
#include "platform/netmidi/MIDINetworkDriver.h"

#include "platform/midi/MIDISystem.h"
#include "platform/netmidi/RTPMIDIResponder.h"
#include "support/FakeDNSServices.h"
#include "support/NetworkNamespace.h"
#include "support/RTPMIDITestPeer.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace clipdeck::test;

TEST(MIDIDeviceSetup, PropertiesAreTypedAndReferencesNeverComeBack)
{
    MIDIDeviceSetup setup;
    const MIDIDeviceRef device = setup.addDevice("Device", "test.driver", nullptr);
    MIDIEntityRef first = kMIDINullObject, second = kMIDINullObject;
    ASSERT_EQ(setup.addEntity(device, "First", true, 1, 2, &first), noErr);
    ASSERT_EQ(setup.addEntity(device, "Second", false, 0, 0, &second), noErr);
    EXPECT_EQ(setup.addEntity(first, "Nested", true, 0, 0, nullptr), kMIDIWrongObjectType);

    QString text;
    SInt32 number = 0;
    QVariantMap map;
    EXPECT_EQ(setup.stringProperty(device, kMIDIPropertyDriverOwner, &text), noErr);
    EXPECT_EQ(text, "test.driver");
    EXPECT_EQ(setup.integerProperty(first, kMIDIPropertyEmbedded, &number), noErr);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(setup.integerProperty(first, kMIDIPropertyName, &number), kMIDIWrongPropertyType);
    EXPECT_EQ(setup.dictionaryProperty(first, "absent", &map), kMIDIUnknownProperty);
    EXPECT_EQ(setup.setDictionaryProperty(first, "settings", {{"port", 5004}}), noErr);
    EXPECT_EQ(setup.dictionaryProperty(first, "settings", &map), noErr);
    EXPECT_EQ(map.value("port").toInt(), 5004);

    EXPECT_NE(setup.source(first, 0), kMIDINullObject);
    EXPECT_EQ(setup.source(first, 1), kMIDINullObject);
    EXPECT_NE(setup.destination(first, 1), kMIDINullObject);
    QVariantMap all;
    ASSERT_EQ(setup.properties(device, &all, true), noErr);
    EXPECT_EQ(all.value("entities").toList().size(), 2);
    EXPECT_EQ(all.value("entities").toList()[0].toMap().value("destinations").toList().size(), 2);

    // A removal moves the later entities down; the removed references stay dead.
    const MIDIEndpointRef endpoint = setup.source(first, 0);
    ASSERT_EQ(setup.removeEntity(device, first), noErr);
    EXPECT_EQ(setup.numberOfEntities(device), 1u);
    EXPECT_EQ(setup.entity(device, 0), second);
    for (const MIDIObjectRef gone : {first, endpoint})
        EXPECT_EQ(setup.stringProperty(gone, kMIDIPropertyName, &text), kMIDIObjectNotFound);
    EXPECT_EQ(setup.removeEntity(device, first), kMIDIObjectNotFound);
    MIDIEntityRef third = kMIDINullObject;
    setup.addEntity(device, "Third", true, 0, 0, &third);
    EXPECT_GT(third, endpoint) << "no reference is used twice";
}

namespace {

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_NETWORK_NAMESPACE(ns); }

    // A new entity with session settings; offline until the test says otherwise.
    MIDIEntityRef addSession(const QString& networkName, int port = 0)
    {
        MIDIEntityRef entity = kMIDINullObject;
        setup.addEntity(driver.device(), "Session", true, 1, 1, &entity);
        setup.setDictionaryProperty(entity, MIDINetworkDriver::kSessionProperty,
                                    {{"flags", 1}, {"join-policy", 2u}, {"peers", QVariantList()}, {"port", port},
                                     {"dns-sd-name", networkName}});
        return entity;
    }

    uint16_t portOf(MIDIEntityRef entity) const
    {
        QVariantMap settings;
        setup.dictionaryProperty(entity, MIDINetworkDriver::kSessionProperty, &settings);
        return uint16_t(settings.value("port").toUInt());
    }

    static bool sourceListed(const QString& name)
    {
        for (const auto& source : MIDISystem::shared().sources()) {
            if (source.uid == "virtual:" + name)
                return true;
        }
        return false;
    }

    NetworkNamespace ns;
    FakeDNSServices dns;
    MIDIDeviceSetup setup;
    MIDINetworkDriver driver{setup};
};

using Records = std::vector<FakeDNSServices::Record>;

} // namespace

TEST_F(DriverTest, AnEntityRunsItsSessionWhileOnlineAndEndsItAtOnceWhenOfflineOrRemoved)
{
    const MIDIEntityRef entity = addSession("Studio");
    settleEventLoop();
    EXPECT_FALSE(driver.responderFor(entity)) << "a new entity starts offline";

    setup.setIntegerProperty(entity, kMIDIPropertyOffline, 0);
    ASSERT_TRUE(waitUntil([&] { return portOf(entity) != 0; }));
    const uint16_t port = portOf(entity);
    ASSERT_TRUE(driver.responderFor(entity));
    EXPECT_TRUE(sourceListed("Session"));
    ASSERT_TRUE(waitUntil([&] { return !dns.standing().empty(); }));
    EXPECT_EQ(dns.standing(), (Records{{"_apple-midi._udp", "Studio", port}}));

    // Changes of the settings reach the running session.
    QVariantMap settings;
    setup.dictionaryProperty(entity, MIDINetworkDriver::kSessionProperty, &settings);
    settings.insert("dns-sd-name", "Stage");
    settings.insert("join-policy", 0u);
    setup.setDictionaryProperty(entity, MIDINetworkDriver::kSessionProperty, settings);
    ASSERT_TRUE(waitUntil([&] { return dns.standing() == Records{{"_apple-midi._udp", "Stage", port}}; }));
    EXPECT_EQ(driver.responderFor(entity)->joinPolicy(), 0u);
    settings.insert("join-policy", 2u);
    setup.setDictionaryProperty(entity, MIDINetworkDriver::kSessionProperty, settings);

    RTPMIDITestPeer peer(0x0A0B0C0D);
    peer.setSessionPort(port);
    ASSERT_TRUE(waitUntil([&] { return driver.responderFor(entity)->joinPolicy() == 2; }));
    ASSERT_TRUE(peer.join());

    // Offline: goodbye, announcement and source gone; online again: the same port.
    setup.setIntegerProperty(entity, kMIDIPropertyOffline, 1);
    EXPECT_TRUE(peer.receiveCommand(RTPMIDITestPeer::Control, "BY"));
    EXPECT_FALSE(driver.responderFor(entity));
    EXPECT_TRUE(dns.standing().empty());
    EXPECT_FALSE(sourceListed("Session"));
    setup.setIntegerProperty(entity, kMIDIPropertyOffline, 0);
    ASSERT_TRUE(waitUntil([&] { return driver.responderFor(entity) != nullptr; }));
    EXPECT_EQ(driver.responderFor(entity)->port(), port);
    ASSERT_TRUE(peer.join());

    // Removal ends it before removeEntity() returns.
    setup.removeEntity(driver.device(), entity);
    EXPECT_FALSE(driver.responderFor(entity));
    EXPECT_TRUE(peer.receiveCommand(RTPMIDITestPeer::Control, "BY", 0));
    EXPECT_TRUE(dns.standing().empty());
}

TEST_F(DriverTest, ASessionRunsUnannouncedWhenTheAnnouncementFailsAndMovesOffATakenPort)
{
    // A port asked for that another socket holds.
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const uint16_t taken = ntohs(address.sin_port);

    dns.setFailing(true);
    const MIDIEntityRef entity = addSession("Studio", taken);
    setup.setIntegerProperty(entity, kMIDIPropertyOffline, 0);
    ASSERT_TRUE(waitUntil([&] { return portOf(entity) != taken; }));
    ASSERT_TRUE(waitUntil([&] { return dns.publications() == 1; }));
    settleEventLoop();
    EXPECT_TRUE(dns.standing().empty());
    ASSERT_TRUE(driver.responderFor(entity));
    RTPMIDITestPeer peer(0x0A0B0C0D);
    peer.setSessionPort(portOf(entity));
    EXPECT_TRUE(peer.join());
    ::close(holder);
}
