#pragma once
// A thread object with a scheduling priority. Priorities are on a scale where 31 is the
// normal time-sharing priority; a fixed priority above it (the ring loaders ask for 63), or
// a time constraint, asks for the real-time FIFO policy at (priority - 31), which the
// program grants only below its audio threads (platform/ThreadPriority.h): strictly below
// the device's process thread, or normal time-sharing when that thread is not real-time or
// has not run yet. Where raising the priority is refused (usual for a normal user), the
// thread runs its routine anyway at normal priority and the refusal is logged once per
// process. A thread that runs long calls RefreshPriority() now and then, to follow the
// audio threads' priority as it becomes known.
//
// Life: idle until Start(), running until its routine returns, then idle again; it can be
// started again. To stop it, its owner makes the routine return, calls WaitForExit(), and
// only then deletes the object. WaitForExit() returns only once the routine has finished
// and the thread no longer touches the object.

#include "audio/engine/CAGuard.h"

class CAPThread {
public:
    using ThreadRoutine = void* (*)(void* parameter);

    static constexpr SInt32 kDefaultThreadPriority = 31;
    static constexpr SInt32 kMaxThreadPriority = 63;

    CAPThread(ThreadRoutine routine, void* parameter, SInt32 priority = kDefaultThreadPriority,
              bool fixedPriority = false, bool autoDelete = false);
    CAPThread(ThreadRoutine routine, void* parameter, UInt32 period, UInt32 computation, UInt32 constraint,
              bool preemptible, bool autoDelete = false);
    virtual ~CAPThread();
    CAPThread(const CAPThread&) = delete;
    CAPThread& operator=(const CAPThread&) = delete;

    // The priority of a thread on the scale above: kind 1 the current priority, any other
    // kind the base priority; 0 for a null thread.
    static UInt32 GetThreadPriority(pthread_t thread, int kind);
    UInt32 GetCurrentPriority() const { return GetThreadPriority(mPThread.load(), 1); }

    // Stored, and applied at once when the thread runs (from any thread).
    void SetPriority(SInt32 priority, bool fixedPriority);
    void SetTimeConstraints(UInt32 period, UInt32 computation, UInt32 constraint, bool preemptible);
    // On the object's own thread: applies the scheduling again when the audio threads'
    // priority changed since it was last applied.
    void RefreshPriority();

    // Starts the routine on a new detached thread unless one runs already. Throws CAException.
    virtual void Start();
    // Returns once the routine has finished (waits for as long as that takes).
    virtual void WaitForExit();

    bool IsRunning() const { return mPThread.load() != 0; }
    pthread_t GetPThread() const { return mPThread.load(); }

protected:
    static void* Entry(void* object);
    // Applies the stored scheduling to thread, the object's running thread.
    void ApplyScheduling(pthread_t thread);

    std::atomic<pthread_t> mPThread{0};
    UInt32 mSpawningThreadPriority;
    CAGuard mRunGuard;
    ThreadRoutine mThreadRoutine;
    void* mThreadParameter;
    SInt32 mPriority;
    UInt32 mPeriod = 0;
    UInt32 mComputation = 0;
    UInt32 mConstraint = 0;
    bool mIsPreemptible = true;
    bool mTimeConstraintSet = false;
    std::atomic<unsigned> mAppliedGeneration{0};
    bool mFixedPriority;
    bool mAutoDelete;
};
