#include "app/CKStringToURLTransformer.h"

#include <QUrl>

QMetaType CKStringToURLTransformer::transformedValueClass() const { return QMetaType::fromType<QUrl>(); }

QVariant CKStringToURLTransformer::transformedValue(const QVariant& value) const
{
    if (value.typeId() == QMetaType::QUrl)
        return value;
    if (value.typeId() == QMetaType::QString) {
        const QUrl url(value.toString(), QUrl::StrictMode);
        return url.isValid() ? QVariant(url) : QVariant();
    }
    return QVariant();
}

QVariant CKStringToURLTransformer::reverseTransformedValue(const QVariant& value) const
{
    if (value.typeId() == QMetaType::QString)
        return value;
    if (value.typeId() == QMetaType::QUrl)
        return value.toUrl().toString();
    return QVariant();
}
