#pragma once
// Producers for the engine tests: a counting source for the ring loaders (left = frame
// number, right = its negative) that can answer 667 or end, and buffers to read into.

#include "audio/engine/ZEPAudioSource.h"

#include <atomic>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace enginetest {

// Non-interleaved float buffers (or one interleaved buffer) and a list over them.
struct Buffers {
    Buffers(UInt32 frames, UInt32 channels, bool nonInterleaved = true)
        : samples(nonInterleaved ? channels : 1, std::vector<Float32>(nonInterleaved ? frames : frames * channels, -7.0f))
    {
        storage.resize(offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * samples.size());
        list()->mNumberBuffers = UInt32(samples.size());
        for (size_t b = 0; b < samples.size(); ++b)
            list()->mBuffers[b] = AudioBuffer{nonInterleaved ? 1 : channels, UInt32(samples[b].size() * 4), samples[b].data()};
    }
    AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(storage.data()); }
    std::vector<std::vector<Float32>> samples;
    std::vector<UInt8> storage;
};

// Counts frames for a ring loader: frame n is (n, -n) on a non-interleaved stereo list.
// Answers 667 for its first noDataPulls pulls, and ends (666) after endAfter frames.
class CountingSource : public ZEPAudioLocklessPullRingBufferAudioSource, public ZEPAudioPullRingBufferAudioSource {
public:
    OSStatus pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp*) override
    {
        pulls.fetch_add(1);
        if (noDataPulls.load() > 0) {
            noDataPulls.fetch_sub(1);
            *frames = 0;
            return kZEPAudioSourceNoDataYet;
        }
        const UInt64 left = endAfter > next ? endAfter - next : 0;
        if (left == 0) {
            *frames = 0;
            return kZEPAudioSourceEndOfData;
        }
        *frames = UInt32(std::min<UInt64>(*frames, left));
        auto* l = static_cast<Float32*>(bufferList->mBuffers[0].mData);
        auto* r = static_cast<Float32*>(bufferList->mBuffers[1].mData);
        for (UInt32 i = 0; i < *frames; ++i) {
            l[i] = Float32(next + i);
            r[i] = -Float32(next + i);
        }
        bufferList->mBuffers[0].mDataByteSize = bufferList->mBuffers[1].mDataByteSize = *frames * 4;
        next += *frames;
        return noErr;
    }
    std::atomic<int> noDataPulls{0};
    std::atomic<int> pulls{0};
    UInt64 endAfter = ~0ull;
    UInt64 next = 0;
};

// A producer for the mixer: 32-bit float non-interleaved at its own rate and channel count,
// whose frames come from a function of (frame number, channel). It can limit its pulls,
// deliver fewer frames than asked, end after a number of frames, and records every pull.
class FunctionSource : public ZEPAudioSource {
public:
    using Signal = std::function<Float32(UInt64 frame, UInt32 channel)>;
    FunctionSource(Signal signal, Float64 sampleRate = 44100, UInt32 channels = 2)
        : mSignal(std::move(signal)), mSampleRate(sampleRate), mChannels(channels)
    {
    }

    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        if (failDescription)
            return -1234;
        *description = AudioStreamBasicDescription{mSampleRate, kAudioFormatLinearPCM, 41, 4, 1, 4, mChannels, 32, 0};
        return noErr;
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags*,
                          const AudioTimeStamp* timeStamp, void*) override
    {
        if (record) {
            pullSizes.push_back(*frames);
            pullTimes.push_back(timeStamp->mSampleTime);
        }
        if (position >= endAfter) {
            *frames = 0;
            return kZEPAudioSourceEndOfData;
        }
        UInt32 deliver = std::min<UInt32>(*frames, deliverAtMost);
        if (position + deliver > endAfter)
            deliver = UInt32(endAfter - position); // the end answers 666 at the next pull
        for (UInt32 b = 0; b < ioData->mNumberBuffers && b < mChannels; ++b) {
            auto* samples = static_cast<Float32*>(ioData->mBuffers[b].mData);
            for (UInt32 i = 0; i < deliver; ++i)
                samples[i] = mSignal(position + i, b);
            ioData->mBuffers[b].mDataByteSize = deliver * 4;
        }
        position += deliver;
        *frames = deliver;
        return noErr;
    }
    OSStatus setMaxRequestFrames(UInt32 maxRequestFrames) override
    {
        mMaxRequestFrames = maxRequestFrames;
        return noErr;
    }
    UInt32 maxRequestFrames() override { return mMaxRequestFrames; }
    SInt64 framesAvailable() override { return -1; }
    bool isFlushing() override { return false; }
    void flush() override {}

    UInt64 position = 0;
    UInt64 endAfter = ~0ull;
    UInt32 deliverAtMost = 0xFFFFFFFF;
    bool failDescription = false;
    bool record = true; // off where the render path must not allocate
    std::vector<UInt32> pullSizes;
    std::vector<Float64> pullTimes;

private:
    Signal mSignal;
    Float64 mSampleRate;
    UInt32 mChannels;
    UInt32 mMaxRequestFrames = 0xFFFFFFFF;
};

// A steady tone on both channels at its own rate, pulled without recording the pulls (so
// that rendering it allocates nothing).
class ToneSource : public FunctionSource {
public:
    explicit ToneSource(Float64 sampleRate = 44100, Float32 level = 0.25f)
        : FunctionSource([level](UInt64 frame, UInt32) { return level * Float32(std::sin(0.05 * double(frame))); },
                         sampleRate)
    {
        record = false;
    }
};

inline FunctionSource::Signal constant(Float32 left, Float32 right)
{
    return [left, right](UInt64, UInt32 channel) { return channel == 0 ? left : right; };
}

inline FunctionSource::Signal sine(Float64 frequency, Float64 sampleRate, Float64 phase = 0)
{
    return [=](UInt64 frame, UInt32) {
        return Float32(std::sin(2 * std::numbers::pi * frequency * Float64(frame) / sampleRate + phase));
    };
}

} // namespace enginetest
