#include "app/ZEPAudioMeter.h"

#include "platform/TimeSource.h"
#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// ceil(fraction × width), kept between 0 and width: how much of a bar width long a value
// at that fraction of the span lights. NaN lights nothing.
double lengthInBar(double fraction, double width)
{
    const double length = std::ceil(fraction * width);
    if (std::isnan(length))
        return 0;
    return std::clamp(length, 0.0, std::max(width, 0.0));
}

// The part of image that starts at its origin and is length wide, the image's full height.
QRectF leadingSlice(const QImage& image, double length)
{
    return QRectF(0, 0, length, ZEPImageSize(image).height());
}

} // namespace

double ZEPAudioMeterAmplitudeForDecibels(double decibels) { return std::pow(10.0, 0.05 * decibels) - 0.000001; }

ZEPAudioMeter::ZEPAudioMeter(const QRect& frame, QWidget* parent)
    : QWidget(parent),
      mBackgroundImage(ZEPImageNamed(QStringLiteral("meter_bg"))),
      mLitImage(ZEPImageNamed(QStringLiteral("meter_lit"))),
      mDisabledImage(ZEPImageNamed(QStringLiteral("meter_disabled")))
{
    setFocusPolicy(Qt::NoFocus);
    setGeometry(frame);
    mIsVertical = frame.height() > frame.width();
}

void ZEPAudioMeter::setFloatValue(float value)
{
    mValue = value >= 1.0f ? mMaxValue : value;
    setNeedsDisplay();
}

void ZEPAudioMeter::setPeakValue(float value)
{
    mPeakValue = value;
    mPeakSetTime = TimeSource::currentTime();
    setNeedsDisplay();
}

void ZEPAudioMeter::setLowLevel(float value)
{
    if (value == mLowValue)
        return;
    mLowValue = value;
    setNeedsDisplay();
}

void ZEPAudioMeter::setMinValue(float value)
{
    if (value == mMinValue)
        return;
    mMinValue = value;
    setNeedsDisplay();
}

void ZEPAudioMeter::setMaxValue(float value)
{
    if (value == mMaxValue)
        return;
    mMaxValue = value;
    setNeedsDisplay();
}

void ZEPAudioMeter::setMeterEnabled(bool enabled)
{
    if (enabled == mEnabled)
        return;
    mEnabled = enabled;
    setNeedsDisplay();
}

void ZEPAudioMeter::setMeterVisible(bool visible)
{
    if (visible == mVisible)
        return;
    mVisible = visible;
    setNeedsDisplay();
}

void ZEPAudioMeter::setOpaque(bool opaque)
{
    mIsOpaque = opaque;
    setAttribute(Qt::WA_OpaquePaintEvent, opaque);
}

void ZEPAudioMeter::setNeedsDisplay()
{
    if (!mAutoDraws) {
        mNeedsDisplay = true;
        return;
    }
    mRedrawPending = true;
    update();
}

void ZEPAudioMeter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    mIsVertical = height() > width();
}

void ZEPAudioMeter::paintEvent(QPaintEvent*)
{
    mRedrawPending = false;
    QPainter painter(this);
    const QSizeF bg = ZEPImageSize(mBackgroundImage);
    // The bar's rectangle sits at the view's bottom-left corner. A vertical meter turns
    // the bar a quarter turn to the left: the bar's start is at the bottom, its top edge
    // at the left.
    if (mIsVertical)
        painter.setTransform(QTransform(0, -1, 1, 0, 0, height()));
    else
        painter.translate(0, height() - bg.height());
    drawBar(painter);
}

void ZEPAudioMeter::drawBar(QPainter& painter)
{
    const QSizeF bg = ZEPImageSize(mBackgroundImage);
    const double bgW = bg.width();
    const double bgH = bg.height();

    double v = mValue;
    if (mIndicatesPeakWithFullMeter && mPeakValue > mMaxValue)
        v = mMaxValue; // a clipped peak shows as a full bar
    // The value is divided by the span without subtracting the minimum.
    const double span = double(mMaxValue) - double(mMinValue);
    const double litLength = lengthInBar(v / span, bgW);
    const double lowLength = lengthInBar(mLowValue / span, bgW);

    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(1.0);
    if (litLength >= 0.5) {
        const double litW = ZEPImageSize(mLitImage).width();
        painter.drawImage(QRectF(0, 0, litLength, bgH), mLitImage, leadingSlice(mLitImage, lengthInBar(v / span, litW)));
    }
    const QRectF rest(litLength, 0, bgW - litLength, bgH);
    painter.drawImage(rest, mBackgroundImage, rest);

    if (v < mPeakValue && mPeakValue > 0 && mPeakValue < mMaxValue)
        drawPeak(painter, span, bgW, bgH);

    if (lowLength >= 0.5) {
        const double disabledW = ZEPImageSize(mDisabledImage).width();
        painter.drawImage(QRectF(0, 0, lowLength, bgH), mDisabledImage,
                          leadingSlice(mDisabledImage, lengthInBar(mLowValue / span, disabledW)));
    }
}

void ZEPAudioMeter::drawPeak(QPainter& painter, double span, double bgW, double bgH)
{
    // A straight fade to nothing over two seconds from the moment the peak was set.
    const double alpha = 1.0 - 0.5 * (TimeSource::currentTime() - mPeakSetTime);
    if (alpha <= 0) {
        mPeakValue = 0;
        return;
    }
    const double end = lengthInBar(mPeakValue / span, bgW);
    const QRectF indicator(end - 2, 0, 2, bgH);
    if (mPeakColor.isValid()) {
        painter.save();
        painter.setOpacity(alpha);
        painter.fillRect(indicator.adjusted(0, 1, 0, -1), mPeakColor);
        painter.restore();
        return;
    }
    const double litEnd = lengthInBar(mPeakValue / span, ZEPImageSize(mLitImage).width());
    painter.drawImage(indicator, mLitImage, QRectF(litEnd - 2, 0, 2, ZEPImageSize(mLitImage).height()));
}
