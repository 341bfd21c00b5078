#include "hudkit/ZEPHUDImage.h"

#include "platform/ui/ZEPImageNamed.h"

QImage ZEPHUDImageNamed(const QString& name) { return ZEPImageNamedInFolder(name, QStringLiteral(":/ZEPHUDKit/")); }
