#pragma once
// The format converter unit ('aufc' 'conv'), in place of the system's converter unit: one
// input bus, one output bus, converting between any two linear PCM formats the units accept
// with the same channel count: sample type and width, byte order, interleaving and sample
// rate. Sample-rate conversion runs on libsamplerate; the varispeed unit adds a playback
// rate on top (VarispeedUnit.h).
//
// When the formats are equal and no rate conversion is needed the unit passes its input
// through untouched: the input is pulled straight into the caller's buffers (bit-exact).
// Otherwise frames are converted through interleaved floats in blocks of at most
// kConverterBlockFrames; a rate conversion pulls its input in chunks of at most that size,
// with time stamps that count input frames.
//
// kAudioUnitProperty_RenderQuality (UInt32, global scope, set while uninitialized) picks the
// resampler: Max: best sinc; High and above: medium sinc; Medium and above: fastest sinc
// (libsamplerate); below Medium: a lighter 16-tap windowed sinc of ours, cheap enough for
// every input of the board to run at once. The converter starts at Medium.
//
// Threads: as AudioUnit.h. All buffers are made by initialize(); render allocates nothing.
// Moving between conversion and pass-through (a rate reaching or leaving exactly 1) starts
// the resampler afresh; the few input frames it held are dropped.

#include "platform/audiounits/AudioUnit.h"

#include <memory>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;
class WindowedSincResampler;

constexpr UInt32 kConverterBlockFrames = 1024;

class FormatConverterUnit : public AudioUnit {
public:
    FormatConverterUnit();
    ~FormatConverterUnit() override;

    OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                         UInt32* ioDataSize) const override;
    OSStatus setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void* data,
                         UInt32 dataSize) override;

protected:
    FormatConverterUnit(const AudioComponentDescription& description, UInt32 renderQuality);

    // The factor by which input is played faster on top of the sample-rate ratio (1: none).
    // Called on the render thread.
    virtual Float64 playbackRate() const { return 1.0; }

    OSStatus renderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 outputBus,
                       UInt32 frames, AudioBufferList* ioData) override;
    OSStatus initializeUnit() override;
    void uninitializeUnit() override;
    void resetState() override;

private:
    OSStatus renderPassThrough(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                               UInt32 frames, AudioBufferList* ioData);
    OSStatus renderConverted(AudioUnitRenderActionFlags& ioActionFlags, UInt32 frames, AudioBufferList* ioData);
    // One conversion step of whichever resampler is in use; false when it failed.
    bool resample(const float* input, long inputFrames, float* output, long outputFrames, double ratio,
                  long* inputUsed, long* outputGenerated);
    void resetResampler();
    OSStatus renderResampled(AudioUnitRenderActionFlags& ioActionFlags, Float64 ratio, UInt32 frames,
                             AudioBufferList* ioData);
    // Pulls frames of input (at most a block) and appends them to the queue as floats.
    OSStatus pullIntoQueue(AudioUnitRenderActionFlags& ioActionFlags, UInt32 frames);
    // Writes frames from the head of the queue to ioData at frameOffset and drops them.
    void drainQueue(UInt32 frames, AudioBufferList* ioData, UInt32 frameOffset);
    void dropFromQueue(UInt32 frames);
    void setByteSizes(AudioBufferList* ioData, UInt32 frames) const;
    // Writes silence into ioData from fromFrame up to frames.
    void silence(AudioBufferList* ioData, UInt32 fromFrame, UInt32 frames);

    UInt32 mRenderQuality;
    SRC_STATE* mResampler = nullptr;
    std::unique_ptr<WindowedSincResampler> mSincResampler; // below Medium quality
    UInt32 mChannels = 0;
    bool mSameFormat = false;
    Float64 mSampleRateRatio = 1.0; // output rate / input rate
    bool mResampling = false;
    bool mInputTimeValid = false;
    Float64 mInputSampleTime = 0;
    // Input frames pulled and not yet converted, as interleaved floats.
    std::vector<Float32> mQueue;
    UInt32 mQueueFrames = 0;
    UInt32 mQueueCapacityFrames = 0;
    std::vector<Float32> mOutputBlock;
    // A list in the input format over mInputData, for pulls that are converted.
    std::vector<UInt8> mInputListStorage;
    std::vector<UInt8> mInputData;
};
