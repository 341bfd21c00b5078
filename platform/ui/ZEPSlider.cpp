#include "platform/ui/ZEPSlider.h"

#include <QMouseEvent>
#include <QPainter>

ZEPSlider::ZEPSlider(const QRect& frame, QWidget* parent, std::unique_ptr<ZEPSliderCell> cell)
    : QWidget(parent), cell_(cell ? std::move(cell) : std::make_unique<ZEPSliderCell>())
{
    cell_->setControlView(this);
    setGeometry(frame);
}

ZEPSlider::~ZEPSlider() = default;

void ZEPSlider::setMinValue(double value)
{
    const double before = cell_->doubleValue();
    cell_->setMinValue(value);
    update();
    if (cell_->doubleValue() != before)
        emit valueChanged(cell_->doubleValue());
}

void ZEPSlider::setMaxValue(double value)
{
    const double before = cell_->doubleValue();
    cell_->setMaxValue(value);
    update();
    if (cell_->doubleValue() != before)
        emit valueChanged(cell_->doubleValue());
}

void ZEPSlider::setDoubleValue(double value)
{
    if (!cell_->setDoubleValue(value))
        return;
    update();
    emit valueChanged(cell_->doubleValue());
}

void ZEPSlider::setNumberOfTickMarks(int count)
{
    cell_->setNumberOfTickMarks(count);
    update();
}

void ZEPSlider::setBarImage(const QImage& image)
{
    cell_->setBarImage(image);
    update();
}

void ZEPSlider::setKnobImage(const QImage& image)
{
    cell_->setKnobImage(image);
    update();
}

void ZEPSlider::setTickImage(const QImage& image)
{
    cell_->setTickImage(image);
    update();
}

void ZEPSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(0.5);
    cell_->drawWithFrame(painter);
}

void ZEPSlider::moveKnobTo(const QPointF& centre)
{
    const double before = cell_->doubleValue();
    setDoubleValue(cell_->valueForKnobCentre(centre));
    if (cell_->doubleValue() != before)
        emit sliderMoved(cell_->doubleValue());
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
