#include "app/CKMenuPopUp.h"

#include <QMenu>
#include <QWidget>

void CKPopUpMenu(QMenu* menu, QWidget* view, const QRectF& spot)
{
    if (!menu || !view)
        return;
    menu->popup(view->mapToGlobal(spot.bottomLeft().toPoint()));
}
