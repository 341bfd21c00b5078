#pragma once
// Mixes up to N producers into one stream with per-input volume, enable and metering, and is
// itself a producer, so an output player pulls it like any other. Built as a node graph of a
// generic output (the head), a matrix mixer and, per input, a varispeed whose input callback
// pulls that input's producer: each input plays its producer at the producer's own sample
// rate (varispeed rate = producer rate / mixer rate; at equal rates the input passes through
// bit-exact). Every input is stereo: input i is matrix mixer channels 2i and 2i+1. A mono
// producer (one buffer) is heard on both channels of its input.
//
// A new mixer runs at once, with unit gains (master, channels, crosspoint c -> c mod output
// channels), every input disabled and empty, and levels in decibels.
//
// Threads:
//  - Main thread: creation, destruction (once nothing renders the mixer any more),
//    setAudioSource, audioSourceForInput, indexForAudioSource, addedSources,
//    removedSources, the delegate and stopWhenAllInputsFinish. setAudioSource blocks on the
//    input's source lock, which the render side holds only while it pulls that input.
//  - Any thread: volumes, enables and levels (atomics inside the units).
//  - Render thread (one at a time): renderFrames, getAudioDescription, maxRequestFrames. A
//    render allocates nothing, logs nothing and takes no lock but each input's source lock,
//    which it only tries: when the main thread holds it, that input is silent for the slice.
//    Time stamps passed to renderFrames must advance from slice to slice (the matrix mixer
//    pulls its inputs once per time stamp).
//
// Ownership: the mixer keeps a reference to each input's producer, and every producer it
// takes out of an input (or puts in) in removedSources() (addedSources()) until the owner
// collects them on the main thread; a producer is therefore never freed by the render thread
// nor while it may still be pulled. The delegate hears mixerDidUpdateSources() on the main
// thread, queued, after each change of an input's producer.

#include "audio/engine/CAMutex.h"
#include "audio/engine/ZEPAudioSource.h"
#include "platform/audiounits/AUGraph.h"
#include "platform/audiounits/AudioUnit.h"

#include <atomic>
#include <memory>
#include <vector>

class ZEPAudioMixer;

class ZEPAudioMixerDelegate {
public:
    virtual ~ZEPAudioMixerDelegate() = default;
    // On the main thread, after a producer was put into or taken out of an input.
    virtual void mixerDidUpdateSources(ZEPAudioMixer* mixer) = 0;
};

// The refCon of one input's render callback: the input's index and its mixer.
struct ZEPAudioMixerMapper {
    UInt32 index = 0;
    ZEPAudioMixer* mixer = nullptr;
};

class ZEPAudioMixer : public ZEPAudioSource {
public:
    static constexpr UInt32 kNoInput = 0x7FFFFFFF;

    // N inputs, M outputs, the largest slice rendered, and the mixer's format. Null (with the
    // failing status in *outStatus) when any step of building the graph fails.
    static std::unique_ptr<ZEPAudioMixer> create(UInt32 numInputs, UInt32 numOutputs, UInt32 maxRenderSlice,
                                                 const AudioStreamBasicDescription& audioDescription,
                                                 OSStatus* outStatus = nullptr);
    ~ZEPAudioMixer() override;

    OSStatus start();
    OSStatus stop();

    // The producers taken out of (put into) inputs since the last call; the list empties.
    std::vector<std::shared_ptr<ZEPAudioSource>> removedSources();
    std::vector<std::shared_ptr<ZEPAudioSource>> addedSources();

    // Blocking lock of an input's source lock: true when this call took it (false when the
    // calling thread holds it already). Pair with unlockSource only when true.
    bool lockSource(UInt32 input);
    // Never waits: true only when this call newly took the lock.
    bool tryLockSource(UInt32 input) noexcept;
    void unlockSource(UInt32 input) noexcept;

    ZEPAudioMixerDelegate* delegate() const { return mDelegate; }
    void setDelegate(ZEPAudioMixerDelegate* delegate) { mDelegate = delegate; }

    bool stopWhenAllInputsFinish() const { return mStopWhenAllInputsFinish.load(); }
    // Turning it on marks as finished exactly the inputs without a producer.
    void setStopWhenAllInputsFinish(bool stopWhenAllInputsFinish);

    // Master volume of output channels 0 and 1.
    OSStatus setVolume(Float32 volume);
    // Volume parameter, global scope, of the element given.
    OSStatus setVolumeForElement(Float32 volume, UInt32 element);
    // Volume of both channels of an input.
    OSStatus setVolumeForInput(Float32 volume, UInt32 input);
    // The input's left channel volume; 0 when it cannot be read.
    Float32 volumeForInput(UInt32 input);
    // Always 0.
    Float32 volumeForTrack(UInt32 track) const;

    // The matrix mixer (its owner sets master gain and pan crosspoints on it directly).
    AudioUnit* outputMixer() const { return mMixer; }
    UInt32 numberOfInputs() const { return mNumInputs; }
    UInt32 numberOfOutputs() const { return mNumOutputs; }

    // Metering of the matrix mixer.
    OSStatus setLevelsEnabled(bool enabled);
    bool levelsEnabled() const;
    // -160 dB when levels are in decibels, else 0.
    Float32 minimumPowerLevel() const;
    // Levels after volumes: average power and peak of output channels 0 and 1, and of an
    // input's two channels; in decibels, or as 10^(dB/20) - 0.000001 when levelsInDecibels is
    // off. A level that cannot be read answers minimumPowerLevel().
    Float32 leftOutputLevel() const;
    Float32 rightOutputLevel() const;
    Float32 leftPeakLevel() const;
    Float32 rightPeakLevel() const;
    Float32 leftAvgLevelForInput(UInt32 input) const;
    Float32 rightAvgLevelForInput(UInt32 input) const;
    Float32 leftPeakLevelForInput(UInt32 input) const;
    Float32 rightPeakLevelForInput(UInt32 input) const;
    bool levelsInDecibels() const { return mLevelsInDecibels.load(); }
    void setLevelsInDecibels(bool levelsInDecibels) { mLevelsInDecibels.store(levelsInDecibels); }

    OSStatus setInputAtIndex(UInt32 input, bool enabled);
    bool isInputAtIndexEnabled(UInt32 input) const;

    // Puts producer (null: none) into an input. 0; '!LOC' when the calling thread holds the
    // input's lock already; the producer's or the varispeed's status when they fail, which
    // leaves the input empty and tells nobody.
    OSStatus setAudioSource(std::shared_ptr<ZEPAudioSource> audioSource, UInt32 forInput);
    std::shared_ptr<ZEPAudioSource> audioSourceForInput(UInt32 input) const;
    // The first input holding that very producer; kNoInput when none.
    UInt32 indexForAudioSource(const ZEPAudioSource* audioSource) const;

    // The producer contract. renderFrames renders output bus 0 (or the bus given); the frame
    // count is left as asked; the result is the render's status.
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override;
    AudioStreamBasicDescription audioDescription();
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, UInt32 busNumber, void* sender);
    // Largest slice of the generic output (changing it on the running mixer answers
    // kAudioUnitErr_Initialized).
    OSStatus setMaxRequestFrames(UInt32 maxRequestFrames) override;
    UInt32 maxRequestFrames() override;
    SInt64 framesAvailable() override { return -1; }
    bool isFlushing() override { return false; }
    void flush() override {}

private:
    ZEPAudioMixer(UInt32 numInputs, UInt32 numOutputs, const AudioStreamBasicDescription& audioDescription);
    OSStatus build(UInt32 maxRenderSlice);

    static OSStatus inputCallback(void* refCon, AudioUnitRenderActionFlags* ioActionFlags,
                                  const AudioTimeStamp* timeStamp, UInt32 busNumber, UInt32 frames,
                                  AudioBufferList* ioData);
    // Renders one input from its producer (render thread).
    OSStatus outputMixerCallback(AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                                 UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    bool anotherInputIsPlaying(UInt32 input) const;
    Float32 level(AudioUnitParameterID parameter, AudioUnitScope scope, AudioUnitElement element) const;
    void tellDelegate();

    std::unique_ptr<AUGraph> mGraph;
    AUNode mOutputNode = 0;
    AudioUnit* mOutputUnit = nullptr;
    AUNode mMixerNode = 0;
    AudioUnit* mMixer = nullptr;
    std::vector<AUNode> mInputConverterNodes;
    std::vector<AudioUnit*> mInputConverters;
    std::vector<ZEPAudioMixerMapper> mInputMappers;
    std::vector<std::shared_ptr<ZEPAudioSource>> mAudioSources;
    std::vector<std::unique_ptr<CAMutex>> mAudioSourceMutexes;
    std::atomic<bool> mStopWhenAllInputsFinish{false};
    std::unique_ptr<std::atomic<UInt8>[]> mInputErrorArray;
    UInt32 mNumInputs;
    UInt32 mNumOutputs;
    AudioStreamBasicDescription mMixerDesc;
    AudioBufferList* mRenderBufferList = nullptr;
    ZEPAudioMixerDelegate* mDelegate = nullptr;
    std::vector<std::shared_ptr<ZEPAudioSource>> mRemovedSources;
    std::vector<std::shared_ptr<ZEPAudioSource>> mAddedSources;
    std::atomic<bool> mLevelsInDecibels{true};
    // Lets queued delegate calls find out that the mixer is gone.
    std::shared_ptr<ZEPAudioMixer*> mLifeToken;
};
