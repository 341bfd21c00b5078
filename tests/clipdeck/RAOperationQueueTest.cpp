// The cache work queue: push order and priorities, pushes from many threads, suspending
// while an operation runs (what the worker had taken is handed back and runs after the
// resume, in order), never two operations at once across quick suspends and resumes, and
// the ready-made selector operations.
#include "clipdeck/RAOperationQueue.h"
#include "clipdeck/RASelectorOperation.h"

#include "support/TestEnvironment.h"

#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace clipdeck::test;

namespace {

// What ran, in order, and how many ran at the same time at most.
class RunLog {
public:
    void enter()
    {
        const int now = ++mRunning;
        int seen = mMostAtOnce.load();
        while (now > seen && !mMostAtOnce.compare_exchange_weak(seen, now)) {
        }
    }
    void leave(int id)
    {
        {
            std::lock_guard lock(mMutex);
            mOrder.push_back(id);
        }
        --mRunning;
    }
    std::vector<int> order() const
    {
        std::lock_guard lock(mMutex);
        return mOrder;
    }
    size_t count() const { return order().size(); }
    int mostAtOnce() const { return mMostAtOnce.load(); }

private:
    mutable std::mutex mMutex;
    std::vector<int> mOrder;
    std::atomic<int> mRunning{0};
    std::atomic<int> mMostAtOnce{0};
};

class LoggedOperation : public RAOperation {
public:
    LoggedOperation(RunLog& log, int id, std::function<void()> work = {}) : mLog(log), mId(id), mWork(std::move(work)) {}
    void run() override
    {
        mLog.enter();
        if (mWork)
            mWork();
        mLog.leave(mId);
    }

private:
    RunLog& mLog;
    int mId;
    std::function<void()> mWork;
};

// Holds an operation inside its run() until it is opened.
class Gate {
public:
    void pass()
    {
        std::unique_lock lock(mMutex);
        mEntered = true;
        mChanged.notify_all();
        mChanged.wait(lock, [this] { return mOpen; });
    }
    void waitUntilEntered()
    {
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [this] { return mEntered; });
    }
    void open()
    {
        std::lock_guard lock(mMutex);
        mOpen = true;
        mChanged.notify_all();
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mEntered = false;
    bool mOpen = false;
};

bool waitForCount(const RunLog& log, size_t count)
{
    return waitUntil([&log, count] { return log.count() >= count; }, 30000);
}

std::shared_ptr<LoggedOperation> operation(RunLog& log, int id, std::function<void()> work = {})
{
    return std::make_shared<LoggedOperation>(log, id, std::move(work));
}

} // namespace

TEST(RAOperationQueue, runsInPushOrderAndAHighPriorityOperationBeforeTheNextNormalOne)
{
    RAOperationQueue queue;
    RunLog log;
    Gate gate;
    queue.addOperation(operation(log, 1, [&gate] { gate.pass(); }));
    gate.waitUntilEntered();
    queue.addOperation(operation(log, 2));
    queue.addOperation(operation(log, 3));
    queue.addHighPriorityOperation(operation(log, 100));
    gate.open();
    ASSERT_TRUE(waitForCount(log, 4));
    EXPECT_EQ(log.order(), (std::vector<int>{1, 100, 2, 3}));
}

TEST(RAOperationQueue, everyOperationPushedFromManyThreadsRunsOnceInItsThreadsOrder)
{
    RAOperationQueue queue;
    RunLog log;
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([&queue, &log, t] {
            for (int i = 0; i < kEach; ++i)
                queue.addOperation(operation(log, t * kEach + i));
        });
    }
    for (std::thread& producer : producers)
        producer.join();
    ASSERT_TRUE(waitForCount(log, kThreads * kEach));
    std::vector<int> last(kThreads, -1);
    for (int id : log.order()) {
        EXPECT_GT(id % kEach, last[id / kEach]);
        last[id / kEach] = id % kEach;
    }
    EXPECT_EQ(log.mostAtOnce(), 1);
}

TEST(RAOperationQueue, suspendingLetsTheRunningOperationFinishAndWhatWasTakenRunsAfterTheResume)
{
    RAOperationQueue queue;
    RunLog log;
    Gate gate;
    // Pushed while suspended, so the worker takes all three off the list at once.
    queue.setSuspended(true);
    queue.addOperation(operation(log, 1, [&gate] { gate.pass(); }));
    queue.addOperation(operation(log, 2));
    queue.addOperation(operation(log, 3));
    queue.setSuspended(false);
    gate.waitUntilEntered();
    queue.setSuspended(true);
    queue.addOperation(operation(log, 4));
    gate.open();
    ASSERT_TRUE(waitForCount(log, 1));
    queue.setSuspended(false);
    ASSERT_TRUE(waitForCount(log, 4));
    EXPECT_EQ(log.order(), (std::vector<int>{1, 2, 3, 4}));
}

TEST(RAOperationQueue, neverRunsTwoOperationsAtOnceAcrossQuickSuspendsAndResumes)
{
    RAOperationQueue queue;
    RunLog log;
    constexpr int kOperations = 2000;
    std::atomic<int> spin{0};
    for (int i = 0; i < kOperations; ++i) {
        queue.addOperation(operation(log, i, [&spin] {
            for (int k = 0; k < 200; ++k)
                spin.fetch_add(1, std::memory_order_relaxed);
        }));
        if (i % 4 == 0) {
            queue.setSuspended(true);
            queue.setSuspended(false);
        }
    }
    ASSERT_TRUE(waitForCount(log, kOperations));
    EXPECT_EQ(log.mostAtOnce(), 1);
    std::vector<int> expected(kOperations);
    for (int i = 0; i < kOperations; ++i)
        expected[size_t(i)] = i;
    EXPECT_EQ(log.order(), expected);
}

TEST(RAOperationQueue, aQueueThatGoesDropsWhatHasNotRun)
{
    // Suspended while its first worker may still be looking at its lists: nothing added
    // after the suspension starts, and the queue drops it as it goes.
    RunLog log;
    for (int round = 0; round < 300; ++round) {
        RAOperationQueue queue;
        queue.setSuspended(true);
        queue.addOperation(operation(log, 1));
        queue.addHighPriorityOperation(operation(log, 2));
    }
    EXPECT_EQ(log.count(), 0u);
}

namespace {

class SelectorTarget : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE QString greet(const QString& name) { return "hello " + name; }
    Q_INVOKABLE void touch(int times) { touched += times; }
    std::atomic<int> touched{0};
};

} // namespace

TEST(RASelectorOperation, callsTheMethodByNameAndKeepsItsResult)
{
    auto target = std::make_shared<SelectorTarget>();
    RASelectorOperation greet(target, "greet", QStringLiteral("board"));
    greet.run();
    EXPECT_EQ(greet.result().toString(), "hello board");

    RASelectorOperation touch(target, "touch", 3);
    touch.run();
    EXPECT_EQ(target->touched.load(), 3);
    EXPECT_FALSE(touch.result().isValid());

    RASelectorOperation unknown(target, "noSuchMethod", 1);
    unknown.run();
    EXPECT_FALSE(unknown.result().isValid());
    EXPECT_TRUE(unknown.description().contains("noSuchMethod"));
}

TEST(RAWaitableSelectorOperation, waitReturnsOnceRunHasCompletedAlsoWhenItCompletedBefore)
{
    RAOperationQueue queue;
    auto target = std::make_shared<SelectorTarget>();
    auto later = std::make_shared<RAWaitableSelectorOperation>(target, "touch", 1);
    queue.addOperation(later);
    later->waitUntilDone();
    EXPECT_EQ(target->touched.load(), 1);

    auto before = std::make_shared<RAWaitableSelectorOperation>(target, "greet", QStringLiteral("again"));
    before->run();
    before->waitUntilDone();
    EXPECT_EQ(before->result().toString(), "hello again");
}

#include "RAOperationQueueTest.moc"
