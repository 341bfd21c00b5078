#include "platform/ui/ZEPView.h"

#include "platform/ui/ZEPYUpGeometry.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

ZEPView::ZEPView(const QRect& frame, QWidget* parent)
    : QWidget(parent)
{
    if (frame.isValid())
        setGeometry(frame);
}

QPointF ZEPView::convertPointFromQt(const QPointF& point) const
{
    return isFlipped() ? point : QPointF(point.x(), height() - point.y());
}

QPointF ZEPView::convertPointToQt(const QPointF& point) const
{
    // The flip is its own inverse.
    return convertPointFromQt(point);
}

QRectF ZEPView::convertRectFromQt(const QRectF& rect) const
{
    return isFlipped() ? rect : ZEPFlipRect(rect, height());
}

QRectF ZEPView::convertRectToQt(const QRectF& rect) const { return convertRectFromQt(rect); }

QPointF ZEPView::locationInView(const QMouseEvent* event) const { return convertPointFromQt(event->position()); }

void ZEPView::addSubview(QWidget* view)
{
    view->setParent(this);
    view->show();
}

void ZEPView::setNeedsDisplay(bool needsDisplay)
{
    if (needsDisplay)
        update();
}

void ZEPView::setNeedsDisplayInRect(const QRectF& rect)
{
    update(convertRectToQt(rect).toAlignedRect());
}

void ZEPView::drawRect(QPainter&, const QRectF&) {}

void ZEPView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (!isFlipped()) {
        painter.translate(0, height());
        painter.scale(1, -1);
    }
    drawRect(painter, convertRectFromQt(event->rect()));
}

template <typename Draw>
void ZEPView::drawUpright(QPainter& painter, const QRectF& rect, Draw draw) const
{
    if (isFlipped()) {
        draw(rect);
        return;
    }
    // Mirror about the rectangle's own centre line: it lands where it was, the right way up.
    painter.save();
    painter.translate(0, rect.top() + rect.bottom());
    painter.scale(1, -1);
    draw(rect);
    painter.restore();
}

void ZEPView::drawImageInRect(QPainter& painter, const QImage& image, const QRectF& rect) const
{
    drawUpright(painter, rect, [&](const QRectF& r) { painter.drawImage(r, image); });
}

void ZEPView::drawTextInRect(QPainter& painter, const QString& text, const QRectF& rect, int flags) const
{
    drawUpright(painter, rect, [&](const QRectF& r) { painter.drawText(r, flags, text); });
}
