#include "hudkit/ZEPHUDPopUpButton.h"

#include "hudkit/ZEPHUDImage.h"
#include "hudkit/ZEPHUDMenuWindow.h"
#include "platform/ui/PartImages.h"

ZEPHUDPopUpButton::ZEPHUDPopUpButton(const QRect& frame, QWidget* parent)
    : ZEPPopUpButton(frame, parent)
{
    setup();
}

void ZEPHUDPopUpButton::setup()
{
    // A pop-up button is momentary and draws its image behind its title.
    const QImage leftCap = ZEPHUDImageNamed(QStringLiteral("popupmenu-leftcap"));
    const QImage tile = ZEPHUDImageNamed(QStringLiteral("popupmenu-tile"));
    const QImage rightCap = ZEPHUDImageNamed(QStringLiteral("popupmenu-rightcap"));
    setLeftCapSize(ZEPImageSize(leftCap));
    setRightCapSize(ZEPImageSize(rightCap));
    // flipped: a Qt view's y runs downward, as a flipped view's does.
    _cachedEnabledImage = ThreePartImage(rect(), leftCap, tile, rightCap, false,
                                         QPainter::CompositionMode_SourceOver, 1.0, true);
    setEnabledImage(_cachedEnabledImage);

    _cachedDisabledImage = ThreePartImage(rect(), ZEPHUDImageNamed(QStringLiteral("popupmenu-disabled-leftcap")),
                                          ZEPHUDImageNamed(QStringLiteral("popupmenu-disabled-tile")),
                                          ZEPHUDImageNamed(QStringLiteral("popupmenu-disabled-rightcap")),
                                          false, QPainter::CompositionMode_SourceOver, 1.0, true);
    setDisabledImage(_cachedDisabledImage);
    setTitleAttributes(ZEPSmallTextAttributes(Qt::white));
}

void ZEPHUDPopUpButton::setupMenuWindow()
{
    setMenuWindowClass(&ZEPHUDMenuWindow::staticMetaObject);
}
