#include "audio/engine/CAGuard.h"
#include "audio/engine/CAHostClock.h"
#include "audio/engine/CAPThread.h"
#include "audio/engine/ZEPAudioLocklessPullRingBuffer.h"
#include "audio/engine/ZEPAudioPullRingBuffer.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <atomic>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

TEST(CAMutex, NestedLockingByOneThreadAndTryingFromAnother)
{
    CAMutex mutex("test");
    EXPECT_TRUE(mutex.Lock());
    EXPECT_FALSE(mutex.Lock()); // already held: no deadlock, nothing to unlock
    EXPECT_TRUE(mutex.IsOwnedByCurrentThread());

    bool wasLocked = true;
    EXPECT_TRUE(mutex.Try(wasLocked)); // held by the caller
    EXPECT_FALSE(wasLocked);

    std::thread other([&] {
        bool locked = true;
        EXPECT_FALSE(mutex.Try(locked));
        EXPECT_FALSE(locked);
        mutex.Unlock(); // not the owner: changes nothing
    });
    other.join();
    EXPECT_FALSE(mutex.IsFree());

    mutex.Unlock();
    EXPECT_TRUE(mutex.IsFree());
}

TEST(CAMutex, TheRenderSideCallsNeverThrowAndAnswerAStatus)
{
    static_assert(noexcept(std::declval<CAMutex&>().Try(std::declval<bool&>())));
    static_assert(noexcept(std::declval<CAMutex&>().Unlock()));
    static_assert(noexcept(std::declval<CAGuard&>().Notify()));
    static_assert(noexcept(std::declval<CAGuard&>().NotifyAll()));
    // A pthread failure on the render side: an error-checking mutex that pthread does not
    // hold, released by the thread CAMutex takes for its owner, answers EPERM.
    struct Refusing : CAMutex {
        Refusing() : CAMutex("refusing")
        {
            pthread_mutex_destroy(&mMutex);
            pthread_mutexattr_t attributes;
            pthread_mutexattr_init(&attributes);
            pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK);
            pthread_mutex_init(&mMutex, &attributes);
            pthread_mutexattr_destroy(&attributes);
            mOwner.store(pthread_self());
        }
    } mutex;
    OSStatus status = noErr;
    EXPECT_NO_THROW(status = mutex.Unlock());
    EXPECT_EQ(status, EPERM);
}

TEST(CAGuard, WaitsRequireOwnershipAndPastDeadlinesReturnAtOnce)
{
    CAGuard guard("test");
    try {
        guard.Wait();
        FAIL() << "waiting without owning the guard must throw";
    } catch (const CAException& e) {
        EXPECT_EQ(e.GetError(), 1);
    }
    CAMutexLocker locker(guard);
    EXPECT_TRUE(guard.WaitUntil(CAHostClock::GetCurrentTimeInNanos() - 1));
    EXPECT_TRUE(guard.WaitFor(1000)); // a time-out is a result
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
}

namespace {

// Exposes the run guard so a test can wake WaitForExit() without the thread ending.
class ObservedThread : public CAPThread {
public:
    using CAPThread::CAPThread;
    CAGuard& runGuard() { return mRunGuard; }
};

std::atomic<bool> g_release{false};
std::atomic<int> g_runs{0};

void* waitForRelease(void*)
{
    ++g_runs;
    while (!g_release.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return nullptr;
}

void* throwing(void*) { throw 42; }

void* countRun(void* flag)
{
    static_cast<std::atomic<bool>*>(flag)->store(true);
    return nullptr;
}

} // namespace

TEST(CAPThread, WaitForExitSurvivesSpuriousWakeUps)
{
    g_release = false;
    ObservedThread thread(waitForRelease, nullptr);
    thread.Start();
    std::atomic<bool> exited{false};
    std::thread waiter([&] {
        thread.WaitForExit();
        exited = true;
    });
    for (int i = 0; i < 50; ++i) {
        {
            CAMutexLocker locker(thread.runGuard());
            thread.runGuard().NotifyAll();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(exited.load());
    EXPECT_TRUE(thread.IsRunning());
    g_release = true;
    waiter.join();
    EXPECT_TRUE(exited.load());
    EXPECT_FALSE(thread.IsRunning());
}

TEST(CAPThread, ARoutineThatThrowsStillEndsItsThreadAndItCanStartAgain)
{
    CAPThread thread(throwing, nullptr);
    thread.Start();
    thread.WaitForExit();
    EXPECT_FALSE(thread.IsRunning());

    g_release = true;
    const int before = g_runs.load();
    CAPThread again(waitForRelease, nullptr);
    again.Start();
    again.WaitForExit();
    again.Start();
    again.WaitForExit();
    EXPECT_EQ(g_runs.load(), before + 2);
}

TEST(CAPThread, RefusedFixedPriorityStillRunsTheRoutine)
{
    // In a child process without the right to real-time scheduling, as a normal user is.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A real-time audio thread lets helpers ask for real-time priority below it.
        std::thread audio([] {
            sched_param parameters{};
            parameters.sched_priority = 20;
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters);
            ThreadPriority::noteAudioThread();
        });
        audio.join();
        if (geteuid() == 0 && setuid(65534) != 0)
            _exit(3);
        const rlimit none{0, 0};
        setrlimit(RLIMIT_RTPRIO, &none);
        std::atomic<bool> ran{false};
        CAPThread thread(countRun, &ran, CAPThread::kMaxThreadPriority, true);
        thread.Start();
        thread.WaitForExit();
        _exit(ran.load() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Records the thread's priority (on CAPThread's scale) as it runs.
void* recordPriority(void* priority)
{
    static_cast<std::atomic<UInt32>*>(priority)->store(CAPThread::GetThreadPriority(pthread_self(), 0));
    return nullptr;
}

TEST(CAPThread, HelpersRunBelowTheAudioThreadWhateverPriorityTheyAskFor)
{
    const struct {
        int audioPolicy;
        int audioPriority;
        UInt32 helperPriority; // 31: normal time-sharing; 31 + n: real-time priority n
    } cases[] = {
        {SCHED_OTHER, 0, 31},  // an audio thread without real-time scheduling (jackd -r)
        {SCHED_FIFO, 10, 40},  // real-time 10: helpers at 9, not at the 32 they ask for
        {SCHED_FIFO, 1, 31},   // nothing real-time fits below it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.audioPriority);
        ThreadPriority::resetForTesting();
        bool scheduled = true;
        std::thread audio([&] {
            sched_param parameters{};
            parameters.sched_priority = c.audioPriority;
            scheduled = pthread_setschedparam(pthread_self(), c.audioPolicy, &parameters) == 0;
            ThreadPriority::noteAudioThread();
        });
        audio.join();
        if (!scheduled)
            continue; // this machine refuses real-time scheduling: nothing to compare with
        std::atomic<UInt32> priority{0};
        CAPThread loader(recordPriority, &priority, CAPThread::kMaxThreadPriority, true);
        loader.Start();
        loader.WaitForExit();
        EXPECT_EQ(priority.load(), c.helperPriority);
    }
    ThreadPriority::resetForTesting();
}

// A producer that notes the priority of the thread that pulls it.
struct PriorityNotingSource : ZEPAudioPullRingBufferAudioSource, ZEPAudioLocklessPullRingBufferAudioSource {
    OSStatus pullFrames(UInt32*, AudioBufferList* list, const AudioTimeStamp*) override
    {
        priority.store(CAPThread::GetThreadPriority(pthread_self(), 0));
        for (UInt32 b = 0; b < list->mNumberBuffers; ++b)
            std::memset(list->mBuffers[b].mData, 0, list->mBuffers[b].mDataByteSize);
        return noErr;
    }
    std::atomic<UInt32> priority{0};
};

TEST(CAPThread, BothPullRingsLoadInRealTimeBelowTheAudioThread)
{
    // The locked ring's render only tries its lock, so its loader must not be preempted by
    // ordinary processes while it holds it; the lock-free ring's loader likewise keeps up.
    ThreadPriority::resetForTesting();
    bool scheduled = true;
    std::thread audio([&] {
        sched_param parameters{};
        parameters.sched_priority = 10;
        scheduled = pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters) == 0;
        ThreadPriority::noteAudioThread();
    });
    audio.join();
    if (scheduled) {
        AudioStreamBasicDescription format;
        ZEPCanonicalFloatASBD(&format, 2, true);
        PriorityNotingSource locked, lockFree;
        ZEPAudioPullRingBuffer lockedRing(format, 4096);
        ZEPAudioLocklessPullRingBuffer lockFreeRing(format, 4096);
        lockedRing.setAudioSource(&locked);
        lockFreeRing.setAudioSource(&lockFree);
        lockedRing.start();
        lockFreeRing.start();
        const auto pulled = [](const PriorityNotingSource& source) {
            for (int wait = 0; wait < 2000 && source.priority.load() == 0; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return source.priority.load();
        };
        EXPECT_EQ(pulled(locked), 40u); // real-time 9, just below the audio thread's 10
        EXPECT_EQ(pulled(lockFree), 40u);
        lockedRing.stop();
        lockFreeRing.stop();
    }
    ThreadPriority::resetForTesting();
}

TEST(CAPThread, PriorityReadsOnTheThirtyOneScale)
{
    EXPECT_EQ(CAPThread::GetThreadPriority(pthread_self(), 0), 31u);
    EXPECT_EQ(CAPThread::GetThreadPriority(0, 0), 0u);
}
