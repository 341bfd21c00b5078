// A callback that is under way when its owner closes the gate keeps the owner until it has
// left; none gets through afterwards; and a thread cancelled inside a pass is cancelled only
// once it has left.
#include "platform/CallbackGate.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <thread>

using clipdeck::test::waitUntil;

namespace {

struct Owner {
    std::atomic<bool> inside{false};
    std::atomic<bool> release{false};
    std::atomic<bool> leaving{false};
};

// A callback of the library's: it holds its pass until the test releases it.
void heldCallback(CallbackGate* gate)
{
    CallbackGate::Pass pass(gate);
    auto* owner = pass.target<Owner>();
    ASSERT_NE(owner, nullptr);
    owner->inside.store(true);
    while (!owner->release.load())
        std::this_thread::yield();
    owner->leaving.store(true);
}

} // namespace

TEST(CallbackGate, ClosingWaitsForThePassUnderWayAndLetsNoneThroughAfterwards)
{
    Owner owner;
    CallbackGate* gate = CallbackGate::open(&owner);
    std::thread library([&] { heldCallback(gate); });
    ASSERT_TRUE(waitUntil([&] { return owner.inside.load(); }));

    EXPECT_FALSE(gate->close(std::chrono::milliseconds(0))) << "a pass is under way";
    {
        CallbackGate::Pass late(gate);
        EXPECT_EQ(late.target<Owner>(), nullptr);
    }

    bool leftFirst = false;
    std::thread closer([&] {
        const bool closed = gate->close(std::chrono::seconds(60));
        leftFirst = closed && owner.leaving.load();
    });
    owner.release.store(true);
    closer.join();
    library.join();
    EXPECT_TRUE(leftFirst) << "close returned before the pass under way had left";
    CallbackGate::release(gate);
}

namespace {

struct Cancelled {
    CallbackGate* gate = nullptr;
    Owner owner;
    std::atomic<bool> ranOn{false};
};

void* cancelledThread(void* argument)
{
    auto* test = static_cast<Cancelled*>(argument);
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    heldCallback(test->gate);
    test->ranOn.store(true); // the cancellation held off takes effect as the pass ends, before this
    for (;;)
        pthread_testcancel();
}

} // namespace

TEST(CallbackGate, AThreadCancelledInsideAPassIsCancelledOnlyOnceItHasLeft)
{
    Cancelled test;
    test.gate = CallbackGate::open(&test.owner);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, &cancelledThread, &test), 0);
    ASSERT_TRUE(waitUntil([&] { return test.owner.inside.load(); }));

    pthread_cancel(thread);
    test.owner.release.store(true);
    pthread_join(thread, nullptr);
    EXPECT_TRUE(test.owner.leaving.load()) << "cancelled inside the pass";
    EXPECT_FALSE(test.ranOn.load()) << "the cancellation was lost";
    EXPECT_TRUE(test.gate->close(std::chrono::milliseconds(0))) << "the pass never left";
    CallbackGate::release(test.gate);
}
