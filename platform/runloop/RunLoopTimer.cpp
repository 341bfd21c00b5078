#include "platform/runloop/RunLoopTimer.h"

#include "platform/runloop/RunLoop.h"

#include <algorithm>

namespace {
uint64_t nextTimerSerial = 1;
} // namespace

RunLoopTimer::RunLoopTimer(double interval, Action action)
    : action_(std::move(action)), serial_(nextTimerSerial++),
      fireTime_(TimeSource::currentTime() + std::max(interval, 0.0))
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
    if (loop_)
        loop_->forgetTimer(*this);
    sharedTimer_.stop();
}

bool RunLoopTimer::inSharedMode() const
{
    for (const QString& mode : modes_)
        if (RunLoop::isSharedMode(mode))
            return true;
    return false;
}

void RunLoopTimer::updateSharedTimer()
{
    const bool wanted = valid_ && loop_ && inSharedMode();
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
