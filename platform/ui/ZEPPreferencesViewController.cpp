#include "platform/ui/ZEPPreferencesViewController.h"

#include "platform/ui/ZEPImageNamed.h"

ZEPPreferencesViewController::ZEPPreferencesViewController(QWidget* parent)
    : QWidget(parent)
{
}

QImage ZEPPreferencesViewController::toolbarImage() const { return ZEPImageNamed(toolbarImageName()); }

QString ZEPPreferencesViewController::identifier() const { return QString::fromLatin1(metaObject()->className()); }
