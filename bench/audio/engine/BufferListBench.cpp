// The buffer-list helpers that run on the render thread, at the mixer's slice sizes.
#include "audio/engine/ZEPAudioBufferList.h"

#include <benchmark/benchmark.h>

namespace {

struct Lists {
    explicit Lists(UInt32 frames)
        : a(ZEPCreateAudioBufferList(2, frames * 4)), b(ZEPCreateAudioBufferList(2, frames * 4)),
          packed(ZEPCreateAudioBufferList(1, frames * 8))
    {
    }
    ~Lists()
    {
        ZEPDisposeAudioBufferList(a);
        ZEPDisposeAudioBufferList(b);
        ZEPDisposeAudioBufferList(packed);
    }
    AudioBufferList* a;
    AudioBufferList* b;
    AudioBufferList* packed;
};

void ScaleAndAdd(benchmark::State& state)
{
    Lists lists(UInt32(state.range(0)));
    for (auto _ : state) {
        ZEPScaleAndAddAudioBufferLists(0.5f, lists.a, lists.b, lists.b);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ScaleAndAdd)->Arg(512)->Arg(4096)->Arg(32768);

void Clip(benchmark::State& state)
{
    Lists lists(UInt32(state.range(0)));
    for (auto _ : state) {
        ZEPClipAudioBufferList(-1.0f, 1.0f, lists.a, lists.a);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Clip)->Arg(512)->Arg(4096);

void InterleaveRoundTrip(benchmark::State& state)
{
    Lists lists(UInt32(state.range(0)));
    for (auto _ : state) {
        ZEPInterleaveAudioBufferList(lists.a, lists.packed);
        ZEPDeinterleaveAudioBufferList(lists.packed, lists.b);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(InterleaveRoundTrip)->Arg(512)->Arg(4096);

} // namespace
