#include "audio/engine/CAGuard.h"

#include "audio/engine/CAHostClock.h"

#include <cerrno>
#include <time.h>

CAGuard::CAGuard(const char* name) : CAMutex(name)
{
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    // Timed waits measure against the monotonic clock, like host time.
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    const int status = pthread_cond_init(&mCondVar, &attributes);
    pthread_condattr_destroy(&attributes);
    if (status) {
        pthread_mutex_destroy(&mMutex);
        throw CAException(status);
    }
}

CAGuard::~CAGuard() { pthread_cond_destroy(&mCondVar); }

void CAGuard::Wait()
{
    if (!IsOwnedByCurrentThread())
        throw CAException(1);
    mOwner.store(0);
    const int status = pthread_cond_wait(&mCondVar, &mMutex);
    mOwner.store(pthread_self());
    if (status)
        throw CAException(status);
}

bool CAGuard::WaitFor(UInt64 nanos)
{
    if (!IsOwnedByCurrentThread())
        throw CAException(1);
    timespec relative{};
    if (nanos < 1000000000ull) {
        relative.tv_sec = 0;
        relative.tv_nsec = long(nanos);
    } else {
        relative.tv_sec = time_t(nanos / 1000000000ull);
        relative.tv_nsec = long(nanos % 1000000000ull);
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += relative.tv_sec;
    deadline.tv_nsec += relative.tv_nsec;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    mOwner.store(0);
    const int status = pthread_cond_timedwait(&mCondVar, &mMutex, &deadline);
    mOwner.store(pthread_self());
    if (status == ETIMEDOUT)
        return true;
    if (status)
        throw CAException(status);
    return false;
}

bool CAGuard::WaitUntil(UInt64 absoluteNanos)
{
    const UInt64 now = CAHostClock::GetCurrentTimeInNanos();
    if (now >= absoluteNanos)
        return true;
    return WaitFor(absoluteNanos - now);
}

OSStatus CAGuard::Notify() noexcept { return pthread_cond_signal(&mCondVar); }

OSStatus CAGuard::NotifyAll() noexcept { return pthread_cond_broadcast(&mCondVar); }
