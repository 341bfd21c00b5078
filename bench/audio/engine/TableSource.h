#pragma once
// A producer from memory for the engine's benchmarks: a second of stereo noise at its own
// rate, handed out round and round the way a ring read copies frames.

#include "bench/audio/engine/EndlessSource.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include <cstring>
#include <random>
#include <vector>

namespace enginebench {

// Hands out frames of a second of stereo noise, round and round.
class TableSource : public EndlessSource {
public:
    TableSource(Float64 sampleRate, unsigned seed) : mSampleRate(sampleRate), mTable(2, std::vector<Float32>(44100))
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<Float32> noise(-0.5f, 0.5f);
        for (auto& channel : mTable)
            for (Float32& sample : channel)
                sample = noise(random);
    }
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        ZEPCanonicalFloatASBD(description, 2, true);
        description->mSampleRate = mSampleRate;
        return noErr;
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                          void*) override
    {
        const UInt32 n = std::min<UInt32>(*frames, UInt32(mTable[0].size() - mPosition));
        for (UInt32 c = 0; c < 2; ++c) {
            std::memcpy(ioData->mBuffers[c].mData, mTable[c].data() + mPosition, n * 4);
            ioData->mBuffers[c].mDataByteSize = n * 4;
        }
        mPosition = (mPosition + n) % mTable[0].size();
        *frames = n;
        return noErr;
    }

private:
    Float64 mSampleRate;
    std::vector<std::vector<Float32>> mTable;
    size_t mPosition = 0;
};

} // namespace enginebench
