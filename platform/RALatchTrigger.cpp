#include "platform/RALatchTrigger.h"

#include "platform/InternalInconsistencyException.h"

#include <QString>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

[[noreturn]] void raise(const char* format, int code)
{
    throw NSInternalInconsistencyException(QString::asprintf(format, unsigned(code)).toStdString());
}

} // namespace

RALatchTrigger::RALatchTrigger()
{
    mDescriptor = eventfd(0, EFD_CLOEXEC);
    if (mDescriptor < 0)
        raise("RALatchTrigger: could not allocate event descriptor: %x", errno);
}

RALatchTrigger::~RALatchTrigger()
{
    if (close(mDescriptor) != 0 && errno != EINTR)
        std::abort();
}

void RALatchTrigger::signal()
{
    const uint64_t one = 1;
    for (;;) {
        if (write(mDescriptor, &one, sizeof one) == ssize_t(sizeof one))
            return;
        if (errno == EINTR)
            continue;
        // The counter is full: wake-ups are pending already.
        if (errno == EAGAIN)
            return;
        raise("RALatchTrigger: send failed with code %x", errno);
    }
}

void RALatchTrigger::wait()
{
    uint64_t pending = 0;
    for (;;) {
        if (read(mDescriptor, &pending, sizeof pending) == ssize_t(sizeof pending))
            return;
        if (errno == EINTR)
            continue;
        raise("RALatchTrigger: receive failed with code %x", errno);
    }
}
