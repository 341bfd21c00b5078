#include "platform/TimeSource.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using clipdeck::test::waitUntil;

namespace {

// Records the clock's time at each firing of the timers it makes.
struct Firings {
    std::vector<std::pair<char, double>> seen;
    Timer::Action recorder(char name)
    {
        return [this, name] { seen.emplace_back(name, TimeSource::currentTime()); };
    }
};

} // namespace

TEST(ManualTimeSource, TimersFireAtTheirOwnTimesInOrderWhileTheClockAdvances)
{
    ManualTimeSource clock(100.0);
    Firings firings;
    Timer save(firings.recorder('s'));
    Timer tick(firings.recorder('t'));
    Timer stopped(firings.recorder('x'));
    save.start(1.0);
    tick.start(0.4, true);
    stopped.start(0.1);
    stopped.stop();

    clock.advance(1.3);
    const std::vector<std::pair<char, double>> expected{{'t', 100.4}, {'t', 100.8}, {'s', 101.0}, {'t', 101.2}};
    ASSERT_EQ(firings.seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(firings.seen[i].first, expected[i].first) << i;
        EXPECT_NEAR(firings.seen[i].second, expected[i].second, 1e-9) << i;
    }
    EXPECT_DOUBLE_EQ(clock.now(), 101.3);
    EXPECT_FALSE(save.isActive());
    EXPECT_TRUE(tick.isActive());
    EXPECT_NEAR(tick.fireTime(), 101.6, 1e-9);
}

TEST(ManualTimeSource, RestartingReplacesTheEarlierStartLikeADebounce)
{
    ManualTimeSource clock;
    int saves = 0;
    Timer save([&] { ++saves; });
    for (int edit = 0; edit < 3; ++edit) {
        save.start(1.0);
        clock.advance(0.5);
    }
    EXPECT_EQ(saves, 0);
    clock.advance(0.49);
    EXPECT_EQ(saves, 0);
    clock.advance(0.01);
    EXPECT_EQ(saves, 1);
}

TEST(ManualTimeSource, TimersStartedOrStoppedByAFiringTakeEffectWithinTheSameAdvance)
{
    ManualTimeSource clock(0.0);
    Firings firings;
    Timer follower(firings.recorder('f'));
    Timer repeating;
    int repeats = 0;
    repeating.setAction([&] {
        if (++repeats == 3)
            repeating.stop();
    });
    Timer leader([&] { follower.start(0.25); });
    leader.start(0.5);
    repeating.start(0.1, true);

    clock.advance(2.0);
    ASSERT_EQ(firings.seen.size(), 1u);
    EXPECT_DOUBLE_EQ(firings.seen[0].second, 0.75);
    EXPECT_EQ(repeats, 3);
    EXPECT_EQ(clock.waitingTimers(), 0);
    EXPECT_FALSE(clock.fireNext());
}

TEST(ManualTimeSource, FireAndForgetDelaysRunOnceAndAreFreedWithTheClock)
{
    int calls = 0;
    {
        ManualTimeSource clock;
        Timer::singleShot(0.05, [&] { ++calls; });
        Timer::singleShot(5.0, [&] { ++calls; }); // never comes due: freed with the clock
        EXPECT_TRUE(clock.fireNext());
        EXPECT_EQ(calls, 1);
        clock.advance(1.0);
        EXPECT_EQ(calls, 1);
    }
    // A timer that outlives its clock is stopped, not left pointing at it.
    auto outliving = std::make_unique<Timer>([&] { ++calls; });
    {
        ManualTimeSource clock;
        outliving->start(1.0);
    }
    EXPECT_FALSE(outliving->isActive());
    outliving.reset();
    EXPECT_EQ(calls, 1);
}

TEST(SystemTimeSource, TimersFireOnTheRealClockAndATimerMayDeleteItselfWhenItFires)
{
    const double start = TimeSource::currentTime();
    int ticks = 0;
    Timer repeating([&] { ++ticks; });
    repeating.start(0.01, true);
    auto oneShot = std::make_unique<Timer>();
    bool fired = false;
    oneShot->setAction([&] {
        fired = true;
        oneShot.reset();
    });
    oneShot->start(0.02);

    ASSERT_TRUE(waitUntil([&] { return fired && ticks >= 3; }));
    EXPECT_GE(TimeSource::currentTime() - start, 0.02);
    repeating.stop();
    const int stoppedAt = ticks;
    bool later = false;
    Timer::singleShot(0.03, [&] { later = true; });
    ASSERT_TRUE(waitUntil([&] { return later; }));
    EXPECT_EQ(ticks, stoppedAt);
}
