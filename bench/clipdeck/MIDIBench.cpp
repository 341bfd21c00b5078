// MIDI input:
//  - DecodePacket: turning one received packet into an event (a note; a sound command with its
//    base64 uuid).
//  - DispatchToListeners: one note handed to a client with n listeners, one of which fires (a
//    full board's sounds take 64 note listeners, plus the master and toggle listeners).
//  - PressLatency: from a virtual source's send() on one thread to the listener's action on the
//    client's MIDI thread: the queue, the wake-up of the dispatch thread, the decode and the
//    dispatch to 72 listeners.
#include "bench/support/BenchApplication.h"
#include "clipdeck/CKSysExAction.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "clipdeck/ZEPMIDIPacketDecoder.h"
#include "platform/midi/MIDIVirtualSource.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QUuid>

#include <atomic>
#include <thread>

namespace {

std::vector<uint8_t> soundCommand()
{
    const QByteArray uuid = QUuid::createUuid().toRfc4122().toBase64();
    std::vector<uint8_t> packet{0xF0, 0x00, 0x6F, 0x6F, 0x00};
    packet.insert(packet.end(), uuid.begin(), uuid.end());
    packet.insert(packet.end(), {0x02, 0x00, 0xF7});
    return packet;
}

void DecodePacket(benchmark::State& state)
{
    const std::vector<uint8_t> packet = state.range(0) ? soundCommand() : std::vector<uint8_t>{0x90, 60, 100};
    for (auto _ : state)
        benchmark::DoNotOptimize(ZEPMIDIActionFromPacket(packet.data(), packet.size(), nullptr));
    state.SetLabel(state.range(0) ? "sound command" : "note on");
}
BENCHMARK(DecodePacket)->Arg(0)->Arg(1);

// n listeners on buttons 0.. of channel 0; the note hits the last one.
void addListeners(ZEPMIDIClient& client, QObject& target, int count, std::atomic<int>& fired)
{
    for (int i = 0; i < count; ++i)
        client.addListener(&target, [&fired](const ZEPMIDIAction&) { ++fired; }, i / 128, 144, uint16_t(i % 128));
}

void DispatchToListeners(benchmark::State& state)
{
    clipdeck::bench::ensureApplication(); // the client has main-thread timers
    ZEPMIDIClient client("Clipdeck bench");
    QObject target;
    std::atomic<int> fired{0};
    const int count = int(state.range(0));
    addListeners(client, target, count, fired);
    const uint8_t packet[] = {uint8_t(0x90 | ((count - 1) / 128)), uint8_t((count - 1) % 128), 100};
    const auto event = ZEPMIDIActionFromPacket(packet, sizeof packet, &client);
    for (auto _ : state)
        client.MIDIActionReceived(event);
    if (fired.load() != int(state.iterations()))
        state.SkipWithError("the listener did not fire once per event");
}
BENCHMARK(DispatchToListeners)->Arg(8)->Arg(72)->Arg(256);

void PressLatency(benchmark::State& state)
{
    clipdeck::bench::ensureApplication(); // the client has main-thread timers
    MIDIVirtualSource keyboard("Bench Keys");
    ZEPMIDIClient client("Clipdeck bench");
    QObject target;
    std::atomic<int> fired{0};
    addListeners(client, target, 72, fired);
    const uint8_t packet[] = {0x90, 71, 100};
    for (auto _ : state) {
        const int before = fired.load();
        keyboard.send(packet, sizeof packet);
        while (fired.load() == before)
            std::this_thread::yield();
    }
}
BENCHMARK(PressLatency)->UseRealTime();

} // namespace
