// The main thread starts, restarts and stops short sounds while the device's thread plays
// them and runs them out: every start is announced finished exactly once, and nothing is
// left playing. Run again under ThreadSanitizer.
#include "clipdeck/CKPlaybackController.h"

#include "PlaybackTestSupport.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// Without MIDI: the controller would otherwise open a JACK MIDI client on the test's server,
// which has to abandon it (and its libjack thread, unjoined) when the server goes at the end.
class PlaybackWithoutMIDI : public PlaybackOnDevice {
protected:
    void SetUp() override
    {
        UserDefaults::standardUserDefaults().setBool(false, "MIDIEnabled");
        PlaybackOnDevice::SetUp();
    }
};

} // namespace

TEST_F(PlaybackWithoutMIDI, soundsRunningOutOnTheDeviceThreadWhileTheMainThreadPressesAndStops)
{
    NotificationLog log;
    std::vector<TestSound> sounds;
    for (int i = 0; i < 8; ++i)
        sounds.push_back(makeSound(files.constant(0.01f, 0.01f, 441 * (i + 2)), &board));
    int presses = 0;
    for (int round = 0; round < 25; ++round) {
        for (size_t i = 0; i < sounds.size(); ++i) {
            CKSoundSource* sound = sounds[i].sound.get();
            if (round % 3 == 1 && i % 2 == 0)
                sound->setRestartOnPress(true); // a press on a sound still playing restarts it
            sound->play();
            sound->setRestartOnPress(false);
            ++presses;
            if (round % 4 == 2 && i == 3)
                sound->stopImmediately();
        }
        if (round % 5 == 4) {
            controller->setPaused(true);
            controller->setPaused(false);
        }
        ASSERT_TRUE(waitUntil([&] { return controller->numberOfPlayingSounds() == 0; }, 10000)) << "round " << round;
    }
    EXPECT_GT(log.count(CKSoundSource::BeganPlayingNotification), 8);
    EXPECT_EQ(log.count(CKSoundSource::BeganPlayingNotification), log.count(CKSoundSource::FinishedPlayingNotification));
    EXPECT_EQ(log.count(CKPlaybackController::StartedNotification),
              log.count(CKPlaybackController::StoppedNotification));
    for (const TestSound& made : sounds) {
        EXPECT_EQ(made.sound->playingCount(), 0u);
        EXPECT_FALSE(made.sound->isPlaying());
    }
    EXPECT_LE(log.count(CKSoundSource::BeganPlayingNotification), presses);
}
