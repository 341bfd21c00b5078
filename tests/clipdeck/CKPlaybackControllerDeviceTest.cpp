// The playback controller heard on a JACK server of the test's own: 32 sounds sum exactly
// and a 33rd is refused; fades measured on the rendered output; pause of everything and
// resume from the same frame, fades going on from their progress; the end of a sound
// announced once; gain and pan on the output; a start that fails rolls back; the render
// thread's run-out answer.
#include "clipdeck/CKPlaybackController.h"

#include "PlaybackTestSupport.h"
#include "audio/editor/CKAudioFileEditor.h"
#include "audio/editor/EditorFixtures.h"
#include "platform/UserDefaults.h"
#include "platform/devices/AudioHardware.h"
#include "support/AllocationCounter.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <thread>

using namespace clipdeck::test;

namespace {

void setFadeOutDuration(double seconds) { UserDefaults::standardUserDefaults().setDouble(seconds, "fadeOutDuration"); }

} // namespace

TEST_F(PlaybackOnDevice, thirtyTwoSoundsSumExactlyAndAThirtyThirdIsRefused)
{
    record();
    NotificationLog log;
    std::vector<TestSound> sounds;
    float sum = 0;
    for (int i = 0; i < 33; ++i) {
        const float value = float(i + 1) / 1024.0f;
        sounds.push_back(makeSound(files.constant(value, -value, 44100), &board));
        sounds.back().sound->setLoops(true);
    }
    for (int i = 0; i < 32; ++i) {
        sounds[size_t(i)].sound->play();
        ASSERT_TRUE(sounds[size_t(i)].sound->isPlaying()) << i;
        sum += float(i + 1) / 1024.0f;
    }
    EXPECT_EQ(controller->numberOfPlayingSounds(), 32);
    EXPECT_FALSE(controller->canBeginPlayingAnotherSound());

    CKSoundSource* extra = sounds[32].sound.get();
    extra->play();
    EXPECT_FALSE(extra->isPlaying());
    EXPECT_EQ(extra->playingCount(), 0u);
    EXPECT_FALSE(controller->soundIsPlaying(extra));
    EXPECT_EQ(controller->soundSourceBeganPlaying(extra), kCKPlaybackNoFreeInputError);
    EXPECT_EQ(controller->playSound(extra), kCKPlaybackNoFreeInputError);
    EXPECT_EQ(controller->numberOfPlayingSounds(), 32);
    EXPECT_EQ(log.count(CKSoundSource::BeganPlayingNotification), 32);
    EXPECT_EQ(log.count(CKPlaybackController::StartedNotification), 1);

    const size_t from = recorder->frames();
    ASSERT_TRUE(recordMore(22050));
    EXPECT_GE(findSteadyLevel(*recorder, from, sum, -sum, 8192), 0) << "the sum of the 32 sounds is " << sum;
}

TEST_F(PlaybackOnDevice, fadeTableOnTheRenderedOutput)
{
    const struct {
        const char* what;
        double fadeOutDuration;
        long long frames;
        bool loops;
        bool startPaused; // start while everything is paused, so nothing of it has played
        double fadeTime;  // 0: the press stops the sound at once
    } cases[] = {
        {"a looping sound fades the full 2 s", 2.0, 44100, true, false, 2.0},
        {"a 2 s fade with 0.5 s left lasts 0.5 s", 2.0, 22052, false, true, 0.5},
        {"a fade time under 0.01 s stops at once", 0.005, 44100, true, false, 0.0},
        {"0.005 s left stops at once", 2.0, 222, false, true, 0.0},
    };
    record(60);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ManualTimeSource clock;
        setFadeOutDuration(c.fadeOutDuration);
        TestSound made = makeSound(files.constant(0.5f, 0.5f, c.frames), &board);
        CKSoundSource* sound = made.sound.get();
        sound->setLoops(c.loops);
        if (c.startPaused)
            controller->setPaused(true);
        size_t from = recorder->frames();
        sound->play();
        ASSERT_TRUE(controller->soundIsPlaying(sound));
        if (!c.startPaused) {
            ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, from, 0.5f, 0.5f, 2048) >= 0; }));
        }

        sound->play(); // the second press fades out
        EXPECT_FALSE(sound->isPlaying());
        if (c.fadeTime == 0.0) {
            EXPECT_FALSE(sound->fader());
            ASSERT_TRUE(waitUntil([&] { return !controller->soundIsPlaying(sound); }));
        } else {
            ASSERT_TRUE(sound->fader());
            EXPECT_DOUBLE_EQ(sound->fader()->duration(), c.loops ? c.fadeTime : sound->duration());
            EXPECT_NEAR(sound->fader()->duration(), c.fadeTime, 1e-9);
            if (c.startPaused)
                controller->setPaused(false);
            if (c.loops) {
                // Halfway the sound is heard at half its level; just before the end it plays.
                clock.advance(c.fadeTime / 2 + 1e-6);
                from = recorder->frames();
                ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, from, 0.25f, 0.25f, 1024, 2e-3f) >= 0; }));
                clock.advance(c.fadeTime / 2 - 0.02);
                EXPECT_TRUE(controller->soundIsPlaying(sound));
                clock.advance(0.05); // the end comes with the first step after it
            } else {
                clock.advance(c.fadeTime + 0.05);
            }
            ASSERT_TRUE(waitUntil([&] { return !controller->soundIsPlaying(sound); }));
        }
        controller->setPaused(false);
        // Stopped: silence from the next cycles on, and the volume the sound had.
        from = recorder->frames() + 512;
        ASSERT_TRUE(recordMore(4096));
        EXPECT_GE(findSteadyLevel(*recorder, from, 0.0f, 0.0f, 2048), 0);
        EXPECT_FLOAT_EQ(sound->playbackVolume(), 1.0f);
        EXPECT_EQ(made.cell->calls.last(), "stop");
    }
}

TEST_F(PlaybackOnDevice, aLoopNoLongerThanItsHeadPlaysOnPastTheHead)
{
    // A second of sound, all of it in the head kept in memory: from the second pass on the
    // loop is played from the ring, whose loader starts each pass at the sound's very end.
    record();
    TestSound made = makeSound(files.constant(0.25f, -0.25f, 44100), &board);
    made.sound->setLoops(true);
    made.sound->play();
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, 0, 0.25f, -0.25f, 1024) >= 0; }));
    const size_t heard = size_t(findSteadyLevel(*recorder, 0, 0.25f, -0.25f, 1024));
    ASSERT_TRUE(waitUntil([&] { return recorder->frames() > heard + 3 * 44100; }));
    // Three seconds on, the loop still sounds: its last half second is the sound throughout.
    EXPECT_GE(findSteadyLevel(*recorder, recorder->frames() - 22050, 0.25f, -0.25f, 22050), 0)
        << "the loop fell silent after its head";
    EXPECT_TRUE(controller->soundIsPlaying(made.sound.get()));
    made.sound->stopImmediately();
}

TEST_F(PlaybackOnDevice, pauseGivesSilenceAndResumeGoesOnFromTheSameFrame)
{
    record();
    TestSound made = makeSound(files.ramp(3 * 44100), &board);
    made.sound->play();
    ASSERT_TRUE(waitUntil([&] { return made.sound->currentTime() > 0.2; }));
    controller->setPaused(true);
    EXPECT_TRUE(controller->paused());
    EXPECT_TRUE(made.sound->isPlaying());
    // Silence once the pause has reached the output (after the sound was first heard).
    size_t heard = 0;
    while (heard < recorder->frames() && recorder->channel(0)[heard] == 0.0f)
        ++heard;
    ASSERT_LT(heard, recorder->frames());
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, heard, 0.0f, 0.0f, 4410, 0.0f) > 0; }));
    const long long silence = findSteadyLevel(*recorder, heard, 0.0f, 0.0f, 4410, 0.0f);
    const long long lastBefore = rampFrame(recorder->channel(0)[size_t(silence - 1)]);
    const int xrunsBefore = recorder->xruns();

    controller->setPaused(false);
    EXPECT_FALSE(controller->paused());
    size_t resumedAt = 0;
    ASSERT_TRUE(waitUntil([&] {
        for (size_t i = size_t(silence); i < recorder->frames(); ++i) {
            if (recorder->channel(0)[i] != 0.0f) {
                resumedAt = i;
                return true;
            }
        }
        return false;
    }));
    const long long firstAfter = rampFrame(recorder->channel(0)[resumedAt]);
    if (recorder->xruns() == xrunsBefore) {
        EXPECT_EQ(firstAfter, lastBefore + 1);
    } else {
        EXPECT_GT(firstAfter, lastBefore); // the recorder lost a cycle, not the sound
    }
}

TEST_F(PlaybackOnDevice, fadesHaltWithEveryPauseAndGoOnFromTheirProgress)
{
    record(30);
    ManualTimeSource clock;
    setFadeOutDuration(2.0);
    TestSound made = makeSound(files.constant(0.5f, 0.5f, 44100), &board);
    CKSoundSource* sound = made.sound.get();
    sound->setLoops(true);
    sound->play();
    sound->play();
    ASSERT_TRUE(sound->fader());
    clock.advance(0.5 + 1e-6);
    EXPECT_NEAR(sound->fader()->currentProgress(), 0.25, 1e-5);

    // The remote's pause halts fades as the master controls' pause does.
    for (const bool fromRemote : {true, false}) {
        SCOPED_TRACE(fromRemote ? "remote pause" : "master controls pause");
        const double progress = sound->fader()->currentProgress();
        if (fromRemote)
            controller->handleSysExPause(true);
        else
            controller->setPaused(true);
        EXPECT_TRUE(controller->paused());
        clock.advance(5.0);
        EXPECT_DOUBLE_EQ(sound->fader()->currentProgress(), progress);
        if (fromRemote)
            controller->handleSysExPause(false);
        else
            controller->setPaused(false);
        clock.advance(0.5 + 1e-6);
        EXPECT_NEAR(sound->fader()->currentProgress(), progress + 0.25, 1e-5);
    }
    // 0.75 of the way down: heard at a quarter of the sound's level... after resuming.
    const size_t from = recorder->frames();
    ASSERT_TRUE(waitUntil([&] { return findSteadyLevel(*recorder, from, 0.125f, 0.125f, 1024, 2e-3f) >= 0; }));
    EXPECT_TRUE(controller->soundIsPlaying(sound));
}

TEST_F(PlaybackOnDevice, soundsThatRunOutAreAnnouncedOnceEachAndThenTheStop)
{
    NotificationLog log;
    TestSound shorter = makeSound(files.constant(0.1f, 0.1f, 4410), &board);
    TestSound longer = makeSound(files.constant(0.1f, 0.1f, 13230), &board);
    shorter.sound->play();
    longer.sound->play();
    ASSERT_TRUE(waitUntil([&] { return log.count(CKPlaybackController::StoppedNotification) == 1; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.names, (QStringList{CKPlaybackController::StartedNotification, CKSoundSource::BeganPlayingNotification,
                                      CKSoundSource::BeganPlayingNotification,
                                      CKSoundSource::FinishedPlayingNotification,
                                      CKSoundSource::FinishedPlayingNotification,
                                      CKPlaybackController::StoppedNotification}));
    EXPECT_TRUE(log.allOnMainThread);
    EXPECT_FALSE(shorter.sound->isPlaying());
    EXPECT_EQ(longer.sound->playingCount(), 0u);
    EXPECT_EQ(shorter.cell->calls, (QStringList{"play", "stop"}));
    // A sound that ran out plays again from its start.
    longer.sound->play();
    EXPECT_TRUE(controller->soundIsPlaying(longer.sound.get()));
    EXPECT_LT(longer.sound->currentTime(), 0.1);
}

TEST_F(PlaybackOnDevice, gainAndPanTableOnTheRenderedOutput)
{
    record(30);
    TestSound made = makeSound(files.constant(0.5f, 0.5f, 44100), &board);
    made.sound->setLoops(true);
    made.sound->play();
    const struct {
        float gain, pan, left, right;
    } cases[] = {
        {0.8f, 0.5f, 0.4f, 0.8f},
        {1.0f, -1.0f, 1.0f, 0.0f},
        {0.6f, 0.0f, 0.6f, 0.6f},
        {1.0f, -0.5f, 1.0f, 0.5f},
        {0.5f, 1.0f, 0.0f, 0.5f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "gain " << c.gain << " pan " << c.pan);
        controller->setOutputPan(c.pan);
        controller->setOutputGain(c.gain);
        const size_t from = recorder->frames();
        EXPECT_TRUE(waitUntil(
            [&] { return findSteadyLevel(*recorder, from, 0.5f * c.left, 0.5f * c.right, 2048) >= 0; }));
        EXPECT_FLOAT_EQ(UserDefaults::standardUserDefaults().floatForKey("outputGain"), c.gain);
        EXPECT_FLOAT_EQ(UserDefaults::standardUserDefaults().floatForKey("outputPan"), c.pan);
    }
}

TEST_F(PlaybackOnDevice, aStartWithoutALoadedFeedIsRefusedAndChangesNothing)
{
    TestSound made = makeSound(files.constant(0.1f, 0.1f, 4410), &board);
    auto bare = std::make_shared<CKSoundSource>();
    bare->setParentClipdeck(&board);
    EXPECT_EQ(controller->soundSourceBeganPlaying(bare.get()), kCKPlaybackNoFeedError);
    made.sound->setEditorLoaded(false);
    EXPECT_EQ(controller->playSound(made.sound.get()), kCKPlaybackNoFeedError);
    EXPECT_EQ(controller->numberOfPlayingSounds(), 0);
    EXPECT_FALSE(made.sound->editor()->currentlyCaching());
}

TEST_F(PlaybackOnDevice, theRenderThreadsRunOutAnswerAllocatesNothingAndStopsOnTheMainThread)
{
    TestSound looping = makeSound(files.constant(0.1f, 0.1f, 44100), &board);
    TestSound once = makeSound(files.constant(0.1f, 0.1f, 441000), &board);
    TestSound idle = makeSound(files.constant(0.1f, 0.1f, 4410), &board);
    looping.sound->setLoops(true);
    looping.sound->play();
    once.sound->play();
    OSStatus answers[3] = {};
    int allocations = -1;
    std::thread render([&] {
        AllocationCounter counter;
        answers[0] = controller->audioEditorRanOutOfData(looping.sound->editor());
        answers[1] = controller->audioEditorRanOutOfData(once.sound->editor());
        answers[2] = controller->audioEditorRanOutOfData(idle.sound->editor());
        allocations = counter.count();
    });
    render.join();
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(answers[0], noErr);
    EXPECT_EQ(answers[1], kZEPAudioSourceEndOfData);
    EXPECT_EQ(answers[2], kZEPAudioSourceEndOfData);
    ASSERT_TRUE(waitUntil([&] { return !controller->soundIsPlaying(once.sound.get()); }));
    EXPECT_TRUE(controller->soundIsPlaying(looping.sound.get()));
}

TEST(PlaybackWithoutOutput, aPressThatCannotReachTheOutputRollsBackAndCanBeRepeated)
{
    auto server = std::make_unique<JackTestServer>();
    REQUIRE_JACK_SERVER(*server);
    AudioHardware::shared().refresh();
    TestHost host;
    TestBoard board;
    host.shown = &board;
    SoundFiles files;
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    TestSound made = makeSound(files.constant(0.1f, 0.1f, 44100), &board);
    NotificationLog log;

    controller->outputAudioPlayer()->stop();
    server.reset();
    AudioHardware::shared().refresh();
    if (AudioHardware::shared().defaultOutputDevice() != 0)
        GTEST_SKIP() << "this machine has a sound system of its own";
    made.sound->play();
    EXPECT_FALSE(made.sound->isPlaying());
    EXPECT_EQ(made.sound->playingCount(), 0u);
    EXPECT_FALSE(controller->soundIsPlaying(made.sound.get()));
    EXPECT_TRUE(made.cell->calls.isEmpty());
    EXPECT_TRUE(log.names.isEmpty());
    EXPECT_FALSE(made.sound->editor()->currentlyCaching());

    server = std::make_unique<JackTestServer>();
    ASSERT_TRUE(server->running());
    AudioHardware::shared().refresh();
    made.sound->play();
    EXPECT_TRUE(made.sound->isPlaying());
    EXPECT_TRUE(controller->soundIsPlaying(made.sound.get()));
    EXPECT_EQ(log.count(CKSoundSource::BeganPlayingNotification), 1);
    made.sound->stopImmediately();
    EXPECT_TRUE(waitUntil([&] { return controller->numberOfPlayingSounds() == 0; }));
    controller->outputAudioPlayer()->stop();
}

TEST_F(PlaybackOnDevice, stopFadesOnlyAPlayingSoundThatNothingHolds)
{
    ManualTimeSource clock;
    setFadeOutDuration(2.0);
    const struct {
        const char* what;
        std::function<void(CKSoundSource*)> before;
        bool fades;
        bool finishedAtOnce; // off the list before the mixer reports anything
    } cases[] = {
        {"a playing sound fades", [](CKSoundSource*) {}, true, false},
        {"a sound already fading stops at once", [](CKSoundSource* sound) { sound->fadeOut(); }, false, false},
        {"a paused sound stops at once",
         [this](CKSoundSource* sound) { controller->pauseSound(sound); }, false, false},
        {"with everything paused a sound stops and finishes at once",
         [this](CKSoundSource*) { controller->setPaused(true); }, false, true},
        {"a fade time of 0.01 s stops at once", [](CKSoundSource*) { setFadeOutDuration(0.01); }, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setFadeOutDuration(2.0);
        TestSound made = makeSound(files.constant(0.1f, 0.1f, 44100), &board);
        CKSoundSource* sound = made.sound.get();
        sound->setLoops(true);
        sound->play();
        c.before(sound);
        const bool hadFade = bool(sound->fader());
        controller->stopSound(sound);
        EXPECT_EQ(sound->fader() && !hadFade, c.fades);
        if (c.finishedAtOnce) {
            EXPECT_FALSE(controller->soundIsPlaying(sound));
        }
        if (!c.fades) {
            EXPECT_TRUE(waitUntil([&] { return !controller->soundIsPlaying(sound); }));
        }
        controller->setPaused(false);
        sound->stopImmediately();
        ASSERT_TRUE(waitUntil([&] { return controller->numberOfPlayingSounds() == 0; }));
    }
}

TEST_F(PlaybackOnDevice, singleSoundModeAndOverloadStopTheOthersAndTheNewest)
{
    ManualTimeSource clock;
    setFadeOutDuration(2.0);
    UserDefaults::standardUserDefaults().setBool(true, "singleSoundMode");
    TestSound first = makeSound(files.constant(0.1f, 0.1f, 44100), &board);
    TestSound second = makeSound(files.constant(0.1f, 0.1f, 44100), &board);
    first.sound->setLoops(true);
    second.sound->setLoops(true);
    first.sound->play();
    second.sound->play();
    EXPECT_TRUE(first.sound->fader()); // the others fade out
    EXPECT_FALSE(first.sound->isPlaying());
    EXPECT_TRUE(second.sound->isPlaying());
    UserDefaults::standardUserDefaults().setBool(false, "singleSoundMode");

    // An overload with two playing stops the newest; with one, nothing.
    TestSound third = makeSound(files.constant(0.1f, 0.1f, 44100), &board);
    third.sound->setLoops(true);
    third.sound->play();
    controller->playerDidOverload(nullptr);
    EXPECT_TRUE(third.sound->fader());
    first.sound->stopImmediately();
    third.sound->stopImmediately();
    ASSERT_TRUE(waitUntil([&] { return controller->numberOfPlayingSounds() == 1; }));
    controller->playerDidOverload(nullptr);
    EXPECT_FALSE(second.sound->fader());
    EXPECT_TRUE(second.sound->isPlaying());
}
