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

void CAMutex::Unlock()
{
    if (!pthread_equal(mOwner.load(), pthread_self()))
        return;
    mOwner.store(0);
    if (const int status = pthread_mutex_unlock(&mMutex))
        throw CAException(status);
}

bool CAMutex::Try(bool& outWasLocked)
{
    outWasLocked = false;
    const pthread_t self = pthread_self();
    if (pthread_equal(mOwner.load(), self))
        return true;
    const int status = pthread_mutex_trylock(&mMutex);
    if (status == EBUSY)
        return false;
    if (status)
        throw CAException(status);
    mOwner.store(self);
    outWasLocked = true;
    return true;
}

bool CAMutex::IsFree() const { return mOwner.load() == 0; }

bool CAMutex::IsOwnedByCurrentThread() const { return pthread_equal(mOwner.load(), pthread_self()); }
