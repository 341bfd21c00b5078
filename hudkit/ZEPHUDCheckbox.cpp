#include "hudkit/ZEPHUDCheckbox.h"

#include "hudkit/ZEPHUDImage.h"

ZEPHUDCheckbox::ZEPHUDCheckbox(const QRect& frame, QWidget* parent)
    : ZEPButton(frame, parent)
{
    setup();
}

void ZEPHUDCheckbox::setup()
{
    // A switch draws its images unscaled.
    setButtonType(ZEPButtonType::Switch);
    setImage(ZEPHUDImageNamed(QStringLiteral("checkbox-normal")));
    setAlternateImage(ZEPHUDImageNamed(QStringLiteral("checkbox-active")));
    setTextColor(Qt::white);
}

void ZEPHUDCheckbox::setTitle(const QString& title)
{
    ZEPButton::setTitle(title);
    setTextColor(Qt::white);
}
