#include "audio/engine/CAMutex.h"

#include <cerrno>

CAMutex::CAMutex(const char* name) : mName(name)
{
    if (const int status = pthread_mutex_init(&mMutex, nullptr))
        throw CAException(status);
}

CAMutex::~CAMutex() { pthread_mutex_destroy(&mMutex); }

bool CAMutex::Lock()
{
    const pthread_t self = pthread_self();
    if (pthread_equal(mOwner.load(), self))
        return false;
    if (const int status = pthread_mutex_lock(&mMutex))
        throw CAException(status);
    mOwner.store(self);
    return true;
}

OSStatus CAMutex::Unlock() noexcept
{
    if (!pthread_equal(mOwner.load(), pthread_self()))
        return noErr;
    mOwner.store(0);
    return pthread_mutex_unlock(&mMutex);
}

bool CAMutex::Try(bool& outWasLocked) noexcept
{
    outWasLocked = false;
    const pthread_t self = pthread_self();
    if (pthread_equal(mOwner.load(), self))
        return true;
    if (pthread_mutex_trylock(&mMutex) != 0)
        return false; // busy, or a failure: either way the caller does not hold it
    mOwner.store(self);
    outWasLocked = true;
    return true;
}

bool CAMutex::IsFree() const noexcept { return mOwner.load() == 0; }

bool CAMutex::IsOwnedByCurrentThread() const noexcept { return pthread_equal(mOwner.load(), pthread_self()); }
