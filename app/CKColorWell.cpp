#include "app/CKColorWell.h"

#include <QColorDialog>
#include <QPainter>
#include <QStyleOptionButton>

CKColorWell::CKColorWell(QWidget* parent) : QPushButton(parent)
{
    setFixedSize(44, 24);
    connect(this, &QPushButton::clicked, this, &CKColorWell::openColorDialog);
}

void CKColorWell::setColor(const QColor& color)
{
    color_ = color;
    update();
}

void CKColorWell::openColorDialog()
{
    if (dialog_)
        return;
    dialog_ = new QColorDialog(color_, window());
    dialog_->setOption(QColorDialog::ShowAlphaChannel);
    dialog_->setOption(QColorDialog::DontUseNativeDialog);
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog_, &QColorDialog::colorSelected, this, [this](const QColor& chosen) {
        setColor(chosen);
        emit colorChosen(this);
    });
    connect(dialog_, &QObject::destroyed, this, [this] { dialog_ = nullptr; });
    dialog_->open();
}

void CKColorWell::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const QRect swatch = rect().adjusted(6, 5, -6, -5);
    painter.fillRect(swatch, color_);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(swatch.adjusted(0, 0, -1, -1));
}
