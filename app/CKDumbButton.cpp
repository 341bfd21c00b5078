#include "app/CKDumbButton.h"

CKDumbButton::CKDumbButton(const QRect& frame, QWidget* parent) : ZEPButton(frame, parent)
{
    setFocusPolicy(Qt::NoFocus);
}
