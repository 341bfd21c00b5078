#include "app/CKDrawerSliderCell.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

CKDrawerSliderCell::CKDrawerSliderCell()
{
    setBarImage(ZEPImageNamed(QStringLiteral("drawer-slider-vertical-bg")));
    setKnobImage(ZEPImageNamed(QStringLiteral("drawer-slider-vertical-thumb")));
}

QRectF CKDrawerSliderCell::knobRectFlipped(bool flipped) const
{
    const QRectF knob = ZEPSliderCell::knobRectFlipped(flipped);
    return QRectF(knob.topLeft(), ZEPImageSize(knobImage())).toAlignedRect();
}
