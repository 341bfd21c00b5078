#include "platform/ui/ZEPTextAttributes.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One box-blur pass over the alpha of a premultiplied image, along rows or columns.
void boxBlurPass(QImage& image, int radius, bool alongRows)
{
    const int length = alongRows ? image.width() : image.height();
    const int lines = alongRows ? image.height() : image.width();
    std::vector<QRgb> line(length);
    for (int l = 0; l < lines; ++l) {
        auto pixel = [&](int i) -> QRgb& {
            return alongRows ? reinterpret_cast<QRgb*>(image.scanLine(l))[i]
                             : reinterpret_cast<QRgb*>(image.scanLine(i))[l];
        };
        for (int i = 0; i < length; ++i)
            line[i] = pixel(i);
        for (int i = 0; i < length; ++i) {
            int sums[4] = {0, 0, 0, 0};
            for (int k = i - radius; k <= i + radius; ++k) {
                const QRgb c = (k >= 0 && k < length) ? line[k] : 0;
                sums[0] += qAlpha(c), sums[1] += qRed(c), sums[2] += qGreen(c), sums[3] += qBlue(c);
            }
            const int n = 2 * radius + 1;
            pixel(i) = qRgba(sums[1] / n, sums[2] / n, sums[3] / n, sums[0] / n);
        }
    }
}

void drawShadow(QPainter& painter, const QRectF& rect, int alignment, const QString& text,
                const QFont& font, const ZEPShadow& shadow)
{
    // Qt's y runs downward, the shadow's offset upward.
    const QPointF offset(shadow.offset.x(), -shadow.offset.y());
    const int radius = static_cast<int>(std::ceil(shadow.blurRadius));
    if (radius <= 0) {
        painter.save();
        painter.setFont(font);
        painter.setPen(shadow.color);
        painter.drawText(rect.translated(offset), alignment, text);
        painter.restore();
        return;
    }
    const QSize size = rect.size().toSize() + QSize(2 * radius, 2 * radius);
    if (size.isEmpty())
        return;
    QImage blurred(size, QImage::Format_ARGB32_Premultiplied);
    blurred.fill(Qt::transparent);
    {
        QPainter textPainter(&blurred);
        textPainter.setFont(font);
        textPainter.setPen(shadow.color);
        textPainter.drawText(QRectF(radius, radius, rect.width(), rect.height()), alignment, text);
    }
    boxBlurPass(blurred, radius, true);
    boxBlurPass(blurred, radius, false);
    painter.drawImage(rect.topLeft() + offset - QPointF(radius, radius), blurred);
}

} // namespace

QFont ZEPSystemFontOfSize(qreal size)
{
    QFont font = QApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    return font;
}

ZEPTextAttributes ZEPSmallTextAttributes(const QColor& color)
{
    return ZEPTextAttributes{ZEPSystemFontOfSize(ZEPSmallControlFontSize), color, std::nullopt};
}

void ZEPDrawText(QPainter& painter, const QRectF& rect, int alignment, const QString& text,
                 const ZEPTextAttributes& attributes)
{
    if (text.isEmpty() || rect.isEmpty())
        return;
    const QString shown =
        QFontMetricsF(attributes.font).elidedText(text, Qt::ElideRight, rect.width());
    if (attributes.shadow)
        drawShadow(painter, rect, alignment, shown, attributes.font, *attributes.shadow);
    painter.save();
    painter.setFont(attributes.font);
    painter.setPen(attributes.foregroundColor);
    painter.drawText(rect, alignment, shown);
    painter.restore();
}
