#include "app/CKPercentageTransformer.h"

#include <QRegularExpression>

#include <memory>

void CKPercentageTransformer::initialize()
{
    static const bool registered = [] {
        ValueTransformer::setValueTransformer(std::make_shared<CKPercentageTransformer>(0), NoPrecisionName);
        return true;
    }();
    (void)registered;
}

QVariant CKPercentageTransformer::transformedValue(const QVariant& value) const
{
    bool isNumber = false;
    const double fraction = value.toDouble(&isNumber);
    if (!isNumber)
        return QVariant();
    return QString::number(fraction * 100.0, 'f', int(precision_)) + QLatin1Char('%');
}

QVariant CKPercentageTransformer::reverseTransformedValue(const QVariant& value) const
{
    // Reading stops at the first character that cannot continue the number (the sign).
    static const QRegularExpression leadingNumber(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)"));
    const QRegularExpressionMatch match = leadingNumber.match(value.toString().trimmed());
    if (!match.hasMatch())
        return QVariant();
    return match.captured(0).toDouble() / 100.0;
}
