#pragma once
// Pops a menu up at a spot of a view that is not a widget of its own (a layer the view
// draws), as a pull-down menu hangs from its button: its top-left corner at the spot's
// bottom-left corner. The menu shows without blocking.
// Main thread only.

#include <QRectF>

class QMenu;
class QWidget;

// spot: in view's own (Qt, y down) coordinates.
void CKPopUpMenu(QMenu* menu, QWidget* view, const QRectF& spot);
