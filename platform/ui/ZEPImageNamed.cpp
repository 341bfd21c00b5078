#include "platform/ui/ZEPImageNamed.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

QImage ZEPImageNamed(const QString& name) { return ZEPImageNamedInFolder(name, QStringLiteral(":/images/")); }

QImage ZEPImageNamedInFolder(const QString& name, const QString& folder)
{
    const QString svgPath = folder + name + QStringLiteral(".svg");
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
    const QString pngPath = folder + name + QStringLiteral(".png");
    if (QFile::exists(pngPath))
        return QImage(pngPath).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return QImage();
}
