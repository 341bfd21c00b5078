#pragma once
// The machine's MIDI sources, in place of the MIDI services' source list: the ports of the
// ALSA sequencer, reached through RtMidi (or, where there is no sequencer, as in containers,
// the MIDI ports of a running JACK server, through JACK clients of ours: JackMIDIClient.h),
// followed by the virtual sources made inside this process (MIDIVirtualSource).
//
// A source is known by a uid: "alsa:<port name>", "jack:<port name>" or "virtual:<name>".
// Port numbers shift on Linux as ports come and go, so nothing outside this layer keeps them.
//
// Threads: any thread but a render thread; calls are serialised by the object's lock.

#include <QString>

#include <memory>
#include <vector>

struct MIDISourceInfo {
    QString uid;
    QString name; // as the MIDI system shows it
};

class MIDIPacketSink;
class MIDIVirtualSource;

class MIDISystem {
public:
    static MIDISystem& shared();

    // "alsa" when the ALSA sequencer can be opened, else "jack"; settled at first use.
    QString api();

    // Every source now present: the system's ports in its order, then the virtual sources in
    // the order they were made.
    std::vector<MIDISourceInfo> sources();

    // Inside the layer: virtual sources register themselves and input ports attach their
    // sinks to them. attachToVirtualSource() answers false when no such source exists.
    QString registerVirtualSource(MIDIVirtualSource* source, const QString& name);
    void unregisterVirtualSource(MIDIVirtualSource* source);
    bool attachToVirtualSource(const QString& uid, const std::shared_ptr<MIDIPacketSink>& sink);
    void detachFromVirtualSource(const QString& uid, const MIDIPacketSink* sink);
    // Hands a packet to every sink attached to source; answers how many took it.
    int sendFromVirtualSource(const MIDIVirtualSource* source, const uint8_t* bytes, size_t length);

    // Inside the layer: an open connection to one of the system's ports, delivering every
    // message of the port to its sink from the port's receive thread. Destroying it stops the
    // deliveries before it returns.
    class Connection {
    public:
        virtual ~Connection() = default;
    };
    // Opens the system's port uid for a client and port of ours with those names; nothing
    // when the port is gone or cannot be opened.
    std::unique_ptr<Connection> openSystemSource(const QString& uid, const QString& clientName,
                                                 const QString& portName, std::shared_ptr<MIDIPacketSink> sink);

    ~MIDISystem();

private:
    MIDISystem();
    struct Impl;
    std::unique_ptr<Impl> d;
};
