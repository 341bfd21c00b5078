#include "platform/VariantValues.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace variant {
namespace {

bool isIntegerType(int type)
{
    switch (type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

// The number at the start of text, after leading white space; 0 and !ok when there is none.
double leadingNumber(const QString& text, bool* ok)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    char* end = nullptr;
    const double value = std::strtod(bytes.constData(), &end);
    const bool found = end && end != bytes.constData();
    if (ok)
        *ok = found;
    return found && std::isfinite(value) ? value : 0.0;
}

} // namespace

bool isInteger(const QVariant& value)
{
    return isIntegerType(value.typeId());
}

bool isNumber(const QVariant& value)
{
    const int type = value.typeId();
    return isIntegerType(type) || type == QMetaType::Double || type == QMetaType::Float || type == QMetaType::Bool;
}

double doubleValue(const QVariant& value, bool* ok)
{
    if (isNumber(value)) {
        if (ok)
            *ok = true;
        return value.toDouble();
    }
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray)
        return leadingNumber(value.toString(), ok);
    if (ok)
        *ok = false;
    return 0.0;
}

qint64 integerValue(const QVariant& value, bool* ok)
{
    if (isIntegerType(value.typeId()) || value.typeId() == QMetaType::Bool) {
        if (ok)
            *ok = true;
        return value.toLongLong();
    }
    if (value.typeId() == QMetaType::QString) {
        bool exact = false;
        const qint64 integer = value.toString().trimmed().toLongLong(&exact);
        if (exact) {
            if (ok)
                *ok = true;
            return integer;
        }
    }
    const double number = doubleValue(value, ok);
    if (number >= 9.2e18 || number <= -9.2e18)
        return number > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return qint64(number);
}

bool boolValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return doubleValue(value) != 0.0;
}

QString stringValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (isNumber(value))
        return value.toString();
    return {};
}

} // namespace variant
