#pragma once
// A one-shot run-loop timer, in place of the platform's run-loop timers: it fires once, at a
// fixed time on TimeSource::currentTime()'s clock, on a pass of a loop that runs one of its
// modes, and is then invalid (out of every mode). In the shared modes it rides on a platform
// Timer of the current time source; in a private mode RunLoop::runMode fires it.
//
// Threads: main thread only. The action may destroy the timer.

#include "platform/TimeSource.h"
#include "platform/runloop/RunLoopItem.h"

#include <functional>

class RunLoopTimer final : public RunLoopItem {
public:
    using Action = std::function<void()>;

    // Fires interval seconds from now (on the next pass when interval is 0 or less), once it
    // is scheduled in a mode that runs.
    RunLoopTimer(double interval, Action action);
    ~RunLoopTimer();
    RunLoopTimer(const RunLoopTimer&) = delete;
    RunLoopTimer& operator=(const RunLoopTimer&) = delete;

    // Takes the timer out of every mode; it never fires after this.
    void invalidate();
    bool isValid() const { return valid_; }
    double fireTime() const { return fireTime_; }

private:
    friend class RunLoop;

    void scheduleChanged() override { updateSharedTimer(); }
    void updateSharedTimer();
    void fire();

    Action action_;
    double fireTime_;
    bool valid_ = true;
    Timer sharedTimer_;
};
