#include "platform/KeyedArchive.h"

#include "platform/PropertyList.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using clipdeck::test::TempFolder;
using PropertyList::UID;

namespace {

// A peak cache as the editor stores it: one data object of 32-bit floats per track.
QVariantList peakCache()
{
    QVariantList tracks;
    for (int track = 0; track < 2; ++track) {
        QByteArray floats(4096 * int(sizeof(float)), Qt::Uninitialized);
        auto* values = reinterpret_cast<float*>(floats.data());
        for (int i = 0; i < 4096; ++i)
            values[i] = float(i % 97) / 97.0f * (track ? -1.0f : 1.0f);
        tracks.append(floats);
    }
    return tracks;
}

// An effects chain as a preset stores it: unit dictionaries, then the enabled entry.
QVariantList presetChain()
{
    const QVariantMap unit{{"type", qlonglong(0x61756678)},
                           {"subtype", qlonglong(123456789)},
                           {"manufacturer", qlonglong(987654321)},
                           {"name", "Author: Delay"},
                           {"version", qlonglong(0x10000)},
                           {"uri", "http://example.org/delay"},
                           {"data", "@prefix lv2: <http://lv2plug.in/ns/lv2core#> ."},
                           {"com.corvanesw.glassjar_studio.bypass", false},
                           {"gain", -0.5}};
    QVariantMap second = unit;
    second.insert("name", "Author: Chorus");
    second.insert("com.corvanesw.glassjar_studio.bypass", true);
    return {unit, second, QVariantMap{{"ZEPAudioGraphIsEnabled", true}}};
}

QVariant ref(quint64 index) { return QVariant::fromValue(UID{index}); }

QVariantMap classObject(const QString& name) { return {{"$classname", name}, {"$classes", QStringList{name, "NSObject"}}}; }

// A keyed archive written by hand: the given objects after "$null", with root as the top.
QByteArray handMadeArchive(const QVariantList& objects, const QVariant& root = ref(1))
{
    QVariantList all{QStringLiteral("$null")};
    all += objects;
    const QVariantMap archive{{"$archiver", "NSKeyedArchiver"},
                              {"$version", qlonglong(100000)},
                              {"$top", QVariantMap{{"root", root}}},
                              {"$objects", all}};
    return *PropertyList::serialize(archive, PropertyList::Format::Binary);
}

void expectSameTree(const QVariant& actual, const QVariant& expected)
{
    ASSERT_EQ(actual.typeId(), expected.typeId()) << actual.typeName() << " vs " << expected.typeName();
    if (expected.typeId() == QMetaType::QVariantList) {
        const QVariantList a = actual.toList(), e = expected.toList();
        ASSERT_EQ(a.size(), e.size());
        for (qsizetype i = 0; i < e.size(); ++i)
            expectSameTree(a.at(i), e.at(i));
    } else if (expected.typeId() == QMetaType::QVariantMap) {
        const QVariantMap a = actual.toMap(), e = expected.toMap();
        ASSERT_EQ(a.keys(), e.keys());
        for (const QString& key : e.keys()) {
            SCOPED_TRACE(key.toStdString());
            expectSameTree(a.value(key), e.value(key));
        }
    } else {
        EXPECT_EQ(actual, expected);
    }
}

} // namespace

TEST(KeyedArchive, PeakCachesAndPresetsComeBackWithTheirTypes)
{
    TempFolder folder;
    const struct {
        const char* name;
        QVariant root;
    } cases[] = {
        {"peak cache", peakCache()},
        {"preset chain", presetChain()},
        {"empty list", QVariantList{}},
        {"nested lists and dictionaries",
         QVariantList{QVariantList{QVariantMap{{"a", QVariantList{qlonglong(1), "x"}}}}, qlonglong(7)}},
        {"plain string root", QStringLiteral("Gr\u00fc\u00dfe")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder.file(QStringLiteral("%1.samples").arg(c.name));
        Error error;
        ASSERT_TRUE(KeyedArchive::archiveRootObjectToFile(c.root, path, &error)) << error.description().toStdString();
        auto back = KeyedArchive::unarchiveObjectWithFile(path, &error);
        ASSERT_TRUE(back) << error.localizedFailureReason.toStdString();
        expectSameTree(*back, c.root);
    }
}

TEST(KeyedArchive, IsABinaryPropertyListInTheKeyedLayoutThatPlistutilReads)
{
    TempFolder folder;
    const QString path = folder.file("track.samples");
    ASSERT_TRUE(KeyedArchive::archiveRootObjectToFile(peakCache(), path));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("bplist00"));

    // The archive's own layout, as any reader of property lists sees it.
    const QVariantMap archive = PropertyList::readFromFile(path)->toMap();
    EXPECT_EQ(archive.value("$archiver").toString(), "NSKeyedArchiver");
    EXPECT_EQ(archive.value("$version").toLongLong(), 100000);
    EXPECT_EQ(archive.value("$top").toMap().value("root").value<UID>(), UID{1});
    const QVariantList objects = archive.value("$objects").toList();
    EXPECT_EQ(objects.value(0).toString(), "$null");
    const QVariantMap root = objects.value(1).toMap();
    EXPECT_EQ(root.value("NS.objects").toList().size(), 2);
    const QVariantMap rootClass = objects.value(qsizetype(root.value("$class").value<UID>().value)).toMap();
    EXPECT_EQ(rootClass.value("$classname").toString(), "NSArray");

    // plistutil converts it to XML; the XML holds the same archive.
    QProcess plistutil;
    plistutil.start("plistutil", {"-i", path, "-o", "-", "-f", "xml"});
    ASSERT_TRUE(plistutil.waitForFinished(30000)) << "plistutil (libplist-utils) did not run";
    ASSERT_EQ(plistutil.exitCode(), 0) << plistutil.readAllStandardError().toStdString();
    const QByteArray xml = plistutil.readAllStandardOutput();
    EXPECT_TRUE(xml.contains("<key>$archiver</key>"));
    EXPECT_TRUE(xml.contains("<key>CF$UID</key>"));
    Error error;
    auto fromXml = KeyedArchive::unarchiveObjectWithData(xml, &error);
    ASSERT_TRUE(fromXml) << error.localizedFailureReason.toStdString();
    expectSameTree(*fromXml, peakCache());
}

TEST(KeyedArchive, ReadsTheMutableAndBoxedFormsOfOtherWriters)
{
    const QByteArray data = handMadeArchive({
        QVariantMap{{"NS.objects", QVariantList{ref(3), ref(5), ref(3)}}, {"$class", ref(2)}},
        classObject("NSMutableArray"),
        QVariantMap{{"NS.string", "boxed"}, {"$class", ref(4)}},
        classObject("NSMutableString"),
        QVariantMap{{"NS.data", QByteArray("\x01\x02", 2)}, {"$class", ref(6)}},
        classObject("NSMutableData"),
    });
    auto back = KeyedArchive::unarchiveObjectWithData(data);
    ASSERT_TRUE(back);
    expectSameTree(*back, QVariantList{"boxed", QByteArray("\x01\x02", 2), "boxed"});
}

TEST(KeyedArchive, ObjectsSharedByManyReferencesAreReadOnce)
{
    // Each list refers twice to the one below it: read naively, 2^60 reads.
    QVariantList objects{classObject("NSArray"), QStringLiteral("leaf")};
    const int levels = 60;
    for (int level = 0; level < levels; ++level) {
        const quint64 below = quint64(objects.size()); // 1-based index of the previous object
        objects.append(QVariantMap{{"NS.objects", QVariantList{ref(below), ref(below)}}, {"$class", ref(1)}});
    }
    auto back = KeyedArchive::unarchiveObjectWithData(handMadeArchive(objects, ref(quint64(objects.size()))));
    ASSERT_TRUE(back);
    QVariant node = *back;
    for (int level = 0; level < levels; ++level)
        node = node.toList().value(1);
    EXPECT_EQ(node.toString(), "leaf");
}

TEST(KeyedArchive, DamagedOrHostileArchivesGiveAnErrorAndNoValue)
{
    const QVariantMap arrayClass = classObject("NSArray");
    const QVariantMap dictionaryClass = classObject("NSDictionary");
    const QByteArray good = *KeyedArchive::archivedDataWithRootObject(presetChain());

    QVariantList deep{arrayClass};
    for (int level = 0; level < 2000; ++level)
        deep.append(QVariantMap{{"NS.objects", QVariantList{ref(quint64(level + 3))}}, {"$class", ref(1)}});
    deep.append(QStringLiteral("bottom"));

    const struct {
        const char* name;
        QByteArray data;
    } cases[] = {
        {"truncated", good.left(good.size() - 20)},
        {"not a property list", QByteArray("NSKeyedArchiver but not an archive")},
        {"a property list but not an archive", *PropertyList::serialize(presetChain(), PropertyList::Format::Binary)},
        {"no objects", *PropertyList::serialize(QVariantMap{{"$archiver", "NSKeyedArchiver"}, {"$top", QVariantMap{}}},
                                                PropertyList::Format::Binary)},
        {"root is no reference", handMadeArchive({"x"}, qlonglong(1))},
        {"root out of range", handMadeArchive({"x"}, ref(99))},
        {"root is the null object", handMadeArchive({"x"}, ref(0))},
        {"array contains itself", handMadeArchive({QVariantMap{{"NS.objects", QVariantList{ref(1)}}, {"$class", ref(2)}},
                                                   arrayClass})},
        {"two arrays contain each other",
         handMadeArchive({QVariantMap{{"NS.objects", QVariantList{ref(3)}}, {"$class", ref(2)}}, arrayClass,
                          QVariantMap{{"NS.objects", QVariantList{ref(1)}}, {"$class", ref(2)}}})},
        {"element out of range",
         handMadeArchive({QVariantMap{{"NS.objects", QVariantList{ref(7)}}, {"$class", ref(2)}}, arrayClass})},
        {"element is a number, not a reference",
         handMadeArchive({QVariantMap{{"NS.objects", QVariantList{qlonglong(3)}}, {"$class", ref(2)}}, arrayClass})},
        {"contents are not a list", handMadeArchive({QVariantMap{{"NS.objects", "oops"}, {"$class", ref(2)}}, arrayClass})},
        {"class reference out of range", handMadeArchive({QVariantMap{{"NS.objects", QVariantList{}}, {"$class", ref(50)}}})},
        {"class is a string", handMadeArchive({QVariantMap{{"NS.objects", QVariantList{}}, {"$class", ref(2)}}, "NSArray"})},
        {"class not read here", handMadeArchive({QVariantMap{{"NS.time", 3.0}, {"$class", ref(2)}}, classObject("NSDate")})},
        {"dictionary without a class", handMadeArchive({QVariantMap{{"NS.objects", QVariantList{}}}})},
        {"keys and values differ in number",
         handMadeArchive({QVariantMap{{"NS.keys", QVariantList{ref(3)}}, {"NS.objects", QVariantList{}}, {"$class", ref(2)}},
                          dictionaryClass, "key"})},
        {"key is not a string",
         handMadeArchive({QVariantMap{{"NS.keys", QVariantList{ref(3)}}, {"NS.objects", QVariantList{ref(3)}},
                                      {"$class", ref(2)}},
                          dictionaryClass, qlonglong(5)})},
        {"null object inside a list",
         handMadeArchive({QVariantMap{{"NS.objects", QVariantList{ref(0)}}, {"$class", ref(2)}}, arrayClass})},
        {"boxed string holds data", handMadeArchive({QVariantMap{{"NS.string", QByteArray("x")}, {"$class", ref(2)}},
                                                     classObject("NSString")})},
        {"nested too deeply", handMadeArchive(deep, ref(2))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        EXPECT_FALSE(KeyedArchive::unarchiveObjectWithData(c.data, &error));
        EXPECT_EQ(error.domain, KeyedArchive::ErrorDomain);
        EXPECT_EQ(error.code, KeyedArchive::DamagedArchive);
    }
}

TEST(KeyedArchive, ValuesItCannotStoreAreRefusedBeforeTheFileIsTouched)
{
    TempFolder folder;
    const QString path = folder.file("preset.auconfiguration");
    ASSERT_TRUE(KeyedArchive::archiveRootObjectToFile(presetChain(), path));
    Error error;
    EXPECT_FALSE(KeyedArchive::archiveRootObjectToFile(QVariantList{QVariant()}, path, &error));
    EXPECT_EQ(error.code, KeyedArchive::UnsupportedType);
    auto back = KeyedArchive::unarchiveObjectWithFile(path);
    ASSERT_TRUE(back);
    expectSameTree(*back, presetChain());

    EXPECT_FALSE(KeyedArchive::unarchiveObjectWithFile(folder.file("missing.samples"), &error));
    EXPECT_EQ(error.code, KeyedArchive::FileError);
}
