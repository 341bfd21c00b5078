#include "platform/devices/JackDeviceLister.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kListerName = "clipdeck-jack-devices";

// Reads all of fd until its end or the deadline; false at the deadline.
bool readUntilEnd(int fd, std::string& text, std::chrono::steady_clock::time_point deadline)
{
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd watched{fd, POLLIN, 0};
        const int ready = poll(&watched, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        text.append(buffer, size_t(got));
    }
}

} // namespace

std::string jackDeviceListerPath()
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string beside(self, size_t(length));
        beside = beside.substr(0, beside.rfind('/') + 1) + kListerName;
        if (access(beside.c_str(), X_OK) == 0)
            return beside;
    }
    return CLIPDECK_JACK_DEVICE_LISTER;
}

std::optional<DeviceListing> listJackDevicesInChildProcess(int timeoutMs)
{
    // Never destroyed: the device list's poll thread may still read it while the program's
    // statics are torn down at exit.
    static const std::string& program = *new std::string(jackDeviceListerPath());
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;
    // Standard output into the pipe, standard error nowhere, nothing else of ours open in
    // the child (the file actions run between fork and exec, async-signal-safe).
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with default signal dispositions and none blocked, whatever this
    // process set for its own threads.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return std::nullopt;
    }
    std::string text;
    const bool ended = readUntilEnd(pipeFds[0], text, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
    close(pipeFds[0]);
    if (!ended)
        kill(child, SIGKILL); // hung in libjack: its locks die with it
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return ended ? parseListing(text) : std::nullopt;
}
