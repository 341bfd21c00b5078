#pragma once
// Shows a fraction as a percentage ("0.5" as "50%", with precision digits after the point)
// and reads a typed percentage back as a fraction ("  50% " as 0.5). Text that does not
// begin with a number reads as nothing (an invalid QVariant), so a field refuses it instead
// of taking a typo for 0 %.
//
// Main thread only (the transformer table is).

#include "platform/ValueTransformer.h"

class CKPercentageTransformer : public ValueTransformer {
public:
    // The name under which an instance with precision 0 is registered.
    static inline const QString NoPrecisionName = QStringLiteral("CKPercentageTransformerNoPrecision");

    explicit CKPercentageTransformer(unsigned precision = 0) : precision_(precision) {}

    // Registers the instance with precision 0 under NoPrecisionName, once.
    static void initialize();

    unsigned precision() const { return precision_; }
    void setPrecision(unsigned precision) { precision_ = precision; }

    QMetaType transformedValueClass() const override { return QMetaType::fromType<QString>(); }
    bool allowsReverseTransformation() const override { return true; }
    // A number times 100 with precision digits and a percent sign; nothing for a value that
    // is not a number.
    QVariant transformedValue(const QVariant& value) const override;
    // The leading number of the trimmed text divided by 100, as a double.
    QVariant reverseTransformedValue(const QVariant& value) const override;

private:
    unsigned precision_;
};
