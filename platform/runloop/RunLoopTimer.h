#pragma once
// A one-shot run-loop timer, in place of the platform's run-loop timers: it fires once, at a
// fixed time on TimeSource::currentTime()'s clock, on a pass of a loop that runs one of its
// modes, and is then invalid (out of every mode). In the shared modes it rides on a platform
// Timer of the current time source; in a private mode RunLoop::runMode fires it.
//
// Threads: main thread only. The action may destroy the timer.

#include <QSet>
#include <QString>

#include "platform/TimeSource.h"

#include <cstdint>
#include <functional>

class RunLoop;

class RunLoopTimer {
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

    RunLoop* runLoop() const { return loop_; }
    const QSet<QString>& modes() const { return modes_; }
    bool isInMode(const QString& mode) const { return modes_.contains(mode); }

private:
    friend class RunLoop;

    bool inSharedMode() const;
    void updateSharedTimer();
    void fire();

    Action action_;
    uint64_t serial_;
    double fireTime_;
    bool valid_ = true;
    RunLoop* loop_ = nullptr;
    QSet<QString> modes_;
    Timer sharedTimer_;
};
