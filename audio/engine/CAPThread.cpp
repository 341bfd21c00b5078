#include "audio/engine/CAPThread.h"

#include "platform/ThreadPriority.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <sched.h>

namespace {

std::atomic<bool> g_refusalLogged{false};

void logRefusalOnce(int status)
{
    if (!g_refusalLogged.exchange(true))
        qWarning("CAPThread: raising a thread's priority was refused (error %d); threads run at normal priority", status);
}

} // namespace

CAPThread::CAPThread(ThreadRoutine routine, void* parameter, SInt32 priority, bool fixedPriority, bool autoDelete)
    : mSpawningThreadPriority(GetThreadPriority(pthread_self(), 0)), mRunGuard("CAPThread guard"),
      mThreadRoutine(routine), mThreadParameter(parameter), mPriority(priority), mFixedPriority(fixedPriority),
      mAutoDelete(autoDelete)
{
}

CAPThread::CAPThread(ThreadRoutine routine, void* parameter, UInt32 period, UInt32 computation, UInt32 constraint,
                     bool preemptible, bool autoDelete)
    : mSpawningThreadPriority(GetThreadPriority(pthread_self(), 0)), mRunGuard("CAPThread guard"),
      mThreadRoutine(routine), mThreadParameter(parameter), mPriority(kDefaultThreadPriority), mPeriod(period),
      mComputation(computation), mConstraint(constraint), mIsPreemptible(preemptible), mTimeConstraintSet(true),
      mFixedPriority(false), mAutoDelete(autoDelete)
{
}

CAPThread::~CAPThread() = default;

UInt32 CAPThread::GetThreadPriority(pthread_t thread, int /*kind*/)
{
    if (thread == 0)
        return 0;
    int policy = 0;
    sched_param parameters{};
    if (pthread_getschedparam(thread, &policy, &parameters) != 0)
        return 0;
    switch (policy) {
    case SCHED_OTHER:
    case SCHED_BATCH:
    case SCHED_IDLE:
        return kDefaultThreadPriority;
    case SCHED_FIFO:
    case SCHED_RR:
        return UInt32(kDefaultThreadPriority + parameters.sched_priority);
    default:
        return 0;
    }
}

void CAPThread::SetPriority(SInt32 priority, bool fixedPriority)
{
    mPriority = priority;
    mFixedPriority = fixedPriority;
    mTimeConstraintSet = false;
    if (const pthread_t thread = mPThread.load())
        ApplyScheduling(thread);
}

void CAPThread::SetTimeConstraints(UInt32 period, UInt32 computation, UInt32 constraint, bool preemptible)
{
    mPeriod = period;
    mComputation = computation;
    mConstraint = constraint;
    mIsPreemptible = preemptible;
    mTimeConstraintSet = true;
    if (const pthread_t thread = mPThread.load())
        ApplyScheduling(thread);
}

void CAPThread::ApplyScheduling(pthread_t thread)
{
    // A time constraint and a fixed priority both ask for the real-time FIFO policy, which
    // ThreadPriority grants below the audio threads only; anything else stays in normal
    // time-sharing.
    mAppliedGeneration.store(ThreadPriority::generation());
    int wanted = 0;
    if (mTimeConstraintSet)
        wanted = kMaxThreadPriority - kDefaultThreadPriority;
    else if (mFixedPriority && mPriority > kDefaultThreadPriority)
        wanted = mPriority - kDefaultThreadPriority;
    else
        return;
    if (const int status = ThreadPriority::applyToHelper(thread, wanted))
        logRefusalOnce(status);
}

void CAPThread::RefreshPriority()
{
    if (mAppliedGeneration.load() != ThreadPriority::generation())
        ApplyScheduling(pthread_self());
}

void CAPThread::Start()
{
    const bool locked = mRunGuard.Lock();
    if (mPThread.load() == 0) {
        pthread_attr_t attributes;
        int status = pthread_attr_init(&attributes);
        if (status == 0) {
            pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
            pthread_t thread = 0;
            status = pthread_create(&thread, &attributes, &CAPThread::Entry, this);
            pthread_attr_destroy(&attributes);
            if (status == 0 && thread == 0)
                status = -1;
            if (status == 0)
                mPThread.store(thread);
        }
        if (status) {
            if (locked)
                mRunGuard.Unlock();
            throw CAException(status);
        }
    }
    if (locked)
        mRunGuard.Unlock();
}

void* CAPThread::Entry(void* object)
{
    auto* thread = static_cast<CAPThread*>(object);
    // Scheduling is applied from the new thread itself; a refusal leaves it at normal
    // priority and the routine still runs.
    thread->ApplyScheduling(pthread_self());

    void* result = nullptr;
    if (thread->mThreadRoutine) {
        try {
            result = thread->mThreadRoutine(thread->mThreadParameter);
        } catch (...) {
            result = nullptr;
        }
    }

    // Read everything needed before the handle is cleared: once WaitForExit() has seen it
    // cleared, the owner may delete the object.
    const bool autoDelete = thread->mAutoDelete;
    {
        const bool locked = thread->mRunGuard.Lock();
        thread->mPThread.store(0);
        thread->mRunGuard.NotifyAll();
        if (locked)
            thread->mRunGuard.Unlock();
    }
    if (autoDelete)
        delete thread;
    return result;
}

void CAPThread::WaitForExit()
{
    const bool locked = mRunGuard.Lock();
    // Loop: a wake-up that is not the thread's own (a spurious one) must not end the wait.
    while (mPThread.load() != 0)
        mRunGuard.Wait();
    if (locked)
        mRunGuard.Unlock();
}
