// Fuzz target: any bytes, read as the datagrams one participant of a network MIDI session
// sends: each led by a two-byte big-endian length, fed in order to one decoder (so running
// status and system-exclusive messages carry across datagrams), and each also read as a
// session message. Every message handed on must be a whole MIDI message within the caps.
// Built with libFuzzer by build-fuzzer.sh; the corpus replay (tests/support/FuzzCorpusReplayMain.cpp)
// runs the same function over the checked-in corpus in the ordinary build.
#include "platform/netmidi/RTPMIDIDatagramDecoder.h"
#include "platform/netmidi/RTPMIDISessionMessage.h"

#include <algorithm>
#include <vector>

namespace {

void check(const uint8_t* bytes, size_t length)
{
    if (length == 0)
        __builtin_trap();
    if (bytes[0] == 0xF0) {
        // A whole system-exclusive message: F0, data bytes, F7, within the cap.
        if (length < 2 || length > RTPMIDIDatagramDecoder::kMaxSysExLength || bytes[length - 1] != 0xF7)
            __builtin_trap();
        for (size_t i = 1; i + 1 < length; ++i) {
            if (bytes[i] & 0x80)
                __builtin_trap();
        }
        return;
    }
    // Any other message: a status byte and at most two data bytes.
    if (!(bytes[0] & 0x80) || length > 3)
        __builtin_trap();
    for (size_t i = 1; i < length; ++i) {
        if (bytes[i] & 0x80)
            __builtin_trap();
    }
}

void readSessionMessage(const uint8_t* bytes, size_t length)
{
    const auto message = RTPMIDISessionMessage::parse(bytes, length);
    if (!message)
        return;
    // What we would send back reads as the same message.
    const std::vector<uint8_t> encoded = message->encode();
    const auto again = RTPMIDISessionMessage::parse(encoded.data(), encoded.size());
    if (!again || again->command != message->command || again->ssrc != message->ssrc)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    RTPMIDIDatagramDecoder decoder;
    const auto deliver = [](const uint8_t* bytes, size_t length) { check(bytes, length); };
    // The whole input as one datagram, then as a stream of length-led datagrams.
    decoder.decode(data, size, deliver);
    readSessionMessage(data, size);
    for (size_t at = 0; at + 2 <= size;) {
        const size_t length = std::min<size_t>((size_t(data[at]) << 8) | data[at + 1], size - at - 2);
        decoder.decode(data + at + 2, length, deliver);
        readSessionMessage(data + at + 2, length);
        at += 2 + length;
    }
    return 0;
}
