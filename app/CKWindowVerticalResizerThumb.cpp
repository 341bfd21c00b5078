#include "app/CKWindowVerticalResizerThumb.h"

#include <QMouseEvent>
#include <QPainter>

CKWindowVerticalResizerThumb::CKWindowVerticalResizerThumb(const QRect& frame, QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setGeometry(frame);
}

void CKWindowVerticalResizerThumb::setImage(const QImage& image)
{
    image_ = image;
    update();
}

void CKWindowVerticalResizerThumb::paintEvent(QPaintEvent*)
{
    if (image_.isNull())
        return;
    QPainter painter(this);
    QRectF target(QPointF(0, 0), image_.deviceIndependentSize());
    target.moveCenter(QRectF(rect()).center());
    painter.drawImage(target.toAlignedRect(), image_);
}

void CKWindowVerticalResizerThumb::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    isDragging_ = true;
    if (delegate_)
        delegate_->didStartDraggingThumb(this);
    startPoint_ = event->globalPosition();
    startWindowFrame_ = window()->geometry();
}

// Qt delivers a double click's second press here; it starts no drag.
void CKWindowVerticalResizerThumb::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

float CKWindowVerticalResizerThumb::offsetFor(const QMouseEvent& event)
{
    const float dy = float(startPoint_.y() - event.globalPosition().y());
    return delegate_ ? delegate_->thumbShouldResizeToOffset(this, dy) : dy;
}

void CKWindowVerticalResizerThumb::mouseMoveEvent(QMouseEvent* event)
{
    if (!isDragging_)
        return;
    const int offset = qRound(offsetFor(*event));
    QRect frame = startWindowFrame_;
    frame.setHeight(frame.height() - offset);
    window()->setGeometry(frame);
}

void CKWindowVerticalResizerThumb::mouseReleaseEvent(QMouseEvent* event)
{
    if (!isDragging_ || event->button() != Qt::LeftButton)
        return;
    const float offset = offsetFor(*event);
    if (delegate_)
        delegate_->thumbDidFinishDraggingToOffset(this, offset);
    isDragging_ = false;
}
