#pragma once
// An input port, in place of the MIDI services' input port and read procedure: connected to
// any number of sources (MIDISystem), it hands every packet that arrives from any of them to
// one read callback, on one dispatch thread of its own.
//
// Each source's receive thread (a JACK process callback, RtMidi's ALSA thread, a virtual
// source's sender) only copies the packet into that connection's lock-free queue and wakes
// the dispatch thread, so a slow read callback never holds up the MIDI system or the audio.
// Packets of one source reach the callback in the order they arrived.
//
// Threads: the read callback runs on the dispatch thread only, one packet at a time.
// connectSource()/disconnectSource() run on the main thread (or any one thread that is not
// the dispatch thread). The destructor disconnects every source and joins the dispatch
// thread: never destroy the port from inside its read callback, and never let the read
// callback wait for the thread that destroys the port.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class MIDIInputPort {
public:
    // bytes/length: one complete MIDI message; sourceUID: the source it came from.
    using ReadCallback = std::function<void(const uint8_t* bytes, size_t length, const QString& sourceUID)>;

    // clientName and portName name our side of each connection in the MIDI system.
    MIDIInputPort(const QString& clientName, const QString& portName, ReadCallback read);
    ~MIDIInputPort();
    MIDIInputPort(const MIDIInputPort&) = delete;
    MIDIInputPort& operator=(const MIDIInputPort&) = delete;

    // Connects the source with that uid; true when it is connected now (also when it already
    // was, which leaves that connection as it was). false when the source is gone or cannot be
    // opened.
    bool connectSource(const QString& uid);
    // Disconnects the source; false when it was not connected. Packets of that source already
    // queued may still reach the callback.
    bool disconnectSource(const QString& uid);

    bool isConnected(const QString& uid) const;
    QStringList connectedSources() const;
    // Connections made since the port was made (a connect that finds the source connected
    // makes none).
    int connectionsMade() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
