#include "platform/codecs/AudioFileReader.h"

#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>

using namespace clipdeck::test;

namespace {

// An odd length, not a whole number of milliseconds, packets or blocks.
constexpr qint64 kFrames = 44137;
// The ffmpeg tool keeps the length of AAC in a movie only to the millisecond.
constexpr qint64 kWholeMilliseconds = 44100;

struct Fixture {
    const char* name;
    const char* fileName;
    QStringList codec;
    qint64 frames = kFrames;
};

// AAC without noise substitution, whose noise no decoder can repeat after a seek; our own
// encoder leaves it out too.
const Fixture kFixtures[] = {
    {"WavePCM16", "a.wav", {"-c:a", "pcm_s16le"}},
    {"AIFFPCM24", "a.aiff", {"-c:a", "pcm_s24be"}},
    {"CAFFloat", "a.caf", {"-c:a", "pcm_f32le"}},
    {"NeXTPCM16", "a.au", {"-c:a", "pcm_s16be"}},
    {"AppleLosslessM4A", "a.m4a", {"-c:a", "alac"}},
    {"AppleLosslessCAF", "a.caf", {"-c:a", "alac"}},
    {"AACM4A", "a.m4a", {"-c:a", "aac", "-b:a", "128k", "-aac_pns", "0"}, kWholeMilliseconds},
    {"MP3", "a.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
};

void PrintTo(const Fixture& fixture, std::ostream* out) { *out << fixture.name; }

class ReaderFixtures : public ::testing::TestWithParam<Fixture> {
protected:
    void SetUp() override
    {
        path = folder.file(GetParam().fileName);
        ASSERT_TRUE(makeFixture(path, twoToneSource(), length, 2, GetParam().codec));
        ASSERT_EQ(AudioFileReader::open(path, &reader), noErr);
    }
    const qint64 length = GetParam().frames;
    TempFolder folder;
    QString path;
    std::unique_ptr<AudioFileReader> reader;
};

std::string fixtureName(const ::testing::TestParamInfo<Fixture>& info) { return info.param.name; }

} // namespace

// The frame count is the generated length (AAC and MP3 through their gapless information),
// and the frames are those the ffmpeg tool decodes, from the first on.
TEST_P(ReaderFixtures, countsExactlyTheGeneratedFramesAndAgreesWithFFmpeg)
{
    EXPECT_EQ(reader->packetTable().mNumberValidFrames, length);
    const StereoAudio ours = readToEnd(*reader, 1000);
    ASSERT_EQ(qint64(ours.frames()), length);
    StereoAudio reference = decodeWithFFmpeg(path);
    ASSERT_GE(qint64(reference.frames()), length);
    reference.left.resize(size_t(length));
    reference.right.resize(size_t(length));
    EXPECT_EQ(ours.left, reference.left);
    EXPECT_EQ(ours.right, reference.right);
}

// 200 random seeks: the frames read after each equal those of a sequential read there.
TEST_P(ReaderFixtures, seeksAreExactToTheFrame)
{
    const StereoAudio whole = readToEnd(*reader);
    ASSERT_EQ(qint64(whole.frames()), length);
    EXPECT_EQ(compareSeeks(*reader, whole, 200, 3000), "");
    ASSERT_EQ(reader->seek(length), noErr);
    std::vector<float> left(100), right(100);
    UInt32 frames = 100;
    EXPECT_EQ(reader->read(&frames, left.data(), right.data()), noErr);
    EXPECT_EQ(frames, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, ReaderFixtures, ::testing::ValuesIn(kFixtures), fixtureName);

// Raw ADTS has no index and is repositioned by byte offset; its seeks are exact too.
TEST(AudioFileReader, seeksInRawAACStreams)
{
    TempFolder folder;
    const QString path = folder.file("raw.aac");
    ASSERT_TRUE(makeFixture(path, twoToneSource(), kFrames, 2, {"-c:a", "aac", "-aac_pns", "0"}));
    std::unique_ptr<AudioFileReader> reader;
    ASSERT_EQ(AudioFileReader::open(path, &reader), noErr);
    const StereoAudio whole = readToEnd(*reader);
    ASSERT_EQ(qint64(whole.frames()), reader->packetTable().mNumberValidFrames);
    std::vector<float> left(2048), right(2048);
    for (qint64 target : {qint64(0), qint64(1), qint64(1023), qint64(5000), qint64(30001), qint64(whole.frames()) - 10}) {
        UInt32 frames = 2048;
        ASSERT_EQ(reader->seek(target), noErr);
        ASSERT_EQ(reader->read(&frames, left.data(), right.data()), noErr);
        for (UInt32 f = 0; f < frames; ++f)
            ASSERT_EQ(left[f], whole.left[size_t(target) + f]) << "seek to " << target;
    }
}

// Priming named twice (an edit list and an "iTunSMPB" tag) is dropped once; AAC that names
// none is taken to start with 2112 priming frames.
TEST(AudioFileReader, dropsPrimingOnceAndAssumesItWhereUnsaid)
{
    TempFolder folder;
    const QString edited = folder.file("edited.m4a");
    const QString tagged = folder.file("tagged.m4a");
    const QStringList aac{"-c:a", "aac", "-aac_pns", "0"};
    ASSERT_TRUE(makeFixture(edited, twoToneSource(), 44100, 2, aac));
    ASSERT_TRUE(makeFixture(tagged, twoToneSource(), 44100, 2,
                            aac + QStringList{"-movflags", "use_metadata_tags", "-metadata",
                                              "iTunSMPB= 00000000 00000400 000003BC 000000000000AC44 00000000 "
                                              "00000000 00000000 00000000 00000000 00000000 00000000 00000000"}));
    std::unique_ptr<AudioFileReader> once, twice;
    ASSERT_EQ(AudioFileReader::open(edited, &once), noErr);
    ASSERT_EQ(AudioFileReader::open(tagged, &twice), noErr);
    EXPECT_EQ(twice->packetTable().mPrimingFrames, 1024);
    EXPECT_EQ(twice->packetTable().mNumberValidFrames, 44100);
    EXPECT_EQ(readToEnd(*twice).left, readToEnd(*once).left);

    const QString raw = folder.file("raw.aac");
    ASSERT_TRUE(makeFixture(raw, twoToneSource(), 44100, 2, aac));
    std::unique_ptr<AudioFileReader> unsaid;
    ASSERT_EQ(AudioFileReader::open(raw, &unsaid), noErr);
    EXPECT_FALSE(unsaid->hasGaplessInformation());
    EXPECT_EQ(unsaid->packetTable().mPrimingFrames, 2112);
    const StereoAudio everything = decodeWithFFmpeg(raw); // the ffmpeg tool drops nothing here
    const StereoAudio valid = readToEnd(*unsaid);
    ASSERT_EQ(valid.frames() + 2112, everything.frames());
    EXPECT_TRUE(std::equal(valid.left.begin(), valid.left.end(), everything.left.begin() + 2112));
}

// Empty, random, cut-short and header-only files fail to open with a status, not a crash.
TEST(AudioFileReader, refusesBrokenFiles)
{
    TempFolder folder;
    const QString whole = folder.file("whole.m4a");
    ASSERT_TRUE(makeFixture(whole, twoToneSource(), kFrames, 2, {"-c:a", "aac"}));
    const QString wave = folder.file("whole.wav");
    ASSERT_TRUE(makeFixture(wave, twoToneSource(), kFrames, 2, {"-c:a", "pcm_s16le"}));

    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(folder.file(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    auto head = [](const QString& path, qint64 size) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.read(size);
    };
    std::mt19937 random(7);
    auto noise = [&](int size) {
        QByteArray bytes(size, '\0');
        for (char& byte : bytes)
            byte = char(random());
        return bytes;
    };
    const QString broken[] = {
        write("empty.m4a", {}),
        write("noise-small.wav", noise(1000)),
        write("noise-large.mp3", noise(200000)),
        write("noise.aiff", noise(65536)),
        write("half.m4a", head(whole, QFileInfo(whole).size() / 2)),
        write("header.wav", head(wave, 30)),
    };
    for (const QString& path : broken) {
        std::unique_ptr<AudioFileReader> reader;
        EXPECT_NE(AudioFileReader::open(path, &reader), noErr) << path.toStdString();
        EXPECT_FALSE(reader) << path.toStdString();
    }
    std::unique_ptr<AudioFileReader> reader;
    EXPECT_EQ(AudioFileReader::open(folder.file("missing.wav"), &reader), kAudioFileFileNotFoundError);
}

// A file cut short while it is open delivers what is there and then fails, counting only
// the frames it really delivered.
TEST(AudioFileReader, aReadErrorReportsTheFramesReallyDelivered)
{
    TempFolder folder;
    const QString path = folder.file("whole.m4a");
    ASSERT_TRUE(makeFixture(path, twoToneSource(), kFrames, 2, {"-c:a", "alac", "-movflags", "faststart"}));
    std::unique_ptr<AudioFileReader> reader;
    ASSERT_EQ(AudioFileReader::open(path, &reader), noErr);
    const StereoAudio reference = readToEnd(*reader);
    ASSERT_EQ(reader->seek(0), noErr);
    QFile(path).resize(QFileInfo(path).size() * 2 / 3);

    std::vector<float> left(8192), right(8192);
    std::vector<float> delivered;
    OSStatus status = noErr;
    while (status == noErr) {
        UInt32 frames = 8192;
        status = reader->read(&frames, left.data(), right.data());
        delivered.insert(delivered.end(), left.begin(), left.begin() + frames);
        if (status == noErr && frames == 0)
            break;
    }
    EXPECT_NE(status, noErr);
    ASSERT_GT(delivered.size(), 0u);
    ASSERT_LT(qint64(delivered.size()), kFrames);
    EXPECT_EQ(reader->position(), qint64(delivered.size()));
    EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), reference.left.begin()));
}

namespace {

// A 16-bit stereo WAVE file of the given frames, its header fields as given.
struct WaveHeader {
    quint16 channels = 2;
    quint32 sampleRate = 44100;
    quint32 byteRate = 44100 * 4;
    quint16 blockAlign = 4;
    qint64 dataBytesClaimed = -1; // -1: the data written
};

QByteArray waveFile(const WaveHeader& h, const StereoAudio& audio)
{
    QByteArray data;
    for (size_t i = 0; i < audio.frames(); ++i) {
        for (float sample : {audio.left[i], audio.right[i]}) {
            const qint16 value = qint16(std::lround(sample * 32768.0f));
            data.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
        }
    }
    auto le32 = [](quint32 v) {
        const char bytes[] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        return QByteArray(bytes, 4);
    };
    auto le16 = [](quint16 v) {
        const char bytes[] = {char(v), char(v >> 8)};
        return QByteArray(bytes, 2);
    };
    const quint32 claimed = h.dataBytesClaimed >= 0 ? quint32(h.dataBytesClaimed) : quint32(data.size());
    return QByteArray("RIFF") + le32(quint32(36 + data.size())) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(h.channels) +
           le32(h.sampleRate) + le32(h.byteRate) + le16(h.blockAlign) + le16(16) + "data" + le32(claimed) + data;
}

// Patches 32 big-endian bits at the first place the marker is found, offset bytes after it.
bool patchAfter(const QString& path, const QByteArray& marker, int offset, quint32 value)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const qsizetype at = bytes.indexOf(marker);
    if (at < 0)
        return false;
    for (int i = 0; i < 4; ++i)
        bytes[at + offset + i] = char(value >> (24 - 8 * i));
    file.seek(0);
    return file.write(bytes) == bytes.size();
}

} // namespace

// A damaged header is refused at open or reads exactly what the file holds, and seeks land
// exactly: never a silent wrong length or a seek to the wrong place.
TEST(AudioFileReader, damagedHeadersAreRefusedOrReadForWhatTheFileHolds)
{
    TempFolder folder;
    constexpr size_t kTones = 30011;
    const StereoAudio tones = sixteenBitTones(kTones);
    auto writeWave = [&](const QString& name, const WaveHeader& header) {
        QFile file(folder.file(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(waveFile(header, tones));
        return file.fileName();
    };
    struct Case {
        QString path;
        bool refused;
    };
    WaveHeader rateZero, rateHuge, noChannels, halfByteRate, claimsTwice, oddAlignment;
    rateZero.sampleRate = 0;
    rateHuge.sampleRate = 1000000000;
    noChannels.channels = 0;
    halfByteRate.byteRate = 44100 * 2;
    claimsTwice.dataBytesClaimed = qint64(kTones) * 8;
    oddAlignment.blockAlign = 3;

    const QString alac = folder.file("rate.m4a");
    EXPECT_TRUE(makeFixture(alac, twoToneSource(), 4410, 2, {"-c:a", "alac"}));
    // The Apple Lossless configuration's own sample rate: 2^30 Hz.
    EXPECT_TRUE(patchAfter(alac, QByteArray("\0\0\0\x24" "alac", 8), 32, 0x40000000));
    const QString aiff = folder.file("frames.aiff");
    EXPECT_TRUE(makeFixture(aiff, twoToneSource(), 4410, 2, {"-c:a", "pcm_s16be"}));
    EXPECT_TRUE(patchAfter(aiff, "COMM", 10, 4410 * 3)); // the frame count claims three times the data
    const QString cut = folder.file("cut.m4a");
    EXPECT_TRUE(makeFixture(cut, twoToneSource(), kFrames, 2, {"-c:a", "alac", "-movflags", "faststart"}));
    QFile(cut).resize(QFileInfo(cut).size() * 2 / 3);

    const Case cases[] = {
        {writeWave("rate-zero.wav", rateZero), true},
        {writeWave("rate-huge.wav", rateHuge), true},
        {writeWave("no-channels.wav", noChannels), true},
        {writeWave("odd-alignment.wav", oddAlignment), true},
        {writeWave("half-byte-rate.wav", halfByteRate), false},
        {writeWave("claims-twice.wav", claimsTwice), false},
        {alac, true},
        {aiff, false},
        {cut, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        std::unique_ptr<AudioFileReader> reader;
        const OSStatus status = AudioFileReader::open(c.path, &reader);
        if (c.refused) {
            EXPECT_NE(status, noErr);
            EXPECT_FALSE(reader);
            continue;
        }
        ASSERT_EQ(status, noErr);
        const StereoAudio whole = readToEnd(*reader, 777);
        EXPECT_EQ(qint64(whole.frames()), reader->packetTable().mNumberValidFrames);
        if (c.path.endsWith(".wav")) {
            EXPECT_EQ(whole.frames(), kTones); // what the file holds, whatever its header says
            EXPECT_EQ(whole.left, tones.left);
        } else {
            EXPECT_EQ(whole.frames(), 4410u);
        }
        std::vector<float> left(500), right(500);
        for (qint64 target : {qint64(1), qint64(999), qint64(whole.frames() / 2), qint64(whole.frames()) - 3}) {
            UInt32 frames = 500;
            ASSERT_EQ(reader->seek(target), noErr);
            ASSERT_EQ(reader->read(&frames, left.data(), right.data()), noErr);
            ASSERT_EQ(frames, UInt32(std::min<qint64>(500, qint64(whole.frames()) - target)));
            for (UInt32 f = 0; f < frames; ++f)
                ASSERT_EQ(left[f], whole.left[size_t(target) + f]) << "seek to " << target;
        }
    }
}

TEST(AudioFileReader, refusesProtectedMedia)
{
    TempFolder folder;
    const QString path = folder.file("protected.m4a");
    ASSERT_TRUE(makeFixture(path, twoToneSource(), kFrames, 2,
                            {"-c:a", "aac", "-encryption_scheme", "cenc-aes-ctr", "-encryption_key",
                             "76a6c65c5ea762046bd749a2e632ccbb", "-encryption_kid", "a7e61c373e219033c21091fa607bf3b8"}));
    std::unique_ptr<AudioFileReader> reader;
    EXPECT_EQ(AudioFileReader::open(path, &reader), kAudioFileProtectedMediaError);
}

TEST(AudioFileReader, tellsTheFileTypeAndDataFormat)
{
    TempFolder folder;
    struct Case {
        const char* fileName;
        QStringList codec;
        AudioFileTypeID type;
        AudioFormatID format;
    };
    const Case cases[] = {
        {"a.wav", {"-c:a", "pcm_s24le"}, kAudioFileWAVEType, kAudioFormatLinearPCM},
        {"a.aiff", {"-c:a", "pcm_s16be"}, kAudioFileAIFFType, kAudioFormatLinearPCM},
        {"a.aifc", {"-c:a", "pcm_f32be"}, kAudioFileAIFCType, kAudioFormatLinearPCM},
        {"a.au", {"-c:a", "pcm_s16be"}, kAudioFileNextType, kAudioFormatLinearPCM},
        {"a.caf", {"-c:a", "alac"}, kAudioFileCAFType, kAudioFormatAppleLossless},
        {"a.m4a", {"-c:a", "aac"}, kAudioFileM4AType, kAudioFormatMPEG4AAC},
        {"a.mov", {"-c:a", "aac"}, kAudioFileQuickTimeMovieType, kAudioFormatMPEG4AAC},
        {"a.mp4", {"-c:a", "aac"}, kAudioFileMPEG4Type, kAudioFormatMPEG4AAC},
        {"a.aac", {"-c:a", "aac"}, kAudioFileAAC_ADTSType, kAudioFormatMPEG4AAC},
        {"a.mp3", {"-c:a", "libmp3lame"}, kAudioFileMP3Type, kAudioFormatMPEGLayer3},
    };
    for (const Case& c : cases) {
        const QString path = folder.file(c.fileName);
        ASSERT_TRUE(makeFixture(path, twoToneSource(), 4410, 2, c.codec));
        std::unique_ptr<AudioFileReader> reader;
        ASSERT_EQ(AudioFileReader::open(path, &reader), noErr) << c.fileName;
        EXPECT_EQ(reader->fileType(), c.type) << c.fileName;
        EXPECT_EQ(reader->dataFormat().mFormatID, c.format) << c.fileName;
        EXPECT_EQ(reader->dataFormat().mSampleRate, 44100.0) << c.fileName;
        UInt32 type = 0;
        UInt32 size = sizeof(type);
        EXPECT_EQ(reader->getProperty(kAudioFilePropertyFileFormat, &size, &type), noErr);
        EXPECT_EQ(type, c.type);
    }
}
