#pragma once
// A JACK server of the test's own, on the dummy driver, and a recorder client that
// captures what another client plays. Each server has a unique name and is stopped by its
// process id when the object goes (or by the system when the thread that made it ends, a
// crash included: make it on a thread that outlives it); JACK_DEFAULT_SERVER points clients
// of this process at it. The server program is "jackd" from the PATH, or the one
// CLIPDECK_JACKD names.

#include "support/ServerRequirement.h"

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

#include <sys/types.h>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

// In a test body or SetUp(): when the server did not come up, fails the test on CI
// (CI=true), where the server must run, and skips it elsewhere.
#define REQUIRE_JACK_SERVER(server) CLIPDECK_REQUIRE_SERVER((server).running(), "jackd")

namespace clipdeck::test {

class JackTestServer {
public:
    // Starts jackd with the dummy driver at sampleRate and period frames, with real-time
    // scheduling unless realtime is false (again without it when a real-time server does not
    // come up); running() tells whether it came up (tests then use CLIPDECK_REQUIRE_SERVER,
    // support/ServerRequirement.h).
    explicit JackTestServer(unsigned sampleRate = 44100, unsigned period = 256, bool realtime = true);
    ~JackTestServer();
    JackTestServer(const JackTestServer&) = delete;
    JackTestServer& operator=(const JackTestServer&) = delete;

    bool running() const { return running_; }
    QString name() const { return name_; }

private:
    // Starts the server program and waits until it is ready: true when it came up.
    bool start(unsigned sampleRate, unsigned period, bool realtime);

    QString name_;
    pid_t pid_ = -1;
    bool running_ = false;
};

// What JACK servers killed by crashed test programs leave in folder (JACK's /dev/shm, for
// user uid): the server registry, whose few slots they keep filled, and its shared memory
// segments; the metadata database, which clients map and die of when it was left damaged;
// and the sockets and semaphores of test servers (named "clipdeck-..."). Other servers'
// files stay. Nothing is removed unless noServerRuns. Answers how many entries went.
int removeJackLeftovers(const QString& folder, unsigned uid, bool noServerRuns);
// Whether no JACK server process (jackd, jackdbus; zombies aside) runs on the machine.
bool noJackServerRuns();

// Records two channels from the output ports of the client named source ("Clipdeck") into
// preallocated memory, from the moment it connects.
class JackRecorder {
public:
    JackRecorder(const QString& source, size_t maxFrames);
    ~JackRecorder();

    // Connects to the source's output ports once they exist; false after timeoutMs.
    bool connect(int timeoutMs = 3000);
    // Records once the source has connected its output ports to this recorder itself (the
    // recorder is then the source's output device, "jack:recorder"); false after timeoutMs.
    bool recordWhenConnected(int timeoutMs = 3000);
    size_t frames() const { return written_.load(); }
    // The recorded samples of channel 0 or 1 (first frames() are valid).
    const std::vector<float>& channel(int index) const { return index == 0 ? left_ : right_; }
    unsigned sampleRate() const;
    // Cycles the server reported as late (xruns) while recording.
    int xruns() const { return xruns_.load(); }
    // Frames of the server's current cycle that have passed (an estimate from its clock):
    // the next cycle, recorded at index frames(), starts one period minus this from now.
    unsigned framesSinceCycleStart() const;
    unsigned period() const;
    // Seconds of the monotonic clock between the cycles that recorded two frames (plus their
    // places in those cycles): how far apart the source rendered them, where the frame count
    // in between falls short of it by the cycles a loaded server dropped.
    double wallSecondsBetween(size_t fromFrame, size_t toFrame) const;

private:
    static int process(unsigned frames, void* self);
    static int xrun(void* self);
    // When the cycle that recorded a frame began, in monotonic seconds.
    double cycleSeconds(size_t frame, size_t* cycleStart) const;
    QString source_;
    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[2] = {nullptr, nullptr};
    std::vector<float> left_, right_;
    // Per recorded cycle, its first frame and the monotonic time it was recorded at; the
    // first cycles() entries are valid (written before frames() moves on).
    std::vector<size_t> cycleStarts_;
    std::vector<long long> cycleNanos_;
    std::atomic<size_t> cycles_{0};
    std::atomic<size_t> written_{0};
    std::atomic<bool> armed_{false};
    std::atomic<int> xruns_{0};
};

// A client that counts the cycles its server reports as late (xruns) from its activation
// on; alone on a server it is the empty client against which a program's xruns are judged.
class JackXrunCounter {
public:
    explicit JackXrunCounter(const char* name = "xruns");
    ~JackXrunCounter();
    JackXrunCounter(const JackXrunCounter&) = delete;
    JackXrunCounter& operator=(const JackXrunCounter&) = delete;

    bool active() const { return client_ != nullptr; }
    int xruns() const { return xruns_.load(); }

private:
    static int xrun(void* self);
    jack_client_t* client_ = nullptr;
    std::atomic<int> xruns_{0};
};

// How a recording of a known signal lines up with it, block by block (a block is one
// server cycle). Inside a block every sample must match; between blocks the signal may
// jump only where the server dropped a cycle.
struct BlockComparison {
    size_t blocks = 0;          // blocks compared
    size_t badBlocks = 0;       // blocks whose samples do not follow the signal
    size_t discontinuities = 0; // places where the signal jumped between blocks
};
// signal(frame) gives the expected sample; frameOf(sample) the frame a sample belongs to
// (or -1), for a signal that never repeats. Compares count samples from first on.
BlockComparison compareBlocks(const std::vector<float>& recorded, size_t first, size_t count, size_t blockFrames,
                              float (*signal)(long long frame), long long (*frameOf)(float sample));

// The same from the first block that carries sound up to count: the cycle a recorder's
// connection is made in may be silent.
BlockComparison compareBlocksFromFirstSound(const std::vector<float>& recorded, size_t count, size_t blockFrames,
                                            float (*signal)(long long frame), long long (*frameOf)(float sample));

// Connects the output ports of the client fromClient to the input ports of toClient, in
// order; false when either has none after timeoutMs.
bool jackConnectClients(const QString& fromClient, const QString& toClient, int timeoutMs = 3000);

} // namespace clipdeck::test
