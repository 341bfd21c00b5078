#include "platform/ui/ZEPBoardArt.h"

#include <QColor>
#include <QPainterPath>

#include <algorithm>

namespace {
// The label colours of the board's buttons, and the grey of an unlabelled one.
const QColor kLabels[] = {
    QColor::fromRgbF(1.0f, 0.4f, 0.4f),  QColor::fromRgbF(1.0f, 0.75f, 0.35f), QColor::fromRgbF(1.0f, 1.0f, 0.35f),
    QColor::fromRgbF(0.4f, 1.0f, 0.4f),  QColor::fromRgbF(0.6f, 0.6f, 1.0f),   QColor::fromRgbF(0.85f, 0.6f, 0.85f),
    QColor::fromRgbF(0.65f, 0.65f, 0.65f), QColor::fromRgbF(0.888f, 0.888f, 0.888f),
};
} // namespace

void ZEPDrawBoardMark(QPainter& painter, const QRectF& rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(rect.width(), rect.height() * 2.0);
    const QRectF tile(rect.center().x() - side / 2, rect.center().y() - side / 4, side, side / 2);
    QLinearGradient background(tile.topLeft(), tile.bottomLeft());
    background.setColorAt(0, QColor(62, 66, 72));
    background.setColorAt(1, QColor(24, 26, 30));
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(tile, side * 0.06, side * 0.06);

    const int columns = 8, rows = 4;
    const qreal margin = side * 0.05;
    const qreal gap = side * 0.015;
    const qreal cellWidth = (tile.width() - 2 * margin - (columns - 1) * gap) / columns;
    const qreal cellHeight = (tile.height() - 2 * margin - (rows - 1) * gap) / rows;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const QRectF cell(tile.left() + margin + column * (cellWidth + gap),
                              tile.top() + margin + row * (cellHeight + gap), cellWidth, cellHeight);
            const QColor color = kLabels[(row * 3 + column * 5) % 8];
            QLinearGradient shade(cell.topLeft(), cell.bottomLeft());
            shade.setColorAt(0, color.lighter(115));
            shade.setColorAt(1, color.darker(125));
            painter.setBrush(shade);
            painter.drawRoundedRect(cell, cellWidth * 0.15, cellWidth * 0.15);
        }
    }
    painter.restore();
}

QImage ZEPBoardMarkImage(const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    ZEPDrawBoardMark(painter, QRectF(QPointF(0, 0), size));
    return image;
}
