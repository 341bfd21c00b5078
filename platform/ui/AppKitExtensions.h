#pragma once
// Small helpers over colours, images, dictionaries and the application that the program's
// drawing and settings lean on, in place of the maker's categories on those classes.
// Main thread, or one thread at a time (they keep no state).

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QVariantMap>

// The colour with its alpha multiplied by factor (clamped to 0..1).
QColor colorWithMultipliedAlphaComponent(const QColor& color, qreal factor);

// A new image of the same size whose pixels take color's hue and saturation, keep their
// own lightness (scaled by color's) and their own alpha: the tinted look of a pressed
// control.
QImage colorizedImageWithColor(const QImage& image, const QColor& color);

// Where tiling starts (the stored image alignment codes): the tile that touches this
// corner or edge of the rectangle is whole.
enum class ZEPImageAlignment {
    Center = 0,
    Top = 1,
    TopLeft = 2,
    TopRight = 3,
    Left = 4,
    Bottom = 5,
    BottomLeft = 6,
    BottomRight = 7,
    Right = 8,
};

// Fills rect with copies of image at its own size, laid from the aligned corner or edge and
// cut at the rectangle's other sides, composited with op at opacity fraction. rect is in
// the painter's coordinates; the tiles appear upright.
void tileInRect(QPainter& painter, const QImage& image, const QRectF& rect, ZEPImageAlignment alignment,
                QPainter::CompositionMode op, qreal fraction);

// Colours in dictionaries that are stored as property lists (the editor's colour settings):
// a colour is kept as a list of four reals, red, green, blue and alpha (sRGB, 0..1), and
// reads back equal. colorForKey answers an invalid QColor when the key holds no colour.
void setColorForKey(QVariantMap& dictionary, const QColor& color, const QString& key);
QColor colorForKey(const QVariantMap& dictionary, const QString& key);

// Whether the program runs in a sandbox that limits what plugins may do. Never here.
inline bool zepIsSandboxed() { return false; }
