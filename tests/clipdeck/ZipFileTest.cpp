// The zip archive classes: entries written and read back with their description, whole
// long names, the errors of misuse, damaged data, and appending.
#include "ArchiveTestSupport.h"
#include "clipdeck/ZipException.h"
#include "clipdeck/ZipFile.h"

#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>

using namespace clipdeck::test;

namespace {

uint32_t crcOf(const QByteArray& data)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

QByteArray readCurrent(ZipFile& archive)
{
    auto stream = archive.readCurrentFileInZip();
    QByteArray all, buffer(1000, '\0');
    while (const uint32_t count = stream->readDataWithBuffer(buffer))
        all.append(buffer.constData(), count);
    stream->finishedReading();
    return all;
}

// The reason of the ZipException that action throws ("" when none is thrown).
QString reasonThrownBy(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ZipException& exception) {
        EXPECT_EQ(exception.name(), "ZipException");
        return exception.reason();
    }
    return QString();
}

} // namespace

TEST(ZipFile, entriesReadBackWithTheirDescriptionWholeNamesAndData)
{
    TempFolder folder;
    const QString path = folder.file("test.zip");
    const QString longName = QString("Show/") + QString(150, QChar(0x00E4)) + "/" + QString(100, 'x') + ".wav";
    ASSERT_GT(longName.toUtf8().size(), 400); // beyond the 256 bytes of minizip's own name buffer
    const QByteArray text = QByteArray("hello, archive\n").repeated(200);
    const QByteArray noise = randomBytes(5000);
    const QDateTime date(QDate(2010, 12, 31), QTime(23, 59, 58));

    struct Written {
        QString name;
        QByteArray data;
        int32_t level;
        int32_t levelRead;
    };
    const std::vector<Written> written{
        {"stored.txt", text, 0, 0},
        {"best/deflated.txt", text, 9, 9},
        {"fast.bin", noise, 1, 1},
        {"default.txt", text, -1, -1},
        {longName, noise, 0, 0},
        {"empty", QByteArray(), 0, 0},
    };
    {
        ZipFile archive(path, ZipFile::kModeCreate);
        for (const Written& entry : written) {
            auto stream = archive.writeFileInZipWithName(entry.name, date, entry.level);
            stream->writeData(entry.data);
            stream->finishedWriting();
        }
        archive.close();
        archive.close(); // closes once
    }

    ZipFile archive(path, ZipFile::kModeUnzip);
    EXPECT_EQ(archive.numFilesInZip(), written.size());
    const QList<FileInZipInfo> infos = archive.listFileInZipInfos();
    ASSERT_EQ(infos.size(), qsizetype(written.size()));
    EXPECT_FALSE(archive.goToNextFileInZip()); // the list left the last entry current
    for (size_t i = 0; i < written.size(); ++i) {
        SCOPED_TRACE(written[i].name.toStdString());
        const FileInZipInfo& info = infos[qsizetype(i)];
        EXPECT_EQ(info.name(), written[i].name);
        EXPECT_EQ(info.length(), uint64_t(written[i].data.size()));
        EXPECT_EQ(info.level(), written[i].levelRead);
        EXPECT_EQ(info.crc32(), crcOf(written[i].data));
        EXPECT_FALSE(info.crypted());
        EXPECT_EQ(info.date(), date); // two-second steps keep :58
        if (written[i].level == 0) {
            EXPECT_EQ(info.size(), info.length());
        }
        ASSERT_TRUE(archive.locateFileInZip(written[i].name));
        EXPECT_EQ(archive.getCurrentFileInZipInfo().name(), written[i].name);
        EXPECT_EQ(readCurrent(archive), written[i].data);
    }
    EXPECT_FALSE(archive.locateFileInZip("STORED.TXT")); // names are case-sensitive
    EXPECT_FALSE(archive.locateFileInZip("missing"));
    EXPECT_FALSE(archive.locateFileInZip(longName.chopped(1)));
}

TEST(ZipFile, anArchiveWithoutEntriesListsNothing)
{
    TempFolder folder;
    ZipFile(folder.file("empty.zip"), ZipFile::kModeCreate).close();
    ZipFile archive(folder.file("empty.zip"), ZipFile::kModeUnzip);
    EXPECT_EQ(archive.numFilesInZip(), 0u);
    EXPECT_TRUE(archive.listFileInZipInfos().isEmpty());
    EXPECT_FALSE(archive.goToNextFileInZip());
    EXPECT_FALSE(archive.locateFileInZip("anything"));
    EXPECT_FALSE(reasonThrownBy([&] { archive.readCurrentFileInZip(); }).isEmpty());
}

TEST(ZipFile, appendModeAddsEntriesToAnArchive)
{
    TempFolder folder;
    const QString path = folder.file("grow.zip");
    writeArchive(path, {{"first", "1"}});
    {
        ZipFile archive(path, ZipFile::kModeAppend);
        auto stream = archive.writeFileInZipWithName("second", 6);
        stream->writeData(QByteArray("2"));
        stream->finishedWriting();
    } // the destructor closes
    EXPECT_EQ(entryNames(path), (QStringList{"first", "second"}));
}

TEST(ZipFile, misuseThrowsWithItsReason)
{
    TempFolder folder;
    const QString path = folder.file("a.zip");
    writeArchive(path, {{"a", "1"}});
    ZipFile reading(path, ZipFile::kModeUnzip);
    ZipFile writing(folder.file("b.zip"), ZipFile::kModeCreate);

    const std::vector<std::pair<std::function<void()>, QString>> cases{
        {[&] { ZipFile(path, 5); }, "Unknown mode 5"},
        {[&] { ZipFile(folder.file("missing.zip"), ZipFile::kModeUnzip); },
         QString("Can't open '%1'").arg(folder.file("missing.zip"))},
        {[&] { ZipFile(folder.file("no/such/folder.zip"), ZipFile::kModeCreate); },
         QString("Can't open '%1'").arg(folder.file("no/such/folder.zip"))},
        {[&] { reading.writeFileInZipWithName("x", 0); }, "Operation not permitted with Unzip mode"},
        {[&] { writing.numFilesInZip(); }, "Operation not permitted without Unzip mode"},
        {[&] { writing.listFileInZipInfos(); }, "Operation not permitted without Unzip mode"},
        {[&] { writing.goToFirstFileInZip(); }, "Operation not permitted without Unzip mode"},
        {[&] { writing.goToNextFileInZip(); }, "Operation not permitted without Unzip mode"},
        {[&] { writing.locateFileInZip("a"); }, "Operation not permitted without Unzip mode"},
        {[&] { writing.getCurrentFileInZipInfo(); }, "Operation not permitted without Unzip mode"},
        {[&] { writing.readCurrentFileInZip(); }, "Operation not permitted without Unzip mode"},
    };
    for (const auto& [action, reason] : cases)
        EXPECT_EQ(reasonThrownBy(action), reason);
}

TEST(ZipFile, damagedDataFailsTheReadOrTheCRCCheck)
{
    TempFolder folder;
    const QByteArray data = randomBytes(3000);
    for (const int32_t level : {0, 6}) {
        SCOPED_TRACE(level);
        const QString path = folder.file(QString("damaged%1.zip").arg(level));
        writeArchive(path, {{"sound.wav", data, level}});
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes[30 + 9 + 1500] = char(bytes[30 + 9 + 1500] ^ 0x5A); // in the middle of the entry's data
        file.seek(0);
        file.write(bytes);
        file.close();

        ZipFile archive(path, ZipFile::kModeUnzip);
        archive.goToFirstFileInZip();
        EXPECT_FALSE(reasonThrownBy([&] { readCurrent(archive); }).isEmpty());
    }
}
