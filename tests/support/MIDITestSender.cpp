#include "support/MIDITestSender.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

namespace clipdeck::test {

MIDITestSender::MIDITestSender(const QString& clientName, const QString& portName)
    : clientName_(clientName), portName_(portName)
{
    jack_status_t status;
    jack_client_t* client =
        jack_client_open(clientName.toUtf8().constData(), jack_options_t(JackNoStartServer | JackUseExactName), &status);
    if (!client)
        return;
    queue_ = jack_ringbuffer_create(64 * 1024);
    port_ = jack_port_register(client, portName.toUtf8().constData(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!queue_ || !port_ || jack_set_process_callback(client, &MIDITestSender::process, this) != 0 ||
        jack_activate(client) != 0) {
        jack_client_close(client);
        return;
    }
    client_ = client;
}

MIDITestSender::~MIDITestSender()
{
    if (client_)
        jack_client_close(client_);
    if (queue_)
        jack_ringbuffer_free(queue_);
}

bool MIDITestSender::send(const std::vector<uint8_t>& message)
{
    const uint32_t length = uint32_t(message.size());
    if (!client_ || length == 0 || jack_ringbuffer_write_space(queue_) < sizeof length + length)
        return false;
    // The length goes in first, but the process callback takes a message only once all of
    // it is in.
    jack_ringbuffer_write(queue_, reinterpret_cast<const char*>(&length), sizeof length);
    jack_ringbuffer_write(queue_, reinterpret_cast<const char*>(message.data()), length);
    return true;
}

int MIDITestSender::process(uint32_t frames, void* self)
{
    auto& sender = *static_cast<MIDITestSender*>(self);
    void* buffer = jack_port_get_buffer(sender.port_, frames);
    jack_midi_clear_buffer(buffer);
    uint32_t length;
    while (jack_ringbuffer_peek(sender.queue_, reinterpret_cast<char*>(&length), sizeof length) == sizeof length &&
           jack_ringbuffer_read_space(sender.queue_) >= sizeof length + length) {
        jack_midi_data_t* event = jack_midi_event_reserve(buffer, 0, length);
        if (!event)
            break; // the port's buffer is full: the rest goes next cycle
        jack_ringbuffer_read_advance(sender.queue_, sizeof length);
        jack_ringbuffer_read(sender.queue_, reinterpret_cast<char*>(event), length);
    }
    return 0;
}

} // namespace clipdeck::test
