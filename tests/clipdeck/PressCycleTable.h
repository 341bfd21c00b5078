#pragma once
// A table of press cycles: each row a sound's trigger settings and a sequence of actions
// (of the test's own kind) with the sound's state expected after each.
#include "clipdeck/CKPlaybackController.h"

#include "PlaybackTestSupport.h"
#include "audio/editor/CKAudioFileEditor.h"

#include <gtest/gtest.h>

#include <vector>

namespace clipdeck::test {

// The state after a step. Counts are of notifications since the row began; a field at its
// "any" value is not checked.
struct PressState {
    bool playing = false;
    bool listed = false; // in the controller's list of playing sounds
    bool fading = false;
    bool paused = false;
    int began = 0, finished = 0, looped = 0;
    int liftBehavior = -1;
    int forceLoop = -1;
    float volume = -1;
};

inline constexpr PressState kIdle{};

inline PressState playing(int began, int finished = 0, int looped = 0)
{
    PressState state;
    state.playing = state.listed = true;
    state.began = began;
    state.finished = finished;
    state.looped = looped;
    return state;
}

inline PressState stopped(int began, int finished, int looped = 0)
{
    PressState state;
    state.began = began;
    state.finished = finished;
    state.looped = looped;
    return state;
}

// Still in the controller's list, fading out.
inline PressState fading(PressState state)
{
    state.listed = state.fading = true;
    return state;
}

template <typename Change>
PressState with(PressState state, Change change)
{
    change(state);
    return state;
}

template <typename Action>
struct PressStep {
    Action action;
    PressState after;
};

template <typename Action>
struct PressRow {
    const char* what;
    double fadeOutDuration = 0;
    bool restartOnPress = false;
    qulonglong liftBehavior = 0;
    bool boardShown = true;
    std::vector<PressStep<Action>> steps;
};

// Waits for the sound to enter or leave the controller's list, then checks the rest.
inline void expectPressState(const PressState& want, CKPlaybackController& controller, CKSoundSource& sound,
                             const NotificationLog& log)
{
    ASSERT_TRUE(waitUntil([&] { return controller.soundIsPlaying(&sound) == want.listed; }));
    EXPECT_EQ(sound.isPlaying(), want.playing);
    EXPECT_EQ(bool(sound.fader()), want.fading);
    EXPECT_EQ(sound.isPaused(), want.paused);
    EXPECT_EQ(log.count(CKSoundSource::BeganPlayingNotification), want.began);
    EXPECT_EQ(log.count(CKSoundSource::FinishedPlayingNotification), want.finished);
    EXPECT_EQ(log.count(CKSoundSource::LoopedNotification), want.looped);
    EXPECT_EQ(sound.playingCount(), want.listed ? 1u : 0u);
    if (want.liftBehavior >= 0) {
        EXPECT_EQ(sound.liftBehavior(), qulonglong(want.liftBehavior));
    }
    if (want.forceLoop >= 0) {
        EXPECT_EQ(sound.editor()->forceLoop(), bool(want.forceLoop));
    }
    if (want.volume >= 0) {
        EXPECT_NEAR(sound.playbackVolume(), want.volume, 1e-4f);
    }
    EXPECT_FALSE(sound.loops()); // a toggle never leaves the stored flag changed
}

} // namespace clipdeck::test
