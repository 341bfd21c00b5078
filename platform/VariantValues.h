#pragma once
// Lenient readings of stored values, the way the program's stored dictionaries and defaults
// have always been read: a number, a bool or a string with a number at its start all give a
// number; "YES" and "true" (any case) give true.

#include <QString>
#include <QVariant>

namespace variant {

// True for bool, integer and real values (not strings).
bool isNumber(const QVariant& value);

// True for integer values only (not bools, reals or strings).
bool isInteger(const QVariant& value);

// The number value: numbers and bools as they are, strings by their leading number
// ("12abc" gives 12, "abc" gives 0). *ok tells whether a number was found.
double doubleValue(const QVariant& value, bool* ok = nullptr);

// As doubleValue(), truncated toward zero; integers beyond double precision stay exact.
qint64 integerValue(const QVariant& value, bool* ok = nullptr);

// Bools as they are; numbers are true when not zero; strings are true for "YES", "true"
// (any case) or a non-zero leading number.
bool boolValue(const QVariant& value);

// Strings as they are, numbers written out; a null string for anything else.
QString stringValue(const QVariant& value);

} // namespace variant
