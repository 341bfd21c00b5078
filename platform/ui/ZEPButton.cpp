#include "platform/ui/ZEPButton.h"

#include "platform/ui/PartImages.h"

#include <QPainter>

ZEPButton::ZEPButton(const QRect& frame, QWidget* parent)
    : QAbstractButton(parent)
{
    setGeometry(frame);
    setFont(ZEPSystemFontOfSize(ZEPSmallControlFontSize));
}

void ZEPButton::setButtonType(ZEPButtonType type)
{
    buttonType_ = type;
    setCheckable(type == ZEPButtonType::Switch);
    update();
}

void ZEPButton::setImage(const QImage& image)
{
    image_ = image;
    update();
}

void ZEPButton::setAlternateImage(const QImage& image)
{
    alternateImage_ = image;
    update();
}

void ZEPButton::setTextColor(const QColor& color)
{
    textColor_ = color;
    update();
}

void ZEPButton::setTitle(const QString& title)
{
    setText(title);
    updateGeometry();
}

QSize ZEPButton::sizeHint() const
{
    const QSize imageSize = ZEPImageSize(image_).toSize();
    const QSize textSize = fontMetrics().size(Qt::TextSingleLine, text());
    if (buttonType_ == ZEPButtonType::Switch)
        return QSize(imageSize.width() + kSwitchTitleGap + textSize.width(),
                     std::max(imageSize.height(), textSize.height()));
    return imageSize.expandedTo(textSize);
}

ZEPTextAttributes ZEPButton::titleAttributes() const
{
    return ZEPTextAttributes{font(), textColor_, std::nullopt};
}

void ZEPButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(0.5);
    if (buttonType_ == ZEPButtonType::Switch)
        paintSwitch(painter);
    else
        paintMomentary(painter);
}

void ZEPButton::paintMomentary(QPainter& painter)
{
    QImage shown = image_;
    if (isDown() && !alternateImage_.isNull()) {
        shown = alternateImage_;
    } else if (isDown() && !shown.isNull()) {
        QPainter darken(&shown);
        darken.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        darken.fillRect(shown.rect(), QColor(0, 0, 0, 90));
    }
    if (!shown.isNull()) {
        const QSizeF size = ZEPImageSize(shown);
        painter.drawImage(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), shown);
    }
    ZEPDrawText(painter, rect(), Qt::AlignCenter, text(), titleAttributes());
}

void ZEPButton::paintSwitch(QPainter& painter)
{
    const QImage& shown = (isChecked() && !alternateImage_.isNull()) ? alternateImage_ : image_;
    qreal imageWidth = 0;
    if (!shown.isNull()) {
        const QSizeF size = ZEPImageSize(shown);
        painter.drawImage(QPointF(0, (height() - size.height()) / 2), shown);
        imageWidth = size.width();
    }
    const qreal titleLeft = imageWidth + kSwitchTitleGap;
    ZEPDrawText(painter, QRectF(titleLeft, 0, width() - titleLeft, height()),
                Qt::AlignLeft | Qt::AlignVCenter, text(), titleAttributes());
}
