#include "platform/ui/ZEPSlider.h"

#include "platform/ui/PartImages.h"

#include <QMouseEvent>
#include <QPainter>

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

ZEPSlider::ZEPSlider(const QRect& frame, QWidget* parent)
    : QWidget(parent)
{
    setGeometry(frame);
}

void ZEPSlider::setMinValue(double value)
{
    minValue_ = value;
    setDoubleValue(value_);
    update();
}

void ZEPSlider::setMaxValue(double value)
{
    maxValue_ = value;
    setDoubleValue(value_);
    update();
}

void ZEPSlider::setDoubleValue(double value)
{
    const double clamped = std::clamp(value, std::min(minValue_, maxValue_), std::max(minValue_, maxValue_));
    if (clamped == value_)
        return;
    value_ = clamped;
    update();
    emit valueChanged(value_);
}

void ZEPSlider::setNumberOfTickMarks(int count)
{
    numberOfTickMarks_ = std::max(0, count);
    update();
}

void ZEPSlider::setBarImage(const QImage& image)
{
    barImage_ = image;
    update();
}

void ZEPSlider::setKnobImage(const QImage& image)
{
    knobImage_ = image;
    update();
}

void ZEPSlider::setTickImage(const QImage& image)
{
    tickImage_ = image;
    update();
}

QSizeF ZEPSlider::knobSize() const
{
    return ZEPImageSize(knobImage_);
}

double ZEPSlider::fraction() const
{
    const double span = maxValue_ - minValue_;
    if (span == 0 || std::isnan(span))
        return 0;
    return std::clamp((value_ - minValue_) / span, 0.0, 1.0);
}

QPointF ZEPSlider::knobCentreForFraction(double f) const
{
    const QSizeF knob = knobSize();
    if (isVertical())
        return QPointF(width() / 2.0, height() - knob.height() / 2 - f * (height() - knob.height()));
    return QPointF(knob.width() / 2 + f * (width() - knob.width()), height() / 2.0);
}

QRectF ZEPSlider::barRect() const
{
    if (barImage_.isNull())
        return QRectF();
    return centredOnPixels(QPointF(width() / 2.0, height() / 2.0), ZEPImageSize(barImage_));
}

QRectF ZEPSlider::knobRect() const
{
    return centredOnPixels(knobCentreForFraction(fraction()), knobSize());
}

double ZEPSlider::valueForKnobCentre(const QPointF& centre) const
{
    const QSizeF knob = knobSize();
    double f = 0;
    if (isVertical()) {
        const double travel = height() - knob.height();
        f = travel > 0 ? (height() - knob.height() / 2 - centre.y()) / travel : 0;
    } else {
        const double travel = width() - knob.width();
        f = travel > 0 ? (centre.x() - knob.width() / 2) / travel : 0;
    }
    return minValue_ + std::clamp(f, 0.0, 1.0) * (maxValue_ - minValue_);
}

void ZEPSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(0.5);
    if (!barImage_.isNull())
        painter.drawImage(barRect(), barImage_);
    if (!tickImage_.isNull() && numberOfTickMarks_ > 0) {
        const QSizeF tick = ZEPImageSize(tickImage_);
        for (int i = 0; i < numberOfTickMarks_; ++i) {
            const double f = numberOfTickMarks_ == 1 ? 0.5 : double(i) / (numberOfTickMarks_ - 1);
            painter.drawImage(centredOnPixels(knobCentreForFraction(f), tick), tickImage_);
        }
    }
    if (!knobImage_.isNull())
        painter.drawImage(knobRect(), knobImage_);
}

void ZEPSlider::moveKnobTo(const QPointF& centre)
{
    const double before = value_;
    setDoubleValue(valueForKnobCentre(centre));
    if (value_ != before)
        emit sliderMoved(value_);
}

void ZEPSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    tracking_ = true;
    const QRectF knob = knobRect();
    const QPointF point = event->position();
    // A press on the knob keeps the point where it was taken; elsewhere the knob jumps there.
    grabOffset_ = knob.contains(point) ? point - knob.center() : QPointF();
    moveKnobTo(point - grabOffset_);
}

void ZEPSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (tracking_)
        moveKnobTo(event->position() - grabOffset_);
}

void ZEPSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (tracking_ && event->button() == Qt::LeftButton)
        tracking_ = false;
}
