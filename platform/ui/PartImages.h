#pragma once
// Pictures composed of part images: a three-part image (two caps and a fill stretched
// between them) and a nine-part image (four corners, four edges and a centre). The
// drawing functions draw into a painter; ThreePartImage and NinePartImage return a new
// picture of the rectangle's size. Main thread or any one thread at a time; they keep no
// state.
//
// Every part is drawn at its own size along the direction it does not stretch in: a cap
// keeps its width (its height, when vertical), a corner keeps its size, an edge keeps its
// thickness; the fill, the edges and the centre are stretched, pixel for pixel, never
// smoothed. A null part (a missing image) is drawn as nothing and takes no room.
//
// Compositing operations: the design's 1 (copy) is QPainter::CompositionMode_Source and
// its 2 (source-over) is QPainter::CompositionMode_SourceOver.
//
// flipped: true when the painter's y axis runs downward (Qt's own coordinates), false when
// its owner has turned it y-up to draw the design's y-up geometry. Either way each part
// appears upright and the top parts at the top of the rectangle as seen on screen. A
// returned picture is always upright, so for ThreePartImage and NinePartImage the flag
// changes nothing.
//
// alignToPixels (the further flag that every caller passes as true): part rectangles are
// rounded to whole pixels, so neighbouring parts meet without a seam.

#include <QImage>
#include <QPainter>
#include <QRectF>

// An image's size in device-independent pixels; (0, 0) for a missing (null) image.
inline QSizeF ZEPImageSize(const QImage& image)
{
    return image.isNull() ? QSizeF(0, 0) : image.deviceIndependentSize();
}

// Draws start cap, fill and end cap into rect: left to right, or top to bottom when
// vertical.
void ZEPDrawThreePartImage(QPainter& painter, const QRectF& rect, const QImage& startCap,
                           const QImage& centerFill, const QImage& endCap, bool vertical,
                           QPainter::CompositionMode op, qreal opacity, bool alignToPixels,
                           bool flipped);

// Draws top cap, fill and bottom cap into rect, top to bottom.
void ZEPDrawVerticalThreePartImage(QPainter& painter, const QRectF& rect, const QImage& topCap,
                                   const QImage& centerFill, const QImage& bottomCap,
                                   QPainter::CompositionMode op, qreal opacity,
                                   bool alignToPixels, bool flipped);

// A picture of rect's size holding the three parts (see ZEPDrawThreePartImage).
QImage ThreePartImage(const QRectF& rect, const QImage& startCap, const QImage& centerFill,
                      const QImage& endCap, bool vertical, QPainter::CompositionMode op,
                      qreal opacity, bool flipped);

// Draws the nine parts into rect. The corners give the grid: the left column is as wide as
// topLeft, the right one as wide as topRight, the top row as high as topLeft and the bottom
// row as high as bottomLeft.
void ZEPDrawNinePartImage(QPainter& painter, const QRectF& rect, const QImage& topLeft,
                          const QImage& top, const QImage& topRight, const QImage& left,
                          const QImage& center, const QImage& right, const QImage& bottomLeft,
                          const QImage& bottom, const QImage& bottomRight,
                          QPainter::CompositionMode op, qreal opacity, bool alignToPixels,
                          bool flipped);

// A picture of rect's size holding the nine parts (see ZEPDrawNinePartImage).
QImage NinePartImage(const QRectF& rect, const QImage& topLeft, const QImage& top,
                     const QImage& topRight, const QImage& left, const QImage& center,
                     const QImage& right, const QImage& bottomLeft, const QImage& bottom,
                     const QImage& bottomRight, QPainter::CompositionMode op, qreal opacity,
                     bool flipped);
