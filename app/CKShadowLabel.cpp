#include "app/CKShadowLabel.h"

#include <QPainter>

CKShadowLabel::CKShadowLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void CKShadowLabel::setShadow(const std::optional<ZEPShadow>& shadow)
{
    shadow_ = shadow;
    update();
}

void CKShadowLabel::paintEvent(QPaintEvent* event)
{
    if (!shadow_) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    ZEPTextAttributes attributes;
    attributes.font = font();
    attributes.foregroundColor = palette().color(foregroundRole());
    attributes.shadow = shadow_;
    ZEPDrawText(painter, contentsRect(), int(alignment()), text(), attributes);
}
