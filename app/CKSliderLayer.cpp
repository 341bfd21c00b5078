#include "app/CKSliderLayer.h"

#include "app/CKClipdeckButtonLayoutManager.h"

#include "platform/ui/ZEPYUpGeometry.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

void CKSliderLayer::setDoubleValue(double value)
{
    value = std::clamp(value, minValue_, std::max(minValue_, maxValue_));
    if (value == doubleValue_)
        return;
    doubleValue_ = value;
    if (action_)
        action_(this);
}

void CKSliderLayer::setFrame(const QRectF& frame)
{
    frame_ = frame;
    double knobWidth = std::round(3.0 * frame.width() / 5.0);
    if (knobWidth < 5.0)
        knobWidth = 3.0;
    sliderSize_ = QSizeF(knobWidth, std::round(2.0 * knobWidth));
}

QRectF CKSliderLayer::rectOfSliderRailInBounds(const QRectF& bounds) const
{
    return CKIntegralRect(QRectF(bounds.width() / 4.0, 0, bounds.width() / 2.0, bounds.height()));
}

QRectF CKSliderLayer::rectOfSliderKnobInBounds(const QRectF& bounds) const
{
    double fraction = (doubleValue_ - minValue_) / (maxValue_ - minValue_);
    if (std::isnan(fraction))
        fraction = 0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    return CKIntegralRect(QRectF(std::round(bounds.width() / 5.0), (bounds.height() - sliderSize_.height()) * fraction,
                                 sliderSize_.width(), sliderSize_.height()));
}

QRectF CKSliderLayer::frameOfSliderHandle() const
{
    return rectOfSliderKnobInBounds(QRectF(QPointF(), frame_.size())).translated(frame_.topLeft());
}

void CKSliderLayer::paint(QPainter& painter, double cellHeight) const
{
    const QRectF bounds(QPointF(), frame_.size());
    painter.save();
    painter.setOpacity(painter.opacity() * opacity());
    const QRectF rail = ZEPFlipRect(rectOfSliderRailInBounds(bounds).translated(frame_.topLeft()), cellHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 70));
    painter.drawRoundedRect(rail, rail.width() / 2, rail.width() / 2);
    const QRectF knob = ZEPFlipRect(frameOfSliderHandle(), cellHeight);
    painter.setPen(QPen(QColor(90, 90, 90), 0.8));
    painter.setBrush(QColor(250, 250, 250));
    painter.drawRoundedRect(knob, knob.width() / 3, knob.width() / 3);
    painter.restore();
}
