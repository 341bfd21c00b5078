#pragma once
// A network MIDI peer for tests and measurements, written from the session protocol and the
// RTP MIDI payload format (not from our own encoder): two UDP sockets on loopback (control
// and data), the session messages as bytes, RTP MIDI datagrams with its SSRC and rising
// sequence numbers.
//
// Threads: one thread at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace clipdeck::test {

class RTPMIDITestPeer {
public:
    enum Channel { Control = 0, Data = 1 };
    using Bytes = std::vector<uint8_t>;

    // A peer on the loopback address of family (AF_INET or AF_INET6).
    explicit RTPMIDITestPeer(uint32_t ssrc, int family = 2 /* AF_INET */);
    ~RTPMIDITestPeer();
    RTPMIDITestPeer(const RTPMIDITestPeer&) = delete;
    RTPMIDITestPeer& operator=(const RTPMIDITestPeer&) = delete;

    bool isValid() const { return sockets_[0] >= 0 && sockets_[1] >= 0; }
    uint32_t ssrc() const { return ssrc_; }
    // The session's control port (its data port is one above).
    void setSessionPort(uint16_t port) { sessionPort_ = port; }

    void send(Channel channel, const Bytes& datagram);
    // The next datagram to arrive on channel, or nothing after timeoutMs.
    std::optional<Bytes> receive(Channel channel, int timeoutMs = 5000);
    // The next session message with that two-letter command ("OK", "CK"...), passing over
    // others; nothing after timeoutMs.
    std::optional<Bytes> receiveCommand(Channel channel, const char* command, int timeoutMs = 5000);

    // IN on control, then on data, each answered by OK carrying token; false otherwise.
    bool join(uint32_t token = 0x51C0FFEE, const std::string& name = "Test Peer");
    // BY to control.
    void leave(uint32_t token = 0x51C0FFEE);

    // Session messages.
    static Bytes invitation(uint32_t token, uint32_t ssrc, const std::string& name, uint32_t version = 2);
    static Bytes bye(uint32_t token, uint32_t ssrc);
    static Bytes clockSync(uint32_t ssrc, uint8_t count, uint64_t first, uint64_t second = 0, uint64_t third = 0);
    // An RTP MIDI datagram of this peer (next sequence number): the command section's flags
    // (J 0x40, Z 0x20, P 0x10; B is set for lists longer than 15 bytes), the list, then journal.
    Bytes midi(const Bytes& list, uint8_t flags = 0, const Bytes& journal = {});
    // The same for any sender: an RTP header (version 2, payload type 97) and the section.
    static Bytes rtpMIDI(uint32_t ssrc, uint16_t sequence, uint32_t timestamp, const Bytes& list, uint8_t flags = 0,
                         const Bytes& journal = {});
    uint16_t nextSequence() const { return sequence_; }
    void setNextSequence(uint16_t sequence) { sequence_ = sequence; }

    // Big-endian fields of a received datagram (0 past its end).
    static uint64_t field(const Bytes& datagram, size_t offset, size_t bytes);

private:
    int family_;
    int sockets_[2] = {-1, -1};
    uint32_t ssrc_;
    uint16_t sessionPort_ = 0;
    uint16_t sequence_ = 0x4000;
    uint32_t timestamp_ = 0;
};

} // namespace clipdeck::test
