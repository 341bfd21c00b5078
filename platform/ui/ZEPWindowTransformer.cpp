#include "platform/ui/ZEPWindowTransformer.h"

#include "platform/NotificationCenter.h"
#include "platform/ZEPAppKitConstants.h"

#include <QVariantAnimation>
#include <QWidget>

#include <algorithm>
#include <cmath>

ZEPWindowTransformer::ZEPWindowTransformer(QWidget* window, int animationType,
                                           double animationDurationSecs, QObject* parent)
    : QObject(parent)
    , window_(window)
    , animationType_(animationType)
    , animationDurationSecs_(animationDurationSecs)
    , animation_(new QVariantAnimation(this))
{
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        if (window_)
            window_->setWindowOpacity(value.toDouble());
    });
    connect(animation_, &QVariantAnimation::finished, this, [this] {
        emit windowTransformComplete(this);
        NotificationCenter::defaultCenter().post(ZEPWindowTransformCompleteKey, this);
    });
}

ZEPWindowTransformer::~ZEPWindowTransformer()
{
    // No opacity changes after the transformer is gone.
    animation_->disconnect(this);
}

ZEPWindowTransformer* ZEPWindowTransformer::fadeInTransformerWithWindow(QWidget* window,
                                                                        double animationDurationSecs)
{
    return new ZEPWindowTransformer(window, FadeIn, animationDurationSecs, window);
}

ZEPWindowTransformer* ZEPWindowTransformer::fadeOutTransformerWithWindow(QWidget* window,
                                                                         double animationDurationSecs)
{
    return new ZEPWindowTransformer(window, FadeOut, animationDurationSecs, window);
}

void ZEPWindowTransformer::startWindowTransformation()
{
    const double from = window_ ? window_->windowOpacity() : 1.0;
    const double to = animationType_ == FadeOut ? 0.0 : 1.0;
    animation_->stop();
    animation_->setStartValue(from);
    animation_->setEndValue(to);
    animation_->setDuration(std::max(0, static_cast<int>(std::lround(animationDurationSecs_ * 1000))));
    animation_->start();
}

void ZEPWindowTransformer::stopWindowTransformation()
{
    animation_->stop();
}

bool ZEPWindowTransformer::isRunning() const
{
    return animation_->state() == QAbstractAnimation::Running;
}
