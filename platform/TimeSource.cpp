#include "platform/TimeSource.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// The monotonic clock and one precise single-shot QTimer per started Timer.
class SystemTimeSource final : public TimeSource {
public:
    double now() const override
    {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }

protected:
    void schedule(Timer* timer, double at) override
    {
        std::unique_ptr<QTimer>& qtimer = timers_[timer];
        if (!qtimer) {
            qtimer = std::make_unique<QTimer>();
            qtimer->setSingleShot(true);
            qtimer->setTimerType(Qt::PreciseTimer);
            QObject::connect(qtimer.get(), &QTimer::timeout, [timer] { TimeSource::fire(timer); });
        }
        const double delay = std::max(0.0, at - now());
        qtimer->start(int(std::ceil(delay * 1000.0)));
    }

    void unschedule(Timer* timer) override
    {
        const auto found = timers_.find(timer);
        if (found == timers_.end())
            return;
        // This may run inside the QTimer's own timeout: let the loop delete it.
        found->second->stop();
        found->second.release()->deleteLater();
        timers_.erase(found);
    }

private:
    std::unordered_map<Timer*, std::unique_ptr<QTimer>> timers_;
};

// Kept for the whole process (never destroyed, so no timer outlives it).
SystemTimeSource& systemSource()
{
    static auto* source = new SystemTimeSource;
    return *source;
}

std::atomic<TimeSource*> installed{nullptr};

constexpr double kShortestRepeat = 0.001;

} // namespace

TimeSource& TimeSource::current()
{
    TimeSource* source = installed.load();
    return source ? *source : systemSource();
}

void TimeSource::install(TimeSource* source)
{
    installed.store(source);
}

void TimeSource::fire(Timer* timer)
{
    timer->fire();
}

Timer::Timer(Action action) : action_(std::move(action)) {}

Timer::~Timer()
{
    stop();
}

void Timer::start(double interval, bool repeats)
{
    stop();
    source_ = &TimeSource::current();
    interval_ = repeats ? std::max(interval, kShortestRepeat) : std::max(interval, 0.0);
    repeats_ = repeats;
    fireTime_ = source_->now() + interval_;
    active_ = true;
    source_->schedule(this, fireTime_);
}

void Timer::singleShot(double interval, Action action)
{
    auto* timer = new Timer;
    timer->selfOwned_ = true;
    timer->setAction([timer, action = std::move(action)] {
        delete timer;
        action();
    });
    timer->start(interval);
}

void Timer::stop()
{
    if (active_ && source_)
        source_->unschedule(this);
    active_ = false;
}

void Timer::fire()
{
    if (!active_)
        return;
    if (repeats_) {
        // Keep the phase: the next firing is the first one of the schedule still ahead.
        const double now = source_->now();
        const double missed = std::floor((now - fireTime_) / interval_);
        fireTime_ += interval_ * (std::max(missed, 0.0) + 1.0);
        source_->schedule(this, fireTime_);
    } else {
        active_ = false;
        source_->unschedule(this);
    }
    // The action may stop, restart or delete this timer: call a copy and touch nothing after.
    Action action = action_;
    if (action)
        action();
}

void TimeSource::forget(Timer* timer)
{
    timer->active_ = false;
    timer->source_ = nullptr;
    if (timer->selfOwned_)
        delete timer;
}

ManualTimeSource::ManualTimeSource(double start) : now_(start), previous_(installed.load())
{
    TimeSource::install(this);
}

ManualTimeSource::~ManualTimeSource()
{
    TimeSource::install(previous_);
    // Timers still waiting outlive this clock: they stop, and fire-and-forget ones go.
    const auto waiting = waiting_;
    waiting_.clear();
    byTimer_.clear();
    for (const auto& entry : waiting)
        forget(entry.second);
}

void ManualTimeSource::advance(double seconds)
{
    runUntil(now() + std::max(seconds, 0.0));
}

bool ManualTimeSource::fireNext()
{
    if (waiting_.empty())
        return false;
    runUntil(std::max(now(), waiting_.begin()->first.first));
    return true;
}

void ManualTimeSource::runUntil(double time)
{
    while (!waiting_.empty() && waiting_.begin()->first.first <= time) {
        const auto first = waiting_.begin();
        Timer* timer = first->second;
        now_.store(std::max(now(), first->first.first));
        byTimer_.erase(timer);
        waiting_.erase(first);
        TimeSource::fire(timer);
    }
    now_.store(time);
}

void ManualTimeSource::schedule(Timer* timer, double at)
{
    unschedule(timer);
    const std::pair<double, uint64_t> key{at, nextOrder_++};
    waiting_.emplace(key, timer);
    byTimer_.emplace(timer, key);
}

void ManualTimeSource::unschedule(Timer* timer)
{
    const auto found = byTimer_.find(timer);
    if (found == byTimer_.end())
        return;
    waiting_.erase(found->second);
    byTimer_.erase(found);
}
