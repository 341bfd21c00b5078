// Hover fades and region animations: progress, curves, the delegate's calls.
#include "platform/ui/ZEPAnimation.h"

#include "support/TestEnvironment.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

using clipdeck::test::waitUntil;

namespace {

struct RecordingDelegate : ZEPAnimationDelegate {
    void animation(ZEPAnimation* animation, double) override { progress.push_back(animation->currentProgress()); }
    void animationDidEnd(ZEPAnimation* animation) override
    {
        ++ends;
        endedAt = animation->currentProgress();
        if (onEnd)
            onEnd(animation);
    }
    std::vector<double> progress;
    int ends = 0;
    double endedAt = -1;
    std::function<void(ZEPAnimation*)> onEnd;
};

} // namespace

TEST(ZEPAnimation, RunsItsDurationOnTheRealClockAndEndsOnce)
{
    RecordingDelegate delegate;
    ZEPAnimation animation(0.2, ZEPAnimation::EaseIn);
    animation.setDelegate(&delegate);
    animation.setUserInfo(true);
    animation.startAnimation();
    EXPECT_TRUE(animation.isAnimating());
    ASSERT_TRUE(waitUntil([&] { return delegate.ends > 0; }));
    EXPECT_EQ(delegate.endedAt, 1.0);
    EXPECT_EQ(animation.currentValue(), 1.0);
    EXPECT_FALSE(animation.isAnimating());
    EXPECT_EQ(animation.userInfo(), QVariant(true));
    // Nothing more comes after the end.
    const size_t frames = delegate.progress.size();
    int passes = 0;
    waitUntil([&] { return ++passes > 20; });
    EXPECT_EQ(delegate.ends, 1);
    EXPECT_EQ(delegate.progress.size(), frames);
}

TEST(ZEPAnimation, ProgressFollowsTheClockAndTheCurveShapesItsValue)
{
    ManualTimeSource clock;
    RecordingDelegate delegate;
    ZEPAnimation animation(0.25, ZEPAnimation::EaseOut);
    animation.setFrameRate(20); // a frame every 0.05 s
    animation.setDelegate(&delegate);
    animation.startAnimation();
    clock.advance(0.1);
    ASSERT_EQ(delegate.progress.size(), 2u);
    EXPECT_NEAR(animation.currentProgress(), 0.4, 1e-9);
    EXPECT_NEAR(animation.currentValue(), 1 - 0.6 * 0.6, 1e-9);
    EXPECT_EQ(delegate.ends, 0);
    clock.advance(1.0);
    EXPECT_EQ(delegate.ends, 1);
    EXPECT_EQ(delegate.progress.back(), 1.0);
    EXPECT_EQ(delegate.progress.size(), 5u);

    const struct {
        int curve;
        double t, value;
    } curves[] = {
        {ZEPAnimation::Linear, 0.3, 0.3},  {ZEPAnimation::EaseIn, 0.5, 0.25},     {ZEPAnimation::EaseOut, 0.5, 0.75},
        {ZEPAnimation::EaseInOut, 0.5, 0.5}, {ZEPAnimation::EaseInOut, 0.25, 0.15625}, {ZEPAnimation::EaseInOut, 1.0, 1.0},
        {42, 0.7, 0.7},
    };
    for (const auto& c : curves)
        EXPECT_NEAR(ZEPAnimation::valueForProgress(c.curve, c.t), c.value, 1e-12) << c.curve << " at " << c.t;
}

TEST(ZEPAnimation, StoppingEarlyCallsNothingMoreAndARestartBeginsAgain)
{
    ManualTimeSource clock;
    RecordingDelegate delegate;
    ZEPAnimation animation(0.25, ZEPAnimation::Linear);
    animation.setDelegate(&delegate);
    animation.startAnimation();
    clock.advance(0.1);
    const size_t frames = delegate.progress.size();
    animation.stopAnimation();
    EXPECT_FALSE(animation.isAnimating());
    clock.advance(1.0);
    EXPECT_EQ(delegate.progress.size(), frames);
    EXPECT_EQ(delegate.ends, 0);

    animation.startAnimation();
    EXPECT_EQ(animation.currentProgress(), 0.0);
    clock.advance(0.3);
    EXPECT_EQ(delegate.ends, 1);
}

TEST(ZEPAnimation, TheDelegateMayFreeTheAnimationWhenItEnds)
{
    ManualTimeSource clock;
    RecordingDelegate delegate;
    auto* animation = new ZEPAnimation(0.05, ZEPAnimation::Linear);
    animation->setDelegate(&delegate);
    delegate.onEnd = [](ZEPAnimation* ended) { delete ended; };
    animation->startAnimation();
    clock.advance(0.5);
    EXPECT_EQ(delegate.ends, 1);
}

TEST(ZEPAnimation, ABlockingAnimationReturnsOnlyWhenItHasEnded)
{
    RecordingDelegate delegate;
    ZEPAnimation animation(0.1, ZEPAnimation::EaseInOut);
    animation.setAnimationBlockingMode(ZEPAnimation::Blocking);
    animation.setFrameRate(30);
    animation.setDelegate(&delegate);
    bool timerRanMeanwhile = false;
    QTimer::singleShot(0, [&] { timerRanMeanwhile = animation.isAnimating(); });
    animation.startAnimation();
    EXPECT_EQ(delegate.ends, 1);
    EXPECT_FALSE(animation.isAnimating());
    EXPECT_TRUE(timerRanMeanwhile);
}
