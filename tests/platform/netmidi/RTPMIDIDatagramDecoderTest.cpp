// The datagram decoder against hostile and damaged datagrams: every length is checked, the
// messages before a fault still go out, system-exclusive messages never come out broken,
// too long or twice. (Ordinary decoding is checked end to end, at the MIDI client, by the
// network session's tests.)
#include "platform/netmidi/RTPMIDIDatagramDecoder.h"

#include "support/RTPMIDITestPeer.h"

#include <gtest/gtest.h>

using clipdeck::test::RTPMIDITestPeer;
using Bytes = std::vector<uint8_t>;
using Result = RTPMIDIDatagramDecoder::Result;

namespace {

constexpr uint32_t kSSRC = 0x01020304;

struct Decoded {
    std::vector<Bytes> messages;
    std::vector<Result> results;
};

Decoded decodeAll(RTPMIDIDatagramDecoder& decoder, const std::vector<Bytes>& datagrams)
{
    Decoded out;
    for (const Bytes& datagram : datagrams) {
        out.results.push_back(decoder.decode(datagram.data(), datagram.size(), [&](const uint8_t* bytes, size_t n) {
            out.messages.emplace_back(bytes, bytes + n);
        }));
    }
    return out;
}

Bytes datagram(uint16_t sequence, const Bytes& list, uint8_t flags = 0)
{
    return RTPMIDITestPeer::rtpMIDI(kSSRC, sequence, 0, list, flags);
}

Bytes with(Bytes bytes, std::initializer_list<std::pair<size_t, uint8_t>> changes)
{
    for (const auto& [at, value] : changes)
        bytes[at] = value;
    return bytes;
}

Bytes cut(Bytes bytes, size_t length)
{
    bytes.resize(length);
    return bytes;
}

const Bytes kNote{0x90, 0x3C, 0x64};

} // namespace

TEST(RTPMIDIDatagramDecoder, DamagedDatagramsDeliverOnlyWhatCameBeforeTheFault)
{
    const Bytes note = datagram(1, kNote);
    // An RTP header with two contributing sources, a one-word extension and four bytes of padding.
    Bytes dressed{0xB2, 0x61, 0x00, 0x01, 0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 1, 1, 1, 1, 2, 2, 2, 2,
                  0xBE, 0xDE, 0x00, 0x01, 9, 9, 9, 9, 0x03, 0x90, 0x3C, 0x64, 0, 0, 0, 4};
    const struct {
        const char* what;
        Bytes datagram;
        Result result;
        std::vector<Bytes> messages;
    } cases[] = {
        {"a note", note, Result::Decoded, {kNote}},
        {"sources, extension and padding stepped over", dressed, Result::Decoded, {kNote}},
        {"shorter than an RTP header", cut(note, 11), Result::Malformed, {}},
        {"RTP version 1", with(note, {{0, 0x40}}), Result::Malformed, {}},
        {"contributing sources past the end", with(note, {{0, 0x8F}}), Result::Malformed, {}},
        {"an extension past the end", with(dressed, {{23, 0x40}}), Result::Malformed, {}},
        {"padding of 0", with(dressed, {{35, 0}}), Result::Malformed, {}},
        {"padding longer than the datagram", with(dressed, {{35, 200}}), Result::Malformed, {}},
        {"no command section", cut(note, 12), Result::Malformed, {}},
        {"a list longer than the datagram", with(note, {{12, 0x04}}), Result::Malformed, {}},
        {"a long length cut off", cut(with(note, {{12, 0x80}}), 13), Result::Malformed, {}},
        {"a long length past the end", cut(datagram(1, Bytes(20, 0x01)), 19), Result::Malformed, {}},
        {"a five-byte delta time", datagram(1, {0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}, 0x20),
         Result::Malformed, {}},
        {"a delta time with no command after it", datagram(1, {0x90, 0x3C, 0x64, 0x05}), Result::Malformed, {kNote}},
        {"data with no status to run on", datagram(1, {0x3C, 0x64}), Result::Malformed, {}},
        {"a status where data belongs", datagram(1, {0x90, 0x3C, 0x90}), Result::Malformed, {}},
        {"a note cut off", datagram(1, {0x90, 0x3C, 0x64, 0x00, 0x90, 0x3D}), Result::Malformed, {kNote}},
        {"a system-exclusive message with no end", datagram(1, {0xF0, 0x01, 0x02}), Result::Malformed, {}},
        {"a status inside system-exclusive data", datagram(1, {0xF0, 0x01, 0x90, 0x3C, 0x64}), Result::Malformed,
         {}},
        {"real-time bytes inside a system-exclusive message", datagram(1, {0xF0, 0x01, 0xF8, 0x02, 0xFE, 0xF7}),
         Result::Decoded, {{0xF8}, {0xFE}, {0xF0, 0x01, 0x02, 0xF7}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RTPMIDIDatagramDecoder decoder;
        const Decoded out = decodeAll(decoder, {c.datagram});
        EXPECT_EQ(out.results, std::vector<Result>{c.result});
        EXPECT_EQ(out.messages, c.messages);
        EXPECT_FALSE(decoder.sysExInProgress());
    }
}

TEST(RTPMIDIDatagramDecoder, SystemExclusiveMessagesComeOutWholeOrNotAtAll)
{
    const Bytes stopAll{0xF0, 0x00, 0x6F, 0x6F, 0x03, 0xF7};
    const struct {
        const char* what;
        std::vector<Bytes> datagrams;
        std::vector<Bytes> messages;
        uint64_t dropped;
    } cases[] = {
        {"a last segment whose start was lost", {datagram(1, {0xF7, 0x01, 0x02, 0xF7}), datagram(2, stopAll)},
         {stopAll}, 0},
        {"a gap in the sequence inside a message",
         {datagram(1, {0xF0, 0x01, 0xF0}), datagram(3, {0xF7, 0x02, 0xF7}), datagram(4, stopAll)}, {stopAll}, 1},
        {"a new start before the end", {datagram(1, {0xF0, 0x01, 0xF0}), datagram(2, stopAll)}, {stopAll}, 1},
        {"a note between the segments", {datagram(1, {0xF0, 0x01, 0xF0}), datagram(2, kNote), datagram(3, {0xF7, 0x02, 0xF7})},
         {kNote}, 1},
        {"a datagram again (the same sequence number)", {datagram(7, stopAll), datagram(7, stopAll), datagram(6, kNote)},
         {stopAll}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RTPMIDIDatagramDecoder decoder;
        EXPECT_EQ(decodeAll(decoder, c.datagrams).messages, c.messages);
        EXPECT_EQ(decoder.droppedSysEx(), c.dropped);
    }
}

TEST(RTPMIDIDatagramDecoder, ASystemExclusiveMessageIsCappedAt64KiB)
{
    // Segments of 4000 data bytes (a list holds at most 4095 bytes) until total bytes from
    // F0 to F7, then a note.
    const auto send = [](size_t total) {
        RTPMIDIDatagramDecoder decoder;
        std::vector<Bytes> datagrams;
        size_t left = total - 2;
        uint16_t sequence = 1;
        bool first = true;
        while (left > 0) {
            const size_t chunk = std::min<size_t>(left, 4000);
            Bytes list{uint8_t(first ? 0xF0 : 0xF7)};
            list.insert(list.end(), chunk, 0x55);
            left -= chunk;
            list.push_back(left ? 0xF0 : 0xF7);
            datagrams.push_back(datagram(sequence++, list));
            first = false;
        }
        datagrams.push_back(datagram(sequence, kNote));
        const auto out = decodeAll(decoder, datagrams);
        return std::make_pair(out.messages, decoder.droppedSysEx());
    };
    const auto [largest, keptDropped] = send(RTPMIDIDatagramDecoder::kMaxSysExLength);
    ASSERT_EQ(largest.size(), 2u);
    EXPECT_EQ(largest[0].size(), RTPMIDIDatagramDecoder::kMaxSysExLength);
    EXPECT_EQ(largest[0].front(), 0xF0);
    EXPECT_EQ(largest[0].back(), 0xF7);
    EXPECT_EQ(keptDropped, 0u);

    const auto [tooLong, dropped] = send(RTPMIDIDatagramDecoder::kMaxSysExLength + 1);
    EXPECT_EQ(tooLong, std::vector<Bytes>{kNote});
    EXPECT_EQ(dropped, 1u);
}
