#include "platform/netmidi/RTPMIDISessionMessage.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kExchangeLength = 16; // FF FF, command, version, token, SSRC
constexpr size_t kClockSyncLength = 36;
constexpr size_t kFeedbackLength = 12;

uint32_t read32(const uint8_t* bytes)
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

uint64_t read64(const uint8_t* bytes)
{
    return (uint64_t(read32(bytes)) << 32) | read32(bytes + 4);
}

void append(std::vector<uint8_t>& out, uint64_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

} // namespace

bool RTPMIDISessionMessage::isSessionDatagram(const uint8_t* bytes, size_t length)
{
    return bytes && length >= 4 && bytes[0] == 0xFF && bytes[1] == 0xFF;
}

std::optional<RTPMIDISessionMessage> RTPMIDISessionMessage::parse(const uint8_t* bytes, size_t length)
{
    if (!isSessionDatagram(bytes, length))
        return std::nullopt;
    RTPMIDISessionMessage message;
    message.command = Command((bytes[2] << 8) | bytes[3]);
    switch (message.command) {
    case Invitation:
    case Accept:
    case Refuse:
    case Bye: {
        if (length < kExchangeLength)
            return std::nullopt;
        message.version = read32(bytes + 4);
        message.token = read32(bytes + 8);
        message.ssrc = read32(bytes + 12);
        const uint8_t* name = bytes + kExchangeLength;
        const size_t room = std::min(length - kExchangeLength, kMaxNameLength);
        const void* nul = std::memchr(name, 0, room);
        message.name = QByteArray(reinterpret_cast<const char*>(name),
                                  nul ? int(static_cast<const uint8_t*>(nul) - name) : int(room));
        return message;
    }
    case ClockSync:
        if (length < kClockSyncLength)
            return std::nullopt;
        message.ssrc = read32(bytes + 4);
        message.count = bytes[8];
        for (int i = 0; i < 3; ++i)
            message.stamps[i] = read64(bytes + 12 + 8 * i);
        return message;
    case ReceiverFeedback:
        if (length < kFeedbackLength)
            return std::nullopt;
        message.ssrc = read32(bytes + 4);
        message.sequence = uint16_t((bytes[8] << 8) | bytes[9]);
        return message;
    }
    return std::nullopt;
}

std::vector<uint8_t> RTPMIDISessionMessage::encode() const
{
    std::vector<uint8_t> out{0xFF, 0xFF};
    append(out, command, 2);
    switch (command) {
    case Invitation:
    case Accept:
    case Refuse:
    case Bye:
        append(out, version, 4);
        append(out, token, 4);
        append(out, ssrc, 4);
        if (command != Bye) {
            out.insert(out.end(), name.begin(), name.begin() + std::min<qsizetype>(name.size(), kMaxNameLength));
            out.push_back(0);
        }
        break;
    case ClockSync:
        append(out, ssrc, 4);
        append(out, count, 1);
        append(out, 0, 3);
        for (uint64_t stamp : stamps)
            append(out, stamp, 8);
        break;
    case ReceiverFeedback:
        append(out, ssrc, 4);
        append(out, sequence, 2);
        append(out, 0, 2);
        break;
    }
    return out;
}

RTPMIDISessionMessage RTPMIDISessionMessage::exchange(Command command, uint32_t token, uint32_t ssrc,
                                                      const QByteArray& name)
{
    RTPMIDISessionMessage message;
    message.command = command;
    message.token = token;
    message.ssrc = ssrc;
    message.name = name;
    return message;
}

RTPMIDISessionMessage RTPMIDISessionMessage::clockSync(uint32_t ssrc, uint8_t count, uint64_t first,
                                                       uint64_t second, uint64_t third)
{
    RTPMIDISessionMessage message;
    message.command = ClockSync;
    message.ssrc = ssrc;
    message.count = count;
    message.stamps[0] = first;
    message.stamps[1] = second;
    message.stamps[2] = third;
    return message;
}

RTPMIDISessionMessage RTPMIDISessionMessage::receiverFeedback(uint32_t ssrc, uint16_t sequence)
{
    RTPMIDISessionMessage message;
    message.command = ReceiverFeedback;
    message.ssrc = ssrc;
    message.sequence = sequence;
    return message;
}
