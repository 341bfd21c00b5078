#include "platform/PropertyList.h"

#include "platform/BinaryPropertyListKeys.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTimeZone>

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace PropertyList {
namespace {

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
const QDateTime& referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

Error unsupported(const QString& typeName)
{
    return Error(ErrorDomain, UnsupportedType,
                 QStringLiteral("A value of type %1 cannot be stored in a property list.").arg(typeName));
}

plist_t toNode(const QVariant& value, Error* error)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            plist_t child = toNode(it.value(), error);
            if (!child) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), child);
        }
        return dict;
    }
    case QMetaType::QVariantHash: {
        QVariantMap map;
        const QVariantHash hash = value.toHash();
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            map.insert(it.key(), it.value());
        return toNode(map, error);
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList()) {
            plist_t child = toNode(item, error);
            if (!child) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, child);
        }
        return array;
    }
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Char:
        // libplist keeps integers as unsigned 64-bit words; the two's complement of a
        // negative value is written and read back as that negative value.
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar: {
        const qulonglong v = value.toULongLong();
        if (v > qulonglong(std::numeric_limits<qlonglong>::max())) {
            setError(error, Error(ErrorDomain, UnsupportedType,
                                  QStringLiteral("The integer %1 is too large for a property list.").arg(v)));
            return nullptr;
        }
        return plist_new_uint(v);
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray data = value.toByteArray();
        return plist_new_data(data.constData(), uint64_t(data.size()));
    }
    case QMetaType::QDateTime: {
        // Split into whole seconds (rounded down) and a non-negative fraction, which is what
        // libplist adds together when it writes.
        const qint64 ms = referenceDate().msecsTo(value.toDateTime());
        const qint64 seconds = qint64(std::floor(double(ms) / 1000.0));
        const qint64 micro = (ms - seconds * 1000) * 1000;
        return plist_new_date(int32_t(seconds), int32_t(micro));
    }
    default:
        if (value.metaType() == QMetaType::fromType<UID>())
            return plist_new_uid(value.value<UID>().value);
        setError(error, unsupported(QString::fromLatin1(value.typeName() ? value.typeName() : "invalid")));
        return nullptr;
    }
}

std::optional<QVariant> fromNode(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t child = nullptr;
            plist_dict_next_item(node, it, &key, &child);
            if (!child) {
                free(key);
                break;
            }
            auto converted = fromNode(child);
            if (!converted) {
                free(key);
                free(it);
                return std::nullopt;
            }
            map.insert(QString::fromUtf8(key), *converted);
            free(key);
        }
        free(it);
        return map;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t count = plist_array_get_size(node);
        for (uint32_t i = 0; i < count; ++i) {
            auto converted = fromNode(plist_array_get_item(node, i));
            if (!converted)
                return std::nullopt;
            list.append(*converted);
        }
        return list;
    }
    case PLIST_STRING: {
        // By pointer and length: a string may hold NUL bytes (the copying getter asserts on them).
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return QString::fromUtf8(text ? text : "", text ? qsizetype(length) : 0);
    }
    case PLIST_BOOLEAN: {
        uint8_t v = 0;
        plist_get_bool_val(node, &v);
        return bool(v);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return qlonglong(v);
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return v;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        QByteArray data(bytes, qsizetype(length));
        free(bytes);
        return data;
    }
    case PLIST_DATE: {
        int32_t seconds = 0, micro = 0;
        plist_get_date_val(node, &seconds, &micro);
        // libplist reads a date before the reference date as a negative whole part and the
        // size of its fraction.
        const double total = seconds < 0 ? double(seconds) - double(micro) / 1e6 : double(seconds) + double(micro) / 1e6;
        return referenceDate().addMSecs(qint64(std::llround(total * 1000.0)));
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return QVariant::fromValue(UID{v});
    }
    default:
        return std::nullopt;
    }
}

Error damaged() { return Error(ErrorDomain, DamagedData, QStringLiteral("The property list is damaged or incomplete.")); }

} // namespace

std::optional<QByteArray> serialize(const QVariant& value, Format format, Error* error)
{
    PlistPtr root(toNode(value, error));
    if (!root)
        return std::nullopt;
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == Format::XML)
        plist_to_xml(root.get(), &bytes, &length);
    else
        plist_to_bin(root.get(), &bytes, &length);
    if (!bytes) {
        setError(error, unsupported(QStringLiteral("tree")));
        return std::nullopt;
    }
    QByteArray data(bytes, qsizetype(length));
    free(bytes);
    return data;
}

std::optional<QVariant> parse(const QByteArray& data, Error* error)
{
    if (data.isEmpty() || data.size() > std::numeric_limits<uint32_t>::max()) {
        setError(error, damaged());
        return std::nullopt;
    }
    plist_t raw = nullptr;
    if (data.startsWith("bplist00")) {
        if (binaryListIsUnsafeToRead(data)) {
            setError(error, damaged());
            return std::nullopt;
        }
        plist_from_bin(data.constData(), uint32_t(data.size()), &raw);
    } else {
        plist_from_xml(data.constData(), uint32_t(data.size()), &raw);
    }
    PlistPtr root(raw);
    if (!root) {
        setError(error, damaged());
        return std::nullopt;
    }
    auto value = fromNode(root.get());
    if (!value)
        setError(error, damaged());
    return value;
}

bool writeToFile(const QVariant& value, const QString& path, Format format, Error* error)
{
    auto data = serialize(value, format, error);
    if (!data)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*data) != data->size() || !file.commit()) {
        setError(error, Error(ErrorDomain, FileError,
                              QStringLiteral("The file \"%1\" could not be written: %2").arg(path, file.errorString())));
        return false;
    }
    return true;
}

std::optional<QVariant> readFromFile(const QString& path, Error* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, Error(ErrorDomain, FileError,
                              QStringLiteral("The file \"%1\" could not be read: %2").arg(path, file.errorString())));
        return std::nullopt;
    }
    return parse(file.readAll(), error);
}

} // namespace PropertyList
