#pragma once
// Volumes (0..1) as percent text and back: 0.5 gives "50%" with no digits after the point,
// "50.0%" with one. Reading trims white space and stops at the sign. registerNamed() puts a
// precision-0 instance under "CKPercentageTransformerNoPrecision" (once).
//
// Threads: any.

#include "platform/ValueTransformer.h"

class CKPercentageTransformer : public ValueTransformer {
public:
    static inline const QString NoPrecisionName = QStringLiteral("CKPercentageTransformerNoPrecision");

    explicit CKPercentageTransformer(unsigned precision = 0) : precision_(precision) {}
    static void registerNamed();

    unsigned precision() const { return precision_; }
    void setPrecision(unsigned precision) { precision_ = precision; }

    QMetaType transformedValueClass() const override { return QMetaType::fromType<QString>(); }
    bool allowsReverseTransformation() const override { return true; }
    QVariant transformedValue(const QVariant& value) const override;
    QVariant reverseTransformedValue(const QVariant& value) const override;

private:
    unsigned precision_;
};
