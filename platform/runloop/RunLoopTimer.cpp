#include "platform/runloop/RunLoopTimer.h"

#include "platform/runloop/RunLoop.h"

#include <algorithm>

RunLoopTimer::RunLoopTimer(double interval, Action action)
    : action_(std::move(action)), fireTime_(TimeSource::currentTime() + std::max(interval, 0.0))
{
    sharedTimer_.setAction([this] { fire(); });
}

RunLoopTimer::~RunLoopTimer()
{
    invalidate();
}

void RunLoopTimer::invalidate()
{
    valid_ = false;
    if (RunLoop* loop = runLoop())
        loop->removeTimerFromAllModes(*this);
    sharedTimer_.stop();
}

void RunLoopTimer::updateSharedTimer()
{
    const bool wanted = valid_ && runLoop() && inSharedMode();
    if (wanted && !sharedTimer_.isActive())
        sharedTimer_.start(fireTime_ - TimeSource::currentTime());
    else if (!wanted && sharedTimer_.isActive())
        sharedTimer_.stop();
}

void RunLoopTimer::fire()
{
    if (!valid_)
        return;
    // The action may destroy this timer: take it first and touch nothing after.
    const Action action = action_;
    invalidate();
    if (action)
        action();
}
