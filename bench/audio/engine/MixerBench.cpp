// The board mixer's render: 32 playing inputs in 512-frame slices, each producer copying
// its frames from memory as a ring read does, with levels metered. The counter
// "percent_of_core" is render time / audio time, in percent of one core.
#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr UInt32 kSlice = 512;
constexpr UInt32 kInputs = 32;

// Hands out frames of a second of stereo noise, round and round.
class TableSource : public ZEPAudioSource {
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
    OSStatus setMaxRequestFrames(UInt32) override { return noErr; }
    UInt32 maxRequestFrames() override { return 0xFFFFFFFF; }
    SInt64 framesAvailable() override { return -1; }
    bool isFlushing() override { return false; }
    void flush() override {}

private:
    Float64 mSampleRate;
    std::vector<std::vector<Float32>> mTable;
    size_t mPosition = 0;
};

void RenderThirtyTwoInputs(benchmark::State& state, Float64 rate)
{
    auto mixer = ZEPAudioMixer::create(kInputs, 1, kZEPPlaybackMaxRenderSlice, ZEPPlaybackFormat());
    mixer->setLevelsEnabled(true);
    for (UInt32 i = 0; i < kInputs; ++i) {
        mixer->setAudioSource(std::make_shared<TableSource>(44100.0 * rate, i), i);
        mixer->setVolumeForInput(1.0f / kInputs, i);
        mixer->setInputAtIndex(i, true);
    }
    std::vector<Float32> left(kSlice), right(kSlice);
    StackAudioBufferList<2> list;
    AudioTimeStamp time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    for (auto _ : state) {
        list.mBuffers[0] = AudioBuffer{1, kSlice * 4, left.data()};
        list.mBuffers[1] = AudioBuffer{1, kSlice * 4, right.data()};
        UInt32 frames = kSlice;
        mixer->renderFrames(&frames, list.list(), nullptr, &time, nullptr);
        time.mSampleTime += kSlice;
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["percent_of_core"] = benchmark::Counter(Float64(kSlice) / 44100.0 / 100.0,
                                                             benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
}

void MixerRate1(benchmark::State& state) { RenderThirtyTwoInputs(state, 1.0); }
void MixerRate102(benchmark::State& state) { RenderThirtyTwoInputs(state, 1.02); }
BENCHMARK(MixerRate1);
BENCHMARK(MixerRate102);

} // namespace
