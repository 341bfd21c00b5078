#include "platform/MainThread.h"

#include "support/AllocationCounter.h"
#include "support/TestEnvironment.h"

#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using clipdeck::test::waitUntil;

namespace {

struct Recorder {
    std::vector<intptr_t> values;
    std::vector<bool> onMainThread;
};

void record(void* context, intptr_t argument)
{
    auto* recorder = static_cast<Recorder*>(context);
    recorder->values.push_back(argument);
    recorder->onMainThread.push_back(mainthread::isMainThread());
}

} // namespace

TEST(MainThread, RealtimePostsRunOnTheMainThreadInOrderWithoutAllocating)
{
    Recorder recorder;
    recorder.values.reserve(100);
    int allocations = -1;
    bool allAccepted = true;
    std::thread renderThread([&] {
        clipdeck::test::AllocationCounter counter;
        for (intptr_t i = 0; i < 100; ++i)
            allAccepted = mainthread::postRealtime(record, &recorder, i) && allAccepted;
        allocations = counter.count();
    });
    renderThread.join();
    EXPECT_TRUE(allAccepted);
    EXPECT_EQ(allocations, 0);
    ASSERT_TRUE(waitUntil([&] { return recorder.values.size() == 100; }));
    for (intptr_t i = 0; i < 100; ++i) {
        EXPECT_EQ(recorder.values[size_t(i)], i);
        EXPECT_TRUE(recorder.onMainThread[size_t(i)]);
    }
}

TEST(MainThread, RealtimeQueueRefusesWhenFullAndRecovers)
{
    Recorder recorder;
    int accepted = 0;
    std::thread producer([&] {
        for (int i = 0; i < mainthread::kRealtimeQueueCapacity + 10; ++i)
            accepted += mainthread::postRealtime(record, &recorder, i) ? 1 : 0;
    });
    producer.join();
    EXPECT_EQ(accepted, mainthread::kRealtimeQueueCapacity);
    ASSERT_TRUE(waitUntil([&] { return int(recorder.values.size()) == accepted; }));
    EXPECT_TRUE(mainthread::postRealtime(record, &recorder, -1));
    EXPECT_TRUE(waitUntil([&] { return recorder.values.back() == -1; }));
}

TEST(MainThread, PostAndWaitRunsOnTheMainThreadAndNeverDeadlocksThere)
{
    bool ranDirectly = false;
    mainthread::postAndWait([&] { ranDirectly = mainthread::isMainThread(); });
    EXPECT_TRUE(ranDirectly);

    std::atomic<bool> done{false};
    bool ranOnMain = false;
    std::thread worker([&] {
        mainthread::postAndWait([&] { ranOnMain = mainthread::isMainThread(); });
        done = true;
    });
    EXPECT_TRUE(waitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(ranOnMain);
}

TEST(MainThread, PostsFromOneThreadRunInOrder)
{
    std::vector<int> order;
    std::thread worker([&] {
        EXPECT_FALSE(mainthread::isMainThread());
        for (int i = 0; i < 20; ++i)
            mainthread::post([&order, i] { order.push_back(i); });
    });
    worker.join();
    ASSERT_TRUE(waitUntil([&] { return order.size() == 20; }));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(order[size_t(i)], i);
}
