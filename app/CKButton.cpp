#include "app/CKButton.h"

#include <QEvent>
#include <QPainter>

CKButton::CKButton(const QRect& frame, QWidget* parent, std::unique_ptr<CKButtonCell> cell)
    : QAbstractButton(parent), cell_(cell ? std::move(cell) : std::make_unique<CKButtonCell>())
{
    setFocusPolicy(Qt::NoFocus);
    setGeometry(frame);
}

CKButton::~CKButton() = default;

void CKButton::setImage(const QImage& image)
{
    image_ = image;
    update();
}

void CKButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}

void CKButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(isEnabled() ? 1.0 : 0.5);
    cell_->setHighlighted(isDown());
    cell_->setEnabled(isEnabled());
    const QRectF frame = rect();
    cell_->drawBezelWithFrame(painter, frame);
    cell_->drawImage(painter, image_, cell_->imageRectForBounds(frame));
    if (!text().isEmpty())
        cell_->drawTitle(painter, text(), cell_->titleRectForBounds(frame), ZEPSmallTextAttributes(Qt::black),
                         Qt::AlignCenter);
}
