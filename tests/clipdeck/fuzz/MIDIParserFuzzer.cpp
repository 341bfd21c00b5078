// Fuzz target: any bytes, read as MIDI packets the way the MIDI thread reads what arrives,
// and as the body of a system-exclusive command, so the command decoder meets every length
// and byte.
// Built with libFuzzer by build-fuzzer.sh; the corpus replay (tests/support/FuzzCorpusReplayMain.cpp)
// runs the same function over the checked-in corpus in the ordinary build.
#include "clipdeck/CKSysExAction.h"
#include "clipdeck/ZEPMIDIPacketDecoder.h"

#include <vector>

namespace {

// Everything a listener may ask of an event.
void inspect(const ZEPMIDIAction& event)
{
    event.matchesChannel(event.channel(), event.eventType(), event.buttonID());
    event.matchesChannel(255, 255);
    event.description();
    if (const auto* command = dynamic_cast<const CKSysExAction*>(&event)) {
        const CKSysExAction::UUIDBytes uuid = command->uuid();
        command->matchesTargetType(command->targetType(), &uuid);
        command->matchesTargetType(CKSysExAction::kSoundCommand, nullptr);
        // A valid volume is never beyond full scale.
        if (command->validAction() && (command->volume() < 0.0f || command->volume() > 1.0f))
            __builtin_trap();
    }
}

void decode(const uint8_t* bytes, size_t length)
{
    if (auto event = ZEPMIDIActionFromPacket(bytes, length, nullptr))
        inspect(*event);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16))
        return 0;
    // The whole input as one packet.
    decode(data, size);

    // The input as the body of a command: F0 00 6F 6F, the bytes, F7.
    std::vector<uint8_t> framed{0xF0, 0x00, 0x6F, 0x6F};
    framed.insert(framed.end(), data, data + size);
    framed.push_back(0xF7);
    decode(framed.data(), framed.size());

    // The input as a stream of packets, each led by its length byte.
    for (size_t at = 0; at < size;) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        decode(data + at + 1, length);
        at += 1 + length;
    }
    return 0;
}
