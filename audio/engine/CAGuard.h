#pragma once
// A CAMutex with a condition variable. Every wait requires the caller to own the guard
// (otherwise it throws CAException(1)); a wait gives up ownership while it sleeps and takes
// it back on waking. Waits may wake spuriously: callers wait in a loop on their condition.
// Notify() and NotifyAll() never throw: they answer 0 or the pthread error.

#include "audio/engine/CAMutex.h"

class CAGuard : public CAMutex {
public:
    explicit CAGuard(const char* name);
    ~CAGuard() override;

    virtual void Wait();
    // True when it timed out (a time-out is a result, not a failure).
    virtual bool WaitFor(UInt64 nanos);
    // Waits until the host time in nanoseconds reaches absoluteNanos; true when it timed
    // out, at once when that time has passed.
    virtual bool WaitUntil(UInt64 absoluteNanos);
    virtual OSStatus Notify() noexcept;
    virtual OSStatus NotifyAll() noexcept;

protected:
    pthread_cond_t mCondVar;
};
