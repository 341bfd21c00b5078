#pragma once
// The receiving end of one network MIDI session, in place of the session side of the MIDI
// services' network driver: it answers peers on a pair of UDP ports (control P, data P + 1,
// each on IPv4 and on IPv6), lets them join, keeps their clock, and hands every MIDI message
// they send to one handler. It only receives MIDI; it never invites and never sends MIDI.
//
// Protocol (RTPMIDISessionMessage.h, RTPMIDIDatagramDecoder.h):
// - A peer joins with IN on the control port, then IN on the data port, from the same host
//   and with the same SSRC. Each is answered from the port it came to: OK with the peer's
//   token, our SSRC and our name, or NO when the join policy refuses it, kMaxParticipants
//   are in the session already, the version is not 2, or (data port) the peer has not
//   joined on the control port. IN again from a participant's host joins it anew.
// - CK count 0 from a participant is answered with CK count 1: the first stamp echoed, our
//   time in 100 us units in the second.
// - RTP MIDI datagrams on the data port from a participant (its SSRC, from the address it
//   joined the data port from) are decoded, one decoder per participant (running status and
//   system-exclusive messages are the participant's own); everything else there is dropped.
// - RS with the last sequence number received goes to the control port of each participant
//   that sent MIDI, at most about once a second (at once after the first MIDI).
// - BY from a participant's host removes it. A participant silent for more than
//   kSilenceLimit seconds is removed. stop() sends BY to every participant.
// No datagram is answered for anyone who is not a participant, but for IN (with OK or NO).
//
// Join policies: kJoinPolicyAnyone lets every peer join; any other value refuses every
// invitation (no peer list is kept).
//
// Time: TimeSource::currentTime() (seconds) for silence, feedback and the CK stamps, so a
// test's ManualTimeSource moves them; the thread looks at the clock at least once a second.
//
// Threads: start(), stop() and the destructor on one controlling thread; setJoinPolicy(),
// participants(), port() and the counters from any thread. The session runs on a thread of
// its own that waits in poll() on its sockets and a wake-up descriptor, so it never waits for
// the main thread; the handler runs on that thread, one message at a time (keep it short).

#include "platform/netmidi/RTPMIDIDatagramDecoder.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class RTPMIDIResponder {
public:
    static constexpr uint32_t kJoinPolicyAnyone = 2;
    static constexpr size_t kMaxParticipants = 16;
    static constexpr double kSilenceLimit = 120.0;
    static constexpr double kFeedbackInterval = 1.0;

    using MessageHandler = RTPMIDIDatagramDecoder::MessageHandler;

    struct Participant {
        uint32_t ssrc = 0;
        QString name;
        QByteArray controlAddress; // socket address records (platform/network/SocketAddress.h)
        QByteArray dataAddress;    // empty until it joined on the data port
    };

    // networkName: the name we answer with (the host name when empty).
    RTPMIDIResponder(const QString& networkName, uint32_t joinPolicy, MessageHandler deliver);
    // Stops.
    ~RTPMIDIResponder();
    RTPMIDIResponder(const RTPMIDIResponder&) = delete;
    RTPMIDIResponder& operator=(const RTPMIDIResponder&) = delete;

    // Binds the ports (port and port + 1; with port 0 a free pair the system chooses) on every
    // address and starts the session's thread. false, with *error saying why, when no pair
    // could be bound (IPv6 missing on the machine is no failure: the session is IPv4 only).
    bool start(uint16_t port, QString* error = nullptr);
    // Says goodbye (BY) to every participant, ends the thread and closes the ports. Nothing
    // when not running.
    void stop();

    bool isRunning() const { return running_; }
    // The control port (0 when not running); data is port() + 1.
    uint16_t port() const { return port_; }
    uint32_t ssrc() const { return ssrc_; }
    QString networkName() const { return networkName_; }

    void setJoinPolicy(uint32_t policy) { joinPolicy_.store(policy); }
    uint32_t joinPolicy() const { return joinPolicy_.load(); }

    // The participants now, in the order they joined.
    std::vector<Participant> participants() const;
    // Datagrams of MIDI decoded whole so far, and datagrams refused (not from a participant,
    // not MIDI on the data port, malformed, or a duplicate or late one).
    uint64_t datagramsDecoded() const { return decoded_.load(); }
    uint64_t datagramsRefused() const { return refused_.load(); }

private:
    struct Session;
    void run();

    const QString networkName_;
    const MessageHandler deliver_;
    std::atomic<uint32_t> joinPolicy_;
    uint32_t ssrc_ = 0;
    uint16_t port_ = 0;
    bool running_ = false;
    std::unique_ptr<Session> session_; // sockets and participants; the thread's own while it runs
    std::thread thread_;
    int wake_ = -1; // eventfd

    mutable std::mutex snapshotMutex_;
    std::vector<Participant> snapshot_;
    std::atomic<uint64_t> decoded_{0};
    std::atomic<uint64_t> refused_{0};
};
