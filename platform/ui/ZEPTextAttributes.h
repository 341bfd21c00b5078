#pragma once
// How a control draws a piece of text: font, colour and an optional shadow, the subset of
// attributed-string attributes the controls take. Main thread.

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

struct ZEPShadow {
    QColor color;
    // As the design gives it: y grows upward, so (0, 1) puts the shadow one point above.
    QPointF offset;
    qreal blurRadius = 0;
};

struct ZEPTextAttributes {
    QFont font;
    QColor foregroundColor = Qt::black;
    std::optional<ZEPShadow> shadow;
};

// The size of the system font for small controls, in points.
inline constexpr qreal ZEPSmallControlFontSize = 11;

// The application's font at the given size. A design point is one device-independent
// pixel, so the size is set in pixels: text keeps the size the design measured it in.
QFont ZEPSystemFontOfSize(qreal size);

// Text attributes of the small system font in the given colour.
ZEPTextAttributes ZEPSmallTextAttributes(const QColor& color);

// Draws text, elided at the right when it does not fit, aligned inside rect, shadow first.
void ZEPDrawText(QPainter& painter, const QRectF& rect, int alignment, const QString& text,
                 const ZEPTextAttributes& attributes);
