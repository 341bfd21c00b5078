#include "platform/ui/ZEPImageButton.h"

ZEPImageButton::ZEPImageButton(const QRect& frame, QWidget* parent)
    : ZEPButton(frame, parent)
{
    setButtonType(ZEPButtonType::MomentaryLight);
}
