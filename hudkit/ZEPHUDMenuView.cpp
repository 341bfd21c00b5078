#include "hudkit/ZEPHUDMenuView.h"

#include "hudkit/ZEPHUDImage.h"
#include "platform/ui/PartImages.h"

#include <QPainter>

ZEPHUDMenuView::ZEPHUDMenuView(const QRect& frame, QWidget* parent)
    : ZEPCustomMenuView(frame, parent)
{
    setNormalTextAttributes(ZEPSmallTextAttributes(Qt::white));
    const QImage top = ZEPHUDImageNamed(QStringLiteral("popupmenu-top"));
    _image = NinePartImage(frame, ZEPHUDImageNamed(QStringLiteral("popupmenu-topleft")), top,
                           ZEPHUDImageNamed(QStringLiteral("popupmenu-topright")),
                           ZEPHUDImageNamed(QStringLiteral("popupmenu-left")),
                           ZEPHUDImageNamed(QStringLiteral("popupmenu-bg")),
                           ZEPHUDImageNamed(QStringLiteral("popupmenu-right")),
                           ZEPHUDImageNamed(QStringLiteral("popupmenu-bottomleft")),
                           ZEPHUDImageNamed(QStringLiteral("popupmenu-bottom")),
                           ZEPHUDImageNamed(QStringLiteral("popupmenu-bottomright")),
                           QPainter::CompositionMode_SourceOver, 1.0, false);
    setBorderHeight(ZEPImageSize(top));
}

void ZEPHUDMenuView::drawBackgroundInRect(QPainter& painter, const QRect& rect)
{
    if (_image.isNull())
        return;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(rect, _image, rect);
    painter.restore();
}
