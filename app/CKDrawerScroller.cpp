#include "app/CKDrawerScroller.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

struct ThreeParts {
    QImage top, tile, bottom;
};

ThreeParts partsNamed(const QString& base)
{
    return {ZEPImageNamed(base + QStringLiteral("-topcap")), ZEPImageNamed(base + QStringLiteral("-tile")),
            ZEPImageNamed(base + QStringLiteral("-bottomcap"))};
}

void drawParts(QPainter& painter, const QRectF& rect, const ThreeParts& parts)
{
    // The painter's y runs downward, so each part is drawn upright with flipped true.
    ZEPDrawVerticalThreePartImage(painter, rect, parts.top, parts.tile, parts.bottom,
                                  QPainter::CompositionMode_SourceOver, 1.0, true, true);
}

} // namespace

CKDrawerScroller::CKDrawerScroller(QWidget* parent) : QScrollBar(Qt::Vertical, parent)
{
    setFocusPolicy(Qt::NoFocus);
    setFixedWidth(kWidth);
}

void CKDrawerScroller::setFrame(const QRect& frame) { setGeometry(QRect(frame.topLeft(), QSize(kWidth, frame.height()))); }

double CKDrawerScroller::knobLength() const
{
    const double slot = height();
    const double range = double(maximum()) - double(minimum());
    if (range <= 0)
        return slot;
    const double length = slot * pageStep() / (range + pageStep());
    return std::min(slot, std::max(kMinimumKnobLength, std::round(length)));
}

double CKDrawerScroller::knobTopForValue(int value) const
{
    const double range = double(maximum()) - double(minimum());
    if (range <= 0)
        return 0;
    return std::round((value - minimum()) / range * (height() - knobLength()));
}

int CKDrawerScroller::valueForKnobTop(double top) const
{
    const double travel = height() - knobLength();
    if (travel <= 0)
        return minimum();
    const double fraction = std::clamp(top / travel, 0.0, 1.0);
    return minimum() + int(std::lround(fraction * (double(maximum()) - double(minimum()))));
}

QRectF CKDrawerScroller::rectForPart(Part part) const
{
    switch (part) {
    case Part::Knob:
        return QRectF(2, knobTopForValue(sliderPosition()), kWidth, knobLength());
    case Part::KnobSlot:
        return QRectF(0, 0, kWidth, height());
    default:
        return QRectF();
    }
}

void CKDrawerScroller::paintEvent(QPaintEvent*)
{
    static const ThreeParts slotParts = partsNamed(QStringLiteral("drawer-tableviewscrollbg"));
    static const ThreeParts knobParts = partsNamed(QStringLiteral("drawer-tableviewscrollthumb"));
    QPainter painter(this);
    const QRectF slot = rectForPart(Part::KnobSlot);
    drawParts(painter, slot.adjusted(0, -4, 0, -12), slotParts);
    if (maximum() > minimum())
        drawParts(painter, rectForPart(Part::Knob), knobParts);
}

void CKDrawerScroller::mousePressEvent(QMouseEvent* event)
{
    const QRectF knob = rectForPart(Part::Knob);
    if (event->button() != Qt::LeftButton || maximum() <= minimum() || event->position().y() < knob.top() ||
        event->position().y() >= knob.bottom()) {
        event->ignore();
        return;
    }
    dragging_ = true;
    grabOffset_ = event->position().y() - knob.top();
    setSliderDown(true);
}

void CKDrawerScroller::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_)
        setSliderPosition(valueForKnobTop(event->position().y() - grabOffset_));
}

void CKDrawerScroller::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    setSliderDown(false);
}
