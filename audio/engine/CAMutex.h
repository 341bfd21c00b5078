#pragma once
// A pthread mutex (not recursive) that knows its owner, so a thread can ask whether it
// holds it and nested Lock() calls by one thread do not deadlock: Lock() answers false when
// the caller holds it already, and callers unlock only when their Lock() answered true.
// Try() and Unlock() are the only calls a render thread may make: they never throw and never
// wait (a pthread failure is a status: Try() then answers false, Unlock() the error). The
// other calls throw CAException when a pthread call fails.

#include "audio/engine/CAException.h"

#include <atomic>
#include <pthread.h>

class CAMutex {
public:
    explicit CAMutex(const char* name);
    virtual ~CAMutex();
    CAMutex(const CAMutex&) = delete;
    CAMutex& operator=(const CAMutex&) = delete;

    // True when this call took the mutex; false at once when the caller holds it already.
    virtual bool Lock();
    // Frees the mutex when the caller holds it; nothing otherwise. 0 or the pthread error.
    virtual OSStatus Unlock() noexcept;
    // Never waits. True when the caller holds the mutex afterwards; outWasLocked tells
    // whether this call took it (false when the caller held it already). A pthread failure
    // other than "busy" answers false as well.
    virtual bool Try(bool& outWasLocked) noexcept;
    virtual bool IsFree() const noexcept;
    virtual bool IsOwnedByCurrentThread() const noexcept;

    const char* GetName() const { return mName; }

protected:
    const char* mName;
    std::atomic<pthread_t> mOwner{0};
    pthread_mutex_t mMutex;
};

// Holds a CAMutex for a scope, unlocking only when it took it.
class CAMutexLocker {
public:
    explicit CAMutexLocker(CAMutex& mutex) : mMutex(mutex), mNeedsRelease(mutex.Lock()) {}
    ~CAMutexLocker()
    {
        if (mNeedsRelease)
            mMutex.Unlock();
    }
    CAMutexLocker(const CAMutexLocker&) = delete;
    CAMutexLocker& operator=(const CAMutexLocker&) = delete;

private:
    CAMutex& mMutex;
    bool mNeedsRelease;
};
