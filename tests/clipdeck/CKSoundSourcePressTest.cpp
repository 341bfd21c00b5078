// The press cycles of a sound, driven through its entry points (a key or mouse press, a
// MIDI press, a release, a pause) on a JACK server of the test's own, as one table: each
// row a sequence of actions and the state after each.
#include "clipdeck/CKPlaybackController.h"

#include "PressCycleTable.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

enum class Do {
    Press,          // a key or mouse press: play()
    MIDIPress,      // a MIDI note-on: handleMIDIPress()
    Lift,           // a release: handleMIDILift()
    PauseSound,     // the sound's own pause
    Advance,        // half a second on the fade clock
    HoldStopOnLift, // the stop-on-lift toggle held down
    HoldLooping,    // the looping toggle held down
    LetGo,          // every toggle released
};

using State = PressState;
using Step = PressStep<Do>;
using Row = PressRow<Do>;

} // namespace

TEST_F(PlaybackOnDevice, pressCycles)
{
    const Row rows[] = {
        {"a second press fades out, a third restarts at full volume",
         2.0, false, 0, true,
         {{Do::Press, playing(1)},
          {Do::Press, fading(stopped(1, 0))},
          {Do::Advance, with(fading(stopped(1, 0)), [](State& s) { s.volume = 0.75f; })},
          {Do::Press, with(playing(1, 0, 1), [](State& s) { s.volume = 1.0f; })}}},
        {"with restart on press a press restarts, without a began or finished notice",
         2.0, true, 0, true,
         {{Do::Press, playing(1)}, {Do::Press, playing(1, 0, 1)}, {Do::Press, playing(1, 0, 2)}}},
        {"without a fade time a second press stops at once",
         0.0, false, 0, true,
         {{Do::Press, playing(1)}, {Do::Press, stopped(1, 1)}, {Do::Press, playing(2, 1)}}},
        {"a release stops a sound that stops on lift",
         0.0, false, 2, true,
         {{Do::Press, playing(1)}, {Do::Lift, stopped(1, 1)}}},
        {"a release leaves a sound that keeps playing",
         0.0, false, 0, true,
         {{Do::Press, playing(1)}, {Do::Lift, playing(1)}}},
        {"a release before any press changes nothing",
         0.0, false, 2, true,
         {{Do::Lift, with(kIdle, [](State& s) { s.liftBehavior = 2; })}}},
        {"the stop-on-lift toggle held at a press makes that press stop on its release",
         0.0, false, 0, true,
         {{Do::HoldStopOnLift, kIdle},
          {Do::Press, with(playing(1), [](State& s) { s.liftBehavior = 2; })},
          {Do::LetGo, with(playing(1), [](State& s) { s.liftBehavior = 2; })},
          {Do::Lift, with(stopped(1, 1), [](State& s) { s.liftBehavior = 0; })},
          {Do::Press, with(playing(2, 1), [](State& s) { s.liftBehavior = 0; })},
          {Do::Lift, playing(2, 1)}}},
        {"the looping toggle held at a press plays that press looped",
         0.0, false, 0, true,
         {{Do::HoldLooping, kIdle},
          {Do::Press, with(playing(1), [](State& s) { s.forceLoop = 1; })},
          {Do::LetGo, with(playing(1), [](State& s) { s.forceLoop = 1; })},
          {Do::Press, stopped(1, 1)},
          {Do::Press, with(playing(2, 1), [](State& s) { s.forceLoop = 0; })}}},
        {"a key press on a board that is not shown does nothing; a MIDI press plays it",
         0.0, false, 2, false,
         {{Do::Press, kIdle},
          {Do::MIDIPress, playing(1)},
          {Do::Lift, playing(1)}, // nor does a key's release stop it
          {Do::MIDIPress, stopped(1, 1)}}},
        {"a press resumes a paused sound",
         2.0, false, 0, true,
         {{Do::Press, playing(1)},
          {Do::PauseSound, with(playing(1), [](State& s) { s.paused = true; })},
          {Do::Press, playing(1)}}},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ManualTimeSource clock;
        UserDefaults::standardUserDefaults().setDouble(row.fadeOutDuration, "fadeOutDuration");
        TestSound made = makeSound(files.constant(0.1f, 0.1f, 10 * 44100), &board);
        CKSoundSource* sound = made.sound.get();
        sound->setRestartOnPress(row.restartOnPress);
        sound->setLiftBehavior(row.liftBehavior);
        host.shown = row.boardShown ? &board : nullptr;
        NotificationLog log;
        int index = 0;
        for (const Step& step : row.steps) {
            SCOPED_TRACE(testing::Message() << "step " << ++index);
            switch (step.action) {
            case Do::Press: sound->play(); break;
            case Do::MIDIPress: sound->handleMIDIPress(); break;
            case Do::Lift: sound->handleMIDILift(); break;
            case Do::PauseSound: controller->pauseSound(sound); break;
            case Do::Advance: clock.advance(0.5 + 1e-6); break;
            case Do::HoldStopOnLift: host.stopOnLift = true; break;
            case Do::HoldLooping: host.looping = true; break;
            case Do::LetGo: host.stopOnLift = host.looping = false; break;
            }
            ASSERT_NO_FATAL_FAILURE(expectPressState(step.after, *controller, *sound, log));
        }
        sound->stopImmediately();
        ASSERT_TRUE(waitUntil([&] { return controller->numberOfPlayingSounds() == 0; }));
        host.stopOnLift = host.looping = false;
    }
}

TEST_F(PlaybackOnDevice, aSoundWithAnErrorShowsItOnEveryPressAndNeverPlays)
{
    TestSound made = makeSound(files.constant(0.1f, 0.1f, 44100), &board);
    made.sound->setError(Error("CKSoundImport", 0, "Sound could not be loaded"));
    made.sound->setIsPlayable(true); // even when something made it playable again
    made.sound->play();
    made.sound->play();
    EXPECT_EQ(host.errors.size(), 2u);
    EXPECT_EQ(host.errors.front().localizedDescription, "Sound could not be loaded");
    EXPECT_FALSE(controller->soundIsPlaying(made.sound.get()));
    EXPECT_FALSE(made.sound->isPlaying());
}

TEST_F(PlaybackOnDevice, aRemotePressRestartsAndLoopsAsAskedAndPutsTheSoundsFlagsBack)
{
    TestSound made = makeSound(files.constant(0.1f, 0.1f, 44100), &board);
    NotificationLog log;
    host.shown = nullptr; // remote presses play sounds of every board
    made.sound->handleSysExAction(2, 1, 0);
    EXPECT_TRUE(controller->soundIsPlaying(made.sound.get()));
    EXPECT_TRUE(made.sound->editor()->forceLoop());
    made.sound->handleSysExAction(2, 1, 0); // a second remote press restarts
    EXPECT_EQ(log.count(CKSoundSource::LoopedNotification), 1);
    EXPECT_FALSE(made.sound->loops());
    EXPECT_FALSE(made.sound->restartOnPress());
    made.sound->handleSysExAction(0, 0, 0);
    EXPECT_TRUE(waitUntil([&] { return !controller->soundIsPlaying(made.sound.get()); }));
}
