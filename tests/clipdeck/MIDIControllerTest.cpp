// MIDI learn, fed by a virtual source through the shared MIDI client.
#include "clipdeck/CKMIDIController.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"
#include "platform/midi/MIDIVirtualSource.h"

#include "TriggerTestSupport.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

using namespace clipdeck::test;

namespace {

class MIDILearn : public ::testing::Test {
protected:
    void SetUp() override
    {
        client = ZEPMIDIClient::sharedMIDIClient();
        ASSERT_TRUE(client);
        ASSERT_TRUE(client->destinationConnections().contains(device.uid()));
        const auto mark = [this](const ZEPMIDIAction&) { ++settled; };
        client->addListener(&target, mark, 15, ZEPMIDIAction::kNoteDownEvent);
        client->addLearningListener(&target, mark, 15, ZEPMIDIAction::kNoteDownEvent);
    }
    void TearDown() override
    {
        controller.reset();
        ZEPMIDIClient::disposeSharedMIDIClient();
    }

    void press(uint8_t channel, uint8_t button) { device.send({uint8_t(0x90 | channel), button, 100}); }
    void release(uint8_t channel, uint8_t button) { device.send({uint8_t(0x80 | channel), button, 0}); }
    // Lets the MIDI thread and the main loop hand everything sent so far to the controller:
    // a note on (which learns nothing) on channel 15, heard by listeners of the test, marks
    // the end.
    void settle()
    {
        const int before = settled.load();
        device.send({0x9F, 0, 1});
        ASSERT_TRUE(waitUntil([&] { return settled.load() > before; }));
        QCoreApplication::processEvents();
    }
    QVariant stored(const QString& key) { return UserDefaults::standardUserDefaults().objectForKey(key); }

    ManualTimeSource clock;
    MIDIVirtualSource device{"Test Keys"};
    ZEPMIDIClient* client = nullptr;
    std::unique_ptr<CKMIDIController> controller = std::make_unique<CKMIDIController>();
    std::atomic<int> settled{0};
    QObject target;
};

} // namespace

TEST_F(MIDILearn, ATakenButtonIsRefusedForTwoSecondsWhileLearningGoesOnAndAFreeOneIsTakenOnRelease)
{
    controller->setNeedsExclusive(true);
    controller->setDefaultsKey("MIDILooping");
    std::atomic<int> soundHeard{0};
    client->addListener(&target, [&](const ZEPMIDIAction&) { ++soundHeard; }, 0, ZEPMIDIAction::kNoteDownEvent, 60);
    QStringList descriptions;
    controller->observeKey("MIDIDescription", &target,
                           [&](const QVariant&, const QVariant& now) { descriptions << now.toString(); });

    controller->learnButtonPressed();
    EXPECT_TRUE(controller->learning());
    EXPECT_EQ(controller->learnButtonTitle(), "Cancel");
    EXPECT_EQ(controller->MIDIDescription(), "Press a MIDI button.");

    press(0, 60);
    release(0, 60);
    settle();
    EXPECT_EQ(soundHeard.load(), 0); // the learn holds the event lock
    EXPECT_TRUE(controller->learningTriedToUseTakenButton());
    EXPECT_TRUE(controller->learning());
    EXPECT_EQ(controller->MIDIDescription(), "MIDI button already in use.");
    EXPECT_EQ(controller->MIDIStatusColor(), QColor(Qt::red));
    clock.advance(1.9);
    EXPECT_TRUE(controller->learningTriedToUseTakenButton());
    clock.advance(0.1);
    EXPECT_FALSE(controller->learningTriedToUseTakenButton());
    EXPECT_EQ(controller->MIDIStatusColor(), QColor(Qt::black));

    press(2, 61); // held: nothing is learned until it is released
    settle();
    EXPECT_TRUE(controller->learning());
    release(2, 61);
    settle();
    EXPECT_FALSE(controller->learning());
    EXPECT_EQ(controller->channel(), 2);
    EXPECT_EQ(controller->buttonID(), 61);
    EXPECT_EQ(controller->MIDIDescription(), "Channel 2, button #61");
    EXPECT_EQ(controller->learnButtonTitle(), "Learn MIDI");
    EXPECT_EQ(stored("MIDILooping").toMap(), (QVariantMap{{"ZEPMIDIChannel", 2}, {"ZEPMIDIButtonID", 61}}));
    EXPECT_EQ(descriptions, (QStringList{"Press a MIDI button.",
                                         "MIDI button already in use.", "Press a MIDI button.",
                                         "Channel 2, button #61"}));

    // The lock is free again: the sound hears its button.
    EXPECT_FALSE(client->learning());
    press(0, 60);
    ASSERT_TRUE(waitUntil([&] { return soundHeard.load() == 1; }));
}

TEST_F(MIDILearn, ExclusivityDecidesWhetherAHeldButtonMayBeLearned)
{
    const struct {
        bool needsExclusive, holderExclusive, accepted;
    } cases[] = {{false, false, true}, {false, true, false}, {true, false, false}, {true, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.needsExclusive << c.holderExclusive);
        controller = std::make_unique<CKMIDIController>();
        controller->setNeedsExclusive(c.needsExclusive);
        auto holder = client->addListener(&target, [](const ZEPMIDIAction&) {}, 1, ZEPMIDIAction::kNoteDownEvent, 70);
        holder->setExclusive(c.holderExclusive);
        controller->learn();
        release(1, 70);
        settle();
        EXPECT_EQ(!controller->learning(), c.accepted);
        EXPECT_EQ(controller->buttonID(), c.accepted ? 70 : kCKMIDINoButton);
        controller->cancelLearn();
        client->removeListener(holder);
    }
}

TEST_F(MIDILearn, TheBindingFollowsItsDefaultsKeyAndClearingOrCancellingLeavesItEmpty)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setObject(CKMIDIInformationForChannel(3, 40), "MIDIStopOnLift");
    controller->setDefaultsKey("MIDIStopOnLift");
    EXPECT_EQ(controller->MIDIDescription(), "Channel 3, button #40");
    EXPECT_FALSE(controller->clearButtonHidden());
    EXPECT_EQ(controller->MIDIInformation(), CKMIDIInformationForChannel(3, 40));

    defaults.setObject(CKMIDIInformationForChannel(4, 41), "MIDIStopOnLift"); // written elsewhere
    EXPECT_EQ(controller->channel(), 4);

    controller->clearButton();
    EXPECT_EQ(stored("MIDIStopOnLift").toMap(),
              (QVariantMap{{"ZEPMIDIChannel", quint32(0x7FFFFFFF)}, {"ZEPMIDIButtonID", 65535}}));
    EXPECT_EQ(controller->MIDIDescription(), "No MIDI button specified.");
    EXPECT_TRUE(controller->clearButtonHidden());

    controller->setDefaultsKey("MIDIRestartOnPress"); // nothing stored there
    EXPECT_EQ(controller->channel(), kCKMIDINoChannel);
    EXPECT_TRUE(controller->clearButtonHidden());
    EXPECT_EQ(controller->MIDIDescription(), "No MIDI button specified.");

    controller->setMIDIInformation(CKMIDIInformationForChannel(5, 50));
    controller->learn(); // a learn starts by clearing the binding
    EXPECT_TRUE(client->learning());
    controller->learnButtonPressed(); // cancel
    EXPECT_FALSE(controller->learning());
    EXPECT_FALSE(client->learning());
    EXPECT_TRUE(client->lockEvents()); // the lock was freed
    client->unlockEvents();
    EXPECT_EQ(controller->buttonID(), kCKMIDINoButton);
    EXPECT_EQ(stored("MIDIRestartOnPress").toMap(), CKMIDIInformationForChannel(kCKMIDINoChannel, kCKMIDINoButton));
}

TEST(MIDILearnDisabled, LearningWithoutMIDIWaitsForAButtonThatNeverComes)
{
    UserDefaults::standardUserDefaults().setBool(false, "MIDIEnabled");
    CKMIDIController controller;
    controller.learn();
    EXPECT_TRUE(controller.learning());
    EXPECT_EQ(controller.MIDIDescription(), "Press a MIDI button.");
    controller.cancelLearn();
    EXPECT_FALSE(controller.learning());
}
