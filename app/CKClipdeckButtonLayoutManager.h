#pragma once
// Places the cells of a board grid: rows x columns cells, 11 points apart and none at the
// edges, row 0 at the top, cell index = row x columns + column. Rectangles are y-up (origin
// at the lower left of the area); the grid view flips them once when it draws.
//
// A grid with no rows or no columns has no cells; an index outside the grid has no
// rectangle (an empty one), so a caller never places a cell it does not have.
//
// Main thread (plain values; any thread may use a copy).

#include "app/CKPathExtensions.h"

#include <QList>
#include <QRectF>
#include <QSizeF>

#include <cstddef>
#include <cstdint>


class CKClipdeckButtonLayoutManager {
public:
    // Around the grid inside its view.
    static constexpr double kMargin = 10.0;
    // Between neighbouring cells.
    static constexpr double kCellGap = 11.0;

    uint32_t numberOfRows() const { return numberOfRows_; }
    void setNumberOfRows(uint32_t rows) { numberOfRows_ = rows; }
    uint32_t numberOfColumns() const { return numberOfColumns_; }
    void setNumberOfColumns(uint32_t columns) { numberOfColumns_ = columns; }
    std::size_t numberOfCells() const { return std::size_t(numberOfRows_) * numberOfColumns_; }

    // The integral frame of cell index within an area of that size (y-up); empty for an
    // index outside the grid.
    QRectF rectOfCellAtIndex(std::size_t index, const QSizeF& size) const;
    // The frames of the first cellCount cells (at most the grid's cells) inside a view's
    // bounds, the area being the bounds inset by kMargin.
    QList<QRectF> layoutCellsInBounds(const QRectF& bounds, std::size_t cellCount) const;
    // Width: the widest preferred width + 60; height: the preferred heights together, 8
    // between each two, + 60.
    static QSizeF preferredSizeOfSizes(const QList<QSizeF>& sizes);

private:
    uint32_t numberOfRows_ = 0;
    uint32_t numberOfColumns_ = 0;
};
