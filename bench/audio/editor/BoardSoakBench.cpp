// The board on a JACK dummy server for a set time (CLIPDECK_SOAK_SECONDS, 60 unless set),
// at periods of 64 and 256 frames, the server real-time as on stage:
//  - Soak/feeds/<period>: 32 board feeds of Apple Lossless sounds (8 of them at 48000 Hz,
//    resampled by the mixer) through the mixer and the output player. 31 loop all the
//    time; the 32nd is pressed again and again (rewound and played, stopped 0.1 s later).
//  - Soak/memory/<period>: the same mixer and player fed from memory (a second of noise per
//    input, 8 at 48000 Hz): what the render costs without feeds.
//  - Soak/empty/<period>: the same output player on the same server pulling a source that
//    does no work (silence): its late cycles, those of the server and of waking a client
//    each cycle, are the baseline the others are judged against.
// On a shared or virtual machine the late cycles of a minute come and go with the host: run
// the stages in short repetitions in random order, so that each stage meets the same host,
//   CLIPDECK_SOAK_SECONDS=10 board_soak_bench --benchmark_repetitions=6
//       --benchmark_enable_random_interleaving=true
// and compare the means.
// Counters: xruns (late cycles the server reported); render_cpu_us_mean, _p99 and _max (the
// render thread's CPU time per slice of the mixer, in microseconds); render_wall_us_mean;
// press_call_us_p99 and _max (how long the press call took); press_latency_ms_median, _p99
// and _max and press_latency_periods_max (from the press until the render that delivered the
// sound's first frames began); press_late_renders_max (renders that began after the press
// call had returned and still delivered nothing of the sound: 0 means every press was heard
// in the first cycle that could hear it, whatever the server's wake-up jitter).
#include "audio/editor/CKAudioFileEditor.h"
#include "audio/engine/ZEPAudioMixer.h"
#include "audio/engine/ZEPAudioPlayer.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "bench/audio/editor/BenchSounds.h"
#include "bench/audio/engine/EndlessSource.h"
#include "bench/audio/engine/TableSource.h"
#include "platform/devices/AudioHardware.h"
#include "support/JackTestServer.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <time.h>
#include <vector>

namespace {

constexpr UInt32 kInputs = 32;
constexpr UInt32 kResampled = 8;

SInt64 nanosOf(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return SInt64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double soakSeconds()
{
    const double seconds = qEnvironmentVariable("CLIPDECK_SOAK_SECONDS").toDouble();
    return seconds > 0 ? seconds : 60.0;
}

// The mixer as the player pulls it, timed slice by slice on the render thread into memory
// made beforehand.
class TimedMixer : public ZEPAudioSource {
public:
    TimedMixer(ZEPAudioMixer& mixer, size_t capacity) : mMixer(mixer), mCpu(capacity), mWall(capacity) {}
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        return mMixer.getAudioDescription(description);
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                          const AudioTimeStamp* timeStamp, void* sender) override
    {
        const SInt64 cpu = nanosOf(CLOCK_THREAD_CPUTIME_ID);
        const SInt64 wall = nanosOf(CLOCK_MONOTONIC);
        const OSStatus status = mMixer.renderFrames(frames, ioData, flags, timeStamp, sender);
        const size_t slice = mSlices.load(std::memory_order_relaxed);
        if (mMeasuring.load(std::memory_order_relaxed) && slice < mCpu.size()) {
            mCpu[slice] = nanosOf(CLOCK_THREAD_CPUTIME_ID) - cpu;
            mWall[slice] = nanosOf(CLOCK_MONOTONIC) - wall;
            mSlices.store(slice + 1, std::memory_order_release);
        }
        return status;
    }
    OSStatus setMaxRequestFrames(UInt32 frames) override { return mMixer.setMaxRequestFrames(frames); }
    UInt32 maxRequestFrames() override { return mMixer.maxRequestFrames(); }
    SInt64 framesAvailable() override { return -1; }
    bool isFlushing() override { return false; }
    void flush() override {}

    void setMeasuring(bool measuring) { mMeasuring.store(measuring); }
    // Per-slice nanoseconds of the slices measured (read once measuring is off).
    std::vector<SInt64> cpu() const { return {mCpu.begin(), mCpu.begin() + SInt64(mSlices.load())}; }
    std::vector<SInt64> wall() const { return {mWall.begin(), mWall.begin() + SInt64(mSlices.load())}; }

private:
    ZEPAudioMixer& mMixer;
    std::vector<SInt64> mCpu, mWall;
    std::atomic<size_t> mSlices{0};
    std::atomic<bool> mMeasuring{false};
};

// Silence, at once: the player's client in the server's cycle with nothing to render.
class SilentSource : public enginebench::EndlessSource {
public:
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        ZEPCanonicalFloatASBD(description, 2, true);
        return noErr;
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                          const AudioTimeStamp*, void*) override
    {
        for (UInt32 c = 0; c < ioData->mNumberBuffers; ++c) {
            std::memset(ioData->mBuffers[c].mData, 0, *frames * sizeof(Float32));
            ioData->mBuffers[c].mDataByteSize = *frames * sizeof(Float32);
        }
        if (flags)
            *flags |= kAudioUnitRenderAction_OutputIsSilence;
        return noErr;
    }
};

// The pressed sound's feed, noting when the render first delivers its sound after a press.
class PressedFeed : public enginebench::EndlessSource {
public:
    explicit PressedFeed(std::shared_ptr<CKAudioFileEditor> feed) : mFeed(std::move(feed)) {}
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        return mFeed->getAudioDescription(description);
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* flags,
                          const AudioTimeStamp* timeStamp, void* sender) override
    {
        const SInt64 began = nanosOf(CLOCK_MONOTONIC);
        AudioUnitRenderActionFlags own = 0;
        const OSStatus status = mFeed->renderFrames(frames, ioData, &own, timeStamp, sender);
        if (flags)
            *flags |= own;
        const SInt64 pressed = mPressedAt.load(std::memory_order_acquire);
        if (pressed == 0)
            return status;
        if (!(own & kAudioUnitRenderAction_OutputIsSilence) &&
            static_cast<const Float32*>(ioData->mBuffers[0].mData)[0] != 0.0f) {
            mLatency.store(began - pressed, std::memory_order_release);
            mPressedAt.store(0, std::memory_order_release);
        } else {
            const SInt64 returned = mReturnedAt.load(std::memory_order_acquire);
            if (returned != 0 && began > returned)
                mLateRenders.fetch_add(1, std::memory_order_relaxed);
        }
        return status;
    }

    CKAudioFileEditor& feed() { return *mFeed; }
    // Presses the sound, as the playback controller starts one; answers how long the call took.
    SInt64 press()
    {
        mLatency.store(-1);
        mLateRenders.store(0);
        mReturnedAt.store(0);
        const SInt64 began = nanosOf(CLOCK_MONOTONIC);
        mPressedAt.store(began, std::memory_order_release);
        mFeed->restartPlaybackAndContinue();
        mFeed->prepareForPlayback();
        const SInt64 returned = nanosOf(CLOCK_MONOTONIC);
        mReturnedAt.store(returned, std::memory_order_release);
        return returned - began;
    }
    // Renders that began after the last press had returned without delivering its sound.
    int lateRenders() const { return mLateRenders.load(std::memory_order_acquire); }
    // Nanoseconds from the last press to the render that first delivered it; -1 until then.
    SInt64 latency() const { return mLatency.load(std::memory_order_acquire); }

private:
    std::shared_ptr<CKAudioFileEditor> mFeed;
    std::atomic<SInt64> mPressedAt{0};
    std::atomic<SInt64> mLatency{-1};
    std::atomic<SInt64> mReturnedAt{0};
    std::atomic<int> mLateRenders{0};
};

std::shared_ptr<CKAudioFileEditor> loopingFeed(const QString& path, bool playing)
{
    std::shared_ptr<CKAudioFileEditor> feed = CKAudioFileEditor::initWithPath(path, false);
    if (!feed)
        return nullptr;
    feed->setUseCache(true);
    feed->updateCachedAudio();
    feed->setForceLoop(playing);
    if (playing) {
        feed->restartPlaybackAndContinue();
        feed->prepareForPlayback();
    } else {
        feed->setStopping(true);
    }
    return feed;
}

double percentile(std::vector<SInt64> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return double(values[std::min(values.size() - 1, size_t(share * double(values.size())))]);
}

double mean(const std::vector<SInt64>& values)
{
    double sum = 0;
    for (SInt64 value : values)
        sum += double(value);
    return values.empty() ? 0 : sum / double(values.size());
}

enum class Producers { Empty, Memory, Feeds };

void soak(benchmark::State& state, Producers producers)
{
    const unsigned period = unsigned(state.range(0));
    const double seconds = soakSeconds();
    for (auto _ : state) {
        clipdeck::test::JackTestServer server(44100, period, true);
        if (!server.running()) {
            state.SkipWithError("jackd could not start");
            return;
        }
        AudioHardware::shared().refresh();
        clipdeck::test::JackXrunCounter xruns;

        std::unique_ptr<ZEPAudioMixer> mixer;
        std::unique_ptr<TimedMixer> timed;
        std::unique_ptr<ZEPAudioPlayer> player;
        std::shared_ptr<PressedFeed> pressed;
        SilentSource silence;
        if (producers == Producers::Empty) {
            player = ZEPAudioPlayer::create(&silence, ZEPPlaybackFormat());
            if (!player || player->play() != noErr) {
                state.SkipWithError("the player could not play on the server");
                return;
            }
        } else {
            mixer = ZEPAudioMixer::create(kInputs, 1, kZEPPlaybackMaxRenderSlice, ZEPPlaybackFormat());
            const QString sound = editorbench::benchSound("soak.m4a", 20, editorbench::kAppleLossless);
            const QString sound48 = editorbench::benchSound("soak48.m4a", 20, editorbench::kAppleLossless, 48000);
            for (UInt32 i = 0; i < kInputs; ++i) {
                const bool resampled = i % (kInputs / kResampled) == 0;
                std::shared_ptr<ZEPAudioSource> source;
                if (producers == Producers::Memory) {
                    source = std::make_shared<enginebench::TableSource>(resampled ? 48000.0 : 44100.0, i);
                } else if (i + 1 < kInputs) {
                    source = loopingFeed(resampled ? sound48 : sound, true);
                } else {
                    pressed = std::make_shared<PressedFeed>(loopingFeed(sound, false));
                    source = pressed;
                }
                if (!source) {
                    state.SkipWithError("the sounds could not be made or opened");
                    return;
                }
                mixer->setAudioSource(source, i);
                mixer->setVolumeForInput(1.0f / kInputs, i);
                mixer->setInputAtIndex(i, true);
            }
            timed = std::make_unique<TimedMixer>(*mixer, size_t(seconds * 44100 / period) + 4096);
            player = ZEPAudioPlayer::create(timed.get(), ZEPPlaybackFormat());
            if (!player || player->play() != noErr) {
                state.SkipWithError("the player could not play on the server");
                return;
            }
        }
        // A second to settle (loaders filling, the server's first cycles), then the run.
        clipdeck::test::waitUntil([] { return false; }, 1000);
        const int xrunsBefore = xruns.xruns();
        if (timed)
            timed->setMeasuring(true);
        std::vector<SInt64> pressCalls, latencies, lateRenders;
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (!pressed) {
                clipdeck::test::waitUntil([] { return false; }, 100);
                continue;
            }
            pressCalls.push_back(pressed->press());
            if (clipdeck::test::waitUntil([&] { return pressed->latency() >= 0; }, 1000)) {
                latencies.push_back(pressed->latency());
                lateRenders.push_back(pressed->lateRenders());
            }
            clipdeck::test::waitUntil([] { return false; }, 100);
            pressed->feed().setStopping(true);
            pressed->feed().restartPlaybackAtBeginning();
            pressed->feed().setStopping(true);
            clipdeck::test::waitUntil([] { return false; }, 50);
        }
        if (timed)
            timed->setMeasuring(false);
        state.counters["xruns"] = xruns.xruns() - xrunsBefore;
        if (player)
            player->stop();
        if (timed) {
            const std::vector<SInt64> cpu = timed->cpu();
            state.counters["slices"] = double(cpu.size());
            state.counters["render_cpu_us_mean"] = mean(cpu) / 1000;
            state.counters["render_cpu_us_p99"] = percentile(cpu, 0.99) / 1000;
            state.counters["render_cpu_us_max"] = percentile(cpu, 1.0) / 1000;
            state.counters["render_wall_us_mean"] = mean(timed->wall()) / 1000;
        }
        if (!pressCalls.empty()) {
            const double periodNanos = 1e9 * period / 44100.0;
            state.counters["presses"] = double(pressCalls.size());
            state.counters["press_call_us_p99"] = percentile(pressCalls, 0.99) / 1000;
            state.counters["press_call_us_max"] = percentile(pressCalls, 1.0) / 1000;
            state.counters["press_latency_ms_median"] = percentile(latencies, 0.5) / 1e6;
            state.counters["press_latency_ms_p99"] = percentile(latencies, 0.99) / 1e6;
            state.counters["press_latency_ms_max"] = percentile(latencies, 1.0) / 1e6;
            state.counters["press_latency_periods_max"] = percentile(latencies, 1.0) / periodNanos;
            state.counters["press_late_renders_max"] = percentile(lateRenders, 1.0);
            state.counters["presses_unheard"] = double(pressCalls.size() - latencies.size());
        }
    }
}

void SoakEmpty(benchmark::State& state) { soak(state, Producers::Empty); }
void SoakMemory(benchmark::State& state) { soak(state, Producers::Memory); }
void SoakFeeds(benchmark::State& state) { soak(state, Producers::Feeds); }

BENCHMARK(SoakEmpty)->Name("Soak/empty")->Arg(64)->Arg(256)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(SoakMemory)->Name("Soak/memory")->Arg(64)->Arg(256)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(SoakFeeds)->Name("Soak/feeds")->Arg(64)->Arg(256)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

// A program of its own: the feeds and the player need a Qt application and a home of
// their own, as the tests have.
int main(int argc, char** argv)
{
    clipdeck::test::prepareEnvironment();
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            return 1;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    clipdeck::test::cleanUpEnvironment();
    return result;
}
