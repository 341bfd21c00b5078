#pragma once
// The program's own mark, drawn in code for the about box and the splash screen: a board
// of 8 x 4 rounded buttons in the label colours on a dark rounded tile.
// Main thread, or one thread at a time.

#include <QImage>
#include <QPainter>
#include <QRectF>

void ZEPDrawBoardMark(QPainter& painter, const QRectF& rect);
// The mark as a picture of the given size (in device-independent pixels).
QImage ZEPBoardMarkImage(const QSize& size);
