#include "hudkit/ZEPHUDImage.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace {
const QString kResourceFolder = QStringLiteral(":/ZEPHUDKit/");
}

QImage ZEPHUDImageNamed(const QString& name)
{
    const QString svgPath = kResourceFolder + name + QStringLiteral(".svg");
    if (QFile::exists(svgPath)) {
        QSvgRenderer renderer(svgPath);
        const QSize size = renderer.defaultSize();
        if (!renderer.isValid() || size.isEmpty())
            return QImage();
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        return image;
    }
    const QString pngPath = kResourceFolder + name + QStringLiteral(".png");
    if (QFile::exists(pngPath))
        return QImage(pngPath).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return QImage();
}
