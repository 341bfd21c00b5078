#pragma once
// Turns a stored address string into a URL and back: the user default "loggingPath" holds a
// folder's file URL as a string, while the folder chooser works with URLs. Anything that is
// neither a string nor a URL becomes nothing both ways.
//
// Main thread only (the transformer table is).

#include "platform/ValueTransformer.h"

class CKStringToURLTransformer : public ValueTransformer {
public:
    static inline const QString Name = QStringLiteral("CKStringToURLTransformer");

    QMetaType transformedValueClass() const override;
    bool allowsReverseTransformation() const override { return true; }
    // A string becomes the URL it spells (nothing when it spells none); a URL passes.
    QVariant transformedValue(const QVariant& value) const override;
    // A string passes; a URL becomes its full address.
    QVariant reverseTransformedValue(const QVariant& value) const override;
};
