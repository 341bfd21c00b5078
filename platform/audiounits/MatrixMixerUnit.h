#pragma once
// The matrix mixer unit ('aumx' 'mxmx'), in place of the system's matrix mixer: N input
// buses and M output buses of 32-bit float non-interleaved audio (any channels per bus),
// every input channel routed to every output channel through a crosspoint gain. Input
// channels are numbered across the input buses in bus order, output channels likewise.
//
// Gains (kMatrixMixerParam_Volume, linear; element encodings in AudioUnitTypes.h): each
// output sample is the sum over input channels of
//     input x input-channel volume x crosspoint(in, out) x output-channel volume x master.
// Every gain starts at 0: a new mixer is silent until its owner sets its gains. Gains exist
// once the mixer is initialized (kAudioUnitErr_Uninitialized before) and are kept across a
// re-initialisation with the same channel counts. Bus enables (kMatrixMixerParam_Enable,
// 1.0 or 0.0, input or output scope, element = bus) start enabled: a disabled input bus is
// not pulled; a disabled output bus renders silence.
//
// Rendering: the first render of an output bus at a time stamp pulls every enabled input
// bus once and mixes all output buses; rendering another output bus (or the same one) at
// the same sample time and frame count (sample time valid) hands out that mix without
// pulling again. Callers that render one bus advance the sample time from slice to slice.
// An input that fails its pull counts as silence for that slice.
//
// Metering (kAudioUnitProperty_MeteringMode, UInt32 1/0, global scope; off at first): per
// input channel (after its volume) and per output channel (after output volume and master),
// read through kMatrixMixerParam_PostAveragePower / PostPeakHoldLevel in decibels
// (floor -160 dB) or their Linear forms (mean square power; peak amplitude). Ballistics:
//  - average power: the mean square of each slice, smoothed exponentially with a time
//    constant of 300 ms (a steady full-scale sine reads -3.01 dB);
//  - peak: rises at once to the largest absolute sample of a slice, holds for 0.5 s, then
//    falls by 20 dB per second until a louder slice lifts it again.
// While metering is off the levels read the floor. Turning it on starts the meters afresh.
//
// Threads: as AudioUnit.h. Gains, enables and levels are atomics, set or read from any
// thread while the mixer is initialized; the render thread publishes levels each slice.

#include "platform/audiounits/AudioUnit.h"

#include <atomic>
#include <memory>
#include <vector>

class MatrixMixerUnit : public AudioUnit {
public:
    static constexpr Float64 kAveragePowerSeconds = 0.3;
    static constexpr Float64 kPeakHoldSeconds = 0.5;
    static constexpr Float64 kPeakReleaseDecibelsPerSecond = 20.0;

    MatrixMixerUnit();
    ~MatrixMixerUnit() override;

    OSStatus getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue* outValue) const override;
    OSStatus setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue value) override;
    std::vector<AudioUnitParameterID> parameterList(AudioUnitScope scope) const override;

    OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                         UInt32* ioDataSize) const override;
    OSStatus setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void* data,
                         UInt32 dataSize) override;

    // Channel totals of a scope (the sum over its buses); 0 before the first initialisation.
    UInt32 channelCount(AudioUnitScope scope) const;

protected:
    OSStatus renderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 outputBus,
                       UInt32 frames, AudioBufferList* ioData) override;
    OSStatus initializeUnit() override;
    void resetState() override;
    OSStatus validateStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                  const AudioStreamBasicDescription& format) const override;
    bool canChangeElementCount(AudioUnitScope scope) const override;
    void elementCountDidChange(AudioUnitScope scope, UInt32 count) override;

private:
    // One channel's meter: render-side state, and the values it publishes.
    struct Meter {
        Float64 meanSquare = 0;
        Float32 peak = 0;
        UInt32 holdFramesLeft = 0;
        std::atomic<Float32> publishedMeanSquare{0};
        std::atomic<Float32> publishedPeak{0};
    };

    void mix(const AudioTimeStamp& timeStamp, UInt32 frames);
    void measure(Meter& meter, const Float32* samples, UInt32 frames, Float32 gain);
    void updateBallistics(UInt32 frames);
    std::atomic<Float32>* volumeFor(AudioUnitScope scope, AudioUnitElement element) const;
    const Meter* meterFor(AudioUnitScope scope, AudioUnitElement element) const;

    UInt32 mInputChannels = 0;
    UInt32 mOutputChannels = 0;
    std::vector<UInt32> mInputBusFirstChannel;
    std::vector<UInt32> mOutputBusFirstChannel;
    std::unique_ptr<std::atomic<Float32>[]> mCrosspoints; // [in * mOutputChannels + out]
    std::unique_ptr<std::atomic<Float32>[]> mInputVolumes;
    std::unique_ptr<std::atomic<Float32>[]> mOutputVolumes;
    mutable std::atomic<Float32> mMasterVolume{0};
    std::unique_ptr<std::atomic<bool>[]> mInputEnables;
    std::unique_ptr<std::atomic<bool>[]> mOutputEnables;
    std::unique_ptr<Meter[]> mInputMeters;
    std::unique_ptr<Meter[]> mOutputMeters;
    std::atomic<bool> mMetering{false};
    std::atomic<bool> mMetersNeedReset{false};

    // Render-side.
    std::vector<Float32> mInputSamples;  // the bus being mixed: its channel c at c * maxFramesPerSlice
    std::vector<Float32> mOutputSamples; // output channel c at c * maxFramesPerSlice
    Float64 mSampleRate = 44100.0;
    bool mMixIsCached = false;
    Float64 mCachedSampleTime = 0;
    UInt32 mCachedFrames = 0;
    UInt32 mBallisticsFrames = 0;
    Float64 mAverageCoefficient = 0;
    Float32 mPeakReleaseFactor = 1;
    UInt32 mPeakHoldFrames = 0;
};
