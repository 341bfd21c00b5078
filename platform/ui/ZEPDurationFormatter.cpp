#include "platform/ui/ZEPDurationFormatter.h"

#include "platform/VariantValues.h"

#include <cmath>

QString ZEPDurationFormatter::stringForSeconds(double seconds) const
{
    if (!std::isfinite(seconds))
        return includeMilliseconds_ ? QStringLiteral("--:--.---") : QStringLiteral("--:--");

    // One rounding, to the unit shown, before the fields are cut.
    const double unitsPerSecond = includeMilliseconds_ ? 1000.0 : 1.0;
    const qint64 total = qint64(std::llround(std::fabs(seconds) * unitsPerSecond));
    const qint64 wholeSeconds = includeMilliseconds_ ? total / 1000 : total;
    const qint64 hours = wholeSeconds / 3600;
    const qint64 minutes = wholeSeconds / 60 % 60;
    const qint64 secs = wholeSeconds % 60;

    QString text = total > 0 && seconds < 0 ? QStringLiteral("-") : QString();
    if (hours > 0) {
        text += QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QChar('0')).arg(secs, 2, 10, QChar('0'));
    } else if (alwaysShowMinutes_ || minutes > 0) {
        text += QStringLiteral("%1:%2").arg(minutes, allowsOneZero_ ? 1 : 2, 10, QChar('0')).arg(secs, 2, 10, QChar('0'));
    } else {
        text += QString::number(secs);
    }
    if (includeMilliseconds_)
        text += QStringLiteral(".%1").arg(total % 1000, 3, 10, QChar('0'));
    return text;
}

QString ZEPDurationFormatter::stringForObjectValue(const QVariant& value) const
{
    if (!variant::isNumber(value) || value.typeId() == QMetaType::Bool)
        return QString();
    return stringForSeconds(value.toDouble());
}
