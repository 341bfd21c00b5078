#pragma once
// A timed animation on the main thread, in place of the maker's animation class (and the
// platform's animation it stands on): it runs for a duration, ticking at its frame rate,
// and reports its progress (0 to 1 in time) and its current value (the progress through
// its curve). Its delegate hears each frame and, once, the end. Stopping it early ends it
// without a word to the delegate.
//
// Time comes from TimeSource (platform/TimeSource.h): under a ManualTimeSource an animation
// moves only as the test moves the clock.
//
// Blocking mode: startAnimation() returns only when the animation has ended, running the
// event loop meanwhile without user input (so no click or key reaches the program during
// it); timers, paints and queued calls still run. Non-blocking (the default): it returns at
// once and the animation ticks on the event loop.
//
// Main thread only. The delegate is not owned; it must outlive the animation's running, or
// be cleared.

#include "platform/TimeSource.h"

#include <QVariant>

#include <memory>

class QEventLoop;
class ZEPAnimation;

class ZEPAnimationDelegate {
public:
    virtual ~ZEPAnimationDelegate() = default;
    // After each frame's progress has been set; time is on TimeSource's clock.
    virtual void animation(ZEPAnimation* animation, double timerFiredAtTime)
    {
        (void)animation;
        (void)timerFiredAtTime;
    }
    // Once, when the animation has run its full duration (progress 1). Not after a stop.
    virtual void animationDidEnd(ZEPAnimation* animation) { (void)animation; }
};

class ZEPAnimation {
public:
    // The easing of currentValue(); the numbers are the stored ones callers pass.
    enum Curve {
        EaseInOut = 0,
        EaseIn = 1,
        EaseOut = 2,
        Linear = 3,
    };
    enum BlockingMode {
        Blocking = 0,
        Nonblocking = 1,
    };

    // duration in seconds (0 or less: the first frame ends it); an unknown curve is linear.
    ZEPAnimation(double duration, int curve);
    virtual ~ZEPAnimation();
    ZEPAnimation(const ZEPAnimation&) = delete;
    ZEPAnimation& operator=(const ZEPAnimation&) = delete;

    double duration() const { return duration_; }
    void setDuration(double duration) { duration_ = duration; }
    int animationCurve() const { return curve_; }
    void setAnimationCurve(int curve) { curve_ = curve; }
    // Frames per second (60 at first; 0 or less means 60).
    double frameRate() const { return frameRate_; }
    void setFrameRate(double frameRate) { frameRate_ = frameRate; }
    BlockingMode animationBlockingMode() const { return blockingMode_; }
    void setAnimationBlockingMode(BlockingMode mode) { blockingMode_ = mode; }

    ZEPAnimationDelegate* delegate() const { return delegate_; }
    void setDelegate(ZEPAnimationDelegate* delegate) { delegate_ = delegate; }
    QVariant userInfo() const { return userInfo_; }
    void setUserInfo(const QVariant& userInfo) { userInfo_ = userInfo; }

    // Starts from progress 0 (again, when it already ran). See the blocking mode above.
    void startAnimation();
    // Ends the animation where it is; the delegate hears nothing. Nothing when not running.
    void stopAnimation();
    bool isAnimating() const { return animating_; }

    // 0 to 1: the share of the duration that has passed at the last frame.
    double currentProgress() const { return progress_; }
    // The progress through the curve.
    double currentValue() const;
    // The value of a curve at progress t (0 to 1).
    static double valueForProgress(int curve, double t);

private:
    void tick();

    double duration_;
    int curve_;
    double frameRate_ = 60.0;
    BlockingMode blockingMode_ = Nonblocking;
    ZEPAnimationDelegate* delegate_ = nullptr;
    QVariant userInfo_;
    Timer timer_;
    double startTime_ = 0;
    double progress_ = 0;
    bool animating_ = false;
    // Counts starts and stops, so a tick can tell that a callback stopped or restarted it.
    quint64 run_ = 0;
    // False once the animation is freed (a callback may free it).
    std::shared_ptr<bool> alive_;
    // The event loop of a blocking start, while it runs.
    QEventLoop* loop_ = nullptr;
};
