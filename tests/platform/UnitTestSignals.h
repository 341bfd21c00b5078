#pragma once
// Render callbacks and buffers for the unit-layer tests: a callback that fills every buffer
// with a constant, one that counts upwards frame by frame, one that plays a sine, and
// non-interleaved stereo float buffers to render into.

#include "platform/audiounits/AudioUnitTypes.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace unittest {

// Fills each 32-bit float buffer with value (+ 0.25 x its buffer index); counts its pulls.
struct ConstantInput {
    Float32 value = 0;
    int pulls = 0;
    UInt32 framesPulled = 0;

    static OSStatus render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                           AudioBufferList* ioData)
    {
        auto* self = static_cast<ConstantInput*>(refCon);
        ++self->pulls;
        self->framesPulled += frames;
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            auto* samples = static_cast<Float32*>(ioData->mBuffers[b].mData);
            for (UInt32 i = 0; i < frames; ++i)
                samples[i] = self->value + 0.25f * Float32(b);
            ioData->mBuffers[b].mDataByteSize = frames * 4;
        }
        return noErr;
    }
    AURenderCallbackStruct callback() { return {&ConstantInput::render, this}; }
};

// A sine of frequency Hz at sampleRate on every non-interleaved float buffer.
struct SineInput {
    Float64 frequency = 1000;
    Float64 sampleRate = 44100;
    Float32 amplitude = 1.0f;
    UInt64 position = 0;

    static OSStatus render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                           AudioBufferList* ioData)
    {
        auto* self = static_cast<SineInput*>(refCon);
        for (UInt32 i = 0; i < frames; ++i) {
            const Float32 value = self->amplitude * Float32(std::sin(2 * std::numbers::pi * self->frequency *
                                                                     Float64(self->position + i) / self->sampleRate));
            for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b)
                static_cast<Float32*>(ioData->mBuffers[b].mData)[i] = value;
        }
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b)
            ioData->mBuffers[b].mDataByteSize = frames * 4;
        self->position += frames;
        return noErr;
    }
    AURenderCallbackStruct callback() { return {&SineInput::render, this}; }
};

// Non-interleaved float buffers of a fixed size, and a list over them.
struct StereoBuffers {
    explicit StereoBuffers(UInt32 frames, UInt32 channels = 2) : samples(channels, std::vector<Float32>(frames, 0.0f))
    {
        storage.resize(offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * channels);
        list()->mNumberBuffers = channels;
        for (UInt32 c = 0; c < channels; ++c)
            list()->mBuffers[c] = AudioBuffer{1, frames * 4, samples[c].data()};
    }
    AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(storage.data()); }
    std::vector<std::vector<Float32>> samples;
    std::vector<UInt8> storage;
};

inline AudioTimeStamp timeAt(Float64 sampleTime)
{
    AudioTimeStamp time;
    time.mSampleTime = sampleTime;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    return time;
}

} // namespace unittest
