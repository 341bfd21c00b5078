// The drawer's master controls heard on a JACK server of the test's own: the meters light
// while a sound plays, Pause All silences output and meters and Resume All brings both
// back, Duck lowers the output to the ducking volume and Un-Duck restores it.
#include "app/CKButton.h"
#include "app/CKMasterControlsViewController.h"
#include "app/CKNowPlayingViewController.h"
#include "app/ZEPAudioMeter.h"

#include "PlaybackTestSupport.h"
#include "clipdeck/CKPlaybackController.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

TEST_F(PlaybackOnDevice, drawerMetersPauseAllAndDuckOnTheOutput)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setFloat(0.33f, "duckingVolume");
    defaults.setDouble(0.5, "duckingDuration");
    CKMasterControlsViewController pane;
    CKNowPlayingViewController nowPlaying;
    record();
    TestSound made = makeSound(files.constant(0.5f, 0.5f, 20 * 44100), &board);
    made.sound->play();

    // Playing: both meters light, the sound has its row.
    ASSERT_TRUE(waitUntil([&] { return pane.leftMeter()->floatValue() > 0.4f && pane.rightMeter()->floatValue() > 0.4f; }));
    EXPECT_EQ(nowPlaying.playingSounds(), std::vector<CKSoundSource*>{made.sound.get()});

    // Pause All: silence, meters at 0; Resume All: level and meters back.
    pane.pauseAllSounds();
    EXPECT_EQ(pane.pauseAllButton()->title(), "Resume All");
    EXPECT_EQ(pane.leftMeter()->floatValue(), 0.0f);
    EXPECT_FALSE(pane.isPolling());
    const size_t paused = recorder->frames();
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, paused, 0.0f, 0.0f, 4410, 0.0f) >= 0; }));
    pane.pauseAllSounds();
    EXPECT_EQ(pane.pauseAllButton()->title(), "Pause All");
    const size_t resumed = recorder->frames();
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, resumed, 0.5f, 0.5f, 4410) >= 0; }));
    ASSERT_TRUE(waitUntil([&] { return pane.leftMeter()->floatValue() > 0.4f; }));

    // Duck to 0.33 of the level, and back.
    pane.duckVolume();
    const size_t ducked = recorder->frames();
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, ducked, 0.165f, 0.165f, 4410, 1e-4f) >= 0; }));
    EXPECT_EQ(controller->outputGain(), 1.0f); // the stored gain stays the un-ducked one
    pane.duckVolume();
    const size_t unducked = recorder->frames();
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, unducked, 0.5f, 0.5f, 4410) >= 0; }));

    made.sound->stop();
    ASSERT_TRUE(waitUntil([&] { return nowPlaying.playingSounds().empty(); }));
    ASSERT_TRUE(waitUntil([&] { return !pane.isPlaybackRunning(); }));
    EXPECT_EQ(pane.leftMeter()->floatValue(), 0.0f);
}
