#include "audio/files/ZEPAudioFileWriter.h"
#include "audio/files/ZEPMPEG4TagRewrite.h"

#include "platform/Error.h"
#include "platform/codecs/AudioFileReader.h"
#include "ExportDriver.h"
#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// The 36-byte cookie of 16-bit stereo Apple Lossless at 44100 Hz in packets of 4096 frames.
QByteArray appleLosslessCookie()
{
    const unsigned char bytes[] = {0, 0, 0, 36,  'a', 'l', 'a', 'c', 0,   0, 0, 0, 0, 0,    0x10, 0, 0,   16,
                                   40, 10, 14, 2, 0,   0xFF, 0,   0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAC, 0x44};
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

} // namespace

// A path's extension is replaced by the type's first one; a path that has it is kept.
TEST(ZEPAudioFileWriter, givesFilesTheirTypesExtension)
{
    TempFolder folder;
    const struct {
        const char* name;
        UInt32 type;
        const char* expected;
    } table[] = {
        {"take.aiff", kAudioFileWAVEType, "take.wav"},
        {"take.wav", kAudioFileWAVEType, "take.wav"},
        {"take", kAudioFileCAFType, "take.caf"},
        {"a.b.mp3", kAudioFileM4AType, "a.b.m4a"},
        {"song.m4a", kAudioFileM4BType, "song.m4b"},
        {"loop.aiff", kAudioFileAIFFType, "loop.aif"},
        {"loop.aifc", kAudioFileAIFCType, "loop.aifc"},
        {"voice.wav", kAudioFileNextType, "voice.snd"},
        {"clip.m4a", kAudioFileAAC_ADTSType, "clip.aac"},
        {"clip.wav", kAudioFileMP3Type, "clip.mp3"},
        {"clip.wav", kAudioFileQuickTimeMovieType, "clip.mov"},
    };
    for (const auto& row : table) {
        const UInt32 encoderType = row.type == kAudioFileM4BType ? kAudioFileM4AType : row.type;
        std::unique_ptr<ZEPAudioFileWriting> writer =
            ZEPAudioFileWriter::initWithPath(folder.file(row.name), row.type, defaultOutputFor(encoderType));
        ASSERT_TRUE(writer) << row.name;
        EXPECT_EQ(writer->file()->name().toStdString(), row.expected);
        EXPECT_TRUE(QFileInfo::exists(folder.file(row.expected)));
        writer->endWritingSession();
    }
}

TEST(ZEPAudioFileWriter, replacesAnExistingFile)
{
    TempFolder folder;
    QFile old(folder.file("take.wav"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    std::unique_ptr<ZEPAudioFileWriting> writer =
        ZEPAudioFileWriter::initWithPath(folder.file("take.wav"), kAudioFileWAVEType, defaultOutputFor(kAudioFileWAVEType));
    ASSERT_TRUE(writer);
    ASSERT_EQ(writer->endWritingSession(), noErr);
    EXPECT_LT(QFileInfo(folder.file("take.wav")).size(), 1000);
}

TEST(ZEPAudioFileWriter, failsWithoutAFolder)
{
    TempFolder folder;
    Error error;
    EXPECT_FALSE(ZEPAudioFileWriter::initWithPath(folder.file("missing/take.wav"), kAudioFileWAVEType,
                                                  defaultOutputFor(kAudioFileWAVEType), &error));
    EXPECT_EQ(error.domain, Error::OSStatusDomain);
    EXPECT_EQ(error.code, kZEPParameterError);
}

// Audiobooks are MPEG-4 audio files named "m4b" that the writer reports as 'm4bf'.
TEST(ZEPAudioFileWriter, writesAudiobooksAsMPEG4Audio)
{
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileWriting> writer =
        ZEPAudioFileWriter::initWithPath(folder.file("book"), kAudioFileM4BType, defaultOutputFor(kAudioFileM4AType));
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->fileType(), kAudioFileM4BType);
    EXPECT_EQ(writer->fileExtension().toStdString(), "m4b");
    EXPECT_EQ(writer->hfsType(), FourCC("M4B "));
    EXPECT_EQ(writer->file()->name().toStdString(), "book.m4b");
}

// The priming arithmetic: the valid frames lose the leading and trailing frames, and the
// table reaches the file (here a CAF packet table).
TEST(ZEPAudioFileWriter, keepsThePrimeInformationInThePacketTable)
{
    TempFolder folder;
    AudioStreamBasicDescription format = defaultOutputFor(kAudioFileCAFType);
    std::unique_ptr<ZEPAudioFileWriting> writer =
        ZEPAudioFileWriter::initWithPath(folder.file("table.caf"), kAudioFileCAFType, format);
    ASSERT_TRUE(writer);
    const QByteArray cookie = appleLosslessCookie();
    ASSERT_EQ(writer->setMagicCookie(cookie.constData(), UInt32(cookie.size())), noErr);
    ASSERT_EQ(writer->beginWritingSession(), noErr);
    // 24 packets of 4096 frames and one of 1696: 100000 frames.
    std::vector<AudioStreamPacketDescription> descriptions(25);
    for (UInt32 i = 0; i < 25; ++i)
        descriptions[i] = {SInt64(i) * 16, i == 24 ? 1696u : 0u, 16};
    const QByteArray data(25 * 16, '\x11');
    ASSERT_EQ(writer->writeBytes(data.constData(), UInt32(data.size()), 25, descriptions.data(), 0), noErr);
    EXPECT_EQ(static_cast<ZEPAudioFileWriter*>(writer.get())->framesWritten(), 100000);
    ASSERT_EQ(writer->writePrimeInfo({2112, 500}, 0), noErr);
    const auto table = static_cast<ZEPAudioFileWriter*>(writer.get())->preservedPacketTable();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->mNumberValidFrames, 97388);
    EXPECT_EQ(table->mPrimingFrames, 2112);
    EXPECT_EQ(table->mRemainderFrames, 500);
    ASSERT_EQ(writer->endWritingSession(), noErr);
    EXPECT_EQ(writer->amountWritten(), data.size());
}

// Types with no place for priming refuse it and drop the tags; the table is still kept.
TEST(ZEPAudioFileWriter, dropsTagsWhenThePacketTableCannotBeWritten)
{
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileWriting> writer =
        ZEPAudioFileWriter::initWithPath(folder.file("take.wav"), kAudioFileWAVEType, defaultOutputFor(kAudioFileWAVEType));
    ASSERT_TRUE(writer);
    writer->setTags({{"title", "Take"}});
    const QByteArray frames(4000, '\0');
    ASSERT_EQ(writer->writeBytes(frames.constData(), UInt32(frames.size()), 1000, nullptr, 0), noErr);
    EXPECT_NE(writer->writePrimeInfo({10, 5}, 0), noErr);
    EXPECT_TRUE(writer->tags()->isEmpty());
    ASSERT_TRUE(static_cast<ZEPAudioFileWriter*>(writer.get())->preservedPacketTable());
    EXPECT_EQ(writer->endWritingSession(), noErr);
}

TEST(ZEPAudioFileWriter, catalogueOfTypes)
{
    QStringList names;
    QList<qlonglong> values;
    for (const QVariant& entry : ZEPAudioFileWriter::writableFileTypes()) {
        names << entry.toMap().value("localizedName").toString();
        values << entry.toMap().value("value").toLongLong();
    }
    QStringList sorted = names;
    sorted.sort();
    EXPECT_EQ(names, sorted);
    for (UInt32 type : {kAudioFileAIFFType, kAudioFileAIFCType, kAudioFileWAVEType, kAudioFileNextType,
                        kAudioFileCAFType, kAudioFileM4AType, kAudioFileM4BType, kAudioFileAAC_ADTSType,
                        kAudioFileMP3Type, kAudioFileQuickTimeMovieType})
        EXPECT_TRUE(values.contains(qlonglong(type))) << type;
    EXPECT_FALSE(values.contains(qlonglong(kAudioFileMPEG4Type)));
    EXPECT_FALSE(values.contains(qlonglong(kAudioFileSoundDesigner2Type)));
    EXPECT_TRUE(names.contains("MP3") && names.contains("QuickTime Movie") && names.contains("MPEG4 Bookmarkable"));

    EXPECT_EQ(ZEPAudioFileWriter::audioFileTypeForExtension("mov"), kAudioFileQuickTimeMovieType);
    EXPECT_EQ(ZEPAudioFileWriter::audioFileTypeForExtension("wav"), kAudioFileWAVEType);
    EXPECT_EQ(ZEPAudioFileWriter::audioFileTypeForExtension("m4a"), kAudioFileM4AType);
    EXPECT_EQ(ZEPAudioFileWriter::audioFileTypeForExtension("mp3"), kAudioFileMP3Type);
    EXPECT_EQ(ZEPAudioFileWriter::audioFileTypeForExtension("WAV"), 0u);
    EXPECT_EQ(ZEPAudioFileWriter::audioFileTypeForExtension("xyz"), 0u);

    EXPECT_EQ(*ZEPAudioFileWriter::availableFormatsForFileType(kAudioFileM4AType),
              (QVariantList{qlonglong(kAudioFormatMPEG4AAC), qlonglong(kAudioFormatAppleLossless)}));
    EXPECT_EQ(*ZEPAudioFileWriter::availableNumberChannelsForFormatID(kAudioFormatLinearPCM), QVariantList{qlonglong(-1)});
    EXPECT_EQ(ZEPAudioFileWriter::formatNameForFileType(kAudioFileM4BType)->toStdString(), "MPEG4 Bookmarkable");
    EXPECT_EQ(ZEPAudioFileWriter::pathExtensionsForFileType(kAudioFileM4BType), QStringList{"m4b"});
}

TEST(ZEPAudioFileWriter, losslessSettingsAreAppleLosslessInCAF)
{
    const QVariantMap settings = ZEPAudioFileWriter::losslessSettingsWithSampleRate(48000);
    EXPECT_EQ(settings.value("fileType").toLongLong(), qlonglong(kAudioFileCAFType));
    const QVariantMap encoder = settings.value("encoderSettings").toMap();
    EXPECT_EQ(encoder.value("mFormatID").toLongLong(), qlonglong(kAudioFormatAppleLossless));
    EXPECT_EQ(encoder.value("mFormatFlags").toLongLong(), 4);
    EXPECT_EQ(encoder.value("mFramesPerPacket").toLongLong(), 4096);
    EXPECT_EQ(encoder.value("mChannelsPerFrame").toLongLong(), 2);
    EXPECT_EQ(encoder.value("mSampleRate").toDouble(), 48000.0);
    EXPECT_EQ(encoder.value("quality").toLongLong(), 64);
    EXPECT_EQ(ZEPAudioFileWriter::losslessSettings().value("encoderSettings").toMap().value("mSampleRate").toDouble(),
              44100.0);
}

TEST(ZEPAudioFileWriter, hasNoPacketTableRepair)
{
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileWriting> writer =
        ZEPAudioFileWriter::initWithPath(folder.file("take.wav"), kAudioFileWAVEType, defaultOutputFor(kAudioFileWAVEType));
    ASSERT_TRUE(writer);
    EXPECT_THROW(writer->fixFilePacketTable(), ZEPUnimplementedException);
}

// A file that does not read in full (cut short, atoms whose sizes do not add up, sample tables
// that point outside its media data, bytes after its last atom) is not rewritten from what
// could be read of it: the rewrite fails, says why, and leaves the file as it was.
TEST(ZEPAudioFileWriter, theTagRewriteRefusesFilesItCannotReadInFull)
{
    TempFolder folder;
    const QString source = folder.file("whole.m4a");
    ASSERT_TRUE(makeFixture(source, twoToneSource(), 44100, 2, {"-c:a", "aac"}));
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    auto patched = [&](const char* atom, int offset, quint32 value) {
        QByteArray bytes = whole;
        const qsizetype at = bytes.indexOf(atom);
        for (int i = 0; i < 4; ++i)
            bytes[at + offset + i] = char(value >> (24 - 8 * i));
        return bytes;
    };
    auto sizeOf = [&](const char* atom) {
        const qsizetype at = whole.indexOf(atom) - 4;
        return quint32(quint8(whole[at])) << 24 | quint32(quint8(whole[at + 1])) << 16 |
               quint32(quint8(whole[at + 2])) << 8 | quint32(quint8(whole[at + 3]));
    };
    QByteArray renamedData = whole;
    renamedData[renamedData.indexOf("mdat") + 3] = 'X';
    const struct {
        const char* name;
        QByteArray bytes;
    } damaged[] = {
        {"cut-in-half.m4a", whole.left(whole.size() / 2)},
        {"last-byte-missing.m4a", whole.left(whole.size() - 1)},
        {"track-size-too-large.m4a", patched("trak", -4, sizeOf("trak") + 4)},
        {"chunk-beyond-the-file.m4a", patched("stco", 12, 0x7FFFFFFF)},
        {"no-media-data.m4a", renamedData},
        {"bytes-after-the-end.m4a", whole + QByteArray("\x01\x02\x03", 3)},
    };
    const QVariantMap tags{{"title", "Applause"}, {"year", 2024}};
    const AudioFilePacketTableInfo table{44100, 2112, 0};
    for (const auto& c : damaged) {
        SCOPED_TRACE(c.name);
        const QString path = folder.file(c.name);
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(c.bytes);
        out.close();
        QString reason;
        EXPECT_NE(ZEPRewriteMPEG4Tags(path, tags, &table, &reason), noErr);
        EXPECT_FALSE(reason.isEmpty());
        QFile after(path);
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        EXPECT_EQ(after.readAll(), c.bytes);
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).filter(c.name).size(), 1); // no stray files
    }
    QString reason;
    EXPECT_EQ(ZEPRewriteMPEG4Tags(source, tags, &table, &reason), noErr);
    EXPECT_TRUE(reason.isEmpty());
}
