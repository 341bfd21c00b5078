#include "hudkit/ZEPHUDContentView.h"

ZEPHUDContentView::ZEPHUDContentView(const QRect& frame, QWidget* parent)
    : QWidget(parent)
{
    setGeometry(frame);
}

void ZEPHUDContentView::paintEvent(QPaintEvent*) {}
