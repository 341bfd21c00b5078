#pragma once
// A JACK client of our own that plays to, or records from, the ports of one JACK device
// (the client whose ports are named "<device>:..."), for the device stream. JACK streams do
// not go through RtAudio because only a client of our own hears the server shut down in
// time to stop cleanly: RtAudio closes its stream on a thread of its own then, racing
// whoever stops or destroys it.
//
// Threads: open/close on the control thread. The process procedure runs on JACK's process
// thread (render rules apply); the shutdown procedure runs on a thread of JACK's when the
// server goes away or drops the client, and must only set flags and wake someone.

#include <QString>

#include <atomic>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;
class CallbackGate;

class JackStreamClient {
public:
    // channels[c] is port c's buffer of frames samples: the procedure fills it (output) or
    // reads it (input). underrun: the server reported a late cycle since the last call.
    using ProcessProc = void (*)(void* refCon, float* const* channels, unsigned frames, bool underrun);
    using ShutdownProc = void (*)(void* refCon);

    struct Callbacks {
        ProcessProc process = nullptr;
        ShutdownProc shutdown = nullptr;
        void* refCon = nullptr;
    };

    JackStreamClient() = default;
    ~JackStreamClient() { close(); }
    JackStreamClient(const JackStreamClient&) = delete;
    JackStreamClient& operator=(const JackStreamClient&) = delete;

    // Opens a client named clientName (JACK makes it unique) with channels (1 or 2) ports;
    // sampleRate() and bufferFrames() are known from then on. On failure errorText() says why.
    bool open(const char* clientName, bool output, unsigned channels, Callbacks callbacks);
    // Starts the procedures and connects the ports to those of device. On failure the client
    // is closed and errorText() says why.
    bool activate(const QString& device, bool output);
    // Deactivates and closes the client; after it neither procedure runs again. After the
    // server went away the client is only let go (libjack cannot close it then).
    void close();

    unsigned sampleRate() const { return sampleRate_; }
    unsigned bufferFrames() const { return bufferFrames_; }
    QString errorText() const { return errorText_; }

private:
    // JACK's callbacks, each handed the gate to this client.
    static int process(unsigned frames, void* gate);
    static int xrun(void* gate);
    static void shutdown(void* gate);
    bool connectPorts(const QString& device, bool output);

    jack_client_t* client_ = nullptr;
    CallbackGate* gate_ = nullptr;
    jack_port_t* ports_[2] = {nullptr, nullptr};
    unsigned channels_ = 0;
    Callbacks callbacks_;
    unsigned sampleRate_ = 0;
    unsigned bufferFrames_ = 0;
    QString errorText_;
    std::atomic<bool> xrun_{false};
    std::atomic<bool> serverGone_{false};
};
