#include "hudkit/ZEPHUDBox.h"

#include "hudkit/ZEPHUDImage.h"
#include "platform/ui/PartImages.h"

#include <QPaintEvent>
#include <QPainter>

ZEPHUDBox::ZEPHUDBox(const QRect& frame, BorderType borderType, QWidget* parent)
    : QWidget(parent)
    , borderType_(borderType)
{
    setGeometry(frame);
    setup();
}

void ZEPHUDBox::setup()
{
    loadImages();
}

void ZEPHUDBox::loadImages()
{
    QString prefix;
    if (borderType_ == GrooveBorder)
        prefix = QStringLiteral("inset-");
    else if (borderType_ == BezelBorder)
        prefix = QStringLiteral("outset-");
    else
        return;
    _topLeft = ZEPHUDImageNamed(prefix + QStringLiteral("topleft"));
    _topCenter = ZEPHUDImageNamed(prefix + QStringLiteral("top"));
    _topRight = ZEPHUDImageNamed(prefix + QStringLiteral("topright"));
    _middleLeft = ZEPHUDImageNamed(prefix + QStringLiteral("left"));
    _middleCenter = ZEPHUDImageNamed(prefix + QStringLiteral("bg"));
    _middleRight = ZEPHUDImageNamed(prefix + QStringLiteral("right"));
    _bottomLeft = ZEPHUDImageNamed(prefix + QStringLiteral("bottomleft"));
    _bottomCenter = ZEPHUDImageNamed(prefix + QStringLiteral("bottom"));
    _bottomRight = ZEPHUDImageNamed(prefix + QStringLiteral("bottomright"));
}

void ZEPHUDBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    drawRect(painter, event->rect());
}

void ZEPHUDBox::drawRect(QPainter& painter, const QRect& dirtyRect)
{
    switch (borderType_) {
    case BezelBorder:
    case GrooveBorder:
        _refreshCache();
        if (!_cachedImage.isNull()) {
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.drawImage(QPointF(0, 0), _cachedImage);
        }
        break;
    case LineBorder:
        // A one-pixel frame just inside the box, drawn only where it meets the rectangle
        // being redrawn. Framing the redrawn rectangle itself would leave stray lines
        // inside the box whenever only part of it is redrawn (around a child that changed).
        painter.setClipRect(dirtyRect, Qt::IntersectClip);
        painter.setPen(QPen(_borderColor, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        break;
    case NoBorder:
        break;
    }
}

void ZEPHUDBox::_refreshCache()
{
    if (!_cachedImage.isNull() && _oldFrame == geometry())
        return;
    _cachedImage = QImage();
    if (size().isEmpty())
        return;
    _cachedImage = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    _cachedImage.fill(Qt::transparent);
    QPainter painter(&_cachedImage);
    // The picture is drawn upright in its own y-down coordinates, as a Qt view draws.
    ZEPDrawNinePartImage(painter, QRectF(QPointF(0, 0), size()), _topLeft, _topCenter, _topRight,
                         _middleLeft, _middleCenter, _middleRight, _bottomLeft, _bottomCenter,
                         _bottomRight, QPainter::CompositionMode_SourceOver, 1.0, true, true);
    _oldFrame = geometry();
}
