#include "app/CKBigButtonCell.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

#include <algorithm>

CKBigButtonCell::CKBigButtonCell()
{
    setTextColor(QColor::fromRgbF(0.8f, 0.8f, 0.8f, 1.0f));
    setTextShadow(ZEPShadow{QColor::fromRgbF(0, 0, 0, 0.5f), QPointF(0, 1), 1.0});
}

void CKBigButtonCell::drawBezelWithFrame(QPainter& painter, const QRectF& frame)
{
    const QImage image = ZEPImageNamed(isHighlighted() ? pressedStateName_ : normalStateName_);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    drawInFrame(painter, image, QRectF(QPointF(0, 0), ZEPImageSize(image)), frame);
    painter.restore();
}

void CKBigButtonCell::drawTitle(QPainter& painter, const QString& title, const QRectF& frame, ZEPTextAttributes,
                                int)
{
    ZEPTextAttributes attributes;
    attributes.font = ZEPSystemFontOfSize(11);
    attributes.font.setBold(true);
    CKButtonCell::drawTitle(painter, title, frame, attributes, Qt::AlignCenter);
}

void CKBigButtonCell::drawImage(QPainter& painter, const QImage& image, const QRectF& frame)
{
    CKButtonCell::drawImage(painter, image, frame.toAlignedRect().translated(0, 3));
}

QRectF CKBigButtonCell::titleRectForBounds(const QRectF& bounds) const
{
    return QRectF(bounds.left(), bounds.bottom() - kTitleBottomMargin - kTitleHeight, bounds.width(), kTitleHeight);
}

QRectF CKBigButtonCell::imageRectForBounds(const QRectF& bounds) const
{
    const qreal titleTop = titleRectForBounds(bounds).top();
    return QRectF(bounds.left(), bounds.top(), bounds.width(), std::max<qreal>(0, titleTop - kTitleGap - bounds.top()));
}
