// The fader on a manual clock: the level of a step and what the mixer input gets with
// normalisation, progress that follows the clock (late steps, halts, resumes), the volume
// put back when a fade goes; and the master side built on it: ducking that turns around
// from where its real elapsed time brought it, the un-ducked gain kept in the defaults, and
// gain and pan that do nothing when they do not change.
#include "clipdeck/CKEditorFaderAnimation.h"

#include "PlaybackTestSupport.h"
#include "audio/editor/CKAudioFileEditor.h"
#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "clipdeck/CKPlaybackController.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// A sound whose feed sits on input 2 of a mixer of its own, as if it played there.
struct FadingSound {
    FadingSound()
    {
        ZEPAudioMixer::create(4, 1, 4096, ZEPPlaybackFormat()).swap(mixer);
        made = makeSound(files.ramp(4410), &board);
        made.sound->editor()->setMixerInput(2);
    }
    ~FadingSound() { made.sound->editor()->setMixerInput(-1); }
    void setNormalisation(float factor)
    {
        CKAudioFileEditor* feed = made.sound->editor();
        feed->setAppliesNormalization(true);
        feed->setSamplesNativeMax(0.5f, 0);
        feed->setNormalizedMax(0.5f * factor, 0);
    }
    float input() const { return mixer->volumeForInput(2); }

    SoundFiles files;
    TestBoard board;
    std::unique_ptr<ZEPAudioMixer> mixer;
    TestSound made;
};

class EndCounter : public CKEditorFaderAnimationDelegate {
public:
    void animationDidEnd(CKEditorFaderAnimation* animation) override
    {
        ++ends;
        if (owned.get() == animation)
            owned.reset(); // the delegate may destroy the animation it is told of
    }
    int ends = 0;
    std::unique_ptr<CKEditorFaderAnimation> owned;
};

} // namespace

TEST(CKEditorFaderAnimation, aStepSetsTheLevelAndTheInputTimesTheNormalisationFactor)
{
    FadingSound fading;
    const struct {
        float start, end;
        double progress;
        float factor;
        float level, input;
    } cases[] = {
        {0.8f, 0.0f, 0.25, 1.0f, 0.6f, 0.6f},
        {0.8f, 0.0f, 0.25, 1.5f, 0.6f, 0.9f},
        {0.2f, 1.0f, 0.5, 1.0f, 0.6f, 0.6f},
        {0.8f, 0.0f, 1.0, 2.0f, 0.0f, 0.0f},
    };
    for (const auto& c : cases) {
        fading.setNormalisation(c.factor);
        CKEditorFaderAnimation fader(fading.made.sound.get(), fading.mixer.get(), 2.0);
        fader.setStartVolume(c.start);
        fader.setEndVolume(c.end);
        double told = -1;
        fader.setAction([&](double volume) { told = volume; });
        fader.setCurrentProgress(c.progress);
        EXPECT_FLOAT_EQ(fader.currentVolume(), c.level);
        EXPECT_FLOAT_EQ(float(told), c.level);
        EXPECT_FLOAT_EQ(fading.input(), c.input);
    }
    // Without an action nobody is told; a feed off the mixer is left alone.
    fading.made.sound->editor()->setMixerInput(-1);
    fading.mixer->setVolumeForInput(0.123f, 2);
    CKEditorFaderAnimation fader(fading.made.sound.get(), fading.mixer.get(), 2.0);
    fader.setCurrentProgress(0.5);
    EXPECT_FLOAT_EQ(fading.input(), 0.123f);
}

TEST(CKEditorFaderAnimation, progressFollowsTheClockThroughLateStepsHaltsAndResumes)
{
    ManualTimeSource clock;
    FadingSound fading;
    EndCounter delegate;
    delegate.owned = std::make_unique<CKEditorFaderAnimation>(fading.made.sound.get(), fading.mixer.get(), 1.0);
    CKEditorFaderAnimation* fader = delegate.owned.get();
    fader->setDelegate(&delegate);
    fader->setStartVolume(1.0f);
    fader->startAnimation();
    EXPECT_FLOAT_EQ(fading.input(), 1.0f); // the start applies at once

    clock.advance(0.41); // the last step came at 0.4; the ramp stands where the clock says
    EXPECT_NEAR(fader->currentProgress(), 0.41, 1e-9);
    EXPECT_NEAR(fading.input(), 0.6f, 1e-4f);
    fader->stopAnimation();
    clock.advance(5.0);
    EXPECT_NEAR(fader->currentProgress(), 0.41, 1e-9);
    fader->startAnimation();
    EXPECT_NEAR(fading.input(), 0.59f, 1e-4f);
    clock.advance(0.09 + 1e-6);
    EXPECT_NEAR(fader->currentProgress(), 0.5, 1e-5);
    EXPECT_EQ(delegate.ends, 0);
    clock.advance(1.0);
    EXPECT_EQ(delegate.ends, 1);
    EXPECT_FALSE(delegate.owned);
    EXPECT_FLOAT_EQ(fading.input(), 0.0f);
}

TEST(CKEditorFaderAnimation, aHaltedFadeThatGoesPutsTheSoundsVolumeBack)
{
    ManualTimeSource clock;
    FadingSound fading;
    CKSoundSource* sound = fading.made.sound.get();
    sound->setPlaybackVolume(0.8f);
    auto fader = std::make_unique<CKEditorFaderAnimation>(sound, fading.mixer.get(), 1.0);
    EXPECT_FLOAT_EQ(fader->startVolume(), 0.8f);
    fader->setAction([sound](double volume) { sound->setPlaybackVolumeNumber(volume); });
    fader->setResetWhenDone(true);
    fader->startAnimation();
    clock.advance(0.5);
    EXPECT_NEAR(sound->playbackVolume(), 0.4f, 1e-4f);
    fader->stopAnimation();
    fader.reset();
    EXPECT_FLOAT_EQ(sound->playbackVolume(), 0.8f);
    EXPECT_FLOAT_EQ(fading.input(), 0.8f);
    EXPECT_FLOAT_EQ(sound->editor()->playbackVolume(), 0.8f);
}

namespace {

float leftOutput(CKPlaybackController* controller)
{
    return CKEditorFaderAnimation::outputVolumeOfMixer(controller->audioMixer());
}

void registerMasterDefaults()
{
    UserDefaults::standardUserDefaults().registerDefaults(
        {{"duckingDuration", 1.0}, {"duckingVolume", double(0.33f)}, {"fadeOutDuration", 0.0}});
}

} // namespace

TEST(CKPlaybackControllerMaster, turningDuckingOverMidFadeReturnsFromTheLevelItsElapsedTimeGave)
{
    ManualTimeSource clock;
    registerMasterDefaults();
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    controller->setOutputGain(0.8f);
    controller->setDucked(true);
    EXPECT_TRUE(controller->ducked());
    EXPECT_FLOAT_EQ(leftOutput(controller), 0.8f);
    clock.advance(0.41); // steps came at 0.4; 0.41 s of the fade have passed
    const float reached = 1.0f - (1.0f - 0.33f) * 0.41f;
    controller->setDucked(false);
    EXPECT_NEAR(controller->duckingLevel(), reached, 1e-5f);
    EXPECT_NEAR(leftOutput(controller), 0.8f * reached, 1e-5f);
    clock.advance(0.2); // halfway back: the way back takes the 0.41 s the way there took
    EXPECT_NEAR(controller->duckingLevel(), reached + (1.0f - reached) * 0.2f / 0.41f, 1e-2f);
    clock.advance(0.25); // the end comes with the first step after it
    EXPECT_FLOAT_EQ(controller->duckingLevel(), 1.0f);
    EXPECT_FLOAT_EQ(leftOutput(controller), 0.8f);
}

TEST(CKPlaybackControllerMaster, theDefaultsKeepTheUnduckedGainWhileDuckedAndAtQuit)
{
    ManualTimeSource clock;
    registerMasterDefaults();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    controller->setOutputGain(0.8f);
    controller->setDucked(true);
    clock.advance(1.1);
    EXPECT_FLOAT_EQ(leftOutput(controller), 0.8f * 0.33f);
    EXPECT_FLOAT_EQ(controller->masterVolume(), 0.8f);
    EXPECT_FLOAT_EQ(defaults.floatForKey("outputGain"), 0.8f);
    controller->setOutputGain(0.5f); // a new gain while ducked is heard ducked and kept whole
    EXPECT_FLOAT_EQ(leftOutput(controller), 0.5f * 0.33f);
    controller->willTerminate();
    EXPECT_FLOAT_EQ(defaults.floatForKey("outputGain"), 0.5f);
}

TEST(CKPlaybackControllerMaster, anUnchangedGainOrPanTouchesNeitherTheMixerNorTheDefaults)
{
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    controller->setOutputPan(-0.25f);
    controller->setOutputGain(0.7f);
    EXPECT_FLOAT_EQ(defaults.floatForKey("outputPan"), -0.25f);
    EXPECT_FLOAT_EQ(defaults.floatForKey("outputGain"), 0.7f);
    int writes = 0;
    QObject::connect(&defaults, &UserDefaults::valueChanged, [&](const QString&) { ++writes; });
    // Behind the controller's back: a call to the mixer would show.
    controller->audioMixer()->setVolumeForElement(0.123f, 0xFFFF0000);
    controller->setOutputGain(0.7f);
    controller->setOutputPan(-0.25f);
    controller->setMasterVolume(0.7f);
    EXPECT_FLOAT_EQ(leftOutput(controller), 0.123f);
    EXPECT_EQ(writes, 0);
    controller->setOutputGain(0.6f);
    EXPECT_FLOAT_EQ(leftOutput(controller), 0.6f);
    EXPECT_EQ(writes, 1);
}

TEST(CKPlaybackControllerMaster, atLaunchTheStoredPanAndGainReachTheMixer)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    controller->didFinishLaunching(); // nothing stored: gain 1, pan 0
    EXPECT_FLOAT_EQ(controller->outputGain(), 1.0f);
    EXPECT_FLOAT_EQ(controller->outputPan(), 0.0f);
    defaults.setFloat(0.5f, "outputPan");
    defaults.setFloat(0.6f, "outputGain");
    controller->didFinishLaunching();
    EXPECT_FLOAT_EQ(controller->outputGain(), 0.6f);
    EXPECT_FLOAT_EQ(controller->outputPan(), 0.5f);
    EXPECT_FLOAT_EQ(leftOutput(controller), 0.3f);
}
