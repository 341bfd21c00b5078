#include "hudkit/ZEPHUDMenuWindow.h"

#include "hudkit/ZEPHUDMenuView.h"

ZEPHUDMenuWindow::ZEPHUDMenuWindow(const QRect& frame)
    : ZEPCustomMenuWindow(frame)
{
}

void ZEPHUDMenuWindow::setupContents()
{
    setContentView(new ZEPHUDMenuView(QRect(QPoint(0, 0), size())));
}
