#pragma once
// The design gives geometry with y growing upward from a view's bottom edge; Qt's y grows
// downward from the top. A view converts once, where the design's rectangle meets Qt.

#include <QRectF>

// The same rectangle in the other convention, inside a view of the given height. The
// conversion is its own inverse.
inline QRectF ZEPFlipRect(const QRectF& rect, qreal viewHeight)
{
    return QRectF(rect.x(), viewHeight - rect.y() - rect.height(), rect.width(), rect.height());
}
