#include "platform/NotificationCenter.h"

#include "platform/MainThread.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <thread>

TEST(NotificationCenter, DeliversInOrderByNameAndSender)
{
    NotificationCenter center;
    int senderA = 0, senderB = 0;
    std::vector<std::string> calls;
    center.addObserver(&calls, "Played", nullptr, [&](const Notification& n) {
        calls.push_back("any sender:" + n.userInfo.value("sound").toString().toStdString());
    });
    center.addObserver(&calls, "Played", &senderA, [&](const Notification&) { calls.push_back("from A"); });
    center.addObserver(&calls, "", nullptr, [&](const Notification& n) { calls.push_back("any:" + n.name.toStdString()); });

    center.post("Played", &senderB, {{"sound", "kick"}});
    center.post("Played", &senderA);
    center.post("Stopped", &senderA);

    const std::vector<std::string> expected = {"any sender:kick", "any:Played", "any sender:", "from A",
                                               "any:Played", "any:Stopped"};
    EXPECT_EQ(calls, expected);
}

TEST(NotificationCenter, ObserversMayRemoveThemselvesOrOthersDuringDelivery)
{
    NotificationCenter center;
    int first = 0, second = 0, third = 0;
    int calledFirst = 0, calledSecond = 0, calledThird = 0;
    center.addObserver(&first, "N", nullptr, [&](const Notification&) {
        ++calledFirst;
        center.removeObserver(&first);  // itself
        center.removeObserver(&second); // one still to be called by this delivery
    });
    center.addObserver(&second, "N", nullptr, [&](const Notification&) { ++calledSecond; });
    center.addObserver(&third, "N", nullptr, [&](const Notification&) {
        ++calledThird;
        center.addObserver(&third, "N", nullptr, [](const Notification&) {}); // adding is safe too
    });
    center.post("N");
    center.post("N");
    EXPECT_EQ(calledFirst, 1);
    EXPECT_EQ(calledSecond, 0);
    EXPECT_EQ(calledThird, 2);
}

TEST(NotificationCenter, PostOnMainThreadDeliversThereAndPostStaysOnThePostersThread)
{
    NotificationCenter center;
    std::atomic<int> onMain{0}, offMain{0};
    center.addObserver(&center, "N", nullptr, [&](const Notification&) {
        (mainthread::isMainThread() ? onMain : offMain)++;
    });
    std::thread poster([&] {
        center.post("N");
        center.postOnMainThread("N");
    });
    poster.join();
    EXPECT_EQ(offMain.load(), 1);
    EXPECT_TRUE(clipdeck::test::waitUntil([&] { return onMain.load() == 1; }));
}
