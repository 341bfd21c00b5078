// Board playback through the whole path: press, playback controller, board mixer, master
// chain, output player, on a JACK server of the benchmark's own (dummy driver), with the
// sounds in the board's cache format (Apple Lossless in MPEG-4 files).
//  - PressToFirstSample/<period>: from a press (a MIDI press, on the main thread) to the
//    start of the device cycle whose output first carries the sound, in frames:
//    "latency_frames" (mean) and "latency_max_frames". A press that lands just before a
//    cycle is heard in that cycle, so the ideal is between 0 and one period. "press_us":
//    the time the press itself takes on the main thread (for a MIDI press: the send).
//    "presses_across_a_cycle": presses during which a device cycle ran although the press
//    began just after one. The dummy driver of a test server runs without real-time
//    priority: on a loaded machine a cycle comes late and the next one early, and a press
//    that lands between them misses the early one (a latency near two periods).
//  - MIDIPressToFirstSample/<period>: the same from a note sent by a MIDI source inside the
//    process (as the remote's network MIDI session sends it) to the sound's first sample: the
//    MIDI client's dispatch thread, the hop to the main thread and the press.
//  - ThirtyTwoSoundsPlaying: what 32 looping sounds cost the whole program (the device's
//    thread, 32 loaders reading their files, the main thread's timers) beyond the output
//    running with nothing to play: "core_percent", the share of one core.
// Run it under the lock the JACK tests take:
//   flock -o /tmp/clipdeck-jack-tests.lock build/bench/bench/clipdeck/clipdeck_bench
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundParent.h"
#include "clipdeck/CKSoundSource.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "platform/midi/MIDISystem.h"
#include "platform/midi/MIDIVirtualSource.h"

#include "bench/audio/editor/BenchSounds.h"
#include "platform/devices/AudioHardware.h"
#include "support/JackTestServer.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

using namespace clipdeck::test;

namespace {

// The board every sound sits on; its sounds play from any board (MIDI presses).
class BenchBoard : public CKSoundParent {
public:
    void setNeedsSave() override {}
    std::size_t indexOfSound(const CKSoundSource*) const override { return kNotFound; }
    void deleteSoundAtIndex(std::size_t) override {}
};

// The controller on a fresh server with `period` frames per cycle, and a recorder of it.
struct Output {
    explicit Output(unsigned period) : server(44100, period)
    {
        if (!server.running())
            return;
        // The recorder is one of the server's devices: it is there before the device list is
        // read, and the controller has followed the new list (which may restart its output)
        // before the recorder connects, so nothing restarts the output under the recorder.
        recorder = std::make_unique<JackRecorder>("Clipdeck", 44100 * 600);
        AudioHardware::shared().refresh();
        settleEventLoop();
        controller = CKPlaybackController::sharedPlaybackController();
        controller->outputAudioPlayer()->stop(); // the output of an earlier server goes
        controller->outputAudioPlayer()->play();
        if (!controller->outputAudioPlayer()->isRunning() || !recorder->connect())
            recorder.reset();
    }
    ~Output()
    {
        if (controller)
            controller->outputAudioPlayer()->stop();
    }
    bool ready() const { return bool(recorder); }

    JackTestServer server;
    CKPlaybackController* controller = nullptr;
    std::unique_ptr<JackRecorder> recorder;
};

std::shared_ptr<CKSoundSource> loadSound(const QString& path, BenchBoard* board)
{
    auto sound = std::make_shared<CKSoundSource>();
    sound->setParentClipdeck(board);
    if (!sound->buildEditorWithPath(path) || !sound->isEditorLoaded())
        return nullptr;
    return sound;
}

QString cacheSound(benchmark::State& state, const QString& name, double seconds)
{
    const QString path = editorbench::benchSound(name, seconds, editorbench::kAppleLossless);
    if (path.isEmpty())
        state.SkipWithError("the ffmpeg tool could not make the sound");
    return path;
}

// A MIDI source inside the process that the shared MIDI client listens to.
MIDIVirtualSource* benchPads()
{
    static MIDIVirtualSource pads("Bench Pads");
    static bool connected = false;
    ZEPMIDIClient* client = ZEPMIDIClient::sharedMIDIClient();
    if (!connected && client) {
        const auto sources = MIDISystem::shared().sources();
        for (unsigned i = 0; i < sources.size(); ++i) {
            if (sources[i].uid == pads.uid())
                client->listenToSourceAtIndex(i);
        }
        connected = client->destinationConnections().contains(pads.uid());
    }
    return connected ? &pads : nullptr;
}

constexpr uint8_t kBenchNote = 60;

// From a press to the first cycle that carries the sound, per iteration; press(sound) is
// timed as the press's own cost.
void pressToFirstSample(benchmark::State& state, bool byMIDI)
{
    const unsigned period = unsigned(state.range(0));
    Output output(period);
    if (!output.ready()) {
        state.SkipWithError("no JACK server with the output on it");
        return;
    }
    BenchBoard board;
    const QString path = cacheSound(state, "minute.m4a", 60);
    const std::shared_ptr<CKSoundSource> sound = path.isEmpty() ? nullptr : loadSound(path, &board);
    if (!sound) {
        state.SkipWithError("the sound does not load");
        return;
    }
    MIDIVirtualSource* pads = nullptr;
    if (byMIDI) {
        pads = benchPads();
        if (!pads) {
            state.SkipWithError("the MIDI client does not listen to the bench's source");
            return;
        }
        sound->setMIDIChannel(0, kBenchNote);
    }
    JackRecorder& recorder = *output.recorder;
    double total = 0, worst = 0, pressTime = 0;
    int pressesAcrossACycle = 0;
    for (auto _ : state) {
        // Wait for the start of a cycle, so presses land all over the cycle's time.
        const size_t recorded = recorder.frames();
        waitUntil([&] { return recorder.frames() > recorded; });
        const size_t pressedAt = recorder.frames();
        const unsigned intoCycle = recorder.framesSinceCycleStart();
        const auto pressStart = std::chrono::steady_clock::now();
        if (pads)
            pads->send({0x90, kBenchNote, 100});
        else
            sound->handleMIDIPress();
        pressTime += std::chrono::duration<double>(std::chrono::steady_clock::now() - pressStart).count();
        if (pads) {
            // The main thread waits in its event loop, as the program's does, so the note's
            // hop wakes it at once (waitUntil() would sleep between looks).
            const QDeadlineTimer deadline(5000);
            while (!output.controller->soundIsPlaying(sound.get()) && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (recorder.frames() != pressedAt)
            ++pressesAcrossACycle;
        size_t heardAt = 0;
        waitUntil(
            [&] {
                for (size_t i = pressedAt; i < recorder.frames(); ++i) {
                    if (recorder.channel(0)[i] != 0.0f) {
                        heardAt = i - i % period; // the start of that cycle's block
                        return true;
                    }
                }
                return false;
            },
            5000);
        if (heardAt == 0) {
            state.SkipWithError("the sound was not heard");
            return;
        }
        // The next cycle after the press began (period - intoCycle) frames after it.
        const double latency = double(heardAt - pressedAt) + double(period) - double(std::min(intoCycle, period));
        total += latency;
        worst = std::max(worst, latency);
        state.SetIterationTime(latency / 44100.0);
        if (pads)
            pads->send({0x80, kBenchNote, 0});
        sound->stopImmediately();
        waitUntil([&] { return output.controller->numberOfPlayingSounds() == 0; });
    }
    if (byMIDI)
        sound->setMIDIChannel(CKSoundSource::kNoMIDIChannel, CKSoundSource::kNoMIDIButton);
    state.counters["latency_frames"] = total / double(state.iterations());
    state.counters["latency_max_frames"] = worst;
    state.counters["period_frames"] = period;
    state.counters["press_us"] = 1e6 * pressTime / double(state.iterations());
    state.counters["presses_across_a_cycle"] = pressesAcrossACycle;
}

double processCPUSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Share of one core the process takes while the event loop runs for `seconds`.
double coreShareOver(double seconds)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = processCPUSeconds();
    waitUntil([&] { return std::chrono::steady_clock::now() - start > std::chrono::duration<double>(seconds); },
              int(seconds * 1000) + 1000);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return (processCPUSeconds() - cpuStart) / wall;
}

void ThirtyTwoSoundsPlaying(benchmark::State& state)
{
    Output output(256);
    if (!output.ready()) {
        state.SkipWithError("no JACK server with the output on it");
        return;
    }
    BenchBoard board;
    const QString path = cacheSound(state, "minute.m4a", 60);
    if (path.isEmpty())
        return;
    std::vector<std::shared_ptr<CKSoundSource>> sounds;
    for (int i = 0; i < 32; ++i) {
        sounds.push_back(loadSound(path, &board));
        if (!sounds.back()) {
            state.SkipWithError("a sound does not load");
            return;
        }
        sounds.back()->setLoops(true);
    }
    double idle = 0, playing = 0;
    for (auto _ : state) {
        idle = coreShareOver(2.0);
        for (const auto& sound : sounds)
            sound->handleMIDIPress();
        playing = coreShareOver(5.0);
        for (const auto& sound : sounds)
            sound->stopImmediately();
        waitUntil([&] { return output.controller->numberOfPlayingSounds() == 0; });
    }
    state.counters["core_percent"] = 100.0 * (playing - idle);
    state.counters["core_percent_total"] = 100.0 * playing;
    state.counters["core_percent_idle_output"] = 100.0 * idle;
}

} // namespace

void PressToFirstSample(benchmark::State& state) { pressToFirstSample(state, false); }
void MIDIPressToFirstSample(benchmark::State& state) { pressToFirstSample(state, true); }

BENCHMARK(PressToFirstSample)->Arg(64)->Arg(256)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(MIDIPressToFirstSample)->Arg(64)->Arg(256)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ThirtyTwoSoundsPlaying)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    // A home of its own (defaults, folders) and an event loop for the main-thread work.
    prepareEnvironment();
    {
        QCoreApplication app(argc, argv);
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    cleanUpEnvironment();
    return 0;
}
