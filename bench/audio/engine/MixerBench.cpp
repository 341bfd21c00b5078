// The board mixer's render: 32 playing inputs in slices of the argument's frames (64, as on
// a JACK server of small periods, and 512), each producer copying its frames from memory as
// a ring read does, with levels metered; at the mixer's rate (1.0) and varispeeding (every
// input at 1.02). The counter "percent_of_core" is render time / audio time, in percent of
// one core.
#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "bench/audio/engine/TableSource.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr UInt32 kInputs = 32;

void RenderThirtyTwoInputs(benchmark::State& state, Float64 rate)
{
    const UInt32 slice = UInt32(state.range(0));
    auto mixer = ZEPAudioMixer::create(kInputs, 1, kZEPPlaybackMaxRenderSlice, ZEPPlaybackFormat());
    mixer->setLevelsEnabled(true);
    for (UInt32 i = 0; i < kInputs; ++i) {
        mixer->setAudioSource(std::make_shared<enginebench::TableSource>(44100.0 * rate, i), i);
        mixer->setVolumeForInput(1.0f / kInputs, i);
        mixer->setInputAtIndex(i, true);
    }
    std::vector<Float32> left(slice), right(slice);
    StackAudioBufferList<2> list;
    AudioTimeStamp time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    for (auto _ : state) {
        list.mBuffers[0] = AudioBuffer{1, slice * 4, left.data()};
        list.mBuffers[1] = AudioBuffer{1, slice * 4, right.data()};
        UInt32 frames = slice;
        mixer->renderFrames(&frames, list.list(), nullptr, &time, nullptr);
        time.mSampleTime += slice;
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["percent_of_core"] = benchmark::Counter(Float64(slice) / 44100.0 / 100.0,
                                                             benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
}

void MixerRate1(benchmark::State& state) { RenderThirtyTwoInputs(state, 1.0); }
void MixerRate102(benchmark::State& state) { RenderThirtyTwoInputs(state, 1.02); }
BENCHMARK(MixerRate1)->Arg(64)->Arg(512);
BENCHMARK(MixerRate102)->Arg(64)->Arg(512);

} // namespace
