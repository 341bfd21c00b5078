#include "app/CKClipdeckButtonLayoutManager.h"

#include <algorithm>
#include <cmath>

QRectF CKClipdeckButtonLayoutManager::rectOfCellAtIndex(std::size_t index, const QSizeF& size) const
{
    if (index >= numberOfCells())
        return QRectF();
    const double rows = numberOfRows_, columns = numberOfColumns_;
    const std::size_t row = index / numberOfColumns_, column = index % numberOfColumns_;
    const double cellHeight = (size.height() - (rows - 1) * kCellGap) / rows;
    const double cellWidth = (size.width() - (columns - 1) * kCellGap) / columns;
    const double x = double(column) * (cellWidth + kCellGap);
    const double y = size.height() - cellHeight - double(row) * (cellHeight + kCellGap);
    return CKIntegralRect(QRectF(x, y, cellWidth, cellHeight));
}

QList<QRectF> CKClipdeckButtonLayoutManager::layoutCellsInBounds(const QRectF& bounds, std::size_t cellCount) const
{
    QList<QRectF> frames;
    const QRectF area = bounds.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const std::size_t count = std::min(cellCount, numberOfCells());
    for (std::size_t index = 0; index < count; ++index)
        frames << CKIntegralRect(rectOfCellAtIndex(index, area.size()).translated(area.topLeft()));
    return frames;
}

QSizeF CKClipdeckButtonLayoutManager::preferredSizeOfSizes(const QList<QSizeF>& sizes)
{
    double width = 0, height = 0;
    for (const QSizeF& size : sizes) {
        width = std::max(width, size.width());
        height += size.height();
    }
    height += 8.0 * (double(sizes.size()) - 1.0);
    return QSizeF(width + 60, height + 60);
}
