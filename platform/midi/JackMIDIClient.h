#pragma once
// Inside the MIDI layer: the MIDI ports of a running JACK server, for where there is no ALSA
// sequencer. A client of ours that is never activated lists the server's ports; each
// connected source gets a JACK client of its own, with one input port, whose process
// callback copies each event into that connection's queue (MIDIPacketSink) and takes no
// lock, allocates nothing and never waits, as befits a callback in the server's real-time
// graph.
//
// A port is registered only before its client is activated: the JACK library's thread that
// answers the server's latency requests walks the client's list of ports without a lock,
// while registering a port adds to that list, so a port added to an active client can crash
// the program when the server recomputes latencies at that moment (as it does after any
// client's activation or connection). Hence a client per connection, like the sequencer's.
//
// Clock, time-code and active-sensing messages are left out, as on the sequencer.
//
// When the server goes away its clients are abandoned, not closed (closing a client whose
// server is gone crashes the JACK library once any client has been opened since); the next
// listing opens a new listing client when a server runs again. JACK's threads reach our
// objects only through a gate (platform/CallbackGate.h), which an abandoned client's cycle
// under way leaves before the object or its sink goes.
//
// Threads: every call on the main thread (or one thread at a time); the process callbacks
// on JACK's threads. Connections go before this object does.

#include "platform/midi/MIDISystem.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
class CallbackGate;

class JackMIDIClient {
public:
    // name: our listing client's name in the JACK graph.
    explicit JackMIDIClient(const QString& name);
    ~JackMIDIClient();

    // The full names of the server's MIDI output ports ("client:port"); none without a server.
    std::vector<std::string> sourcePorts();
    // Connects the output port of that name to an input port portName of a new client of ours
    // named clientName (JACK numbers a name already taken); nothing when there is no server,
    // no such port, or the server takes no more clients.
    std::unique_ptr<MIDISystem::Connection> connect(const std::string& source, const QString& clientName,
                                                    const QString& portName, std::shared_ptr<MIDIPacketSink> sink);

private:
    class JackConnection;

    bool ensureOpen();
    // Abandons the listing client after its server's end.
    void abandon();
    // Whether the server a connection was made on (generation) has ended.
    bool serverEnded(uint64_t generation) const;
    static void shutdown(void* gate);

    QString name_;
    jack_client_t* client_ = nullptr;
    CallbackGate* gate_ = nullptr;
    uint64_t generation_ = 0; // counts the listing clients opened: one per server met
    std::atomic<bool> serverGone_{false};
};
