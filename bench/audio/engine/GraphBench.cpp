// Effect graph renders in 512-frame slices: the master chain (four gains and a stereo
// delay), and a two-track sound with a gain on each track. The counter "percent_of_core"
// is render time / audio time, in percent of one core.
#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPMultiAudioGraph.h"
#include "bench/audio/engine/EndlessSource.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr UInt32 kSlice = 512;

// A quiet sawtooth on every channel it is asked for.
class SawSource : public enginebench::EndlessSource {
public:
    explicit SawSource(UInt32 channels) : mChannels(channels) {}
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        *description = AudioStreamBasicDescription{44100, kAudioFormatLinearPCM, 41, 4, 1, 4, mChannels, 32, 0};
        return noErr;
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                          void*) override
    {
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            auto* samples = static_cast<Float32*>(ioData->mBuffers[b].mData);
            for (UInt32 i = 0; i < *frames; ++i)
                samples[i] = Float32((mPosition + i) % 100) * 0.002f - 0.1f;
            ioData->mBuffers[b].mDataByteSize = *frames * 4;
        }
        mPosition += *frames;
        return noErr;
    }

private:
    UInt32 mChannels;
    UInt64 mPosition = 0;
};

void useInstalledPlugins() { setenv("LV2_PATH", "/usr/lib/lv2", 0); }

void appendEffect(ZEPAudioGraph& graph, const char* uri, Float32 value)
{
    if (auto node = graph.addNodeWithDictionary({{"uri", QString::fromUtf8(uri)}}))
        node->audioUnit()->setParameter(0, kAudioUnitScope_Global, 0, value);
}

void renderSlices(benchmark::State& state, ZEPAudioSource& source)
{
    std::vector<Float32> left(kSlice), right(kSlice);
    StackAudioBufferList<2> list;
    AudioTimeStamp time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    for (auto _ : state) {
        list.mBuffers[0] = AudioBuffer{1, kSlice * 4, left.data()};
        list.mBuffers[1] = AudioBuffer{1, kSlice * 4, right.data()};
        UInt32 frames = kSlice;
        AudioUnitRenderActionFlags flags = 0;
        source.renderFrames(&frames, list.list(), &flags, &time, nullptr);
        time.mSampleTime += kSlice;
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["percent_of_core"] = benchmark::Counter(Float64(kSlice) / 44100.0 / 100.0,
                                                             benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
}

void MasterChain(benchmark::State& state)
{
    useInstalledPlugins();
    SawSource source(2);
    auto graph = ZEPAudioGraph::create();
    graph->setInputSource(&source);
    for (const Float32 gain : {-3.0f, 2.0f, -1.0f, 1.0f})
        appendEffect(*graph, "http://lv2plug.in/plugins/eg-amp", gain);
    appendEffect(*graph, "http://drobilla.net/plugins/mda/Delay", 0.4f);
    graph->start();
    renderSlices(state, *graph);
}

void TwoTrackSound(benchmark::State& state)
{
    useInstalledPlugins();
    SawSource source(4);
    auto graph = ZEPMultiAudioGraph::create(2);
    graph->setInputSource(&source);
    for (UInt32 track = 0; track < 2; ++track)
        appendEffect(*graph->graphForTrack(track), "http://lv2plug.in/plugins/eg-amp", -6.0f);
    graph->start();
    renderSlices(state, *graph);
}

BENCHMARK(MasterChain);
BENCHMARK(TwoTrackSound);

} // namespace
