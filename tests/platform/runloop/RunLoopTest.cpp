#include "platform/runloop/RunLoop.h"

#include "platform/TimeSource.h"
#include "platform/runloop/RunLoopSource.h"
#include "platform/runloop/RunLoopTimer.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <unistd.h>

using clipdeck::test::waitUntil;

namespace {

const QString kPrivate = QStringLiteral("PrivateMode");

// A pipe whose read end a source watches; each readiness is written down and drained.
struct WatchedPipe {
    int fds[2] = {-1, -1};
    QStringList* log;
    QString name;
    RunLoopSource source;

    WatchedPipe(QStringList* events, QString label)
        : log(events), name(std::move(label)), source([this](int ready) { handle(ready); })
    {
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe");
        source.setDescriptor(fds[0]);
        source.setInterest(RunLoopSource::Readable);
    }
    ~WatchedPipe()
    {
        source.setDescriptor(-1);
        ::close(fds[0]);
        ::close(fds[1]);
    }
    void poke() { (void)!::write(fds[1], "x", 1); }
    void handle(int ready)
    {
        if (ready & RunLoopSource::Readable) {
            char byte;
            (void)!::read(fds[0], &byte, 1);
            *log << name;
        }
        if (ready & RunLoopSource::Signalled)
            *log << name + " signalled";
    }
};

} // namespace

TEST(RunLoop, APrivateModeRunsItsOwnWorkAndNothingElse)
{
    RunLoop& loop = RunLoop::main();
    QStringList log;
    WatchedPipe mine(&log, "mine");
    WatchedPipe shared(&log, "shared");
    loop.addSource(mine.source, kPrivate);
    loop.addSource(shared.source, NSDefaultRunLoopMode);
    RunLoopTimer sharedTimer(0, [&] { log << "shared timer"; });
    loop.addTimer(sharedTimer, NSRunLoopCommonModes);
    int token = 0;
    loop.perform(&token, 1, [&] { log << "private call"; }, {kPrivate});
    loop.perform(&token, 2, [&] { log << "shared call"; }, {NSDefaultRunLoopMode});
    EXPECT_TRUE(log.isEmpty()) << "deferred calls never run inside perform()";

    mine.poke();
    shared.poke();
    EXPECT_TRUE(loop.runMode(kPrivate, TimeSource::currentTime() + 10));
    EXPECT_EQ(log, QStringList({"private call", "mine"}));

    // Qt's loop serves the shared modes only.
    mine.poke();
    ASSERT_TRUE(waitUntil([&] { return log.size() == 5; }));
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(QStringList(log.mid(2)).size(), 3);
    EXPECT_TRUE(log.contains("shared") && log.contains("shared timer") && log.contains("shared call"));
    EXPECT_EQ(log.count("mine"), 1);
    loop.removeSource(mine.source, kPrivate);
    loop.removeSource(shared.source, NSDefaultRunLoopMode);
}

TEST(RunLoop, RunModeAnswersFalseWhenItsModeHasNothingAndRefusesSharedModes)
{
    RunLoop& loop = RunLoop::main();
    EXPECT_FALSE(loop.runMode(kPrivate, TimeSource::currentTime() + 10));
    EXPECT_THROW(loop.runMode(NSDefaultRunLoopMode, TimeSource::currentTime()), std::logic_error);

    // A source that leaves the mode from its own handler ends the run with false next time.
    QStringList log;
    WatchedPipe pipe(&log, "pipe");
    loop.addSource(pipe.source, kPrivate);
    pipe.poke();
    EXPECT_TRUE(loop.runMode(kPrivate, TimeSource::currentTime() + 10));
    loop.removeSource(pipe.source, kPrivate);
    EXPECT_FALSE(loop.runMode(kPrivate, TimeSource::currentTime() + 10));
}

TEST(RunLoop, PrivateTimersFireOnTheInjectedClockOnlyWhileTheirModeRuns)
{
    RunLoop& loop = RunLoop::main();
    ManualTimeSource clock;
    QStringList log;
    RunLoopTimer timer(5, [&] { log << "fired"; });
    loop.addTimer(timer, kPrivate);

    EXPECT_TRUE(loop.runMode(kPrivate, clock.now())) << "the deadline has come: one pass";
    EXPECT_TRUE(log.isEmpty());
    clock.advance(5);
    EXPECT_TRUE(log.isEmpty()) << "moving the clock fires no private timer";
    EXPECT_FALSE(loop.runMode(kPrivate, clock.now())) << "the timer fired, and the mode is empty then";
    EXPECT_EQ(log, QStringList({"fired"}));
    EXPECT_FALSE(timer.isValid());
}

TEST(RunLoop, SharedTimersRideOnTheInjectedClock)
{
    RunLoop& loop = RunLoop::main();
    ManualTimeSource clock;
    int fired = 0;
    RunLoopTimer timer(2, [&] { ++fired; });
    loop.addTimer(timer, NSDefaultRunLoopMode);
    loop.addTimer(timer, kPrivate);
    clock.advance(1.9);
    EXPECT_EQ(fired, 0);
    clock.advance(0.1);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(loop.hasWorkInMode(kPrivate)) << "a timer that fired leaves every mode";
}

TEST(RunLoop, CancelledCallsNeverRun)
{
    RunLoop& loop = RunLoop::main();
    int token = 0;
    QStringList log;
    loop.perform(&token, 1, [&] { log << "one"; }, {NSDefaultRunLoopMode});
    loop.perform(&token, 2, [&] { log << "two"; }, {NSDefaultRunLoopMode, kPrivate});
    loop.perform(&token, 1, [&] { log << "one again"; }, {NSDefaultRunLoopMode});
    EXPECT_EQ(loop.pendingPerforms(&token), 3);
    loop.cancelPerforms(&token, 1);
    ASSERT_TRUE(waitUntil([&] { return !log.isEmpty(); }));
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(log, QStringList({"two"}));
    EXPECT_FALSE(loop.runMode(kPrivate, TimeSource::currentTime())) << "a call runs once, in whichever mode comes first";
}

TEST(RunLoop, ASignalledSourceIsDispatchedOnceOnALaterPass)
{
    RunLoop& loop = RunLoop::main();
    QStringList log;
    WatchedPipe pipe(&log, "pipe");
    pipe.source.setInterest(0);
    loop.addSource(pipe.source, NSDefaultRunLoopMode);
    loop.addSource(pipe.source, kPrivate);
    pipe.source.signal();
    pipe.source.signal();
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(loop.runMode(kPrivate, TimeSource::currentTime() + 10));
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(log, QStringList({"pipe signalled"}));
    loop.removeSource(pipe.source, NSDefaultRunLoopMode);
    loop.removeSource(pipe.source, kPrivate);
}
