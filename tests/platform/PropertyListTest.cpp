#include "platform/PropertyList.h"

#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPointF>

#include <csignal>
#include <sys/resource.h>
#include <gtest/gtest.h>

using clipdeck::test::TempFolder;

namespace {

struct TypedValue {
    const char* name;
    QVariant value;
    int expectedType;
};

// Every kind of value a stored board, preset or message carries.
std::vector<TypedValue> typedValues()
{
    const QDateTime date(QDate(2026, 12, 9), QTime(19, 22, 8), Qt::UTC);
    return {
        {"true stays bool", true, QMetaType::Bool},
        {"false stays bool", false, QMetaType::Bool},
        {"1 stays integer", 1, QMetaType::LongLong},
        {"0 stays integer", 0, QMetaType::LongLong},
        {"negative integer", -5, QMetaType::LongLong},
        {"most negative 64-bit integer", qlonglong(std::numeric_limits<qint64>::min()), QMetaType::LongLong},
        {"largest 64-bit integer", qlonglong(std::numeric_limits<qint64>::max()), QMetaType::LongLong},
        {"four-character code", qlonglong(0x6C70636D), QMetaType::LongLong},
        {"1.0 stays real", 1.0, QMetaType::Double},
        {"negative real", -0.333, QMetaType::Double},
        {"string", QStringLiteral("Gr\u00fc\u00dfe & <tags>"), QMetaType::QString},
        {"empty string", QString(""), QMetaType::QString},
        {"data", QByteArray("\x00\x01\xFF\xFE", 4), QMetaType::QByteArray},
        {"date", date, QMetaType::QDateTime},
        {"date before 2001", QDateTime(QDate(1999, 1, 2), QTime(3, 4, 5), Qt::UTC), QMetaType::QDateTime},
    };
}

// A binary property list of the given objects (already encoded), offsets 4 bytes wide.
QByteArray binaryList(const QList<QByteArray>& objects, uint64_t root, int referenceWidth)
{
    const auto bigEndian = [](QByteArray& out, uint64_t value, int width) {
        for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
            out.append(char((value >> shift) & 0xFF));
    };
    QByteArray list("bplist00");
    QList<uint64_t> offsets;
    for (const QByteArray& object : objects) {
        offsets << uint64_t(list.size());
        list.append(object);
    }
    const uint64_t table = uint64_t(list.size());
    for (uint64_t offset : offsets)
        bigEndian(list, offset, 4);
    list.append(QByteArray(6, '\0'));
    list.append(char(4));
    list.append(char(referenceWidth));
    bigEndian(list, uint64_t(objects.size()), 8);
    bigEndian(list, root, 8);
    bigEndian(list, table, 8);
    return list;
}

// An array (0xA) or dictionary (0xD) marker with its count, then references to the objects,
// 4 bytes wide.
QByteArray container(char type, const QList<uint32_t>& references, uint32_t count)
{
    QByteArray object;
    object.append(char(type << 4 | 0x0F));
    object.append(char(0x12));
    for (int shift = 24; shift >= 0; shift -= 8)
        object.append(char((count >> shift) & 0xFF));
    for (uint32_t reference : references)
        for (int shift = 24; shift >= 0; shift -= 8)
            object.append(char((reference >> shift) & 0xFF));
    return object;
}

} // namespace

TEST(PropertyList, EveryTypeSurvivesXmlAndBinaryFiles)
{
    TempFolder folder;
    for (auto format : {PropertyList::Format::XML, PropertyList::Format::Binary}) {
        QVariantMap dict;
        QVariantList list;
        for (const auto& item : typedValues()) {
            dict.insert(item.name, item.value);
            list.append(item.value);
        }
        dict.insert("list", list);
        dict.insert("nested", QVariantMap{{"inner", QVariantList{1, 2.5, true}}});
        const QString path = folder.file(format == PropertyList::Format::XML ? "a.plist" : "b.plist");
        Error error;
        ASSERT_TRUE(PropertyList::writeToFile(dict, path, format, &error)) << error.description().toStdString();
        auto read = PropertyList::readFromFile(path, &error);
        ASSERT_TRUE(read) << error.description().toStdString();
        const QVariantMap back = read->toMap();
        for (const auto& item : typedValues()) {
            SCOPED_TRACE(item.name);
            const QVariant value = back.value(item.name);
            EXPECT_EQ(value.typeId(), item.expectedType);
            EXPECT_EQ(value, item.value);
        }
        const QVariantList listBack = back.value("list").toList();
        ASSERT_EQ(listBack.size(), list.size());
        EXPECT_EQ(listBack.at(2).typeId(), QMetaType::LongLong);
        EXPECT_EQ(back.value("nested").toMap().value("inner").toList().at(1).typeId(), QMetaType::Double);
    }
}

TEST(PropertyList, BinaryDatesKeepTheirMilliseconds)
{
    const QDateTime date = QDateTime(QDate(2030, 5, 6), QTime(7, 8, 9, 123), Qt::UTC);
    auto data = PropertyList::serialize(QVariantList{date}, PropertyList::Format::Binary);
    ASSERT_TRUE(data);
    auto back = PropertyList::parse(*data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toList().at(0).toDateTime(), date);
}

TEST(PropertyList, DamagedInputGivesAnErrorAndNoValue)
{
    QVariantMap dict{{"title", "Applause"}, {"gain", 0.5}, {"rows", QVariantList{1, 2, 3, 4}}};
    const QByteArray xml = *PropertyList::serialize(dict, PropertyList::Format::XML);
    const QByteArray binary = *PropertyList::serialize(dict, PropertyList::Format::Binary);
    // A key holding a NUL, deep in the list, in both string forms of the binary format (the
    // property-list library aborts the program when it hands out such a key).
    const QVariantMap nested{{"outer", QVariantMap{{"ab", 1}, {QString::fromUtf8("\xC3\xA9" "b"), 2}}}};
    const QByteArray nestedBinary = *PropertyList::serialize(nested, PropertyList::Format::Binary);
    const auto withNulInKey = [&](const QByteArray& key, const QByteArray& damagedKey) {
        QByteArray damaged = nestedBinary;
        const qsizetype at = damaged.indexOf(key);
        EXPECT_GE(at, 0);
        return damaged.replace(at, key.size(), damagedKey);
    };
    // One dictionary of 50 000 keys that the offset table lists 50 000 times: a check reading
    // each listed dictionary whole would read 2.5 billion references.
    const auto repeatedDictionary = [] {
        constexpr uint32_t keys = 50000, listings = 50000;
        const auto bigEndian = [](QByteArray& out, uint64_t value, int width) {
            for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
                out.append(char((value >> shift) & 0xFF));
        };
        QByteArray list("bplist00");
        list.append("\x53" "abc", 4); // object 0, at 8: the key "abc"
        list.append(char(0xDF));       // object 1 and every other listing, at 12
        list.append(char(0x12));
        bigEndian(list, keys, 4);
        list.append(QByteArray(2 * keys, '\0')); // every key and value is object 0
        const uint64_t table = uint64_t(list.size());
        bigEndian(list, 8, 4);
        for (uint32_t i = 0; i < listings; ++i)
            bigEndian(list, 12, 4);
        list.append(QByteArray(6, '\0'));
        list.append(char(4)); // offset width
        list.append(char(1)); // reference width
        bigEndian(list, listings + 1, 8);
        bigEndian(list, 1, 8);
        bigEndian(list, table, 8);
        return list;
    };
    // Lists that read into far more than they hold: the library copies an object for every
    // reference to it.
    const QByteArray longString = QByteArray("\x5F\x12", 2) + QByteArray("\x00\x07\xA1\x20", 4) +
                                  QByteArray(500000, 'x'); // an ASCII string of 500 000 bytes
    const QByteArray stringListedOver = binaryList({longString, container(0xA, QList<uint32_t>(100000, 0), 100000)}, 1, 4);
    QList<uint32_t> keysAndValues(1000, 0);
    keysAndValues += QList<uint32_t>(1000, 1);
    const QByteArray dictionaryListedOver = binaryList(
        {QByteArray("\x51k", 2), QByteArray("\x5F\x10\x64", 3) + QByteArray(100, 'v'), container(0xD, keysAndValues, 1000),
         container(0xA, QList<uint32_t>(100000, 2), 100000)},
        3, 4);
    // Arrays inside arrays, 100 000 deep: reading recurses once per level.
    QList<QByteArray> nestedArrays;
    for (uint32_t i = 0; i + 1 < 100000; ++i)
        nestedArrays << container(0xA, {i + 1}, 1);
    nestedArrays << QByteArray(1, char(0xA0));
    const struct {
        const char* name;
        QByteArray data;
    } cases[] = {
        {"a string of 500 000 bytes listed 100 000 times", stringListedOver},
        {"a dictionary of 1 000 entries listed 100 000 times", dictionaryListedOver},
        {"arrays nested 100 000 deep", binaryList(nestedArrays, 0, 4)},
        {"an array inside itself", binaryList({container(0xA, {0}, 1)}, 0, 4)},
        {"a dictionary listed over and over", repeatedDictionary()},
        {"NUL in an ASCII key", withNulInKey(QByteArray("\x52" "ab", 3), QByteArray("\x52" "a\0", 3))},
        {"NUL in a UTF-16 key", withNulInKey(QByteArray("\x62\0\xE9\0\x62", 5), QByteArray("\x62\0\xE9\0\0", 5))},
        {"truncated XML", xml.left(xml.size() / 2)},
        {"truncated binary", binary.left(binary.size() - 10)},
        {"garbage", QByteArray("this is not a property list at all")},
        {"binary magic then garbage", QByteArray("bplist00\x01\x02\x03garbage-garbage-garbage")},
        {"empty", QByteArray()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        EXPECT_FALSE(PropertyList::parse(c.data, &error));
        EXPECT_TRUE(error.isError());
        EXPECT_EQ(error.domain, PropertyList::ErrorDomain);
    }
}

TEST(PropertyList, AListSharingItsKeysAndValuesAsWritersDoStillReads)
{
    // 64 boards of 32 sounds: every key and every repeated value is one shared object.
    QVariantList boards;
    for (int b = 0; b < 64; ++b) {
        QVariantList sounds;
        for (int s = 0; s < 32; ++s)
            sounds << QVariantMap{{"name", "Untitled"}, {"volume", 1.0}, {"looping", false}, {"index", s},
                                  {"uuid", QStringLiteral("SOUND-%1-%2").arg(b).arg(s)}};
        boards << QVariantMap{{"name", QStringLiteral("Board %1").arg(b)}, {"sounds", sounds}};
    }
    const QByteArray data = *PropertyList::serialize(boards, PropertyList::Format::Binary);
    Error error;
    const auto back = PropertyList::parse(data, &error);
    ASSERT_TRUE(back) << error.description().toStdString();
    EXPECT_EQ(back->toList(), boards);
}

TEST(PropertyList, AFailedWriteLeavesThePreviousFileIntact)
{
    TempFolder folder;
    const QString path = folder.file("board.plist");
    ASSERT_TRUE(PropertyList::writeToFile(QVariantMap{{"name", "Before"}}, path, PropertyList::Format::XML));

    // A value that cannot be serialised fails before the file is touched.
    Error error;
    EXPECT_FALSE(PropertyList::writeToFile(QVariantMap{{"bad", QVariant::fromValue(QPointF(1, 2))}}, path,
                                           PropertyList::Format::XML, &error));
    EXPECT_EQ(error.code, PropertyList::UnsupportedType);

    // A write cut short (the file-size limit stops it midway, as a full disk would) leaves
    // the old file alone.
    QVariantList big;
    for (int i = 0; i < 10000; ++i)
        big.append(QStringLiteral("entry %1").arg(i));
    struct rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = previous;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool wrote = PropertyList::writeToFile(QVariantMap{{"name", "After"}, {"big", big}}, path,
                                                 PropertyList::Format::XML, &error);
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(error.code, PropertyList::FileError);
    auto back = PropertyList::readFromFile(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toMap().value("name").toString(), "Before");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 1);
}
