#include "platform/ui/ZEPDisplayNameTransformer.h"

#include <QFileInfo>
#include <QUrl>

QVariant ZEPDisplayNameTransformer::transformedValue(const QVariant& value) const
{
    QString path;
    if (value.typeId() == QMetaType::QUrl) {
        path = value.toUrl().toLocalFile();
    } else if (value.typeId() == QMetaType::QString) {
        path = value.toString();
        if (path.startsWith(QLatin1String("file:")))
            path = QUrl(path).toLocalFile();
    }
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? QVariant() : QVariant(name);
}
