#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFile.h"
#include "audio/files/ZEPAudioFileWriter.h"

#include "ExportDriver.h"
#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

using namespace clipdeck::test;

namespace {

// A second of sound and a little more, so that no codec's frames divide it.
constexpr size_t kFrames = 44137;

struct WritableType {
    UInt32 type;
    std::string name;
};

void PrintTo(const WritableType& type, std::ostream* out) { *out << type.name; }

std::vector<WritableType> writableTypes()
{
    std::vector<WritableType> types;
    for (const QVariant& entry : ZEPAudioFileWriter::writableFileTypes()) {
        const QVariantMap map = entry.toMap();
        std::string name;
        for (QChar c : map.value("localizedName").toString())
            name += c.isLetterOrNumber() ? char(c.toLatin1()) : '_';
        types.push_back({UInt32(map.value("value").toLongLong()), name});
    }
    return types;
}

QString ffprobeCodecName(const AudioStreamBasicDescription& format)
{
    switch (format.mFormatID) {
    case kAudioFormatMPEG4AAC: return "aac";
    case kAudioFormatAppleLossless: return "alac";
    case kAudioFormatAppleIMA4: return "adpcm_ima_qt";
    case kAudioFormatMPEGLayer3: return "mp3";
    default: break;
    }
    QString name = (format.mFormatFlags & kAudioFormatFlagIsFloat) ? "pcm_f" : "pcm_s";
    if (format.mBitsPerChannel == 8 && !(format.mFormatFlags & kAudioFormatFlagIsSignedInteger))
        name = "pcm_u";
    name += QString::number(format.mBitsPerChannel);
    if (format.mBitsPerChannel > 8)
        name += (format.mFormatFlags & kAudioFormatFlagIsBigEndian) ? "be" : "le";
    return name;
}

class ExportRoundTrip : public ::testing::TestWithParam<WritableType> {};

} // namespace

// Every type the writer lists, with its default encoder: what goes in comes back at its
// length (through the gapless information), linear PCM and 16-bit Apple Lossless to the
// bit, AAC and MP3 closely; ffprobe reads the same codec, rate and channels.
TEST_P(ExportRoundTrip, readsBackWhatWasWritten)
{
    const UInt32 type = GetParam().type;
    TempFolder folder;
    std::unique_ptr<ZEPAudioConverter> encoder = ZEPAudioConverter::initWithFileType(type);
    ASSERT_TRUE(encoder);
    const AudioStreamBasicDescription format = *encoder->outputDescription();
    Error error;
    std::unique_ptr<ZEPAudioFileWriting> writer = ZEPAudioFileWriter::initWithPath(folder.file("export"), type, format, &error);
    ASSERT_TRUE(writer) << error.code;
    const StereoAudio audio = sixteenBitTones(kFrames);
    ASSERT_EQ(exportAudio(*encoder, *writer, audio.left, audio.right), noErr);

    const QString path = writer->file()->path();
    std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(path, 0, false);
    ASSERT_TRUE(file) << path.toStdString();
    const bool ima = format.mFormatID == kAudioFormatAppleIMA4;
    // IMA 4:1 in AIFC has no place for the padding of its last block.
    const qint64 expected = (ima && type != kAudioFileQuickTimeMovieType) ? (kFrames + 63) / 64 * 64 : kFrames;
    EXPECT_EQ(file->packetCount(), expected);

    std::vector<float> left(kFrames + 64), right(kFrames + 64);
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, UInt32(left.size() * 4), left.data()};
    list.mBuffers[1] = {1, UInt32(right.size() * 4), right.data()};
    UInt32 frames = UInt32(left.size());
    ASSERT_EQ(file->readPackets(&frames, list.list(), nullptr), noErr);
    ASSERT_EQ(frames, UInt32(expected));
    left.resize(kFrames);
    right.resize(kFrames);
    const AudioFormatID id = format.mFormatID;
    const bool lossless = id == kAudioFormatLinearPCM || id == kAudioFormatAppleLossless;
    if (lossless) {
        EXPECT_EQ(left, audio.left);
        EXPECT_EQ(right, audio.right);
    } else {
        EXPECT_GT(correlation(left, audio.left), 0.99);
        EXPECT_GT(correlation(right, audio.right), 0.99);
    }

    const ProbedStream probed = probeAudio(path);
    EXPECT_EQ(probed.codec, ffprobeCodecName(format));
    EXPECT_EQ(probed.sampleRate, 44100);
    EXPECT_EQ(probed.channels, 2);
}

INSTANTIATE_TEST_SUITE_P(WritableTypes, ExportRoundTrip, ::testing::ValuesIn(writableTypes()),
                         [](const ::testing::TestParamInfo<WritableType>& info) { return info.param.name; });

namespace {

// The tags ffprobe reads from a file's container, by lower-case key.
QVariantMap probeTags(const QString& path)
{
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of", "json", path});
    probe.waitForFinished(20000);
    const QJsonObject tags =
        QJsonDocument::fromJson(probe.readAllStandardOutput()).object().value("format").toObject().value("tags").toObject();
    QVariantMap result;
    for (auto it = tags.begin(); it != tags.end(); ++it)
        result.insert(it.key().toLower(), it.value().toVariant());
    return result;
}

} // namespace

// Exported MPEG-4 files carry the sound's tags and still read back at their exact length.
TEST(ExportTags, MPEG4FilesAreRewrittenWithTheirTags)
{
    for (UInt32 type : {kAudioFileM4AType, kAudioFileM4BType}) {
        for (AudioFormatID formatID : {kAudioFormatMPEG4AAC, kAudioFormatAppleLossless}) {
            SCOPED_TRACE(formatID);
            TempFolder folder;
            AudioStreamBasicDescription format = defaultOutputFor(type);
            format.mFormatID = formatID;
            if (formatID == kAudioFormatAppleLossless) {
                format.mFormatFlags = 1;
                format.mFramesPerPacket = 4096;
            }
            std::unique_ptr<ZEPAudioConverter> encoder = ZEPAudioConverter::initWithFileType(type);
            ASSERT_TRUE(encoder);
            ASSERT_EQ(encoder->setOutputDescription(&format), noErr);
            std::unique_ptr<ZEPAudioFileWriting> writer =
                ZEPAudioFileWriter::initWithPath(folder.file("tagged"), type, *encoder->outputDescription());
            ASSERT_TRUE(writer);
            writer->setTags({{"title", "Door Slam"}, {"artist", "Foley Crew"}, {"album", "Act Two"},
                             {"genre", "Effects"}, {"comments", "take 3"}, {"year", qlonglong(2026)}});
            const StereoAudio audio = sixteenBitTones(kFrames);
            ASSERT_EQ(exportAudio(*encoder, *writer, audio.left, audio.right), noErr);

            const QString path = writer->file()->path();
            const QVariantMap tags = probeTags(path);
            EXPECT_EQ(tags.value("title").toString(), "Door Slam");
            EXPECT_EQ(tags.value("artist").toString(), "Foley Crew");
            EXPECT_EQ(tags.value("album").toString(), "Act Two");
            EXPECT_EQ(tags.value("genre").toString(), "Effects");
            EXPECT_EQ(tags.value("comment").toString(), "take 3");
            EXPECT_EQ(tags.value("date").toString(), "2026");

            std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(path, 0, false);
            ASSERT_TRUE(file);
            EXPECT_EQ(file->packetCount(), qint64(kFrames));
        }
    }
}
