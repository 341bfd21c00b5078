#include "platform/ui/AppKitExtensions.h"

#include "platform/ui/PartImages.h"

#include <QVariantList>

#include <algorithm>
#include <cmath>

QColor colorWithMultipliedAlphaComponent(const QColor& color, qreal factor)
{
    QColor result = color;
    result.setAlphaF(float(std::clamp(color.alphaF() * factor, 0.0, 1.0)));
    return result;
}

QImage colorizedImageWithColor(const QImage& image, const QColor& color)
{
    if (image.isNull())
        return QImage();
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    const QColor tint = color.toHsl();
    const float tintLightness = tint.lightnessF();
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const QColor pixel = QColor::fromRgba(line[x]);
            const float lightness = std::clamp(pixel.lightnessF() * tintLightness, 0.0f, 1.0f);
            QColor tinted = QColor::fromHslF(tint.hslHueF() < 0 ? 0 : tint.hslHueF(), tint.hslSaturationF(), lightness,
                                             pixel.alphaF());
            line[x] = tinted.rgba();
        }
    }
    return result.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void tileInRect(QPainter& painter, const QImage& image, const QRectF& rect, ZEPImageAlignment alignment,
                QPainter::CompositionMode op, qreal fraction)
{
    const QSizeF size = ZEPImageSize(image);
    if (size.isEmpty() || rect.isEmpty())
        return;
    // Where the first tile's top-left corner lies, as the screen shows it: the painter's y
    // axis may run upward (a y-up view), so "top" is the edge with the larger y then.
    const bool yUp = painter.worldTransform().m22() < 0;
    const auto alignX = [&](ZEPImageAlignment a) {
        switch (a) {
        case ZEPImageAlignment::Left:
        case ZEPImageAlignment::TopLeft:
        case ZEPImageAlignment::BottomLeft:
            return rect.left();
        case ZEPImageAlignment::Right:
        case ZEPImageAlignment::TopRight:
        case ZEPImageAlignment::BottomRight:
            return rect.right() - size.width();
        default:
            return rect.center().x() - size.width() / 2;
        }
    };
    const auto alignTop = [&](ZEPImageAlignment a) { // the screen's top edge
        switch (a) {
        case ZEPImageAlignment::Top:
        case ZEPImageAlignment::TopLeft:
        case ZEPImageAlignment::TopRight:
            return true;
        default:
            return false;
        }
    };
    const auto alignBottom = [&](ZEPImageAlignment a) {
        switch (a) {
        case ZEPImageAlignment::Bottom:
        case ZEPImageAlignment::BottomLeft:
        case ZEPImageAlignment::BottomRight:
            return true;
        default:
            return false;
        }
    };
    // In the painter's coordinates: the low-y edge is the screen's top unless y runs up.
    const bool atLowY = yUp ? alignBottom(alignment) : alignTop(alignment);
    const bool atHighY = yUp ? alignTop(alignment) : alignBottom(alignment);
    const qreal originY = atLowY    ? rect.top()
                          : atHighY ? rect.bottom() - size.height()
                                    : rect.center().y() - size.height() / 2;
    const qreal originX = alignX(alignment);
    // Step back to the first tile at or before the rectangle's low edges.
    const qreal startX = originX - std::ceil((originX - rect.left()) / size.width()) * size.width();
    const qreal startY = originY - std::ceil((originY - rect.top()) / size.height()) * size.height();

    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setCompositionMode(op);
    painter.setOpacity(painter.opacity() * fraction);
    for (qreal y = startY; y < rect.bottom(); y += size.height()) {
        for (qreal x = startX; x < rect.right(); x += size.width()) {
            const QRectF tile(QPointF(x, y), size);
            if (yUp) {
                // Upright on a y-up painter: turn the tile over about its own centre line.
                painter.save();
                painter.translate(0, tile.top() + tile.bottom());
                painter.scale(1, -1);
                painter.drawImage(tile, image);
                painter.restore();
            } else {
                painter.drawImage(tile, image);
            }
        }
    }
    painter.restore();
}

void setColorForKey(QVariantMap& dictionary, const QColor& color, const QString& key)
{
    if (!color.isValid() || key.isEmpty())
        return;
    const QColor rgb = color.toRgb();
    dictionary.insert(key, QVariantList{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()});
}

QColor colorForKey(const QVariantMap& dictionary, const QString& key)
{
    const QVariantList components = dictionary.value(key).toList();
    if (components.size() != 4)
        return QColor();
    float values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = components.at(i).toFloat(&ok);
        if (!ok || !std::isfinite(values[i]) || values[i] < 0 || values[i] > 1)
            return QColor();
    }
    return QColor::fromRgbF(values[0], values[1], values[2], values[3]);
}
