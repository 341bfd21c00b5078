#include "audio/engine/CAGuard.h"
#include "audio/engine/CAHostClock.h"
#include "audio/engine/CAPThread.h"

#include <gtest/gtest.h>

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

TEST(CAPThread, PriorityReadsOnTheDesignsScale)
{
    EXPECT_EQ(CAPThread::GetThreadPriority(pthread_self(), 0), 31u);
    EXPECT_EQ(CAPThread::GetThreadPriority(0, 0), 0u);
}
