#pragma once
// Value transformers, in place of the platform's: an object that turns a model value into
// the value a view shows (and back, where it allows), and the process-wide table of
// transformers by name, through which a view built in code finds the transformer its
// binding names ("ZEPDisabledColorTransformer", "CKPercentageTransformerNoPrecision").
//
// Main thread only (the table is not locked).

#include <QString>
#include <QVariant>

#include <memory>

class ValueTransformer {
public:
    virtual ~ValueTransformer() = default;

    // The type of the values transformedValue() answers.
    virtual QMetaType transformedValueClass() const = 0;
    virtual bool allowsReverseTransformation() const { return false; }
    virtual QVariant transformedValue(const QVariant& value) const = 0;
    // The model value for a shown value; an invalid QVariant when reversing is not allowed.
    virtual QVariant reverseTransformedValue(const QVariant& value) const
    {
        (void)value;
        return QVariant();
    }

    // Registers transformer under name, replacing an earlier one of that name (a null
    // transformer removes the name).
    static void setValueTransformer(std::shared_ptr<ValueTransformer> transformer, const QString& name);
    // Null when no transformer has that name.
    static std::shared_ptr<ValueTransformer> valueTransformerForName(const QString& name);
    static QStringList valueTransformerNames();
};
