#pragma once
// A MIDI device for tests: an RtMidi virtual output port on the test's JACK server (see
// JackTestServer), which the program sees as the MIDI source "jack:<client>:<port>".
// Messages sent reach the port's readers a JACK cycle or two later.

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class RtMidiOut;

namespace clipdeck::test {

class MIDITestSender {
public:
    MIDITestSender(const QString& clientName, const QString& portName);
    ~MIDITestSender();

    bool isOpen() const { return out_ != nullptr; }
    // The uid the program knows the port by.
    QString sourceUID() const { return "jack:" + clientName_ + ":" + portName_; }
    bool send(const std::vector<uint8_t>& message);

private:
    QString clientName_, portName_;
    std::unique_ptr<RtMidiOut> out_;
};

} // namespace clipdeck::test
