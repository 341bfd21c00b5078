#include "platform/ObservableObject.h"

#include <QMetaProperty>

QVariant ObservableObject::valueForKey(const QString& key) const
{
    return property(key.toUtf8().constData());
}

bool ObservableObject::setValueForKey(const QString& key, const QVariant& value)
{
    const QMetaObject* meta = metaObject();
    const int index = meta->indexOfProperty(key.toUtf8().constData());
    if (index < 0 || !meta->property(index).isWritable())
        return false;
    return meta->property(index).write(this, value);
}

QMetaObject::Connection ObservableObject::observeKey(
    const QString& key, QObject* context, std::function<void(const QVariant&, const QVariant&)> handler)
{
    return connect(this, &ObservableObject::valueChanged, context,
                   [key, handler = std::move(handler)](const QString& changedKey, const QVariant& oldValue,
                                                        const QVariant& newValue) {
                       if (changedKey == key)
                           handler(oldValue, newValue);
                   });
}
