#pragma once
// Turns a file's path (or a file URL, as text or QUrl) into the name a user sees for it:
// its last path component. Anything else gives no value. One way only. Registered as
// "ZEPDisplayNameTransformer" by the views that use it.

#include "platform/ValueTransformer.h"

class ZEPDisplayNameTransformer : public ValueTransformer {
public:
    QMetaType transformedValueClass() const override { return QMetaType::fromType<QString>(); }
    QVariant transformedValue(const QVariant& value) const override;
};
