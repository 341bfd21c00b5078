#include "platform/midi/JackMIDIClient.h"

#include "platform/midi/MIDIPacketSink.h"

#include "platform/CallbackGate.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>

namespace {

// Clock, time code, active sensing: nothing listens to them.
bool isFilteredOut(const jack_midi_event_t& event)
{
    const uint8_t status = event.size ? event.buffer[0] : 0;
    return status == 0xF8 || status == 0xF1 || status == 0xFE;
}

QByteArray nameOr(const QString& name, const QString& fallback)
{
    return (name.isEmpty() ? fallback : name).toUtf8();
}

} // namespace

class JackMIDIClient::JackConnection : public MIDISystem::Connection {
public:
    JackConnection(JackMIDIClient& owner, uint64_t generation, std::shared_ptr<MIDIPacketSink> sink)
        : owner_(owner), generation_(generation), sink_(std::move(sink))
    {
    }

    ~JackConnection() override
    {
        if (!client_)
            return;
        if (serverGone_.load() || owner_.serverEnded(generation_)) {
            CallbackGate::abandon(gate_); // a cycle under way ends first; the client stays unclosed
        } else {
            jack_client_close(client_); // returns once its threads are gone
            CallbackGate::release(gate_);
        }
    }

    // Opens our client, registers its port while the client is still inactive (see the
    // header), activates it and connects source to the port.
    bool open(const std::string& source, const QString& clientName, const QString& portName)
    {
        jack_status_t status;
        client_ = jack_client_open(nameOr(clientName, owner_.name_).constData(), JackNoStartServer, &status);
        if (!client_)
            return false;
        gate_ = CallbackGate::open(this);
        port_ = jack_port_register(client_, nameOr(portName, "in").constData(), JACK_DEFAULT_MIDI_TYPE,
                                   JackPortIsInput, 0);
        if (!port_)
            return false;
        jack_set_process_callback(client_, &JackConnection::process, gate_);
        jack_on_shutdown(client_, &JackConnection::shutdown, gate_);
        if (jack_activate(client_) != 0)
            return false;
        const int result = jack_connect(client_, source.c_str(), jack_port_name(port_));
        return result == 0 || result == EEXIST;
    }

private:
    static int process(uint32_t frames, void* gate)
    {
        CallbackGate::Pass pass(gate);
        auto* connection = pass.target<JackConnection>();
        if (!connection)
            return 0;
        void* buffer = jack_port_get_buffer(connection->port_, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t e = 0; e < count; ++e) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, e) == 0 && event.size && !isFilteredOut(event))
                connection->sink_->deliver(event.buffer, event.size);
        }
        return 0;
    }

    static void shutdown(void* gate)
    {
        CallbackGate::Pass pass(gate);
        if (auto* connection = pass.target<JackConnection>())
            connection->serverGone_.store(true);
    }

    JackMIDIClient& owner_;
    const uint64_t generation_;
    std::shared_ptr<MIDIPacketSink> sink_; // alive until the process callback can no longer see it
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    CallbackGate* gate_ = nullptr;
    std::atomic<bool> serverGone_{false};
};

JackMIDIClient::JackMIDIClient(const QString& name) : name_(name) {}

JackMIDIClient::~JackMIDIClient()
{
    if (client_ && serverGone_.load()) {
        abandon();
    } else if (client_) {
        jack_client_close(client_);
        CallbackGate::release(gate_);
    }
}

void JackMIDIClient::abandon()
{
    // See the header.
    CallbackGate::abandon(gate_);
    gate_ = nullptr;
    client_ = nullptr;
}

bool JackMIDIClient::serverEnded(uint64_t generation) const
{
    return generation != generation_ || serverGone_.load();
}

bool JackMIDIClient::ensureOpen()
{
    if (client_ && serverGone_.load())
        abandon();
    if (client_)
        return true;
    jack_status_t status;
    jack_client_t* client = jack_client_open(name_.toUtf8().constData(), JackNoStartServer, &status);
    if (!client)
        return false;
    serverGone_.store(false);
    gate_ = CallbackGate::open(this);
    jack_on_shutdown(client, &JackMIDIClient::shutdown, gate_);
    client_ = client;
    ++generation_;
    return true;
}

std::vector<std::string> JackMIDIClient::sourcePorts()
{
    std::vector<std::string> ports;
    if (!ensureOpen())
        return ports;
    if (const char** names = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
        for (int i = 0; names[i]; ++i)
            ports.emplace_back(names[i]);
        jack_free(names);
    }
    return ports;
}

std::unique_ptr<MIDISystem::Connection> JackMIDIClient::connect(const std::string& source, const QString& clientName,
                                                                const QString& portName,
                                                                std::shared_ptr<MIDIPacketSink> sink)
{
    if (!ensureOpen() || !jack_port_by_name(client_, source.c_str()))
        return nullptr;
    auto connection = std::make_unique<JackConnection>(*this, generation_, std::move(sink));
    if (!connection->open(source, clientName, portName))
        return nullptr;
    return connection;
}

void JackMIDIClient::shutdown(void* gate)
{
    CallbackGate::Pass pass(gate);
    if (auto* client = pass.target<JackMIDIClient>())
        client->serverGone_.store(true);
}
