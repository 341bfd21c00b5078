#pragma once
// Plays a ZEPAudioSource on one audio device. The player owns a hardware output unit whose
// render callback pulls the producer, optionally through an effect graph, and optionally
// through a one-in, one-out matrix mixer that exists for metering. It follows the default
// output device when asked to, stops itself on the main thread when the producer ends or
// fails, and is itself a ZEPAudioSource (that is how an effect graph placed in it pulls the
// producer). The board's master output and the sound editor's players are instances.
//
// Observed keys (ObservableObject): "running" and "playing", announced by play() and stop().
// Notification "kZEPAudioPlayer_DefaultOutputDeviceChanged" (no object) is posted on the main
// thread whenever the default output device changes; players following the default move.
//
// Threads:
//  - Creation, play, stop, devices, graph, delegate, volume and metering set-up: main thread.
//  - The render callbacks run on the device's thread and touch only the player's atomics,
//    the producer and the graph; they allocate nothing, lock nothing and never log. A stop
//    they ask for is carried out on the main thread, once per play().
//  - setPaused()/pause()/resume() may be called from any thread; playerStatusChanged() comes
//    on that thread.
//  - The producer and the delegate are not owned: they outlive the player or are unset first.
//  - The player is destroyed on the main thread.

#include "audio/engine/ZEPAudioSource.h"
#include "platform/ObservableObject.h"
#include "platform/RealtimeMessageTarget.h"
#include "platform/audiounits/AudioUnit.h"
#include "platform/devices/AudioHardware.h"

#include <QString>

#include <atomic>
#include <memory>

class ZEPAudioGraph;
class ZEPAudioPlayer;
class ZEPSlamAudioPlayer;
class ZEPLocklessPullAudioPlayer;

inline const QString kZEPAudioPlayer_DefaultOutputDeviceChanged =
    QStringLiteral("kZEPAudioPlayer_DefaultOutputDeviceChanged");

// What a player tells its delegate; each call is optional (the defaults do nothing).
class ZEPAudioPlayerDelegate {
public:
    virtual ~ZEPAudioPlayerDelegate() = default;
    // After every change of the pause state, on the thread that changed it.
    virtual void playerStatusChanged(ZEPAudioPlayer*) {}
    // On the device's thread, when a slam player's playback reaches its mark.
    virtual void slamAudioPlayerDidReachMark(ZEPSlamAudioPlayer*) {}
    // On the main thread, when a lock-free pull player ran dry.
    virtual void playerDidOverload(ZEPLocklessPullAudioPlayer*) {}
};

class ZEPAudioPlayer : public ObservableObject, public ZEPAudioSource, protected RealtimeMessageTarget {
    Q_OBJECT
    Q_PROPERTY(bool running READ isRunning)
    Q_PROPERTY(bool playing READ isPlaying)
public:
    // Bytes per buffer of the scratch list used to render an effect tail.
    static constexpr UInt32 kPrevAudioSize = 262144;

    // A player on device (0: follow the default output) pulling source in inputDescription;
    // null when the output unit, its format or the metering mixer cannot be set up (with the
    // status in *outStatus).
    static std::unique_ptr<ZEPAudioPlayer> create(AudioObjectID device, ZEPAudioSource* audioSource,
                                                  const AudioStreamBasicDescription& inputDescription,
                                                  OSStatus* outStatus = nullptr);
    static std::unique_ptr<ZEPAudioPlayer> create(ZEPAudioSource* audioSource,
                                                  const AudioStreamBasicDescription& inputDescription,
                                                  OSStatus* outStatus = nullptr);
    // A null uid follows the default; an unknown uid gives null.
    static std::unique_ptr<ZEPAudioPlayer> createWithDeviceUID(const QString& deviceUID, ZEPAudioSource* audioSource,
                                                               const AudioStreamBasicDescription& inputDescription,
                                                               OSStatus* outStatus = nullptr);
    ~ZEPAudioPlayer() override;

    // Metering mixer.
    OSStatus setupMixer();
    OSStatus setMatrixMixerVolumes(AudioUnit* unit);

    // Devices. 0 follows the system default (and stays unchanged when there is none).
    void setDevice(AudioObjectID device);
    AudioObjectID device() const;
    // Null or "Default Device" follows the default; an unknown uid changes nothing.
    void setDeviceUID(const QString& uid);
    QString deviceUID() const;
    bool usesDefaultOutputDevice() const { return mUsesDefaultOutputDevice; }
    void defaultOutputChanged();
    void updateDefaultDevice() { setDevice(0); }

    void setAudioSource(ZEPAudioSource* audioSource) { mAudioSource.store(audioSource); }
    ZEPAudioSource* audioSource() const { return mAudioSource.load(); }
    void setDelegate(ZEPAudioPlayerDelegate* delegate) { mDelegate.store(delegate); }
    ZEPAudioPlayerDelegate* delegate() const { return mDelegate.load(); }

    // The effect graph the player renders through (shared with its owner); its input becomes
    // this player.
    void setAudioGraph(std::shared_ptr<ZEPAudioGraph> graph);
    std::shared_ptr<ZEPAudioGraph> audioGraph() const { return mEffectsGraph; }

    OSStatus getInputDescription(AudioStreamBasicDescription* description) const;
    OSStatus setInputDescription(const AudioStreamBasicDescription& description);

    virtual OSStatus play();
    virtual OSStatus stop();
    OSStatus pause();
    OSStatus resume();
    void setPaused(bool paused);
    bool isPaused() const { return mPaused.load(); }
    void statusChanged();
    bool isRunning() const;
    bool isPlaying() const { return isRunning(); }
    // Why the last play() failed, in words (empty after a success).
    QString lastErrorText() const { return mLastErrorText; }

    // Asks, from any thread, for one stop on the main thread per play(). A request the
    // main thread's real-time queue had no room for counts as not made: the next call makes it.
    void stopPlaybackOnMainThread();

    void setBypassGraph(bool bypass) { mBypassGraph.store(bypass); }
    bool bypassGraph() const { return mBypassGraph.load(); }
    void setFramesUntilBypass(SInt64 frames) { mFramesUntilBypass.store(frames); }
    SInt64 framesUntilBypass() const { return mFramesUntilBypass.load(); }
    void setSampleTime(Float64 sampleTime) { mSampleTime.store(sampleTime); }
    Float64 sampleTime() const { return mSampleTime.load(); }
    void setFramesPlayed(SInt64 frames) { mFramesPlayed.store(frames); }
    SInt64 framesPlayed() const { return mFramesPlayed.load(); }
    void setStopOnError(bool stopOnError) { mStopOnError.store(stopOnError); }
    bool stopOnError() const { return mStopOnError.load(); }

    // Output volume of the device side, 0..1; volume() is 0 when it cannot be read.
    OSStatus setVolume(Float32 volume);
    Float32 volume() const;

    OSStatus setLevelsEnabled(bool enabled);
    bool levelsEnabled() const { return mLevelsEnabled.load(); }
    // Levels after the metering mixer, linear (10^(dB/20) - 0.000001); 0 while not playing.
    Float32 leftLevel() const;
    Float32 rightLevel() const;
    Float32 leftPeakLevel() const;
    Float32 rightPeakLevel() const;

    // Renders n frames through the graph and drops them, so an effect chain rings out.
    virtual void burnFrames(UInt32 frames);
    // An underrun the device reported since the last call (0 when none).
    OSStatus lastRenderError() const;

    virtual void reset() {}

    // The producer contract.
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        return getInputDescription(description);
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    OSStatus setMaxRequestFrames(UInt32) override { return noErr; }
    UInt32 maxRequestFrames() override { return 0xFFFFFFFF; }
    SInt64 framesAvailable() override { return 512; }
    bool isFlushing() override { return false; }
    void flush() override {}

    // The output unit (tests and the board's master controls read its properties).
    AudioUnit* outputUnit() const { return mOutputUnit.get(); }

protected:
    ZEPAudioPlayer();
    // The initialiser the subclasses call: 0 or the failing status.
    OSStatus initWithDevice(AudioObjectID device, ZEPAudioSource* audioSource,
                            const AudioStreamBasicDescription& inputDescription);
    void handleRealtimeMessage(uint16_t message) override;
    // The render of the output unit's input, and of the metering mixer's input.
    OSStatus inputCallback(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 bus,
                           UInt32 frames, AudioBufferList* ioData);
    OSStatus renderSourceOrGraph(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                                 const AudioTimeStamp* timeStamp);
    // Stops and restarts the graph around play() and stop() (through the graph's own calls).
    OSStatus startGraph();
    OSStatus stopGraph();
    // Renders the graph as a producer (render thread).
    OSStatus renderGraph(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                         const AudioTimeStamp* timeStamp);
    void setGraphInput(ZEPAudioSource* source);
    void announce(const char* key, bool oldValue, bool newValue);

    // Messages from render threads, handled on the main thread; subclasses add their own.
    enum Message : uint16_t { kStopMessage = 1, kFirstSubclassMessage = 16 };

    std::atomic<Float64> mSampleTime{0};

private:
    static OSStatus outputCallback(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                   UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    static OSStatus meteringCallback(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                     UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    Float32 level(AudioUnitParameterID parameter, AudioUnitElement element) const;
    bool readLevelsEnabled() const;

    std::unique_ptr<AudioUnit> mOutputUnit;
    std::shared_ptr<ZEPAudioGraph> mEffectsGraph;
    std::atomic<ZEPAudioGraph*> mRenderGraph{nullptr};
    std::atomic<ZEPAudioSource*> mAudioSource{nullptr};
    std::atomic<ZEPAudioPlayerDelegate*> mDelegate{nullptr};
    std::atomic<bool> mPaused{false};
    std::atomic<SInt64> mFramesUntilBypass{0};
    std::atomic<bool> mBypassGraph{false};
    AudioBufferList* mPrevAudio = nullptr;
    std::atomic<SInt64> mFramesPlayed{0};
    std::atomic<bool> mLevelsEnabled{false};
    std::unique_ptr<AudioUnit> mStereoMatrixMixer;
    AudioStreamBasicDescription mInputDesc;
    bool mUsesDefaultOutputDevice = false;
    std::atomic<bool> mStopMessageAlreadySent{false};
    std::atomic<bool> mStopOnError{true};
    QString mLastErrorText;
};
