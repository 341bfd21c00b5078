#pragma once
// Turns the RTP MIDI datagrams of one sender (one participant of a network MIDI session)
// into complete MIDI messages: the RTP payload format for MIDI (RFC 6295), receive side,
// without the recovery journal.
//
// A datagram is an RTP header (version 2; contributing sources, a header extension and
// padding are stepped over) followed by the MIDI command section: a flags byte (B: a 12-bit
// length, J: a journal follows, Z: the first command has a delta time, P: its status was a
// phantom of the sender's running status) and the MIDI list of that length: commands, each
// but the first (unless Z) after a delta time of one to four bytes. The journal after the
// list is stepped over, so a datagram lost on the network loses its commands.
//
// Each message handed on is whole: a channel message with its status byte (running status
// is filled in, also from the sender's previous datagram), a system common or real-time
// message, or one system-exclusive message from F0 to F7. A system-exclusive message may
// arrive in segments over several datagrams (F0..F0, then F7..F0, then F7..F7) and is handed
// on once, when its last segment has come; a segment that ends in F4 cancels it; real-time
// bytes inside it are handed on as they come.
//
// Hostile input: every length is checked against the datagram before it is read. A datagram
// that breaks the format is decoded up to the fault and the rest is dropped (the messages
// before the fault are handed on); a system-exclusive message under way is dropped with it.
// A system-exclusive message that grows past kMaxSysExLength is dropped whole. A datagram
// whose sequence number is not after the previous one (a duplicate or a late one) is
// dropped; a gap in the sequence (lost datagrams) drops the system-exclusive message under
// way, whose middle may be missing.
//
// Threads: one decoder per sender, used by one thread at a time. decode() allocates only
// while a system-exclusive message grows (up to kMaxSysExLength, kept for the next one).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class RTPMIDIDatagramDecoder {
public:
    static constexpr size_t kMaxSysExLength = 64 * 1024;
    static constexpr size_t kRTPHeaderLength = 12;

    struct Header {
        uint16_t sequence = 0;
        uint32_t timestamp = 0;
        uint32_t ssrc = 0;
    };

    enum class Result {
        Decoded,   // the whole list was read
        Malformed, // the datagram broke the format (the messages before the fault were handed on)
        Stale,     // a duplicate or late datagram: dropped whole
    };

    // bytes/length: one complete MIDI message.
    using MessageHandler = std::function<void(const uint8_t* bytes, size_t length)>;

    // Reads the fixed RTP header; false when the datagram is too short or not RTP version 2.
    static bool readHeader(const uint8_t* datagram, size_t length, Header* header);

    Result decode(const uint8_t* datagram, size_t length, const MessageHandler& deliver);

    // Forgets the sender's sequence, running status and any system-exclusive message under
    // way (the sender joined again).
    void reset();

    bool sysExInProgress() const { return inSysEx_; }
    // System-exclusive messages dropped (too long, broken or cut off) and cancelled ones.
    uint64_t droppedSysEx() const { return droppedSysEx_; }
    uint64_t cancelledSysEx() const { return cancelledSysEx_; }
    uint64_t malformedDatagrams() const { return malformed_; }
    uint64_t staleDatagrams() const { return stale_; }

private:
    bool decodeList(const uint8_t* list, size_t length, bool firstHasDeltaTime, const MessageHandler& deliver);
    bool decodeCommand(const uint8_t* list, size_t length, size_t& position, const MessageHandler& deliver);
    bool decodeSysExSegment(const uint8_t* list, size_t length, size_t& position, const MessageHandler& deliver);
    void startSysEx();
    void appendSysEx(uint8_t byte);
    void dropSysEx();

    bool haveSequence_ = false;
    uint16_t lastSequence_ = 0;
    uint8_t runningStatus_ = 0; // 0: none
    bool inSysEx_ = false;
    bool sysExOverflowed_ = false;
    std::vector<uint8_t> sysEx_;
    uint64_t droppedSysEx_ = 0;
    uint64_t cancelledSysEx_ = 0;
    uint64_t malformed_ = 0;
    uint64_t stale_ = 0;
};
