#pragma once
// The playback engine of the boards, one per program. Every sound that plays is the feed of
// one sound (its CKAudioFileEditor) on one input of a single 32-input board mixer; the mixer
// is the source of the output player on the chosen device, and the player runs the master
// effects chain. The controller starts, stops, fades and pauses sounds, holds at most 32 at
// once in the order they started, drives the 0.05 s progress tick of the cells and the
// remote mirror, and owns the master side: gain and pan, pause of everything, ducking, the
// output device and its changes (CKPlaybackControllerMaster.cpp, CKPlaybackControllerOutput.cpp).
//
// Notifications (main thread, no object): "CKPlaybackStartedNotification" when the first
// sound starts, "CKPlaybackStoppedNotification" when the last one has left;
// "kAudioHardwarePropertyDevices" and "kAudioHardwarePropertyDefaultOutputDevice" once per
// change of the device list or of the default output device.
// Observed keys (ObservableObject): "outputGain", "masterVolume", "outputPan", "paused",
// "ducked", "canPlay".
//
// Threads:
//  - Main thread: everything not named below. The list of playing sounds belongs to it.
//  - Render thread (the output device's): audioEditorRanOutOfData() only. It reads the
//    per-input table of playing feeds (CKPlayingFeedTable, atomics) and never the list,
//    takes no lock, allocates nothing, and hands a stop to the main thread through the
//    allocation-free queue.
//  - Any thread: stopSound(), stopSoundImmediately(), fadeOutSound() and pauseSound() hop
//    to the main thread (without waiting) when called elsewhere; so do pauseAllSounds()
//    and the entry points of the remote commands and MIDI controls.
//
// MIDI (CKPlaybackControllerMIDI.cpp): the controller listens on the shared MIDI client for
// the remote's master commands (pause, duck, stop all, master volume) and for the MIDI
// bindings of the modifier toggles (the user defaults "MIDILooping", "MIDIStopOnLift",
// "MIDIRestartOnPress", learnt through its three learn controllers): a note on a toggle's
// button flips the toggle and its release flips it back, so the toggle holds while the note
// does. The listeners keep the shared MIDI client for the program's life: it must not be
// disposed while the controller exists.
//
// Lifetime: made on first use by sharedPlaybackController() and never destroyed; at the
// end of the program willTerminate() stops the output.

#include "clipdeck/CKEditorFaderAnimation.h"
#include "clipdeck/CKPlayingFeedTable.h"

#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPAudioPlayer.h"
#include "platform/ObservableObject.h"
#include "platform/TimeSource.h"

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class CKAudioFileEditor;
class CKMIDIController;
class CKSoundSource;
class CKSysExListener;
class ZEPMIDIClient;
class ZEPMIDIListener;
class ZEPAudioDevice;
class ZEPAudioGraph;

// A sound could not start because it has no feed, or its feed is not loaded.
constexpr OSStatus kCKPlaybackNoFeedError = OSStatus(FourCC("!Fed"));
// A sound could not start because 32 sounds play (every mixer input is taken).
constexpr OSStatus kCKPlaybackNoFreeInputError = OSStatus(FourCC("!Inp"));

class CKPlaybackController : public ObservableObject,
                             public ZEPAudioMixerDelegate,
                             public ZEPAudioPlayerDelegate,
                             public CKEditorFaderAnimationDelegate {
    Q_OBJECT
    Q_PROPERTY(float outputGain READ outputGain WRITE setOutputGain)
    Q_PROPERTY(float masterVolume READ masterVolume WRITE setMasterVolume)
    Q_PROPERTY(float outputPan READ outputPan WRITE setOutputPan)
    Q_PROPERTY(bool paused READ paused WRITE setPaused)
    Q_PROPERTY(bool ducked READ ducked WRITE setDucked)
    Q_PROPERTY(bool canPlay READ canPlay WRITE setCanPlay)

public:
    static constexpr UInt32 kMaxPlayingSounds = 32;
    static constexpr UInt32 kMaxRequestFrames = 32768;
    static constexpr double kProgressInterval = 0.05;
    // Fades shorter than this are a stop.
    static constexpr double kShortestFade = 0.01;

    static inline const QString StartedNotification = QStringLiteral("CKPlaybackStartedNotification");
    static inline const QString StoppedNotification = QStringLiteral("CKPlaybackStoppedNotification");
    static inline const QString DevicesChangedNotification = QStringLiteral("kAudioHardwarePropertyDevices");
    static inline const QString DefaultOutputChangedNotification =
        QStringLiteral("kAudioHardwarePropertyDefaultOutputDevice");
    // The user default holding the chosen output device's uid.
    static inline const QString OutputDeviceKey = QStringLiteral("PlaybackOutputDevice");

    // Made on the first call (on the main thread): the mixer, the master chain and the output
    // player, started at once on the stored output device (else the default one).
    static CKPlaybackController* sharedPlaybackController();
    ~CKPlaybackController() override;

    // At launch: the stored master pan and then gain ("outputPan", "outputGain").
    void didFinishLaunching();
    // At the end of the program: pauses, then stops, the output.
    void willTerminate();

    // ---- Playing ----

    // A sound begins to play (the sound's start calls it): 0 when its feed went onto the
    // mixer; else the reason, and nothing changed: kCKPlaybackNoFreeInputError with 32
    // playing, kCKPlaybackNoFeedError without a loaded feed, '!Run' when the output cannot
    // run. Posts the started notification for the first sound.
    OSStatus soundSourceBeganPlaying(CKSoundSource* sound);
    // Puts the sound's feed on the lowest free mixer input at its scaled volume and starts
    // the progress tick; the same statuses.
    OSStatus playSound(CKSoundSource* sound);
    // Not paused by the editor sheet, and fewer than 32 playing.
    bool canBeginPlayingAnotherSound() const;
    // The next play number (the first is 1).
    SInt64 nextPlayID() { return ++mNextPlayID; }
    bool soundIsPlaying(const CKSoundSource* sound) const { return indexOfSound(sound) >= 0; }
    // Plays with its mixer input turned off.
    bool soundIsPaused(const CKSoundSource* sound) const;
    // -1 when the sound does not play.
    qsizetype indexOfSound(const CKSoundSource* sound) const;
    std::shared_ptr<CKSoundSource> soundAtIndex(qsizetype index) const;
    CKAudioFileEditor* editorForSound(const CKSoundSource* sound) const;
    // The playing sounds, oldest first.
    std::vector<std::shared_ptr<CKSoundSource>> playingSounds() const;
    qsizetype numberOfPlayingSounds() const { return qsizetype(mPlaying.size()); }
    // The output runs and at least one sound plays.
    bool isPlaying() const;

    // ---- Stopping and pausing ----

    // Fades the sound out when "fadeOutDuration" is over 0.01 s and neither the sound nor
    // everything is paused and it does not fade already; else stops it at once.
    void stopSound(CKSoundSource* sound);
    void stopSoundImmediately(CKSoundSource* sound);
    void fadeOutSound(CKSoundSource* sound);
    // Pauses a playing sound, or resumes a paused one.
    void pauseSound(CKSoundSource* sound);
    // Every playing sound stops (by stopSound()'s rules) when immediately is set or all is
    // paused, else fades out.
    void stopAllSounds(bool immediately);
    void stopSoundAtIndex(qsizetype index);
    // The fade time is "fadeOutDuration", cut to the time left of a sound that does not
    // loop; under 0.01 s the sound stops at once.
    void fadeOutSoundAtIndex(qsizetype index);
    void togglePauseForSoundAtIndex(qsizetype index);
    // Halts (resumes) the fades of all sounds (of those not paused on their own) and the
    // ducking fade.
    void pauseAllFaders();
    void resumeAllFaders();
    // The "fadeOutDuration" user default.
    double fadeOutDuration() const;

    bool canPlay() const { return mCanPlay; }
    void setCanPlay(bool canPlay) { changeValue(QStringLiteral("canPlay"), mCanPlay, canPlay); }

    // ---- Output and effects ----

    ZEPAudioPlayer* outputAudioPlayer() const { return mOutputPlayer.get(); }
    ZEPAudioMixer* audioMixer() const { return mMixer.get(); }
    // The master effects chain the output player runs.
    ZEPAudioGraph* audioGraph() const { return mMasterGraph.get(); }
    std::shared_ptr<ZEPAudioGraph> sharedAudioGraph() const { return mMasterGraph; }

    // ---- Master controls (CKPlaybackControllerMaster.cpp) ----

    // The output runs and is paused.
    bool paused() const;
    // Pauses (silence; every fade halted, the mixer stopped, the master chain reset) or
    // resumes everything (each fade goes on from where it was). Any thread.
    void setPaused(bool paused);
    // Applies the paused state: what setPaused() does after passing the flag to the output.
    void pauseAllSounds();
    // The master gain 0..1 (without the ducking) and pan -1 (left) .. +1 (right); a change
    // reaches the mixer and is stored under "outputGain" or "outputPan"; the same value again
    // does nothing.
    float outputGain() const { return mOutputGain; }
    void setOutputGain(float gain);
    float outputPan() const { return mOutputPan; }
    void setOutputPan(float pan);
    float masterVolume() const { return outputGain(); }
    void setMasterVolume(float volume) { setOutputGain(volume); }
    // Left = gain x (1 - pan) for pan > 0, right = gain x (1 + pan) for pan < 0; each times
    // the ducking level.
    void updateMixerWithGain(float gain, float pan);
    void setOutputVolumeOnMixer(ZEPAudioMixer* mixer, float left, float right);
    // Ducking: the master level falls to "duckingVolume" times the gain over
    // "duckingDuration" seconds, and back when it ends. Turning it over while a ducking fade
    // runs turns that fade around from the level it has reached, taking as long to return.
    bool ducked() const { return mDucked; }
    void setDucked(bool ducked);
    // Ends ducking at once, without a fade back: the master level is the gain again and the
    // ducked flag clears (for a gain set by hand while ducked, which takes over). Main thread.
    void cancelDucking();
    // The factor ducking applies to the master gain now (1 when not ducked).
    float duckingLevel() const { return mDuckingLevel; }
    // MIDI controls of the master gain and pan (a controller's value, 0..1).
    void updateGainFromMIDI(float velocity) { setOutputGain(velocity); }
    void updatePanFromMIDI(float velocity) { setOutputPan(velocity); }

    // Remote commands (system-exclusive messages; the MIDI layer calls these on any thread).
    // A pause also halts every fade, as the master controls' pause does.
    void handleSysExPause(bool paused);
    void handleSysExDuck(bool ducked);
    void handleSysExStop();
    void handleSysExVolume(float volume);

    // ---- MIDI (CKPlaybackControllerMIDI.cpp) ----

    // The learn controllers of the toggles' MIDI bindings (with exclusivity: a button a
    // sound uses cannot be learnt for a toggle, nor a toggle's button for anything else).
    CKMIDIController* loopingController() const { return mLoopingController.get(); }
    CKMIDIController* stopOnLiftController() const { return mStopOnLiftController.get(); }
    CKMIDIController* restartOnPressController() const { return mRestartOnPressController.get(); }
    // Registers the toggles' bindings on the shared MIDI client, replacing those registered
    // before (an unbound toggle gets none); the first call also has the client connect every
    // source. Runs again on the next pass of the event loop after a binding changes in the
    // user defaults. The toggles are the installed CKModifierToggles (none: a note does
    // nothing); a note reaches them on the main thread, in order with the notes that press
    // sounds, so a toggle held before a press is in force for it.
    void addMIDIObservers();
    // Removes the toggles' listeners.
    void removeMIDIObservers();
    // The toggles' listeners, for each bound toggle its note on and note off.
    std::vector<std::shared_ptr<ZEPMIDIListener>> toggleListeners() const { return mToggleListeners; }

    // ---- Output device (CKPlaybackControllerOutput.cpp) ----

    // The chosen device; null for the system default.
    std::shared_ptr<ZEPAudioDevice> outputAudioDevice() const { return mOutputDevice; }
    // Keeps the device and moves the output player to it (null: the default).
    void setOutputAudioDevice(std::shared_ptr<ZEPAudioDevice> device);
    // Moves the player to the chosen device when it is elsewhere, and stores the device's
    // uid under "PlaybackOutputDevice".
    void updateOutputDevice();
    // Follows the device stored under "PlaybackOutputDevice": when it is present and the
    // output is not on it, or lost it and it came back, the output moves to it and runs
    // again. Without a stored device the same holds for the default device. Runs on every
    // change of the device list.
    void followStoredOutputDevice();

    // ---- Delegate calls ----

    // Main thread, after a change of the mixer's inputs: gathered, and handled once on the
    // next pass of the event loop.
    void mixerDidUpdateSources(ZEPAudioMixer* mixer) override;
    // Render thread: 666 for a feed that does not play; 0 (go on) for a feed forced to loop;
    // otherwise the sound is stopped on the main thread and the answer is 666.
    OSStatus audioEditorRanOutOfData(CKAudioFileEditor* feed);
    // The output is overloaded: with two or more playing, the newest stops.
    void playerDidOverload(ZEPLocklessPullAudioPlayer*) override;
    // The fade of a sound ended: the sound stops at once and drops it; the ducking fade
    // ended: it goes.
    void animationDidEnd(CKEditorFaderAnimation* animation) override;
    // The sound at index has left the mixer: it is told didStop() and leaves the list;
    // after the last one, the stopped notification.
    void soundDidFinishPlayingAtIndex(qsizetype index);

signals:
    // After each progress tick of the playing sounds (the remote mirror sends their progress).
    void progressUpdated();

private:
    struct PlayingSound {
        std::shared_ptr<CKSoundSource> sound;
        std::shared_ptr<CKAudioFileEditor> feed;
        SInt64 playID = 0;
    };

    CKPlaybackController();
    void makeOutput();
    // The output is not running: it is started again; false when it still does not run.
    bool handleAudioNotRunningError();
    // The input used, kMaxPlayingSounds when none could be (all taken, or the mixer refused).
    UInt32 addEditorToMixer(const PlayingSound& entry);
    UInt32 removeEditorFromMixer(CKAudioFileEditor* feed);
    void handleMixerSourceUpdates();
    void updateProgressAndLevels();
    qsizetype indexOfFeed(const ZEPAudioSource* feed) const;
    static void stopSoundThatRanOut(void* controller, intptr_t playID);
    // Runs fn on the main thread now, or later when called elsewhere.
    void onMainThread(std::function<void()> fn);
    // Off the main thread: queues method for the sound there (holding the sound) and
    // answers true; on it, false.
    bool handOverToMainThread(void (CKPlaybackController::*method)(CKSoundSource*), CKSoundSource* sound);
    // Stores a changed master gain or pan, applies both to the mixer and writes the value
    // to the defaults; false (doing nothing) when it is unchanged.
    bool changeMasterValue(float& field, float value, const QString& defaultsKey);
    // Output-device changes, handed from the device polling thread.
    void listenForDeviceChanges();
    void outputDeviceDied(AudioObjectID device);
    // Stops and starts the output again, keeping its pause.
    void restartOutput();
    // The ducking fade's step.
    void setDuckingLevel(float level);
    void startDuckingFade(float target);
    // The master commands' listeners, the learn controllers and the toggles' listeners.
    void setUpMIDI();
    void tearDownMIDI();

    std::unique_ptr<ZEPAudioMixer> mMixer;
    std::shared_ptr<ZEPAudioGraph> mMasterGraph;
    std::unique_ptr<ZEPAudioPlayer> mOutputPlayer;
    std::shared_ptr<ZEPAudioDevice> mOutputDevice;
    std::vector<PlayingSound> mPlaying;
    CKPlayingFeedTable mFeedTable;
    Timer mProgressTimer;
    bool mMixerUpdatePending = false;
    bool mCanPlay = true;
    SInt64 mNextPlayID = 0;
    float mOutputGain = 1.0f;
    float mOutputPan = 0.0f;
    bool mDucked = false;
    float mDuckingLevel = 1.0f;
    std::unique_ptr<CKEditorFaderAnimation> mDuckingFader;
    int mDeviceListenerToken = 0;
    bool mOutputDeviceLost = false;
    // The last pause asked for: kept over an output that went away and came back.
    bool mPauseWanted = false;
    bool mTerminating = false;
    // Pause, duck, stop all, master volume.
    std::vector<std::shared_ptr<CKSysExListener>> mSysExListeners;
    std::unique_ptr<CKMIDIController> mLoopingController;
    std::unique_ptr<CKMIDIController> mStopOnLiftController;
    std::unique_ptr<CKMIDIController> mRestartOnPressController;
    std::vector<std::shared_ptr<ZEPMIDIListener>> mToggleListeners;
    // The client the toggles' listeners are on; the one told to connect every source.
    ZEPMIDIClient* mToggleMIDIClient = nullptr;
    ZEPMIDIClient* mVolumeMIDIClient = nullptr;
    bool mMIDIObserversPending = false;
};
