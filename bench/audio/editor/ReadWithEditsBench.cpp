// Reading a ten-minute sound with 50 cuts and their fades through the edit model, as the
// board's loader and an export read it: 8192 frames a pull until the end. The "realtime"
// counter is seconds of edited sound per second of work: the multiple of real time.
// The sound is made once per run by the ffmpeg tool: Apple Lossless in an MPEG-4 file (the
// board's cache format) and 16-bit linear PCM (where the edits' own cost shows most).
#include "audio/editor/ZEPAudioFileEditor.h"

#include "BenchSounds.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr double kSeconds = 600;
constexpr int kCuts = 50;
constexpr UInt32 kPull = 8192;

QString tenMinuteFile(const QString& name, const QStringList& codec)
{
    return editorbench::benchSound(name, kSeconds, codec);
}

// One cut of a second every twelve seconds, with half-second linear fades around it.
void addCuts(ZEPAudioFileEditor& editor)
{
    const SInt64 every = SInt64(kSeconds * 44100) / (kCuts + 1);
    for (int i = 1; i <= kCuts; ++i) {
        ZEPAudioRegionRef cut = ZEPAudioRegion::regionAtIndexWithLength(SInt64(i) * every, 44100);
        cut->setFadeType(kZEPFadeLinear);
        cut->setFadeLength(22050);
        editor.addSkippedRegion(cut);
    }
}

void readWithEdits(benchmark::State& state, const QString& path, bool withCuts)
{
    if (path.isEmpty()) {
        state.SkipWithError("the ffmpeg tool could not make the sound");
        return;
    }
    std::unique_ptr<ZEPAudioFileEditor> editor = ZEPAudioFileEditor::initWithPath(path, false);
    if (withCuts)
        addCuts(*editor);
    if (editor->skippedRegions().size() != (withCuts ? kCuts + 2 : 2)) {
        state.SkipWithError("the cuts did not go in");
        return;
    }
    std::vector<float> left(kPull), right(kPull);
    SInt64 frames = 0;
    for (auto _ : state) {
        editor->getReadyForExtraction();
        editor->resetExportRegion();
        editor->setReadLocation(0);
        for (;;) {
            StackAudioBufferList<2> list;
            list.mBuffers[0] = {1, kPull * 4, left.data()};
            list.mBuffers[1] = {1, kPull * 4, right.data()};
            UInt32 count = kPull;
            const OSStatus status = editor->readPackets(&count, list.list(), nullptr, true, true);
            frames += count;
            if (status == kZEPAudioSourceEndOfData)
                break;
            if (status != noErr && status != kZEPAudioSourceNoDataYet) {
                state.SkipWithError("read failed");
                return;
            }
        }
        benchmark::DoNotOptimize(left.data());
    }
    if (frames != editor->totalLengthVisible(false) * SInt64(state.iterations()))
        state.SkipWithError("wrong frame count");
    state.counters["realtime"] = benchmark::Counter(double(frames) / 44100.0, benchmark::Counter::kIsRate);
}

using editorbench::kAppleLossless;
using editorbench::kLinearPCM;

void AppleLosslessWith50Cuts(benchmark::State& state)
{
    readWithEdits(state, tenMinuteFile("ten-minutes.m4a", kAppleLossless), true);
}
void AppleLosslessWithoutCuts(benchmark::State& state)
{
    readWithEdits(state, tenMinuteFile("ten-minutes.m4a", kAppleLossless), false);
}
void LinearPCMWith50Cuts(benchmark::State& state)
{
    readWithEdits(state, tenMinuteFile("ten-minutes.wav", kLinearPCM), true);
}
void LinearPCMWithoutCuts(benchmark::State& state)
{
    readWithEdits(state, tenMinuteFile("ten-minutes.wav", kLinearPCM), false);
}

} // namespace

BENCHMARK(AppleLosslessWith50Cuts)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(AppleLosslessWithoutCuts)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LinearPCMWith50Cuts)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LinearPCMWithoutCuts)->Unit(benchmark::kMillisecond)->MinTime(2.0);
