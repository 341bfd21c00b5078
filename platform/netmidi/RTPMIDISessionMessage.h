#pragma once
// The messages of the network MIDI session protocol, which RTP MIDI peers exchange on a
// session's two UDP ports (control P, data P + 1) beside the MIDI datagrams. Each starts
// with FF FF and a two-letter command; numbers are big-endian.
//
// | command                 | after the command                                           |
// |-------------------------|-------------------------------------------------------------|
// | IN invitation, OK       | version (4, = 2), initiator token (4), sender SSRC (4), the |
// | accept, NO refuse, BY   | sender's name up to a NUL (optional; BY carries none)        |
// | CK clock sync           | sender SSRC (4), count (1), 3 reserved, three 64-bit stamps  |
// | RS receiver feedback    | sender SSRC (4), sequence number (2), 2 reserved             |
//
// Clock sync: the initiator sends count 0 with its time in the first stamp; the responder
// answers count 1 with that stamp echoed and its own time (in 100 us units) in the second;
// the initiator ends with count 2. Receiver feedback tells a sender the last sequence number
// received.
//
// Threads: any; parse() reads only within [bytes, bytes + length).

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct RTPMIDISessionMessage {
    enum Command : uint16_t {
        Invitation = 0x494E,       // "IN"
        Accept = 0x4F4B,           // "OK"
        Refuse = 0x4E4F,           // "NO"
        Bye = 0x4259,              // "BY"
        ClockSync = 0x434B,        // "CK"
        ReceiverFeedback = 0x5253, // "RS"
    };
    static constexpr uint32_t kProtocolVersion = 2;
    // Names longer than this are cut (a hostile peer gains nothing by a long one).
    static constexpr size_t kMaxNameLength = 128;

    Command command = Invitation;
    uint32_t version = kProtocolVersion;
    uint32_t token = 0;
    uint32_t ssrc = 0;
    QByteArray name;        // IN, OK, NO: UTF-8, without the NUL
    uint8_t count = 0;      // CK
    uint64_t stamps[3] = {}; // CK
    uint16_t sequence = 0;  // RS

    // Whether a datagram belongs to the session protocol rather than to RTP (FF FF first).
    static bool isSessionDatagram(const uint8_t* bytes, size_t length);
    // The message, or nothing when the datagram is not a whole message of a known command.
    static std::optional<RTPMIDISessionMessage> parse(const uint8_t* bytes, size_t length);
    // The datagram of this message.
    std::vector<uint8_t> encode() const;

    static RTPMIDISessionMessage exchange(Command command, uint32_t token, uint32_t ssrc, const QByteArray& name = {});
    static RTPMIDISessionMessage clockSync(uint32_t ssrc, uint8_t count, uint64_t first, uint64_t second,
                                           uint64_t third);
    static RTPMIDISessionMessage receiverFeedback(uint32_t ssrc, uint16_t sequence);
};
