#include "app/CKTerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// [0]: read by the main loop; [1]: written by the handler.
int g_pipe[2] = {-1, -1};

void writeSignalNumber(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a signal that ends the program: this one may be dropped.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
    errno = savedErrno;
}

} // namespace

CKTerminationSignals::CKTerminationSignals(std::function<void(int)> action, QObject* parent)
    : QObject(parent), action_(std::move(action))
{
    if (g_pipe[0] >= 0)
        return; // one object per program
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        qWarning("Signals cannot be watched: %s", strerror(errno));
        return;
    }
    ::fcntl(g_pipe[1], F_SETFL, ::fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);
    ::fcntl(g_pipe[0], F_SETFL, ::fcntl(g_pipe[0], F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CKTerminationSignals::readSignals);

    struct sigaction handler = {};
    handler.sa_handler = writeSignalNumber;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &handler, &previous_[i]);
    installed_ = true;
}

CKTerminationSignals::~CKTerminationSignals()
{
    if (!installed_)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void CKTerminationSignals::readSignals()
{
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(g_pipe[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            action_(numbers[i]);
    }
}
