#include "platform/ui/ZEPSliderCell.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPYUpGeometry.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {
// An image's rectangle of the given size centred on centre, on whole pixels so that
// images stay crisp.
QRectF centredOnPixels(const QPointF& centre, const QSizeF& size)
{
    return QRectF(QPointF(std::round(centre.x() - size.width() / 2), std::round(centre.y() - size.height() / 2)), size);
}
} // namespace

QRectF ZEPSliderCell::cellFrame() const
{
    return controlView_ ? QRectF(QPointF(0, 0), controlView_->size()) : QRectF();
}

void ZEPSliderCell::setMinValue(double value)
{
    minValue_ = value;
    setDoubleValue(value_);
}

void ZEPSliderCell::setMaxValue(double value)
{
    maxValue_ = value;
    setDoubleValue(value_);
}

bool ZEPSliderCell::setDoubleValue(double value)
{
    const double clamped = std::clamp(value, std::min(minValue_, maxValue_), std::max(minValue_, maxValue_));
    if (clamped == value_)
        return false;
    value_ = clamped;
    return true;
}

double ZEPSliderCell::fraction() const
{
    const double span = maxValue_ - minValue_;
    if (span == 0 || std::isnan(span))
        return 0;
    return std::clamp((value_ - minValue_) / span, 0.0, 1.0);
}

void ZEPSliderCell::setNumberOfTickMarks(int count) { numberOfTickMarks_ = std::max(0, count); }

bool ZEPSliderCell::isVertical() const
{
    const QRectF frame = cellFrame();
    return frame.height() > frame.width();
}

QSizeF ZEPSliderCell::knobSize() const { return ZEPImageSize(knobImage_); }

double ZEPSliderCell::knobThickness() const { return isVertical() ? knobSize().height() : knobSize().width(); }

QRectF ZEPSliderCell::inCoordinates(const QRectF& qtRect, bool flipped) const
{
    return flipped ? qtRect : ZEPFlipRect(qtRect, cellFrame().height());
}

QPointF ZEPSliderCell::knobCentreForFraction(double f) const
{
    const QRectF frame = cellFrame();
    const QSizeF knob = knobSize();
    if (isVertical())
        return QPointF(frame.width() / 2.0, frame.height() - knob.height() / 2 - f * (frame.height() - knob.height()));
    return QPointF(knob.width() / 2 + f * (frame.width() - knob.width()), frame.height() / 2.0);
}

double ZEPSliderCell::valueForKnobCentre(const QPointF& centre) const
{
    const QRectF frame = cellFrame();
    const QSizeF knob = knobSize();
    double f = 0;
    if (isVertical()) {
        const double travel = frame.height() - knob.height();
        f = travel > 0 ? (frame.height() - knob.height() / 2 - centre.y()) / travel : 0;
    } else {
        const double travel = frame.width() - knob.width();
        f = travel > 0 ? (centre.x() - knob.width() / 2) / travel : 0;
    }
    return minValue_ + std::clamp(f, 0.0, 1.0) * (maxValue_ - minValue_);
}

QRectF ZEPSliderCell::barRectFlipped(bool flipped) const
{
    if (barImage_.isNull())
        return QRectF();
    return inCoordinates(centredOnPixels(cellFrame().center(), ZEPImageSize(barImage_)), flipped);
}

QRectF ZEPSliderCell::knobRectFlipped(bool flipped) const
{
    return inCoordinates(centredOnPixels(knobCentreForFraction(fraction()), knobSize()), flipped);
}

void ZEPSliderCell::drawWithFrame(QPainter& painter)
{
    if (!barImage_.isNull())
        drawBarInside(painter, barRectFlipped(true));
    drawTickMarks(painter);
    if (!knobImage_.isNull())
        drawKnob(painter, knobRectFlipped(true));
}

void ZEPSliderCell::drawBarInside(QPainter& painter, const QRectF& barRect) { painter.drawImage(barRect, barImage_); }

void ZEPSliderCell::drawTickMarks(QPainter& painter)
{
    if (tickImage_.isNull() || numberOfTickMarks_ <= 0)
        return;
    const QSizeF tick = ZEPImageSize(tickImage_);
    for (int i = 0; i < numberOfTickMarks_; ++i) {
        const double f = numberOfTickMarks_ == 1 ? 0.5 : double(i) / (numberOfTickMarks_ - 1);
        painter.drawImage(centredOnPixels(knobCentreForFraction(f), tick), tickImage_);
    }
}

void ZEPSliderCell::drawKnob(QPainter& painter, const QRectF& knobRect) { painter.drawImage(knobRect, knobImage_); }
