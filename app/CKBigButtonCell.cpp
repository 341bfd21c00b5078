#include "app/CKBigButtonCell.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"

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
