#pragma once
// Property lists, in place of the platform's property-list serialisation: QVariant trees
// (QVariantMap, QVariantList, QString, integers, reals, bool, QByteArray, QDateTime, and
// the object references of keyed archives as PropertyList::UID) read and written as XML
// or binary property lists through libplist.
//
// Types survive a round trip: a bool stays bool, an integer stays an integer (read back as
// qlonglong, negative and 64-bit values exact) and a real stays a real (double). Dates are
// exact to the microsecond in binary lists and to the second in XML lists, whose format
// holds whole seconds. Unsigned values above the largest signed 64-bit integer cannot be
// told from negative ones in this format and are refused when written.
//
// Any thread; no shared state.

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

namespace PropertyList {

enum class Format { XML, Binary };

// A reference to an object of a keyed archive: a UID value of a binary property list
// (written to XML as a dictionary with the one key "CF$UID").
struct UID {
    quint64 value = 0;
    bool operator==(const UID&) const = default;
};

// The serialised form of value, or nothing (with *error set) when value holds a type a
// property list cannot carry.
std::optional<QByteArray> serialize(const QVariant& value, Format format, Error* error = nullptr);

// The value in data (XML or binary, told by its first bytes), or nothing (with *error set)
// when data is damaged or truncated. Never a partial value.
std::optional<QVariant> parse(const QByteArray& data, Error* error = nullptr);

// Writes value to path atomically: a temporary file in the same folder is written and then
// renamed over path, so an interrupted write leaves the previous file as it was.
bool writeToFile(const QVariant& value, const QString& path, Format format, Error* error = nullptr);

// Reads the property list stored at path.
std::optional<QVariant> readFromFile(const QString& path, Error* error = nullptr);

// The domain of the errors of this module; codes are those below.
inline const QString ErrorDomain = QStringLiteral("PropertyList");
enum ErrorCode { UnsupportedType = 1, DamagedData = 2, FileError = 3 };

} // namespace PropertyList

Q_DECLARE_METATYPE(PropertyList::UID)
