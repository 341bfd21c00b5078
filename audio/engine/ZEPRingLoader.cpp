#include "audio/engine/ZEPRingLoader.h"

#include <cerrno>
#include <limits>
#include <system_error>
#include <time.h>

namespace {

// How long a loader with nothing to do sleeps before it looks again on its own: a safety
// net only, every change that needs it wakes it.
constexpr std::chrono::milliseconds kIdleSleep{250};

} // namespace

ZEPRingLoader::ZEPRingLoader(Ring& ring, SInt32 priority, bool fixedPriority)
    : mRing(ring), mPriority(priority), mFixedPriority(fixedPriority)
{
    if (sem_init(&mWake, 0, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "ZEPRingLoader semaphore");
}

ZEPRingLoader::~ZEPRingLoader()
{
    stop();
    sem_destroy(&mWake);
}

bool ZEPRingLoader::isRunning() const { return (mState.load() & kModeMask) == kRunning; }

void ZEPRingLoader::start()
{
    std::lock_guard lock(mControl);
    for (;;) {
        unsigned state = mState.load();
        const unsigned mode = state & kModeMask;
        if (mode == kRunning || mode == kStopRequested) {
            // Counted as a start: a loader that is about to end on the producer's end goes
            // on, since whoever starts it has repositioned the producer.
            const unsigned next = ((state & ~kModeMask) + kStartStep) | kRunning;
            if (!mState.compare_exchange_weak(state, next))
                continue;
            wake();
            return;
        }
        break;
    }
    // Stopped, or ending by itself: a new thread. One that is still ending touches nothing of
    // the loader any more: it is not waited for, only kept until it is gone.
    if (mThread) {
        if (mRetired)
            mRetired->WaitForExit(); // an older one, long gone but for a rare slow exit
        mRetired = std::move(mThread);
    }
    if (mRetired && !mRetired->IsRunning()) {
        mRetired->WaitForExit(); // it may still be letting go of its own guard
        mRetired.reset();
    }
    mState.store(((mState.load() & ~kModeMask) + kStartStep) | kRunning);
    mThread = std::make_unique<CAPThread>(&ZEPRingLoader::entry, this, mPriority, mFixedPriority, false);
    try {
        mThread->Start();
    } catch (...) {
        mThread.reset();
        mState.store(mState.load() & ~kModeMask);
        throw;
    }
}

void ZEPRingLoader::requestStop() noexcept
{
    unsigned state = mState.load();
    while ((state & kModeMask) == kRunning &&
           !mState.compare_exchange_weak(state, (state & ~kModeMask) | kStopRequested)) {
    }
    // Posted whether it sleeps or not: a loader about to sleep finds the post at once.
    sem_post(&mWake);
}

void ZEPRingLoader::stop()
{
    std::lock_guard lock(mControl);
    requestStop();
    for (std::unique_ptr<CAPThread>* thread : {&mThread, &mRetired}) {
        if (*thread) {
            (*thread)->WaitForExit();
            thread->reset();
        }
    }
    mState.store(mState.load() & ~kModeMask);
    // Posts nobody waited for must not cut a later sleep short.
    while (sem_trywait(&mWake) == 0) {
    }
}

void ZEPRingLoader::wake() noexcept
{
    if (mSleeping.load(std::memory_order_relaxed) && mSleeping.exchange(false))
        sem_post(&mWake);
}

void ZEPRingLoader::readerDidRead() noexcept
{
    if (mSleeping.load(std::memory_order_relaxed) && ringNeedsFrames() && mSleeping.exchange(false))
        sem_post(&mWake);
}

bool ZEPRingLoader::ringNeedsFrames() const
{
    const UInt32 mark = mRefillMark.load(std::memory_order_relaxed);
    return mRing.loaderHeldFrames() < (mark ? mark : std::numeric_limits<UInt32>::max()) &&
           mRing.loaderSpaceFrames() >= mPullFrames.load(std::memory_order_relaxed);
}

void* ZEPRingLoader::entry(void* loader)
{
    static_cast<ZEPRingLoader*>(loader)->run();
    return nullptr;
}

void ZEPRingLoader::sleep(std::chrono::nanoseconds pause)
{
    mSleeping.store(true);
    // What changed before the loader said it sleeps got no post: look once more.
    if ((ringNeedsFrames() && pause == kIdleSleep) || (mState.load() & kModeMask) != kRunning) {
        if (!mSleeping.exchange(false))
            sem_wait(&mWake); // a reader posted meanwhile: take its post
        return;
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(pause).count();
    deadline.tv_sec += time_t(nanos / 1000000000);
    deadline.tv_nsec += long(nanos % 1000000000);
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (sem_clockwait(&mWake, CLOCK_MONOTONIC, &deadline) != 0 && errno == EINTR) {
    }
    // A post that comes after a time-out is taken by the next sleep, which then looks again.
    mSleeping.store(false);
}

bool ZEPRingLoader::mayEnd(unsigned stateAtPull)
{
    unsigned expected = stateAtPull;
    if (mState.compare_exchange_strong(expected, (stateAtPull & ~kModeMask) | kEnding))
        return true;
    // Asked to stop meanwhile: end as asked. Started again: go on.
    while ((expected & kModeMask) == kStopRequested) {
        if (mState.compare_exchange_weak(expected, (expected & ~kModeMask) | kEnding))
            return true;
    }
    return false;
}

void ZEPRingLoader::run()
{
    bool filling = false;
    for (;;) {
        unsigned state = mState.load();
        if ((state & kModeMask) == kStopRequested) {
            if (mState.compare_exchange_strong(state, (state & ~kModeMask) | kEnding))
                break;
            continue;
        }
        mThread->RefreshPriority();
        const UInt32 pull = mPullFrames.load();
        const UInt32 mark = mRefillMark.load();
        const bool fits = mRing.loaderSpaceFrames() >= pull;
        filling = (fits && (filling || mark == 0 || mRing.loaderHeldFrames() < mark)) || mRing.loaderMustPull();
        if (!filling) {
            sleep(kIdleSleep);
            continue;
        }
        UInt32 delivered = 0;
        const OSStatus result = mRing.loaderPull(&delivered);
        const bool ended = result == kZEPAudioSourceEndOfData || (result == noErr && delivered == 0);
        if (ended && !mIgnoreEmpty.load()) {
            if (mayEnd(state))
                break;
            continue;
        }
        if (delivered == 0) {
            filling = false;
            sleep(mRetryPause); // nothing for now: try again later
        }
    }
}

OSStatus ZEPRingLoader::prime(UInt32 frames)
{
    OSStatus result = noErr;
    const UInt32 pull = mPullFrames.load();
    while (mRing.loaderHeldFrames() < frames && mRing.loaderSpaceFrames() >= pull) {
        UInt32 delivered = 0;
        result = mRing.loaderPull(&delivered);
        if (result != noErr || delivered == 0)
            break;
    }
    return result;
}
