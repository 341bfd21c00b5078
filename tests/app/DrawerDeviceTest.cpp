// The drawer's master controls heard on a JACK server of the test's own: the meters light
// while a sound plays, Pause All silences output and meters and Resume All brings both
// back, Duck lowers the output to the ducking volume and Un-Duck restores it, each over the
// time the ducking takes, read from the recording.
#include "app/CKButton.h"
#include "app/CKMasterControlsViewController.h"
#include "app/CKNowPlayingViewController.h"
#include "app/ZEPAudioMeter.h"

#include "PlaybackTestSupport.h"
#include "clipdeck/CKPlaybackController.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

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

namespace {

constexpr double kRate = 44100;
// A step of the fade lands on the next server cycle, and the main thread may run a step late
// on a loaded machine (a late first step shortens the ramp the recording shows, a late last
// step lengthens it): durations read from the recording allow for that either way. The fades
// run on the clock: their durations are read as the time between the cycles that recorded
// their ends, since a loaded server drops cycles and the frames in between fall short.
constexpr double kLateStep = 0.15;

// The first frame from `from` on whose left sample is below (falling) or above (rising) level.
long long firstFrameBeyond(const JackRecorder& recorder, size_t from, float level, bool falling)
{
    const std::vector<float>& left = recorder.channel(0);
    for (size_t i = from; i < recorder.frames(); ++i)
        if (falling ? left[i] < level : left[i] > level)
            return (long long)i;
    return -1;
}

// The frame with the lowest left sample between two frames.
size_t quietestFrame(const JackRecorder& recorder, size_t from, size_t to)
{
    const std::vector<float>& left = recorder.channel(0);
    size_t quietest = from;
    for (size_t i = from; i < to; ++i)
        if (left[i] < left[quietest])
            quietest = i;
    return quietest;
}

double seconds(long long frames) { return double(frames) / kRate; }

// The first frame recorded at least `after` seconds of the clock after frame `from`.
size_t frameAfter(const JackRecorder& recorder, size_t from, double after)
{
    size_t frame = from;
    while (frame + 1 < recorder.frames() && recorder.wallSecondsBetween(from, frame) < after)
        ++frame;
    return frame;
}

} // namespace

TEST_F(PlaybackOnDevice, drawerMetersLightWithinAFifthOfASecondOfTheSound)
{
    CKMasterControlsViewController pane;
    record();
    TestSound made = makeSound(files.constant(0.5f, 0.5f, 20 * 44100), &board);
    made.sound->play();
    size_t litAt = 0;
    ASSERT_TRUE(waitUntil([&] {
        litAt = recorder->frames();
        return pane.leftMeter()->floatValue() > 0 && pane.rightMeter()->floatValue() > 0;
    }));
    const long long heard = firstFrameBeyond(*recorder, 0, 0.25f, false);
    ASSERT_GE(heard, 0);
    EXPECT_LE(seconds((long long)litAt - heard), 0.2 + seconds(recorder->period()));
}

// The master controls over a sound that plays 0.5 on both channels, recorded from before it
// starts; ducking goes to 0.33 of the level.
class DrawerDucking : public PlaybackOnDevice {
protected:
    // Starts the sound with the given "duckingDuration" and waits for its steady level.
    void playSteadySound(double duckingDuration)
    {
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        defaults.setFloat(0.33f, "duckingVolume");
        defaults.setDouble(duckingDuration, "duckingDuration");
        pane = std::make_unique<CKMasterControlsViewController>();
        record();
        made = makeSound(files.constant(0.5f, 0.5f, 20 * 44100), &board);
        made.sound->play();
        ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, 0, 0.5f, 0.5f, 4410) >= 0; }));
    }
    std::unique_ptr<CKMasterControlsViewController> pane;
    TestSound made;
};

// Duck fades the output to "duckingVolume" over "duckingDuration", Un-Duck fades it back as
// long: both ramps are read from the recording, and halfway down the level is halfway.
TEST_F(DrawerDucking, RampsDownOverTheDuckingDurationAndBack)
{
    playSteadySound(1.0);

    const size_t before = recorder->frames();
    pane->duckVolume();
    EXPECT_EQ(pane->duckAudioButton()->title(), "Un-Duck");
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, before, 0.165f, 0.165f, 4410, 1e-4f) >= 0; }));
    const long long downStart = firstFrameBeyond(*recorder, before, 0.4995f, true);
    const long long downEnd = findSteadyLevel(*recorder, before, 0.165f, 0.165f, 4410, 1e-4f);
    ASSERT_GE(downStart, 0);
    const double down = recorder->wallSecondsBetween(size_t(downStart), size_t(downEnd));
    EXPECT_GE(down, 1.0 - kLateStep);
    EXPECT_LE(down, 1.0 + kLateStep);
    // Linear: half a second in, the level is about half way down.
    EXPECT_NEAR(recorder->channel(0)[frameAfter(*recorder, size_t(downStart), 0.5)], 0.5f - 0.5f * 0.67f / 2, 0.04f);
    EXPECT_EQ(controller->outputGain(), 1.0f);

    const size_t ducked = recorder->frames();
    pane->duckVolume();
    EXPECT_EQ(pane->duckAudioButton()->title(), "Duck (33%)");
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, ducked, 0.5f, 0.5f, 4410) >= 0; }));
    const long long upStart = firstFrameBeyond(*recorder, ducked, 0.1655f, false);
    const long long upEnd = findSteadyLevel(*recorder, ducked, 0.5f, 0.5f, 4410);
    ASSERT_GE(upStart, 0);
    const double up = recorder->wallSecondsBetween(size_t(upStart), size_t(upEnd));
    EXPECT_GE(up, 1.0 - kLateStep);
    EXPECT_LE(up, 1.0 + kLateStep);
}

// An un-duck that interrupts a duck takes the share of "duckingDuration" the duck had run:
// at 40% of a 2 s duck, 0.8 s back to the full level.
TEST_F(DrawerDucking, AnUnDuckMidDuckTakesTheShareOfTheDurationTheDuckRan)
{
    playSteadySound(2.0);

    const size_t before = recorder->frames();
    pane->duckVolume();
    const float fortyPercent = 1.0f - 0.4f * (1.0f - 0.33f);
    ASSERT_TRUE(waitUntil([&] { return controller->duckingLevel() <= fortyPercent; }));
    pane->duckVolume();
    const size_t turned = recorder->frames();
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, turned, 0.5f, 0.5f, 4410) >= 0; }));
    EXPECT_FALSE(controller->ducked());

    // How far the duck got, from the quietest frame of the recording, and how long the way
    // back took from there.
    const long long upEnd = findSteadyLevel(*recorder, turned, 0.5f, 0.5f, 4410);
    const size_t quietest = quietestFrame(*recorder, before, size_t(upEnd));
    const float reached = (0.5f - recorder->channel(0)[quietest]) / (0.5f * (1.0f - 0.33f));
    EXPECT_GE(reached, 0.38f);
    EXPECT_LE(reached, 0.5f);
    const double back = recorder->wallSecondsBetween(quietest, size_t(upEnd));
    EXPECT_GE(back, 2.0 * reached - 0.05);
    EXPECT_LE(back, 2.0 * reached + kLateStep);
    EXPECT_NEAR(back, 0.8, 0.25);
}
