// The board's playback feed, on a minute of the board's cache format (Apple Lossless in an
// MPEG-4 file):
//  - StartToFirstSample: what a press costs until the render has the sound's first frames:
//    rewind and continue, set the play length, and the first 512-frame render. With the
//    head read beforehand (as every loaded sound has it) and, for comparison, without it,
//    where the render must wait for the loader's first pull.
//  - LoaderCostPerPlayingSound: the loader's work for one playing sound: pulls of 8192
//    frames through the read with edits, each stored in the lock-free ring. "realtime" is
//    seconds of sound per second of work; "core_percent" the share of one core a playing
//    sound takes (100 / realtime).
#include "audio/editor/CKAudioFileEditor.h"

#include "BenchSounds.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSeconds = 60;

std::unique_ptr<CKAudioFileEditor> feedOnAMinute(benchmark::State& state, bool withHead)
{
    const QString path = editorbench::benchSound("minute.m4a", kSeconds, editorbench::kAppleLossless);
    if (path.isEmpty()) {
        state.SkipWithError("the ffmpeg tool could not make the sound");
        return nullptr;
    }
    auto feed = CKAudioFileEditor::initWithPath(path, false);
    if (!feed) {
        state.SkipWithError("the sound does not open");
        return nullptr;
    }
    feed->setUseCache(true);
    if (withHead && feed->updateCachedAudio() != noErr) {
        state.SkipWithError("the head could not be read");
        return nullptr;
    }
    return feed;
}

// Renders 512 frames; true when they carry sound.
bool renderSlice(CKAudioFileEditor& feed, std::vector<float>& left, std::vector<float>& right)
{
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, 512 * 4, left.data()};
    list.mBuffers[1] = {1, 512 * 4, right.data()};
    UInt32 frames = 512;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp time;
    feed.renderFrames(&frames, list.list(), &flags, &time, nullptr);
    return !(flags & kAudioUnitRenderAction_OutputIsSilence) && left[511] != 0.0f;
}

void startToFirstSample(benchmark::State& state, bool withHead)
{
    std::unique_ptr<CKAudioFileEditor> feed = feedOnAMinute(state, withHead);
    if (!feed)
        return;
    std::vector<float> left(512), right(512);
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        feed->restartPlaybackAndContinue();
        feed->prepareForPlayback();
        // Without the head the first frames come from the loader's first pull: the render is
        // asked again until they are there.
        const Clock::time_point giveUp = start + std::chrono::seconds(5);
        while (!renderSlice(*feed, left, right)) {
            if (Clock::now() > giveUp) {
                state.SkipWithError("the render had no sound");
                return;
            }
            std::this_thread::yield();
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        feed->setCurrentlyCaching(false);
    }
}

void StartToFirstSampleWithHead(benchmark::State& state) { startToFirstSample(state, true); }
void StartToFirstSampleWithoutHead(benchmark::State& state) { startToFirstSample(state, false); }

void LoaderCostPerPlayingSound(benchmark::State& state)
{
    std::unique_ptr<CKAudioFileEditor> feed = feedOnAMinute(state, true);
    if (!feed)
        return;
    ZEPAudioLocklessPullRingBuffer* ring = feed->ringBuffer();
    constexpr UInt32 kPull = CKAudioFileEditor::kRingPullFrames;
    std::vector<float> left(kPull), right(kPull);
    SInt64 frames = 0;
    double seconds = 0;
    for (auto _ : state) {
        feed->restartPlaybackAtBeginning();
        ring->reset();
        const Clock::time_point start = Clock::now();
        for (;;) {
            StackAudioBufferList<2> list;
            list.mBuffers[0] = {1, kPull * 4, left.data()};
            list.mBuffers[1] = {1, kPull * 4, right.data()};
            UInt32 count = kPull;
            const OSStatus status = feed->pullFrames(&count, list.list(), nullptr);
            if (count > 0) {
                ring->writeFrames(count, list.list());
                ring->consumeFrames(count); // the render's side, so the ring never fills
            }
            frames += count;
            if (status == kZEPAudioSourceEndOfData || (status == noErr && count == 0))
                break;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    const double realtime = seconds > 0 ? double(frames) / 44100.0 / seconds : 0;
    state.counters["realtime"] = realtime;
    state.counters["core_percent"] = realtime > 0 ? 100.0 / realtime : 0;
}

} // namespace

BENCHMARK(StartToFirstSampleWithHead)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(StartToFirstSampleWithoutHead)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(LoaderCostPerPlayingSound)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
