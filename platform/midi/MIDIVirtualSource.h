#pragma once
// A MIDI source inside this process, in place of a virtual source of the MIDI services. A
// producer (the remote's network MIDI session) makes one under a name and sends complete
// MIDI packets through it; every input port connected to it hears them exactly as it hears
// the packets of the machine's own ports, on the port's dispatch thread.
//
// The source is listed by MIDISystem::sources() as "virtual:<name>" (with " #2", " #3"...
// when the name is already taken) from construction until destruction. Input ports notice it,
// and its going, at their next set-up check.
//
// Threading contract:
// - Construct and destroy it on any thread; destruction waits for a send() in progress on
//   another thread and ends every delivery before it returns.
// - send() may be called from any thread, including several threads at once (calls are
//   serialised by the layer's lock for virtual sources, which connects and disconnects take
//   briefly). It copies the packet into the queue of each connected port and returns at once:
//   it never waits for a port's dispatch thread or for the main thread, and allocates nothing.
//   It is not for a render thread (it takes a lock).
// - Packets sent by one thread arrive at each port in the order sent.
//
// A packet is one complete MIDI message: a status byte with its data bytes, or a whole
// system-exclusive message from F0 to F7. Packets of more than MIDIPacketQueue::kMaxPacketLength
// bytes, empty packets, and packets that find a port's queue full are dropped for that port.

#include <QString>

#include <cstdint>
#include <vector>

class MIDIVirtualSource {
public:
    explicit MIDIVirtualSource(const QString& name);
    ~MIDIVirtualSource();
    MIDIVirtualSource(const MIDIVirtualSource&) = delete;
    MIDIVirtualSource& operator=(const MIDIVirtualSource&) = delete;

    QString name() const { return name_; }
    QString uid() const { return uid_; }

    // Sends one packet; answers how many connected ports took it.
    int send(const uint8_t* bytes, size_t length);
    int send(const std::vector<uint8_t>& packet) { return send(packet.data(), packet.size()); }

private:
    QString name_;
    QString uid_;
};
