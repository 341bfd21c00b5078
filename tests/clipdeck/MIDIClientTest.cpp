// The MIDI client's dispatch, event lock and source tracking, fed by virtual sources inside
// the process (no MIDI system needed).
#include "clipdeck/ZEPMIDIClient.h"
#include "clipdeck/ZEPMIDIPacketDecoder.h"
#include "platform/MainThread.h"
#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"
#include "platform/midi/MIDIVirtualSource.h"

#include "TriggerTestSupport.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <thread>

using namespace clipdeck::test;

namespace {

std::vector<uint8_t> noteOn(uint8_t note, uint8_t channel = 0) { return {uint8_t(0x90 | channel), note, 100}; }
std::vector<uint8_t> noteOff(uint8_t note, uint8_t channel = 0) { return {uint8_t(0x80 | channel), note, 0}; }

// Waits without running the main loop, so calls handed to the main thread stay queued.
bool waitOffTheLoop(const std::function<bool()>& condition)
{
    for (int i = 0; i < 5000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

class MIDIClientTest : public ::testing::Test {
protected:
    ManualTimeSource clock; // the once-a-second source check runs only when the test moves it
    QObject target;
    CallLog log;
    std::unique_ptr<MIDIVirtualSource> keyboard = std::make_unique<MIDIVirtualSource>("Test Keys");
    std::unique_ptr<ZEPMIDIClient> client = std::make_unique<ZEPMIDIClient>("Clipdeck");

    ZEPMIDIClient::Action record(const QString& name)
    {
        return [this, name](const ZEPMIDIAction& event) {
            log.record(QString("%1 %2/%3").arg(name).arg(event.eventType()).arg(event.buttonID()));
        };
    }
};

} // namespace

TEST_F(MIDIClientTest, HandsEveryPacketToTheListenersOnItsMIDIThreadInOrder)
{
    ASSERT_EQ(client->destinationConnections(), QStringList{keyboard->uid()});
    client->addListener(&target, record("first"), 0, ZEPMIDIAction::kAllEvents, 60);
    client->addListener(&target, record("second"), 0, ZEPMIDIAction::kAllEvents, 60);
    client->addListener(&target, record("hop"), 0, ZEPMIDIAction::kNoteDownEvent, 60,
                        ZEPMIDIListener::Delivery::MainThread);
    EXPECT_EQ(keyboard->send(noteOn(60)), 1);
    EXPECT_EQ(keyboard->send(noteOff(60)), 1);
    ASSERT_TRUE(waitUntil([&] { return log.count() == 5; }));
    std::vector<QString> onMIDIThread, onMainThread;
    for (size_t i = 0; i < 5; ++i)
        (log.onMainThread()[i] ? onMainThread : onMIDIThread).push_back(log.calls()[i]);
    EXPECT_EQ(onMIDIThread, (std::vector<QString>{"first 144/60", "second 144/60", "first 128/60", "second 128/60"}));
    EXPECT_EQ(onMainThread, std::vector<QString>{"hop 144/60"});
}

TEST_F(MIDIClientTest, AListenerAddedDuringADispatchHearsOnlyTheNextEvent)
{
    std::atomic<bool> added{false};
    client->addListener(&target,
                        [&](const ZEPMIDIAction&) {
                            if (!added.exchange(true))
                                client->addListener(&target, record("late"), 0);
                        },
                        0);
    keyboard->send(noteOn(1));
    keyboard->send(noteOn(2));
    ASSERT_TRUE(waitUntil([&] { return log.count() == 1; }));
    EXPECT_EQ(log.calls(), std::vector<QString>{"late 144/2"});
}

TEST_F(MIDIClientTest, AListenerRemovedNeverFiresAgainNotEvenForTheEventBeingDispatched)
{
    ZEPMIDIClient::ListenerPtr victim, queued;
    // The first listener removes the second, which comes later in the list, during the dispatch.
    client->addListener(&target, [&](const ZEPMIDIAction&) { client->removeListener(victim); }, 0,
                        ZEPMIDIAction::kAllEvents, 1);
    victim = client->addListener(&target, record("victim"), 0);
    // A call already handed to the main thread is dropped when its listener goes first.
    queued = client->addListener(&target, record("queued"), 0, ZEPMIDIAction::kAllEvents, 2,
                                 ZEPMIDIListener::Delivery::MainThread);
    client->addListener(&target, record("witness"), 0, ZEPMIDIAction::kAllEvents, 2);
    keyboard->send(noteOn(1));
    keyboard->send(noteOn(2));
    ASSERT_TRUE(waitOffTheLoop([&] { return log.count() == 1; })); // the witness: the call of "queued" waits
    client->removeListener(queued);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.calls(), std::vector<QString>{"witness 144/2"});
    EXPECT_FALSE(victim->isRegistered());
    EXPECT_FALSE(client->listenerForChannel(0, ZEPMIDIAction::kAnyButton));
}

TEST_F(MIDIClientTest, TheEventLockSendsEventsToLearningListenersOnly)
{
    client->addListener(&target, record("sound"), 0, ZEPMIDIAction::kNoteDownEvent);
    client->addLearningListener(&target, record("learn"), 255, ZEPMIDIAction::kNoteUpEvent);
    // Dispatched here, one after the other, so each state change falls between two presses.
    const auto press = [&](uint8_t note) {
        for (const auto& packet : {noteOn(note), noteOff(note)}) {
            client->MIDIActionReceived(ZEPMIDIActionFromPacket(packet.data(), packet.size(), client.get()));
        }
    };
    press(1);
    ASSERT_TRUE(client->lockEvents());
    ZEPMIDIClient other("Other");
    EXPECT_FALSE(other.lockEvents()); // one owner in the process
    EXPECT_FALSE(other.unlockEvents());
    client->setLearning(true);
    press(2);
    client->setLearning(false); // locked, not learning: nobody hears
    press(3);
    client->setLearning(true);
    press(4);
    EXPECT_TRUE(client->unlockEvents());
    press(5);
    EXPECT_EQ(log.calls(), (std::vector<QString>{"sound 144/1", "learn 128/2", "learn 128/4", "sound 144/5"}));
}

TEST_F(MIDIClientTest, CommandsGoToTheMainThreadInOrderWithoutHoldingUpTheMIDIThread)
{
    const auto pausedOrResumed = [&](const CKSysExAction& command) {
        log.record(command.toggleValue() ? "pause" : "resume");
    };
    client->addListenerForTargetType(&target, pausedOrResumed, CKSysExAction::kPauseCommand);
    client->addListenerForTargetType(&target, [&](const CKSysExAction&) { log.record("stop"); },
                                     CKSysExAction::kStopAllCommand);
    client->addListener(&target, record("note"), 0);
    keyboard->send(sysEx({0x01, 0x01}));
    keyboard->send(sysEx({0x03}));
    keyboard->send(sysEx({0x01, 0x00}));
    keyboard->send(noteOn(9));
    // The note is handled on the MIDI thread while the commands wait for the main loop.
    ASSERT_TRUE(waitOffTheLoop([&] { return log.count() == 1; }));
    EXPECT_EQ(log.calls(), std::vector<QString>{"note 144/9"});
    ASSERT_TRUE(waitUntil([&] { return log.count() == 4; }));
    EXPECT_EQ(log.calls(), (std::vector<QString>{"note 144/9", "pause", "stop", "resume"}));
    EXPECT_EQ(log.onMainThread(), (std::vector<bool>{false, true, true, true}));
}

TEST_F(MIDIClientTest, ClosingTheClientWhileCommandsWaitForTheMainThreadDoesNotDeadlock)
{
    client->addListenerForTargetType(&target, [&](const CKSysExAction&) { log.record("stop"); },
                                     CKSysExAction::kStopAllCommand);
    client->addListener(&target, record("note"), 0);
    keyboard->send(sysEx({0x03}));
    keyboard->send(noteOn(1));
    ASSERT_TRUE(waitOffTheLoop([&] { return log.count() == 1; })); // the command was dispatched before the note
    client.reset(); // joins the MIDI thread while the command waits for this thread
    ASSERT_TRUE(waitUntil([&] { return log.count() == 2; }));
    EXPECT_EQ(log.calls().back(), "stop");
}

TEST_F(MIDIClientTest, ConnectsSourcesThatAppearAndDropsThoseThatVanish)
{
    std::vector<QVariant> counts;
    client->observeKey("numberOfDevices", &target, [&](const QVariant&, const QVariant& now) { counts.push_back(now); });
    client->addListener(&target, record("note"), 0);
    EXPECT_EQ(client->numberOfDevices(), 1u);
    EXPECT_EQ(client->connectionsMade(), 1);

    auto pads = std::make_unique<MIDIVirtualSource>("Test Pads");
    EXPECT_EQ(pads->send(noteOn(1)), 0); // not connected before the check
    clock.advance(1.0);
    EXPECT_EQ(client->destinationConnections(), (QStringList{keyboard->uid(), pads->uid()}));
    EXPECT_EQ(client->connectionsMade(), 2); // the keyboard's connection stayed as it was
    EXPECT_EQ(client->numberOfDevices(), 2u);
    clock.advance(1.0); // nothing changed: nothing happens
    EXPECT_EQ(client->connectionsMade(), 2);

    keyboard.reset();
    clock.advance(1.0);
    EXPECT_EQ(client->destinationConnections(), QStringList{pads->uid()});
    EXPECT_EQ(client->numberOfDevices(), 1u);
    EXPECT_EQ(counts, (std::vector<QVariant>{2u, 1u}));
    EXPECT_EQ(pads->send(noteOn(2)), 1);
    ASSERT_TRUE(waitUntil([&] { return log.count() == 1; }));
    EXPECT_EQ(log.calls(), std::vector<QString>{"note 144/2"});
}

TEST_F(MIDIClientTest, ListenersComeAndGoWhileEventsPourInWithoutFiringAfterTheirRemoval)
{
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread sender([&] {
        for (uint8_t n = 0; !stop.load(); n = uint8_t((n + 1) & 0x7F)) {
            keyboard->send(noteOn(n));
            ++sent;
            if (sent % 64 == 0)
                std::this_thread::yield();
        }
    });
    std::atomic<int> lateCalls{0}, calls{0};
    for (int round = 0; round < 300; ++round) {
        auto removed = std::make_shared<std::atomic<bool>>(false);
        auto listener = client->addListener(&target,
                                            [removed, &lateCalls, &calls](const ZEPMIDIAction&) {
                                                ++calls;
                                                if (removed->load())
                                                    ++lateCalls;
                                            },
                                            0);
        const int before = calls.load();
        waitOffTheLoop([&] { return calls.load() > before; });
        client->removeListener(listener);
        removed->store(true);
    }
    stop = true;
    sender.join();
    EXPECT_GT(calls.load(), 0);
    EXPECT_EQ(lateCalls.load(), 0);
}

TEST(MIDIClientShared, IsNotMadeWhileMIDIIsDisabledAndStaysOnceMade)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setBool(false, "MIDIEnabled");
    EXPECT_EQ(ZEPMIDIClient::sharedMIDIClient(), nullptr);
    EXPECT_EQ(ZEPMIDIClient::sharedMIDIClient(), nullptr);
    defaults.setBool(true, "MIDIEnabled");
    ZEPMIDIClient* shared = ZEPMIDIClient::sharedMIDIClient();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->clientName(), "Clipdeck");
    defaults.setBool(false, "MIDIEnabled");
    EXPECT_EQ(ZEPMIDIClient::sharedMIDIClient(), shared);
    ZEPMIDIClient::disposeSharedMIDIClient();
    defaults.removeObjectForKey("MIDIEnabled"); // absent: enabled
    EXPECT_NE(ZEPMIDIClient::sharedMIDIClient(), nullptr);
    ZEPMIDIClient::disposeSharedMIDIClient();
}
