#include "platform/netmidi/RTPMIDIDatagramDecoder.h"

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;
constexpr uint8_t kSysExCancel = 0xF4;
constexpr uint8_t kFirstRealTime = 0xF8;

// Flags of the MIDI command section's first byte.
constexpr uint8_t kLongLengthFlag = 0x80; // B
constexpr uint8_t kDeltaTimeFlag = 0x20;  // Z

uint32_t read32(const uint8_t* bytes)
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

// Data bytes that follow a status byte (not system-exclusive).
size_t dataBytesFor(uint8_t status)
{
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 1;
    case 0xF0:
        switch (status) {
        case 0xF1: // time code quarter frame
        case 0xF3: // song select
            return 1;
        case 0xF2: // song position
            return 2;
        default: // tune request, the undefined ones, real-time
            return 0;
        }
    default:
        return 2;
    }
}

// Steps over a delta time of one to four bytes; false when it runs past the list or is longer.
bool skipDeltaTime(const uint8_t* list, size_t length, size_t& position)
{
    for (int octet = 0; octet < 4; ++octet) {
        if (position >= length)
            return false;
        if (!(list[position++] & 0x80))
            return true;
    }
    return false;
}

} // namespace

bool RTPMIDIDatagramDecoder::readHeader(const uint8_t* datagram, size_t length, Header* header)
{
    if (!datagram || length < kRTPHeaderLength || (datagram[0] >> 6) != 2)
        return false;
    if (header) {
        header->sequence = uint16_t((datagram[2] << 8) | datagram[3]);
        header->timestamp = read32(datagram + 4);
        header->ssrc = read32(datagram + 8);
    }
    return true;
}

RTPMIDIDatagramDecoder::Result RTPMIDIDatagramDecoder::decode(const uint8_t* datagram, size_t length,
                                                              const MessageHandler& deliver)
{
    Header header;
    if (!readHeader(datagram, length, &header)) {
        ++malformed_;
        return Result::Malformed;
    }
    // Where the payload lies: after the contributing sources and any header extension,
    // before any padding.
    size_t begin = kRTPHeaderLength + 4 * size_t(datagram[0] & 0x0F);
    size_t end = length;
    if (datagram[0] & 0x10) {
        if (end < begin + 4) {
            ++malformed_;
            return Result::Malformed;
        }
        begin += 4 + 4 * size_t((datagram[begin + 2] << 8) | datagram[begin + 3]);
    }
    if (datagram[0] & 0x20) {
        const size_t padding = datagram[length - 1];
        if (padding == 0 || padding > end) {
            ++malformed_;
            return Result::Malformed;
        }
        end -= padding;
    }
    if (begin >= end) {
        ++malformed_;
        return Result::Malformed;
    }

    if (haveSequence_) {
        const auto step = int16_t(uint16_t(header.sequence - lastSequence_));
        if (step <= 0) {
            ++stale_;
            return Result::Stale;
        }
        if (step != 1 && inSysEx_)
            dropSysEx(); // its middle may be in the datagrams that were lost
    }
    haveSequence_ = true;
    lastSequence_ = header.sequence;

    const uint8_t* section = datagram + begin;
    const size_t available = end - begin;
    const uint8_t flags = section[0];
    size_t sectionHeader = 1;
    size_t listLength = flags & 0x0F;
    if (flags & kLongLengthFlag) {
        if (available < 2) {
            ++malformed_;
            return Result::Malformed;
        }
        listLength = (listLength << 8) | section[1];
        sectionHeader = 2;
    }
    if (listLength > available - sectionHeader) {
        ++malformed_;
        return Result::Malformed;
    }
    // A journal (J) may follow the list: it is not read.
    if (!decodeList(section + sectionHeader, listLength, flags & kDeltaTimeFlag, deliver)) {
        if (inSysEx_)
            dropSysEx();
        ++malformed_;
        return Result::Malformed;
    }
    return Result::Decoded;
}

bool RTPMIDIDatagramDecoder::decodeList(const uint8_t* list, size_t length, bool firstHasDeltaTime,
                                        const MessageHandler& deliver)
{
    size_t position = 0;
    bool first = true;
    while (position < length) {
        if (!first || firstHasDeltaTime) {
            if (!skipDeltaTime(list, length, position) || position >= length)
                return false;
        }
        first = false;
        if (!decodeCommand(list, length, position, deliver))
            return false;
    }
    return true;
}

bool RTPMIDIDatagramDecoder::decodeCommand(const uint8_t* list, size_t length, size_t& position,
                                           const MessageHandler& deliver)
{
    const uint8_t lead = list[position];
    if (lead == kSysExStart || lead == kSysExEnd)
        return decodeSysExSegment(list, length, position, deliver);
    if (lead >= kFirstRealTime) {
        deliver(&list[position++], 1); // real-time messages may also come between segments
        return true;
    }
    if (inSysEx_)
        dropSysEx(); // a segmented message must go on in the next command; any other status ends it
    uint8_t message[3];
    if (lead & 0x80) {
        message[0] = lead;
        ++position;
    } else if (runningStatus_) {
        message[0] = runningStatus_; // running status: the status of the sender's last channel message
    } else {
        return false; // data with no status to belong to
    }
    const size_t dataBytes = dataBytesFor(message[0]);
    if (length - position < dataBytes)
        return false;
    for (size_t i = 0; i < dataBytes; ++i) {
        if (list[position + i] & 0x80)
            return false;
        message[1 + i] = list[position + i];
    }
    position += dataBytes;
    // Channel messages set the running status; system common ones clear it.
    runningStatus_ = message[0] < 0xF0 ? message[0] : 0;
    deliver(message, 1 + dataBytes);
    return true;
}

bool RTPMIDIDatagramDecoder::decodeSysExSegment(const uint8_t* list, size_t length, size_t& position,
                                                const MessageHandler& deliver)
{
    const bool first = list[position++] == kSysExStart;
    runningStatus_ = 0;
    if (first) {
        if (inSysEx_)
            dropSysEx(); // its last segment never came
        startSysEx();
    }
    // A continuation of a message whose start was lost is read through and dropped.
    const bool keep = inSysEx_;
    while (position < length) {
        const uint8_t byte = list[position++];
        if (byte < 0x80) {
            if (keep)
                appendSysEx(byte);
            continue;
        }
        if (byte >= kFirstRealTime) {
            deliver(&list[position - 1], 1);
            continue;
        }
        if (byte == kSysExEnd) {
            if (keep) {
                appendSysEx(kSysExEnd);
                if (sysExOverflowed_)
                    dropSysEx();
                else {
                    inSysEx_ = false;
                    deliver(sysEx_.data(), sysEx_.size());
                }
            }
            return true;
        }
        if (byte == kSysExStart)
            return true; // the end of this segment: the message goes on in a later command
        if (byte == kSysExCancel) {
            if (keep) {
                inSysEx_ = false;
                ++cancelledSysEx_;
            }
            return true;
        }
        break; // another status byte inside system-exclusive data
    }
    if (keep)
        dropSysEx();
    return false;
}

void RTPMIDIDatagramDecoder::startSysEx()
{
    sysEx_.clear();
    sysEx_.push_back(kSysExStart);
    sysExOverflowed_ = false;
    inSysEx_ = true;
}

void RTPMIDIDatagramDecoder::appendSysEx(uint8_t byte)
{
    if (sysEx_.size() >= kMaxSysExLength) {
        sysExOverflowed_ = true;
        return;
    }
    sysEx_.push_back(byte);
}

void RTPMIDIDatagramDecoder::dropSysEx()
{
    inSysEx_ = false;
    sysExOverflowed_ = false;
    sysEx_.clear();
    ++droppedSysEx_;
}

void RTPMIDIDatagramDecoder::reset()
{
    haveSequence_ = false;
    runningStatus_ = 0;
    inSysEx_ = false;
    sysExOverflowed_ = false;
    sysEx_.clear();
}
