#include "platform/devices/JackStreamClient.h"

#include "platform/CallbackGate.h"

#include <jack/jack.h>

#include <QRegularExpression>

#include <cstring>

bool JackStreamClient::open(const char* clientName, bool output, unsigned channels, Callbacks callbacks)
{
    close();
    serverGone_.store(false);
    errorText_.clear();
    callbacks_ = callbacks;
    channels_ = channels < 1 ? 1 : channels > 2 ? 2 : channels;
    jack_status_t status{};
    // The server is the one JACK_DEFAULT_SERVER names (libjack reads it); never start one.
    client_ = jack_client_open(clientName, JackNoStartServer, &status);
    if (!client_) {
        errorText_ = QStringLiteral("no JACK server answers (status 0x%1)").arg(unsigned(status), 0, 16);
        return false;
    }
    gate_ = CallbackGate::open(this);
    for (unsigned c = 0; c < channels_; ++c) {
        const QByteArray name = QStringLiteral("%1_%2").arg(output ? "out" : "in").arg(c + 1).toUtf8();
        ports_[c] = jack_port_register(client_, name.constData(), JACK_DEFAULT_AUDIO_TYPE,
                                       output ? JackPortIsOutput : JackPortIsInput, 0);
        if (!ports_[c]) {
            errorText_ = QStringLiteral("the JACK server refused a port");
            close();
            return false;
        }
    }
    sampleRate_ = jack_get_sample_rate(client_);
    bufferFrames_ = jack_get_buffer_size(client_);
    jack_set_process_callback(client_, &JackStreamClient::process, gate_);
    jack_set_xrun_callback(client_, &JackStreamClient::xrun, gate_);
    jack_on_info_shutdown(
        client_, [](jack_status_t, const char*, void* gate) { shutdown(gate); }, gate_);
    return true;
}

bool JackStreamClient::activate(const QString& device, bool output)
{
    if (!client_ || jack_activate(client_) != 0) {
        errorText_ = QStringLiteral("the JACK server did not activate the client");
        close();
        return false;
    }
    if (!connectPorts(device, output)) {
        errorText_ = QStringLiteral("the device has no ports to connect to");
        close();
        return false;
    }
    return true;
}

bool JackStreamClient::connectPorts(const QString& device, bool output)
{
    const QByteArray pattern = ("^" + QRegularExpression::escape(device) + ":").toUtf8();
    const char** theirs = jack_get_ports(client_, pattern.constData(), JACK_DEFAULT_AUDIO_TYPE,
                                         output ? JackPortIsInput : JackPortIsOutput);
    if (!theirs)
        return false;
    unsigned connected = 0;
    for (unsigned c = 0; c < channels_ && theirs[c]; ++c) {
        const char* ours = jack_port_name(ports_[c]);
        if ((output ? jack_connect(client_, ours, theirs[c]) : jack_connect(client_, theirs[c], ours)) == 0)
            ++connected;
    }
    jack_free(theirs);
    return connected > 0;
}

void JackStreamClient::close()
{
    if (!client_)
        return;
    // Once the server has gone, libjack has let go of the client's shared memory and any call
    // on it (closing included) crashes: the client is abandoned. Its process thread may still
    // be inside a cycle (the server's end is seen on another of JACK's threads): the gate
    // waits for it to leave before this object may go.
    if (serverGone_.load()) {
        CallbackGate::abandon(gate_);
    } else {
        jack_deactivate(client_);
        jack_client_close(client_);
        CallbackGate::release(gate_);
    }
    gate_ = nullptr;
    client_ = nullptr;
    ports_[0] = ports_[1] = nullptr;
}

int JackStreamClient::process(unsigned frames, void* gate)
{
    CallbackGate::Pass pass(gate);
    auto* client = pass.target<JackStreamClient>();
    if (!client)
        return 0;
    float* channels[2] = {nullptr, nullptr};
    for (unsigned c = 0; c < client->channels_; ++c)
        channels[c] = static_cast<float*>(jack_port_get_buffer(client->ports_[c], frames));
    if (client->channels_ == 1)
        channels[1] = channels[0];
    const bool underrun = client->xrun_.exchange(false, std::memory_order_relaxed);
    client->callbacks_.process(client->callbacks_.refCon, channels, frames, underrun);
    return 0;
}

int JackStreamClient::xrun(void* gate)
{
    CallbackGate::Pass pass(gate);
    if (auto* client = pass.target<JackStreamClient>())
        client->xrun_.store(true, std::memory_order_relaxed);
    return 0;
}

void JackStreamClient::shutdown(void* gate)
{
    // The pass holds off libjack's cancellation of this thread (it cancels it asynchronously
    // once another thread of ours opens a client after the server's end) until the procedure,
    // which may hold a lock or sit in a function that must not throw, has returned.
    CallbackGate::Pass pass(gate);
    if (auto* client = pass.target<JackStreamClient>()) {
        client->serverGone_.store(true);
        if (client->callbacks_.shutdown)
            client->callbacks_.shutdown(client->callbacks_.refCon);
    }
}
