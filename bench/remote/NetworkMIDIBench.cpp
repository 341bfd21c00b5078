// The network MIDI session's receive path on loopback: a peer's RTP MIDI datagram, the
// session's thread (receive, decode), the session's MIDI source, the MIDI client's thread
// (decode, dispatch) and a listener.
//  - DatagramToClientLatency: one note datagram at a time, from sendto() to the listener;
//    the median and the 99th percentile of the iterations as counters (microseconds).
//  - DatagramsPerSecond: notes sent as fast as the path takes them, at most 32 on the way.
#include "bench/support/BenchApplication.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "platform/midi/MIDIVirtualSource.h"
#include "platform/netmidi/RTPMIDIResponder.h"
#include "support/RTPMIDITestPeer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using clipdeck::test::RTPMIDITestPeer;

namespace {

// A session whose messages a client hears, and a peer joined to it.
struct Path {
    Path()
        : source("Bench Session"),
          responder("Bench", RTPMIDIResponder::kJoinPolicyAnyone,
                    [this](const uint8_t* bytes, size_t length) { source.send(bytes, length); }),
          peer(0x0A0B0C0D)
    {
        clipdeck::bench::ensureApplication(); // the client has main-thread timers
        started = responder.start(0);
        client = std::make_unique<ZEPMIDIClient>("Clipdeck bench");
        client->addListener(&target, [this](const ZEPMIDIAction&) { heard.fetch_add(1); }, ZEPMIDIAction::kAnyChannel);
        peer.setSessionPort(responder.port());
        started = started && peer.join();
    }

    MIDIVirtualSource source;
    RTPMIDIResponder responder;
    RTPMIDITestPeer peer;
    QObject target;
    std::unique_ptr<ZEPMIDIClient> client;
    std::atomic<uint64_t> heard{0};
    bool started = false;
};

void waitFor(const std::atomic<uint64_t>& counter, uint64_t value)
{
    while (counter.load() < value)
        std::this_thread::yield();
}

void DatagramToClientLatency(benchmark::State& state)
{
    Path path;
    if (!path.started) {
        state.SkipWithError("the session did not start");
        return;
    }
    std::vector<double> micros;
    micros.reserve(1 << 20);
    uint64_t expected = 0;
    for (auto _ : state) {
        const auto datagram = path.peer.midi({0x90, uint8_t(expected % 128), 0x64});
        const auto start = std::chrono::steady_clock::now();
        path.peer.send(RTPMIDITestPeer::Data, datagram);
        waitFor(path.heard, ++expected);
        const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        micros.push_back(elapsed * 1e6);
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}
BENCHMARK(DatagramToClientLatency)->UseManualTime()->MinTime(2.0);

void DatagramsPerSecond(benchmark::State& state)
{
    Path path;
    if (!path.started) {
        state.SkipWithError("the session did not start");
        return;
    }
    constexpr uint64_t kWindow = 32;
    uint64_t sent = 0;
    for (auto _ : state) {
        // Never more on the way than the socket buffers hold without loss.
        waitFor(path.heard, sent >= kWindow ? sent - kWindow + 1 : 0);
        path.peer.send(RTPMIDITestPeer::Data, path.peer.midi({0x90, uint8_t(sent % 128), 0x64}));
        ++sent;
    }
    waitFor(path.heard, sent);
    state.SetItemsProcessed(int64_t(sent));
    if (path.responder.datagramsRefused() != 0)
        state.SkipWithError("datagrams were refused");
}
BENCHMARK(DatagramsPerSecond)->UseRealTime()->MinTime(2.0);

} // namespace
