#include "support/JackTestServer.h"

#include "support/TestEnvironment.h"

#include <jack/jack.h>

#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace clipdeck::test {
namespace {

std::atomic<int> g_serverCounter{0};

void quiet(const char*) {}

jack_client_t* openClient(const char* name)
{
    jack_status_t status;
    return jack_client_open(name, JackOptions(JackNoStartServer | JackServerName), &status,
                            qgetenv("JACK_DEFAULT_SERVER").constData());
}

// Once per program, before its first server: clears what servers of crashed programs left,
// while this program holds the JACK tests' lock (its test runner took it, and says so, or it
// takes it now without waiting) and no server runs, so no one else can be using them.
void removeLeftoversOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        int lock = -1;
        if (!qEnvironmentVariableIsSet("CLIPDECK_JACK_TESTS_LOCKED")) {
            lock = open("/tmp/clipdeck-jack-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
                if (lock >= 0)
                    close(lock);
                return;
            }
        }
        removeJackLeftovers(QStringLiteral("/dev/shm"), getuid(), noJackServerRuns());
        if (lock >= 0)
            close(lock);
    });
}

} // namespace

bool noJackServerRuns()
{
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : processes) {
        bool number = false;
        pid.toInt(&number);
        if (!number)
            continue;
        QFile statFile(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!statFile.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ...": the name may hold spaces and parentheses, the state follows
        // the last ')'.
        const QByteArray stat = statFile.readAll();
        const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
        if (open < 0 || close < open || close + 2 >= stat.size())
            continue;
        const QByteArray name = stat.mid(open + 1, close - open - 1);
        const char state = stat[close + 2];
        if ((name == "jackd" || name == "jackdbus") && state != 'Z')
            return false;
    }
    return true;
}

int removeJackLeftovers(const QString& folder, unsigned uid, bool noServerRuns)
{
    if (!noServerRuns)
        return 0;
    const QString segments = QStringLiteral("jack-%1-").arg(uid);
    const QString database = QStringLiteral("jack_db-%1").arg(uid);
    int removed = 0;
    QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    // The registry and the metadata database are shared by every JACK client on the machine,
    // also by tests that start no server: removed under a client opening them, the client
    // dies (SIGBUS) or leaks. They go only together with what a killed server left.
    const auto leftByAServer = [&](const QString& entry) {
        return entry.startsWith(segments) || entry.startsWith(QLatin1String("jack_clipdeck-")) ||
               (entry.startsWith(QLatin1String("jack_sem.")) && entry.contains(QLatin1String("_clipdeck-")));
    };
    if (std::none_of(entries.begin(), entries.end(), leftByAServer))
        return 0;
    for (const QString& entry : entries) {
        const bool leftover = entry == QLatin1String("jack-shm-registry") || leftByAServer(entry);
        if (leftover && dir.remove(entry))
            ++removed;
        else if (entry == database && QDir(dir.filePath(entry)).removeRecursively())
            ++removed;
    }
    return removed;
}

JackTestServer::JackTestServer(unsigned sampleRate, unsigned period, bool realtime)
{
    removeLeftoversOnce();
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    name_ = QString("clipdeck-%1-%2").arg(getpid()).arg(g_serverCounter.fetch_add(1));
    qputenv("JACK_DEFAULT_SERVER", name_.toLocal8Bit());
    qputenv("JACK_NO_START_SERVER", "1");
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");

    // Real-time as on stage, so that a loaded machine delays the test clients' cycles as
    // little as it delays a performance's; a machine that refuses real-time scheduling to a
    // server gets one without it.
    if (!start(sampleRate, period, realtime) && realtime && pid_ == -1)
        start(sampleRate, period, false);
}

bool JackTestServer::start(unsigned sampleRate, unsigned period, bool realtime)
{
    const std::string name = name_.toStdString(), rate = std::to_string(sampleRate), frames = std::to_string(period);
    // A client timeout of 2 s, which gives an activation 20 s to take effect: on a loaded test
    // machine the server's cycles can lag behind the default's (an activation then fails).
    const char* argv[] = {"jackd", realtime ? "--realtime" : "--no-realtime", "-t", "2000", "-n", name.c_str(), "-d",
                          "dummy", "-r", rate.c_str(), "-p", frames.c_str(), nullptr};
    // CLIPDECK_JACKD names another server program (or an unusable one, to see the tests'
    // answer to a server that cannot start).
    const QByteArray program = qEnvironmentVariableIsSet("CLIPDECK_JACKD") ? qgetenv("CLIPDECK_JACKD") : "jackd";
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // The server ends with the test, even one that crashed (it is told on its own
        // creator thread's end), and holds nothing of the test's open: the machine-wide lock
        // of the JACK tests above all. Only async-signal-safe calls until the exec.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        const int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, 1);
        dup2(nowhere, 2);
        close_range(3, ~0U, 0);
        execvp(program.constData(), const_cast<char**>(argv));
        _exit(127);
    }
    if (pid_ < 0) {
        pid_ = -1;
        return false;
    }
    // Ready once a client can connect and the driver's ports exist (they appear a moment
    // after the server first answers); not at all once the server has quit. The bound is
    // for a loaded machine, where a server can take seconds to come up.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!running_ && std::chrono::steady_clock::now() < giveUp) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        if (jack_client_t* probe = openClient("probe")) {
            running_ = jack_port_by_name(probe, "system:playback_1") && jack_port_by_name(probe, "system:capture_1");
            jack_client_close(probe);
        }
        if (!running_)
            QThread::msleep(25);
    }
    return running_;
}

JackTestServer::~JackTestServer()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_)
                return;
            QThread::msleep(20);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

JackRecorder::JackRecorder(const QString& source, size_t maxFrames)
    : source_(source), left_(maxFrames, 0.0f), right_(maxFrames, 0.0f), cycleStarts_(maxFrames / 16 + 1),
      cycleNanos_(maxFrames / 16 + 1)
{
    client_ = openClient("recorder");
    if (!client_)
        return;
    ports_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    ports_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &JackRecorder::process, this);
    jack_set_xrun_callback(client_, &JackRecorder::xrun, this);
    jack_activate(client_);
}

JackRecorder::~JackRecorder()
{
    if (client_) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
}

unsigned JackRecorder::sampleRate() const { return client_ ? jack_get_sample_rate(client_) : 0; }

unsigned JackRecorder::framesSinceCycleStart() const { return client_ ? jack_frames_since_cycle_start(client_) : 0; }

unsigned JackRecorder::period() const { return client_ ? jack_get_buffer_size(client_) : 0; }

double JackRecorder::cycleSeconds(size_t frame, size_t* cycleStart) const
{
    const size_t cycles = cycles_.load();
    const auto first = cycleStarts_.begin();
    // The last cycle that began at or before the frame.
    const auto found = std::upper_bound(first, first + long(cycles), frame);
    const size_t index = found == first ? 0 : size_t(found - first) - 1;
    *cycleStart = cycles ? cycleStarts_[index] : 0;
    return cycles ? double(cycleNanos_[index]) / 1e9 : 0.0;
}

double JackRecorder::wallSecondsBetween(size_t fromFrame, size_t toFrame) const
{
    size_t fromCycle = 0, toCycle = 0;
    const double from = cycleSeconds(fromFrame, &fromCycle);
    const double to = cycleSeconds(toFrame, &toCycle);
    const double rate = sampleRate();
    return to - from + (double(toFrame - toCycle) - double(fromFrame - fromCycle)) / rate;
}

bool JackRecorder::recordWhenConnected(int timeoutMs)
{
    if (!client_)
        return false;
    armed_ = waitUntil([&] { return jack_port_connected(ports_[0]) > 0; }, timeoutMs);
    return armed_;
}

bool JackRecorder::connect(int timeoutMs)
{
    if (!client_)
        return false;
    const std::string pattern = "^" + source_.toStdString() + ":";
    return waitUntil(
        [&] {
            const char** ports = jack_get_ports(client_, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
            if (!ports)
                return false;
            int connected = 0;
            for (int i = 0; ports[i] && i < 2; ++i) {
                if (jack_connect(client_, ports[i], jack_port_name(ports_[i])) == 0)
                    ++connected;
            }
            jack_free(ports);
            armed_ = connected > 0;
            return connected > 0;
        },
        timeoutMs);
}

bool jackConnectClients(const QString& fromClient, const QString& toClient, int timeoutMs)
{
    jack_client_t* client = openClient("connector");
    if (!client)
        return false;
    const std::string from = "^" + fromClient.toStdString() + ":", to = "^" + toClient.toStdString() + ":";
    const bool connected = waitUntil(
        [&] {
            const char** outputs = jack_get_ports(client, from.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
            const char** inputs = jack_get_ports(client, to.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
            int made = 0;
            for (int i = 0; outputs && inputs && outputs[i] && inputs[i]; ++i)
                made += jack_connect(client, outputs[i], inputs[i]) == 0 ? 1 : 0;
            jack_free(outputs);
            jack_free(inputs);
            return made > 0;
        },
        timeoutMs);
    jack_client_close(client);
    return connected;
}

JackXrunCounter::JackXrunCounter(const char* name)
{
    client_ = openClient(name);
    if (!client_)
        return;
    jack_set_xrun_callback(client_, &JackXrunCounter::xrun, this);
    if (jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackXrunCounter::~JackXrunCounter()
{
    if (client_) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
}

int JackXrunCounter::xrun(void* self)
{
    ++static_cast<JackXrunCounter*>(self)->xruns_;
    return 0;
}

int JackRecorder::xrun(void* self)
{
    auto* recorder = static_cast<JackRecorder*>(self);
    if (recorder->armed_.load())
        ++recorder->xruns_;
    return 0;
}

BlockComparison compareBlocks(const std::vector<float>& recorded, size_t first, size_t count, size_t blockFrames,
                              float (*signal)(long long frame), long long (*frameOf)(float sample))
{
    BlockComparison result;
    long long expectedNext = -1;
    for (size_t block = first; block + blockFrames <= first + count; block += blockFrames) {
        ++result.blocks;
        const long long start = frameOf(recorded[block]);
        if (start < 0) {
            ++result.badBlocks;
            continue;
        }
        if (expectedNext >= 0 && start != expectedNext)
            ++result.discontinuities;
        for (size_t i = 0; i < blockFrames; ++i) {
            if (recorded[block + i] != signal(start + (long long)i)) {
                ++result.badBlocks;
                break;
            }
        }
        expectedNext = start + (long long)blockFrames;
    }
    return result;
}

BlockComparison compareBlocksFromFirstSound(const std::vector<float>& recorded, size_t count, size_t blockFrames,
                                            float (*signal)(long long frame), long long (*frameOf)(float sample))
{
    size_t first = 0;
    while (first < count && recorded[first] == 0.0f)
        ++first;
    first -= first % blockFrames;
    return compareBlocks(recorded, first, count - first, blockFrames, signal, frameOf);
}

int JackRecorder::process(unsigned frames, void* self)
{
    auto* recorder = static_cast<JackRecorder*>(self);
    if (!recorder->armed_.load())
        return 0;
    const size_t at = recorder->written_.load();
    const size_t count = std::min<size_t>(frames, recorder->left_.size() - at);
    if (count == 0)
        return 0;
    const auto* left = static_cast<const float*>(jack_port_get_buffer(recorder->ports_[0], frames));
    const auto* right = static_cast<const float*>(jack_port_get_buffer(recorder->ports_[1], frames));
    std::memcpy(recorder->left_.data() + at, left, count * sizeof(float));
    std::memcpy(recorder->right_.data() + at, right, count * sizeof(float));
    const size_t cycle = recorder->cycles_.load();
    if (cycle < recorder->cycleStarts_.size()) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        recorder->cycleStarts_[cycle] = at;
        recorder->cycleNanos_[cycle] = (long long)now.tv_sec * 1000000000 + now.tv_nsec;
        recorder->cycles_.store(cycle + 1);
    }
    recorder->written_.store(at + count);
    return 0;
}

} // namespace clipdeck::test
