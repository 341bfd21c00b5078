#include "platform/ui/ZEPAnimation.h"

#include <QEventLoop>

#include <algorithm>

ZEPAnimation::ZEPAnimation(double duration, int curve)
    : duration_(duration), curve_(curve), timer_([this] { tick(); }), alive_(std::make_shared<bool>(true))
{
}

ZEPAnimation::~ZEPAnimation()
{
    *alive_ = false;
    if (loop_)
        loop_->quit();
}

double ZEPAnimation::valueForProgress(int curve, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    switch (curve) {
    case EaseInOut:
        return t * t * (3.0 - 2.0 * t);
    case EaseIn:
        return t * t;
    case EaseOut:
        return 1.0 - (1.0 - t) * (1.0 - t);
    default:
        return t;
    }
}

double ZEPAnimation::currentValue() const { return valueForProgress(curve_, progress_); }

void ZEPAnimation::startAnimation()
{
    ++run_;
    progress_ = 0;
    animating_ = true;
    startTime_ = TimeSource::currentTime();
    timer_.start(1.0 / (frameRate_ > 0 ? frameRate_ : 60.0), true);
    if (blockingMode_ != Blocking || loop_)
        return;
    const std::shared_ptr<bool> alive = alive_;
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (*alive)
        loop_ = nullptr;
}

void ZEPAnimation::stopAnimation()
{
    if (!animating_)
        return;
    ++run_;
    animating_ = false;
    timer_.stop();
    if (loop_)
        loop_->quit();
}

void ZEPAnimation::tick()
{
    const double now = TimeSource::currentTime();
    // A frame due at the very end may come a rounding error early: within a nanosecond
    // counts as the end.
    const double elapsed = now - startTime_;
    progress_ = elapsed + 1e-9 >= duration_ ? 1.0 : std::clamp(elapsed / duration_, 0.0, 1.0);
    const bool ended = progress_ >= 1.0;
    if (ended) {
        animating_ = false;
        timer_.stop();
    }
    // The delegate may stop, restart or free the animation from its callbacks.
    const std::shared_ptr<bool> alive = alive_;
    const quint64 run = run_;
    if (delegate_)
        delegate_->animation(this, now);
    if (!*alive || run != run_ || !ended)
        return;
    if (delegate_)
        delegate_->animationDidEnd(this);
    if (*alive && run == run_ && loop_)
        loop_->quit();
}
