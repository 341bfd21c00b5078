#include "support/ChildProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace clipdeck::test {

QByteArray runProgram(const QString& program, const QStringList& arguments, bool* ok)
{
    *ok = false;
    // Everything the child needs is made before the fork: after it, only async-signal-safe
    // calls until the exec.
    std::vector<QByteArray> storage{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        const int nowhere = open("/dev/null", O_RDWR);
        dup2(nowhere, 0);
        dup2(output[1], 1);
        dup2(nowhere, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(output[1]);
    QByteArray result;
    if (pid > 0) {
        char buffer[65536];
        for (;;) {
            const ssize_t count = read(output[0], buffer, sizeof buffer);
            if (count > 0)
                result.append(buffer, count);
            else if (count == 0 || errno != EINTR)
                break;
        }
    }
    close(output[0]);
    if (pid < 0)
        return {};
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

} // namespace clipdeck::test
