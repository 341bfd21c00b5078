#include "platform/ui/ZEPInnerTabView.h"

ZEPInnerTabView::ZEPInnerTabView(QWidget* parent)
    : QStackedWidget(parent)
{
    setDrawsBackground(true);
}

void ZEPInnerTabView::setDrawsBackground(bool draws)
{
    setAutoFillBackground(draws);
    update();
}
