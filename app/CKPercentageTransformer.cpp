#include "app/CKPercentageTransformer.h"

#include <QRegularExpression>

#include <memory>

void CKPercentageTransformer::registerNamed()
{
    if (!ValueTransformer::valueTransformerForName(NoPrecisionName))
        ValueTransformer::setValueTransformer(std::make_shared<CKPercentageTransformer>(0), NoPrecisionName);
}

QVariant CKPercentageTransformer::transformedValue(const QVariant& value) const
{
    return QString::number(value.toDouble() * 100.0, 'f', int(precision_)) + QLatin1Char('%');
}

QVariant CKPercentageTransformer::reverseTransformedValue(const QVariant& value) const
{
    // The leading number, as a C reader takes it: sign, digits, point, exponent.
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const QRegularExpressionMatch match = number.match(value.toString().trimmed());
    const double read = match.hasMatch() ? match.captured(0).toDouble() : 0.0;
    return read / 100.0;
}
