#pragma once
// Ramps a volume linearly over a given time, stepped from the main thread's timers. With a
// sound it drives that sound's input of the board mixer (a fade-out, an animated volume
// change); without one it computes a level that its action applies (the master ducking).
// Each step can also be reported through the action, which is how a fading sound's stored
// volume follows the ramp.
//
// Progress follows the clock of platform/TimeSource.h, not the count of steps: a step that
// comes late lands where the ramp should be by then, and a fade halted with
// stopAnimation() keeps the progress its real elapsed time gave it; startAnimation() goes
// on from there.
//
// Threads: main thread only. The sound is not owned (the sound owns its fade) and the mixer
// is not owned (the playback controller's lives as long as the program).

#include "platform/TimeSource.h"

#include <functional>

class CKEditorFaderAnimation;
class CKSoundSource;
class ZEPAudioMixer;

class CKEditorFaderAnimationDelegate {
public:
    virtual ~CKEditorFaderAnimationDelegate() = default;
    // The ramp reached its end. The delegate may destroy the animation here.
    virtual void animationDidEnd(CKEditorFaderAnimation* animation) = 0;
};

class CKEditorFaderAnimation {
public:
    // Steps per second.
    static constexpr double kFrameRate = 60.0;

    // Not running, progress 0; start volume: the sound feed's stored volume, or with no sound
    // the mixer's output level; end volume 0.
    CKEditorFaderAnimation(CKSoundSource* soundSource, ZEPAudioMixer* mixer, double duration);
    // With resetWhenDone, puts the start volume back first (resetVolume()).
    ~CKEditorFaderAnimation();
    CKEditorFaderAnimation(const CKEditorFaderAnimation&) = delete;
    CKEditorFaderAnimation& operator=(const CKEditorFaderAnimation&) = delete;

    float startVolume() const { return mStartVolume; }
    void setStartVolume(float volume) { mStartVolume = volume; }
    float endVolume() const { return mEndVolume; }
    void setEndVolume(float volume) { mEndVolume = volume; }
    bool resetWhenDone() const { return mResetWhenDone; }
    void setResetWhenDone(bool reset) { mResetWhenDone = reset; }
    // Told each step's volume (the target's action); empty: nobody is told.
    void setAction(std::function<void(double volume)> action) { mAction = std::move(action); }
    void setDelegate(CKEditorFaderAnimationDelegate* delegate) { mDelegate = delegate; }
    CKSoundSource* soundSource() const { return mSoundSource; }
    ZEPAudioMixer* mixer() const { return mMixer; }
    double duration() const { return mDuration; }

    // Starts (or goes on from the progress reached) and applies that progress at once.
    void startAnimation();
    // Halts where the clock has brought the ramp.
    void stopAnimation();
    bool isAnimating() const { return mTimer.isActive(); }

    // 0..1: from the clock while running, else where the ramp was halted or set.
    double currentProgress() const;
    // startVolume + (endVolume - startVolume) x currentProgress().
    float currentVolume() const;
    // A step: records the progress, sets the sound's mixer input to the volume times the
    // feed's normalisation factor of track 0 (nothing for a feed off the mixer) and tells the
    // action.
    void setCurrentProgress(double progress);
    // Sound fades: the sound's mixer input to the start volume, then progress 0.
    void resetVolume();

    // The mixer's output level (output channel 0), and both output channels set.
    float currentOutputVolume() const { return outputVolumeOfMixer(mMixer); }
    void setOutputVolumeForLeftChannel(float left, float right) { setOutputVolumeOfMixer(mMixer, left, right); }
    // The same for any mixer (null: 0 and nothing).
    static float outputVolumeOfMixer(const ZEPAudioMixer* mixer);
    static void setOutputVolumeOfMixer(ZEPAudioMixer* mixer, float left, float right);

private:
    void step();
    double clockProgress() const;

    CKSoundSource* mSoundSource;
    ZEPAudioMixer* mMixer;
    double mDuration;
    float mStartVolume = 0;
    float mEndVolume = 0;
    bool mResetWhenDone = false;
    std::function<void(double)> mAction;
    CKEditorFaderAnimationDelegate* mDelegate = nullptr;
    double mProgress = 0;
    // The clock's time at which the running ramp stood (or would have stood) at progress 0.
    double mOrigin = 0;
    Timer mTimer;
};
