#pragma once
// Small path helpers the board window's drawing shares.
// Main thread only (the rounded-rectangle cache is not locked).

#include <QPainterPath>
#include <QRectF>

// A copy of path whose last subpath is closed when it was left open; an empty path for an
// empty one.
QPainterPath CKClosedPath(const QPainterPath& path);

// The rounded rectangle of rect (made integral first) with radius on both axes, made once
// per integral rectangle and whole radius and kept for the program's life: rectangles that
// round to the same pixels, with radii of the same whole number, share one path.
const QPainterPath& CKRoundedRectPath(const QRectF& rect, qreal radius);

// Appends a rounded rectangle with radius on both axes.
void CKAppendRoundedRect(QPainterPath& path, const QRectF& rect, qreal radius);

// The smallest rectangle of whole pixels holding rect.
QRectF CKIntegralRect(const QRectF& rect);
