#pragma once
// A MIDI device for tests: a JACK client with one MIDI output port on the test's JACK server
// (see JackTestServer), which the program sees as the MIDI source "jack:<client>:<port>".
// Messages sent reach the port's readers a JACK cycle or two later. The port is registered
// before the client is activated, as the program's own MIDI clients do (see
// platform/midi/JackMIDIClient.h for why).

#include <QString>

#include <jack/ringbuffer.h>

#include <cstdint>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace clipdeck::test {

class MIDITestSender {
public:
    MIDITestSender(const QString& clientName, const QString& portName);
    ~MIDITestSender();
    MIDITestSender(const MIDITestSender&) = delete;
    MIDITestSender& operator=(const MIDITestSender&) = delete;

    bool isOpen() const { return client_ != nullptr; }
    // The uid the program knows the port by.
    QString sourceUID() const { return "jack:" + clientName_ + ":" + portName_; }
    // Queues the message for the next cycle; false when closed or the queue is full.
    bool send(const std::vector<uint8_t>& message);

private:
    static int process(uint32_t frames, void* self);

    QString clientName_, portName_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    jack_ringbuffer_t* queue_ = nullptr; // each message as its length (uint32_t), then its bytes
};

} // namespace clipdeck::test
