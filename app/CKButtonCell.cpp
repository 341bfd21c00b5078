#include "app/CKButtonCell.h"

#include "platform/ui/PartImages.h"
#include "platform/ui/ZEPImageNamed.h"
#include "platform/ui/ZEPYUpGeometry.h"

#include <QtGlobal>

void CKButtonCell::drawInFrame(QPainter& painter, const QImage& image, const QRectF& rect, const QRectF& frame)
{
    if (image.isNull())
        return;
    const QRectF inFrame = ZEPFlipRect(rect, frame.height()).translated(frame.topLeft());
    painter.drawImage(inFrame, image, QRectF(QPointF(0, 0), ZEPImageSize(image)).toAlignedRect());
}

void CKButtonCell::drawBezelWithFrame(QPainter& painter, const QRectF& frame)
{
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!leftName_.isEmpty() && !middleName_.isEmpty() && !rightName_.isEmpty()) {
        drawThreeParts(painter, frame);
    } else if (!fullName_.isEmpty()) {
        QString name = fullName_;
        if (highlighted_)
            name += pressedSuffix_;
        else if (!enabled_)
            name += disabledSuffix_;
        const QImage image = ZEPImageNamed(name);
        if (image.isNull())
            qWarning("Error: No image!");
        drawInFrame(painter, image, QRectF(QPointF(0, 0), frame.size()).toAlignedRect(), frame);
    }
    painter.restore();
}

void CKButtonCell::drawThreeParts(QPainter& painter, const QRectF& frame)
{
    const QString suffix = highlighted_ ? pressedSuffix_ : QString();
    const QImage left = ZEPImageNamed(leftName_ + suffix);
    const QImage middle = ZEPImageNamed(middleName_ + suffix);
    const QImage right = ZEPImageNamed(rightName_ + suffix);
    if (left.isNull() || middle.isNull() || right.isNull())
        qWarning("Error: No image!");
    const QSizeF leftSize = ZEPImageSize(left);
    const QSizeF rightSize = ZEPImageSize(right);
    drawInFrame(painter, left, QRectF(QPointF(0, 0), leftSize).toAlignedRect(), frame);
    drawInFrame(painter, right, QRectF(QPointF(frame.width() - rightSize.width(), 0), rightSize).toAlignedRect(), frame);
    drawInFrame(painter, middle,
                QRectF(leftSize.width(), 0, frame.width() - leftSize.width() - rightSize.width(), frame.height()), frame);
}

void CKButtonCell::drawTitle(QPainter& painter, const QString& title, const QRectF& frame,
                             ZEPTextAttributes attributes, int alignment)
{
    if (textColor_.isValid())
        attributes.foregroundColor = textColor_;
    if (textShadow_)
        attributes.shadow = textShadow_;
    ZEPDrawText(painter, frame.toAlignedRect(), alignment, title, attributes);
}

void CKButtonCell::drawImage(QPainter& painter, const QImage& image, const QRectF& frame)
{
    if (image.isNull())
        return;
    const QSizeF size = ZEPImageSize(image);
    QRectF rect(QPointF(0, 0), size);
    rect.moveCenter(frame.toAlignedRect().toRectF().center());
    rect = rect.toAlignedRect().toRectF().translated(0, 3);
    painter.drawImage(rect, image);
}

void CKButtonCell::setFooterButtonLook()
{
    setLeftName(QStringLiteral("footerbutton-leftcap"));
    setMiddleName(QStringLiteral("footerbutton-tile"));
    setRightName(QStringLiteral("footerbutton-rightcap"));
    setPressedSuffix(QStringLiteral("-press"));
    setTextColor(QColor::fromRgbF(0.19f, 0.19f, 0.19f, 1.0f));
}
