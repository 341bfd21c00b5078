#include "support/MIDITestSender.h"

#include <rtmidi/RtMidi.h>

namespace clipdeck::test {

MIDITestSender::MIDITestSender(const QString& clientName, const QString& portName)
    : clientName_(clientName), portName_(portName)
{
    try {
        out_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, clientName.toStdString());
        out_->openVirtualPort(portName.toStdString());
    } catch (const RtMidiError&) {
        out_.reset();
    }
}

MIDITestSender::~MIDITestSender() = default;

bool MIDITestSender::send(const std::vector<uint8_t>& message)
{
    if (!out_)
        return false;
    try {
        out_->sendMessage(message.data(), message.size());
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

} // namespace clipdeck::test
