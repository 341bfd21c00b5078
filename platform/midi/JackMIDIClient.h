#pragma once
// Inside the MIDI layer: the MIDI ports of a running JACK server, for where there is no ALSA
// sequencer. One JACK client of ours carries one input port per connected source; its process
// callback copies each event into that connection's queue (MIDIPacketSink) and takes no lock,
// allocates nothing and never waits, as befits a callback in the server's real-time graph.
//
// Clock, time-code and active-sensing messages are left out, as on the sequencer.
//
// When the server goes away the client is abandoned, not closed (closing a client whose server
// is gone crashes the JACK library once any client has been opened since), and its
// connections end; the next listing opens a new client when a server runs again. JACK's
// threads reach this object only through a gate (platform/CallbackGate.h), which an abandoned
// client's cycle under way leaves before the object or its sinks go.
//
// Threads: every call on the main thread (or one thread at a time); the process callback
// on JACK's thread.

#include "platform/midi/MIDISystem.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;
class CallbackGate;

class JackMIDIClient {
public:
    // name: our client's name in the JACK graph.
    explicit JackMIDIClient(const QString& name);
    ~JackMIDIClient();

    // The full names of the server's MIDI output ports ("client:port"); none without a server.
    std::vector<std::string> sourcePorts();
    // Connects the output port of that name to an input port of ours; nothing when there is
    // no server, no such port, or every port of ours is taken.
    std::unique_ptr<MIDISystem::Connection> connect(const std::string& source, std::shared_ptr<MIDIPacketSink> sink);

    // Sources connected at once, at most.
    static constexpr int kMaxConnections = 64;

private:
    class JackConnection;
    struct Slot {
        jack_port_t* port = nullptr;             // registered once, then kept
        std::atomic<MIDIPacketSink*> sink{nullptr}; // what the process callback feeds; null: free
        std::string source;                      // main thread only
    };

    bool ensureOpen();
    void disconnect(int slot, uint64_t generation);
    // Abandons the client after its server's end, with its connections, sinks and ports.
    void abandon();
    // JACK's callbacks, each handed the gate to this object.
    static int process(uint32_t frames, void* gate);
    static void shutdown(void* gate);

    QString name_;
    jack_client_t* client_ = nullptr;
    CallbackGate* gate_ = nullptr;
    uint64_t generation_ = 0; // counts the clients opened; a connection belongs to one
    std::atomic<bool> serverGone_{false};
    std::array<Slot, kMaxConnections> slots_;
    std::atomic<int> portCount_{0}; // slots whose port the process callback may read
    // Lets a disconnect wait for a process cycle that may still be feeding the sink it removes.
    std::atomic<bool> inCycle_{false};
    std::atomic<uint64_t> cycles_{0};
};
