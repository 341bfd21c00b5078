#include "hudkit/ZEPHUDButton.h"

#include "hudkit/ZEPHUDImage.h"
#include "platform/ui/PartImages.h"

ZEPHUDButton::ZEPHUDButton(const QRect& frame, QWidget* parent)
    : ZEPImageButton(frame, parent)
{
    setupHUDButton();
}

void ZEPHUDButton::setupHUDButton()
{
    // An image button always draws its image behind its title.
    setupImage();
    setTextColor(Qt::white);
}

void ZEPHUDButton::setupImage()
{
    _leftImage = ZEPHUDImageNamed(QStringLiteral("button-leftcap"));
    _centerImage = ZEPHUDImageNamed(QStringLiteral("button-tile"));
    _rightImage = ZEPHUDImageNamed(QStringLiteral("button-rightcap"));
    _cached = ThreePartImage(rect(), _leftImage, _centerImage, _rightImage, false,
                             QPainter::CompositionMode_SourceOver, 1.0, false);
    setImage(_cached);
}
