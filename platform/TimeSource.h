#pragma once
// The program's one source of time for everything timed on the main thread: the save made
// 1 s after a change, progress ticks, fades and animations, meters, remote time-outs.
// The program runs on the monotonic clock and Qt's timers. A test installs a
// ManualTimeSource and moves time itself, so timed behaviour runs fast and exactly, also
// on a loaded machine.
//
// Threads: TimeSource::now() may be called from any thread (not from a render callback:
// the manual source's clock is an atomic, the system's a plain clock read, but neither is
// promised to stay so). Timers are made, started, stopped, fired and destroyed on the main
// thread.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

class Timer;

class TimeSource {
public:
    virtual ~TimeSource() = default;

    // Seconds on this source's monotonic clock (an arbitrary origin).
    virtual double now() const = 0;

    // The source in use: the system's unless a test installed another.
    static TimeSource& current();
    // Seconds on the current source's clock.
    static double currentTime() { return current().now(); }
    // Makes source the current one (nullptr: the system's again). Timers keep the source
    // they were started on until they are started again.
    static void install(TimeSource* source);

protected:
    friend class Timer;
    // Arranges one call of timer->fire() at time at (seconds on this clock), replacing any
    // earlier arrangement for that timer.
    virtual void schedule(Timer* timer, double at) = 0;
    virtual void unschedule(Timer* timer) = 0;
    static void fire(Timer* timer);
    // Stops a timer whose source goes away (deleting it when nobody else owns it).
    static void forget(Timer* timer);
};

// A main-thread timer on the current time source, in place of the platform's run-loop timers.
// A repeating timer keeps its phase: a late firing does not move the ones after it, and
// firings missed while the main thread was busy are skipped, not made up.
class Timer {
public:
    using Action = std::function<void()>;

    explicit Timer(Action action = {});
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void setAction(Action action) { action_ = std::move(action); }

    // Fires interval seconds from now (at once, on the next pass of the loop, when interval
    // is 0 or less), then every interval seconds when repeats (at least every millisecond).
    // Starting an active timer replaces its earlier start.
    void start(double interval, bool repeats = false);
    // Starts a one-shot timer that calls action and is kept alive by nobody but the source:
    // for fire-and-forget delays. Answers nothing: such a call cannot be cancelled.
    static void singleShot(double interval, Action action);

    void stop();
    bool isActive() const { return active_; }
    bool repeats() const { return repeats_; }
    double interval() const { return interval_; }
    // The time (on the source's clock) of the next firing; meaningful while active.
    double fireTime() const { return fireTime_; }

private:
    friend class TimeSource;
    void fire();

    Action action_;
    TimeSource* source_ = nullptr;
    double interval_ = 0;
    double fireTime_ = 0;
    bool repeats_ = false;
    bool active_ = false;
    bool selfOwned_ = false; // made by singleShot(): deletes itself
};

// A clock that only moves when the test moves it. Constructing one installs it as the
// current source; destroying it puts back the source that was current before.
class ManualTimeSource : public TimeSource {
public:
    explicit ManualTimeSource(double start = 1000.0);
    ~ManualTimeSource() override;

    double now() const override { return now_.load(); }

    // Moves the clock forward by seconds, firing every timer that comes due on the way at
    // its own time and in time order (timers a firing starts are fired too when they come
    // due before the end).
    void advance(double seconds);
    // Moves the clock to the next firing and fires the timers due then; false when no timer
    // is waiting.
    bool fireNext();
    int waitingTimers() const { return int(byTimer_.size()); }

protected:
    void schedule(Timer* timer, double at) override;
    void unschedule(Timer* timer) override;

private:
    // Fires, in order, every timer due at or before time, leaving the clock at time.
    void runUntil(double time);

    std::atomic<double> now_;
    TimeSource* previous_ = nullptr;
    uint64_t nextOrder_ = 0;
    // Waiting timers by (time, order of scheduling); the second index finds a timer's entry.
    std::map<std::pair<double, uint64_t>, Timer*> waiting_;
    std::unordered_map<Timer*, std::pair<double, uint64_t>> byTimer_;
};
