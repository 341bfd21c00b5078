// MIDI input end to end: a JACK server of the test's own, a JACK MIDI output port of the test's as
// the MIDI device, the program's MIDI client listening through JACK MIDI. Every test ends by
// checking that no JACK client of the program, or of the test, had a port registered while
// it was active: that can crash the JACK library (platform/midi/JackMIDIClient.h).
#include "clipdeck/ZEPMIDIClient.h"
#include "platform/TimeSource.h"
#include "platform/midi/MIDISystem.h"

#include "JackPortRegistrationWatch.h"
#include "TriggerTestSupport.h"
#include "support/JackTestServer.h"
#include "support/MIDITestSender.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

using namespace clipdeck::test;

namespace {

// What the playback controller does with the master commands, recorded.
class FakePlaybackController : public QObject {
public:
    explicit FakePlaybackController(CallLog& log) : log_(log) {}
    void handleSysExPause(const CKSysExAction& c) { log_.record(c.toggleValue() ? "pause" : "resume"); }
    void handleSysExDuck(const CKSysExAction& c) { log_.record(QString("ducked %1").arg(c.toggleValue())); }
    void handleSysExStop(const CKSysExAction&) { log_.record("stop all"); }
    void handleSysExVolume(const CKSysExAction& c) { log_.record(QString("master %1").arg(c.volume(), 0, 'f', 5)); }

    void registerOn(ZEPMIDIClient& client)
    {
        client.addListenerForTargetType(this, [this](const CKSysExAction& c) { handleSysExPause(c); }, 1);
        client.addListenerForTargetType(this, [this](const CKSysExAction& c) { handleSysExDuck(c); }, 2);
        client.addListenerForTargetType(this, [this](const CKSysExAction& c) { handleSysExStop(c); }, 3);
        client.addListenerForTargetType(this, [this](const CKSysExAction& c) { handleSysExVolume(c); }, 10);
    }

private:
    CallLog& log_;
};

// A sound: its uuid listener for the remote's commands.
class FakeSound : public QObject {
public:
    FakeSound(const QString& name, const QString& uuid, CallLog& log, ZEPMIDIClient& client) : name_(name), log_(log)
    {
        client.addListenerForTriggerUUID(this, [this](const CKSysExAction& c) { handleSysExAction(c); }, uuid);
    }
    void handleSysExAction(const CKSysExAction& c)
    {
        if (c.triggerAction() == CKSysExAction::kTriggerSetVolume)
            log_.record(QString("%1 volume %2").arg(name_).arg(c.volume(), 0, 'f', 5));
        else
            log_.record(QString("%1 trigger %2 mode %3").arg(name_).arg(c.triggerAction()).arg(c.playbackMode()));
    }

private:
    QString name_;
    CallLog& log_;
};

class MIDIOverJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_JACK_SERVER(server);
        ASSERT_EQ(MIDISystem::shared().api(), "jack"); // no ALSA sequencer here
        device = std::make_unique<MIDITestSender>("Test Keys", "out");
        ASSERT_TRUE(device->isOpen());
        client = std::make_unique<ZEPMIDIClient>("Clipdeck");
        ASSERT_EQ(client->destinationConnections(), QStringList{device->sourceUID()});
        ASSERT_TRUE(awaitLiveConnection(*client, *device));
    }
    void TearDown() override
    {
        client.reset();
        EXPECT_EQ(portsRegisteredOnActiveClients(), std::vector<std::string>{});
    }

    // A note on channel 15 that a marker listener hears: once it is in, everything sent
    // before it that was not lost to a late cycle has been dispatched. Listeners fire one
    // after another in the order they were added, so the marker listener is added after
    // those a test reads: once it has the marker, they have had it too.
    void sendMarkerAndWait()
    {
        const size_t before = markers.load();
        ASSERT_TRUE(sendUntilHeard(*device, xruns, {0x9F, 127, 1}, [&] { return markers.load() > before; }));
    }
    // Sends a burst of messages and then the marker, again (after forget() has cleared what
    // the listeners heard) while the server had a late cycle meanwhile, which may have lost
    // part of it.
    void sendBurstAndMarker(const std::vector<std::vector<uint8_t>>& burst, const std::function<void()>& forget)
    {
        for (int attempt = 0; attempt < 10; ++attempt) {
            const int xrunsBefore = xruns.xruns();
            for (const auto& message : burst)
                ASSERT_TRUE(device->send(message));
            sendMarkerAndWait();
            if (xruns.xruns() == xrunsBefore)
                return;
            forget();
        }
        FAIL() << "each burst met a late cycle of the server";
    }
    // Sends message until the log holds count calls.
    bool sendUntilLogged(MIDITestSender& sender, const std::vector<uint8_t>& message, size_t count)
    {
        return sendUntilHeard(sender, xruns, message, [&] { return log.count() >= count; });
    }
    void listenForMarkers()
    {
        client->addListener(&target, [this](const ZEPMIDIAction&) { ++markers; }, 15, ZEPMIDIAction::kNoteDownEvent,
                            127);
    }

    JackTestServer server;
    JackXrunCounter xruns; // after the server: it counts that server's late cycles
    ManualTimeSource clock;
    std::unique_ptr<MIDITestSender> device;
    std::unique_ptr<ZEPMIDIClient> client;
    QObject target;
    CallLog log;
    std::atomic<size_t> markers{0};
};

} // namespace

TEST_F(MIDIOverJack, NotesReachTheBoundListenerAndItsMainThreadHop)
{
    client->addListener(&target, [&](const ZEPMIDIAction& e) { log.record(QString("heard %1").arg(e.eventType())); },
                        0, ZEPMIDIAction::kAllEvents, 60);
    client->addListener(&target, [&](const ZEPMIDIAction&) { log.record("press"); }, 0, ZEPMIDIAction::kNoteDownEvent,
                        60, ZEPMIDIListener::Delivery::MainThread);
    client->addListener(&target, [&](const ZEPMIDIAction&) { log.record("lift"); }, 0, ZEPMIDIAction::kNoteUpEvent, 60,
                        ZEPMIDIListener::Delivery::MainThread);
    ASSERT_TRUE(sendUntilLogged(*device, {0x90, 60, 100}, 2));
    ASSERT_TRUE(sendUntilLogged(*device, {0x80, 60, 0}, 4));
    EXPECT_EQ(log.calls(), (std::vector<QString>{"heard 144", "press", "heard 128", "lift"}));
    EXPECT_EQ(log.onMainThread(), (std::vector<bool>{false, true, false, true}));
}

TEST_F(MIDIOverJack, ChannelTypeAndButtonWildcardsFilterEvents)
{
    const struct {
        const char* name;
        int32_t channel, type;
        uint16_t button;
    } listeners[] = {
        {"ch0 down 60", 0, 144, 60},      {"down anywhere", 255, 144, 0xFF00}, {"ch3 anything", 3, 255, 0xFF00},
        {"button FFFF", 255, 255, 0xFFFF}, {"everything", 255, 255, 0xFF00},  {"ch0 volume", 0, 1968, 0xFF00},
        {"ch0 up 60", 0, 128, 60},
    };
    // Each listener's events as "kind/channel/button". Shared with the listeners, which
    // live as long as the client: a test that ends early leaves them nothing dangling.
    struct Heard {
        std::map<std::string, std::vector<std::string>> events;
        std::mutex mutex;
    };
    const auto heard = std::make_shared<Heard>();
    for (const auto& l : listeners) {
        const std::string name = l.name;
        client->addListener(&target,
                            [heard, name](const ZEPMIDIAction& e) {
                                std::lock_guard lock(heard->mutex);
                                heard->events[name].push_back(QString("%1/%2/%3")
                                                                  .arg(e.eventType())
                                                                  .arg(e.channel())
                                                                  .arg(e.buttonID())
                                                                  .toStdString());
                            },
                            l.channel, l.type, l.button);
    }
    listenForMarkers();
    const std::vector<std::vector<uint8_t>> events = {
        {0x90, 60, 100}, // ch0 down 60
        {0x93, 61, 100}, // ch3 down 61
        {0x83, 61, 0},   // ch3 up 61
        {0x90, 60, 0},   // ch0 down 60 at velocity 0: up
        {0xB0, 7, 127},  // ch0 volume
        {0xC0, 5},       // program change: no event kind
    };
    sendBurstAndMarker(events, [&] {
        std::lock_guard lock(heard->mutex);
        heard->events.clear();
    });
    std::lock_guard lock(heard->mutex);
    const std::map<std::string, std::vector<std::string>> expected = {
        {"ch0 down 60", {"144/0/60"}},
        {"down anywhere", {"144/0/60", "144/3/61", "144/15/127"}}, // the marker too
        {"ch3 anything", {"144/3/61", "128/3/61"}},
        {"everything", {"144/0/60", "144/3/61", "128/3/61", "128/0/60", "1968/0/7", "-1/0/5", "144/15/127"}},
        {"ch0 volume", {"1968/0/7"}},
        {"ch0 up 60", {"128/0/60"}},
    };
    EXPECT_EQ(heard->events, expected);
}

TEST_F(MIDIOverJack, TheCommandTableActsFromARealPortAndMalformedCommandsAreIgnored)
{
    const QString kick = "6F1C2B3A-0D4E-4F50-8A9B-ACBDCEDF0102", snare = "0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9";
    FakePlaybackController controller(log);
    controller.registerOn(*client);
    FakeSound kickSound("kick", kick, log, *client);
    FakeSound snareSound("snare", snare, log, *client);
    const auto ordinary = std::make_shared<std::atomic<int>>(0);
    client->addListener(&target, [ordinary](const ZEPMIDIAction&) { ++*ordinary; }, 255, ZEPMIDIAction::kAllEvents);
    listenForMarkers();

    std::vector<uint8_t> badBase64 = soundCommand(kick, {0x02, 0x00});
    badBase64[10] = '!';
    const std::vector<std::vector<uint8_t>> sent = {
        sysEx({0x03}),                           // stop all
        sysEx({0x03, 0x00}),                     // too long: ignored
        sysEx({0x0A, 0x7F, 0x7F}),               // master volume 1.0
        sysEx({0x0A, 0x40, 0x00}),               // master volume 8192/16383
        sysEx({0x0A}),                           // too short: ignored
        sysEx({0x01, 0x01}),                     // pause
        sysEx({0x01, 0x00}),                     // resume
        sysEx({0x02, 0x01}),                     // duck
        sysEx({0x02, 0x00}),                     // unduck
        soundCommand(kick, {0x02, 0x01}),        // press the kick, looping
        soundCommand(snare, {0x00, 0x00}),       // stop the snare
        soundCommand(kick, {0x0A, 0x7F, 0x7F}),  // the kick's volume
        soundCommand(kick, {0x0A, 0x7F}),        // sound volume one byte short: ignored
        badBase64,                               // ignored
        sysEx({0x05, 0x00}),                     // command 5: ignored
        {0xF0, 0x00, 0x6F, 0x6E, 0x03, 0xF7},    // another manufacturer: an ordinary event
    };
    sendBurstAndMarker(sent, [&] {
        settleEventLoop(); // the commands' hops to the main thread land first
        log.clear();
        *ordinary = 0;
    });
    const std::vector<QString> expected = {
        "stop all",       "master 1.00000", "master 0.50003", "pause",       "resume",
        "ducked 1",       "ducked 0",       "kick trigger 2 mode 1",        "snare trigger 0 mode 0",
        "kick volume 1.00000",
    };
    // The commands hop to the main thread: all of them once the last is in.
    ASSERT_TRUE(waitUntil([&] { return log.count() >= expected.size(); }));
    EXPECT_EQ(log.calls(), expected);
    EXPECT_EQ(log.onMainThread(), std::vector<bool>(expected.size(), true));
    EXPECT_EQ(ordinary->load(), 2); // the foreign message and the marker
}

TEST_F(MIDIOverJack, APortThatAppearsIsConnectedByThePollAndOneThatVanishesIsDropped)
{
    client->addListener(&target, [&](const ZEPMIDIAction& e) { log.record(QString::number(e.buttonID())); }, 0);
    EXPECT_EQ(client->numberOfDevices(), 1u);

    auto pads = std::make_unique<MIDITestSender>("Test Pads", "out");
    ASSERT_TRUE(pads->isOpen());
    clock.advance(1.0);
    EXPECT_EQ(client->destinationConnections(), (QStringList{device->sourceUID(), pads->sourceUID()}));
    EXPECT_EQ(client->connectionsMade(), 2); // the first port was not connected again
    EXPECT_EQ(client->numberOfDevices(), 2u);
    ASSERT_TRUE(awaitLiveConnection(*client, *pads));
    ASSERT_TRUE(sendUntilLogged(*pads, {0x90, 1, 100}, 1));
    ASSERT_TRUE(sendUntilLogged(*device, {0x90, 2, 100}, 2));

    device.reset();
    clock.advance(1.0);
    EXPECT_EQ(client->destinationConnections(), QStringList{pads->sourceUID()});
    EXPECT_EQ(client->numberOfDevices(), 1u);
    ASSERT_TRUE(sendUntilLogged(*pads, {0x90, 3, 100}, 3));
    EXPECT_EQ(log.calls(), (std::vector<QString>{"1", "2", "3"}));
}

TEST(MIDIOverJackRestart, TheClientOutlivesItsJackServerAndListensToTheNextOne)
{
    ManualTimeSource clock;
    auto server = std::make_unique<JackTestServer>();
    REQUIRE_JACK_SERVER(*server);
    auto device = std::make_unique<MIDITestSender>("Test Keys", "out");
    ZEPMIDIClient client("Clipdeck");
    ASSERT_EQ(client.destinationConnections(), QStringList{device->sourceUID()});
    ASSERT_TRUE(awaitLiveConnection(client, *device));
    CallLog log;
    QObject target;
    client.addListener(&target, [&](const ZEPMIDIAction& e) { log.record(QString::number(e.buttonID())); }, 0);

    device.reset();
    server.reset(); // the server goes away under the client
    ASSERT_TRUE(waitUntil([&] {
        clock.advance(1.0);
        return client.destinationConnections().isEmpty();
    }));
    EXPECT_EQ(client.numberOfDevices(), 0u);

    server = std::make_unique<JackTestServer>();
    REQUIRE_JACK_SERVER(*server);
    device = std::make_unique<MIDITestSender>("Test Pads", "out");
    ASSERT_TRUE(waitUntil([&] {
        clock.advance(1.0);
        return client.destinationConnections() == QStringList{device->sourceUID()};
    }));
    ASSERT_TRUE(awaitLiveConnection(client, *device));
    const JackXrunCounter xruns;
    ASSERT_TRUE(sendUntilHeard(*device, xruns, {0x90, 7, 100}, [&] { return log.count() >= 1; }));
    EXPECT_EQ(log.calls(), std::vector<QString>{"7"});
    EXPECT_EQ(portsRegisteredOnActiveClients(), std::vector<std::string>{});
}
