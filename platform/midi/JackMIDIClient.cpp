#include "platform/midi/JackMIDIClient.h"

#include "platform/midi/MIDIPacketSink.h"

#include "platform/CallbackGate.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <QDebug>

#include <chrono>
#include <thread>

namespace {

// Clock, time code, active sensing: nothing listens to them.
bool isFilteredOut(const jack_midi_event_t& event)
{
    const uint8_t status = event.size ? event.buffer[0] : 0;
    return status == 0xF8 || status == 0xF1 || status == 0xFE;
}

} // namespace

class JackMIDIClient::JackConnection : public MIDISystem::Connection {
public:
    JackConnection(JackMIDIClient& owner, int slot, uint64_t generation, std::shared_ptr<MIDIPacketSink> sink)
        : owner_(owner), slot_(slot), generation_(generation), sink_(std::move(sink))
    {
    }
    ~JackConnection() override { owner_.disconnect(slot_, generation_); }

private:
    JackMIDIClient& owner_;
    const int slot_;
    const uint64_t generation_;
    std::shared_ptr<MIDIPacketSink> sink_; // alive until the process callback can no longer see it
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
    // See the header. A cycle the process thread was in when the server ended ends first.
    CallbackGate::abandon(gate_);
    gate_ = nullptr;
    client_ = nullptr;
    for (auto& slot : slots_) {
        slot.port = nullptr;
        slot.sink.store(nullptr);
        slot.source.clear();
    }
    portCount_.store(0);
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
    CallbackGate* gate = CallbackGate::open(this);
    jack_set_process_callback(client, &JackMIDIClient::process, gate);
    jack_on_shutdown(client, &JackMIDIClient::shutdown, gate);
    if (jack_activate(client) != 0) {
        jack_client_close(client);
        CallbackGate::release(gate);
        return false;
    }
    client_ = client;
    gate_ = gate;
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

std::unique_ptr<MIDISystem::Connection> JackMIDIClient::connect(const std::string& source,
                                                                std::shared_ptr<MIDIPacketSink> sink)
{
    if (!ensureOpen() || !jack_port_by_name(client_, source.c_str()))
        return nullptr;
    int index = 0;
    while (index < portCount_.load() && (slots_[index].sink.load() || !slots_[index].source.empty()))
        ++index;
    if (index == kMaxConnections) {
        qDebug("MIDI: no port left for %s", source.c_str());
        return nullptr;
    }
    Slot& slot = slots_[index];
    if (!slot.port) {
        const std::string portName = "in " + std::to_string(index + 1);
        slot.port = jack_port_register(client_, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (!slot.port)
            return nullptr;
        portCount_.store(index + 1);
    }
    const int result = jack_connect(client_, source.c_str(), jack_port_name(slot.port));
    if (result != 0 && result != EEXIST)
        return nullptr;
    slot.source = source;
    slot.sink.store(sink.get());
    return std::make_unique<JackConnection>(*this, index, generation_, std::move(sink));
}

void JackMIDIClient::disconnect(int index, uint64_t generation)
{
    if (generation != generation_ || !client_)
        return; // that client was abandoned with everything it fed, once its last cycle ended
    if (serverGone_.load()) {
        abandon(); // the sink may still be fed by the cycle the server's end interrupted
        return;
    }
    Slot& slot = slots_[index];
    jack_disconnect(client_, slot.source.c_str(), jack_port_name(slot.port));
    slot.source.clear();
    slot.sink.store(nullptr);
    // A cycle that began before the store may still feed the sink: let it end.
    const uint64_t cycle = cycles_.load();
    for (int wait = 0; wait < 1000 && inCycle_.load() && cycles_.load() == cycle; ++wait) {
        if (serverGone_.load()) {
            abandon();
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

int JackMIDIClient::process(uint32_t frames, void* gate)
{
    CallbackGate::Pass pass(gate);
    auto* client = pass.target<JackMIDIClient>();
    if (!client)
        return 0;
    client->inCycle_.store(true);
    const int ports = client->portCount_.load();
    for (int i = 0; i < ports; ++i) {
        Slot& slot = client->slots_[i];
        MIDIPacketSink* sink = slot.sink.load();
        if (!sink)
            continue;
        void* buffer = jack_port_get_buffer(slot.port, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t e = 0; e < count; ++e) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, e) == 0 && event.size && !isFilteredOut(event))
                sink->deliver(event.buffer, event.size);
        }
    }
    client->cycles_.fetch_add(1);
    client->inCycle_.store(false);
    return 0;
}

void JackMIDIClient::shutdown(void* gate)
{
    CallbackGate::Pass pass(gate);
    if (auto* client = pass.target<JackMIDIClient>())
        client->serverGone_.store(true);
}
