// Every common sound file, made by the tools users make them with (ffmpeg, sox, lame), reads
// with its exact length and samples and seeks to the exact frame.
#include "platform/codecs/AudioFileReader.h"

#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>

using namespace clipdeck::test;

namespace {

// Six seconds and an odd remainder: several Ogg pages and Matroska clusters, not a whole
// number of packets or blocks.
constexpr qint64 kFrames = 6 * 44100 + 37;
// The ffmpeg tool keeps the length of AAC in a movie only to the millisecond.
constexpr qint64 kWholeMilliseconds = 6 * 44100 + 441;

enum class Tool { FFmpeg, Sox, Lame };
enum class Samples {
    Lossless, // equal to the ffmpeg tool's decode, sample for sample
    Lossy,    // correlated with it above 0.98, with no offset
};
enum class Seeks {
    Exact,    // a read after a seek equals the straight read there
    Settling, // within kSettlingLimit of it: the decoder's history shapes its output (Opus)
};
enum class Length {
    Generated, // the frames generated: the file says how many are valid
    AsFFmpeg,  // the frames the ffmpeg tool decodes, less the priming we drop and it keeps
};

// What a decoder's history may still change after a seek: Opus after half a second of
// pre-roll.
constexpr float kSettlingLimit = 1e-4f;

struct Format {
    const char* name;
    const char* fileName;
    Tool tool;
    QStringList arguments; // codec arguments for ffmpeg, output arguments for sox and lame
    Samples samples;
    Seeks seeks;
    Length length;
    qint64 ffmpegLeads = 0; // frames the ffmpeg tool's decode has before our first frame
    qint64 frames = kFrames; // generated
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

// AAC without noise substitution, whose noise no decoder repeats after a seek.
const QStringList kAAC{"-c:a", "aac", "-b:a", "128k", "-aac_pns", "0"};

const Format kFormats[] = {
    {"Wave16", "a.wav", Tool::FFmpeg, {"-c:a", "pcm_s16le"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"Wave24BySox", "a.wav", Tool::Sox, {"-b", "24"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"WaveFloat", "a.wav", Tool::FFmpeg, {"-c:a", "pcm_f32le"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"AIFFBySox", "a.aiff", Tool::Sox, {"-b", "16"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"CAF", "a.caf", Tool::FFmpeg, {"-c:a", "pcm_s24be"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"FLAC", "a.flac", Tool::FFmpeg, {"-c:a", "flac"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"FLACBySox", "a.flac", Tool::Sox, {}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"OggFLAC", "a.oga", Tool::FFmpeg, {"-c:a", "flac"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"OggVorbis", "a.ogg", Tool::FFmpeg, {"-c:a", "libvorbis"}, Samples::Lossy, Seeks::Exact, Length::Generated},
    {"OggVorbisBySox", "a.ogg", Tool::Sox, {}, Samples::Lossy, Seeks::Exact, Length::Generated},
    {"Opus", "a.opus", Tool::FFmpeg, {"-c:a", "libopus"}, Samples::Lossy, Seeks::Settling, Length::AsFFmpeg},
    {"MP3WithLAMETag", "a.mp3", Tool::Lame, {"-b", "128"}, Samples::Lossy, Seeks::Exact, Length::Generated},
    {"MP3WithoutTag", "a.mp3", Tool::Lame, {"-t", "-b", "128"}, Samples::Lossy, Seeks::Exact, Length::AsFFmpeg},
    {"AACInM4A", "a.m4a", Tool::FFmpeg, kAAC, Samples::Lossy, Seeks::Exact, Length::Generated, 0,
     kWholeMilliseconds},
    {"AACInADTS", "a.aac", Tool::FFmpeg, kAAC, Samples::Lossy, Seeks::Exact, Length::AsFFmpeg, 2112},
    {"AppleLossless", "a.m4a", Tool::FFmpeg, {"-c:a", "alac"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"WebMOpus", "a.webm", Tool::FFmpeg, {"-c:a", "libopus"}, Samples::Lossy, Seeks::Settling, Length::AsFFmpeg},
    {"WebMVorbis", "a.webm", Tool::FFmpeg, {"-c:a", "libvorbis"}, Samples::Lossy, Seeks::Exact, Length::AsFFmpeg},
    {"MatroskaAAC", "a.mka", Tool::FFmpeg, kAAC, Samples::Lossy, Seeks::Exact, Length::AsFFmpeg, 2112},
    {"MatroskaFLAC", "a.mka", Tool::FFmpeg, {"-c:a", "flac"}, Samples::Lossless, Seeks::Exact, Length::Generated},
    {"MatroskaPCM", "a.mka", Tool::FFmpeg, {"-c:a", "pcm_s16le"}, Samples::Lossless, Seeks::Exact,
     Length::Generated},
};

// Makes the file with the format's tool: ffmpeg from its generated source, sox and lame
// from a 16-bit WAV file of the same sound.
bool makeFile(const Format& format, TempFolder& folder, const QString& path)
{
    if (format.tool == Tool::FFmpeg)
        return makeFixture(path, twoToneSource(), format.frames, 2, format.arguments);
    const QString source = folder.file("source.wav");
    if (!makeFixture(source, twoToneSource(), format.frames, 2, {"-c:a", "pcm_s16le"}))
        return false;
    if (format.tool == Tool::Sox)
        return runSox(QStringList{source} + format.arguments + QStringList{path});
    return runLame(format.arguments + QStringList{source, path});
}

std::string formatName(const ::testing::TestParamInfo<Format>& info) { return info.param.name; }

class FormatTable : public ::testing::TestWithParam<Format> {};

} // namespace

TEST_P(FormatTable, readsItsExactLengthAndSamplesAndSeeksToTheFrame)
{
    const Format& format = GetParam();
    TempFolder folder;
    const QString path = folder.file(format.fileName);
    ASSERT_TRUE(makeFile(format, folder, path));
    std::unique_ptr<AudioFileReader> reader;
    ASSERT_EQ(AudioFileReader::open(path, &reader), noErr);

    // The count is what a full read delivers, and the length the file says it holds.
    const qint64 count = reader->packetTable().mNumberValidFrames;
    const StereoAudio whole = readToEnd(*reader, 1000);
    ASSERT_EQ(qint64(whole.frames()), count);
    const StereoAudio reference = decodeWithFFmpeg(path);
    ASSERT_GT(reference.frames(), size_t(format.ffmpegLeads));
    if (format.length == Length::Generated)
        EXPECT_EQ(count, format.frames);
    else
        EXPECT_EQ(count, qint64(reference.frames()) - format.ffmpegLeads);

    // The samples are the ffmpeg tool's, from the same first frame.
    const auto theirs = [&](const std::vector<float>& side) {
        return std::vector<float>(side.begin() + format.ffmpegLeads, side.end());
    };
    if (format.samples == Samples::Lossless) {
        EXPECT_EQ(whole.left, theirs(reference.left));
        EXPECT_EQ(whole.right, theirs(reference.right));
    } else {
        EXPECT_GT(correlation(whole.left, theirs(reference.left)), 0.98);
        EXPECT_GT(correlation(whole.right, theirs(reference.right)), 0.98);
    }

    // 50 random seeks: what is read there is the straight read's.
    EXPECT_EQ(compareSeeks(*reader, whole, 50, 5000, format.seeks == Seeks::Exact ? 0.0f : kSettlingLimit), "");
    std::vector<float> left(100), right(100);
    ASSERT_EQ(reader->seek(count), noErr);
    UInt32 frames = 100;
    EXPECT_EQ(reader->read(&frames, left.data(), right.data()), noErr);
    EXPECT_EQ(frames, 0u);
}

INSTANTIATE_TEST_SUITE_P(CommonFiles, FormatTable, ::testing::ValuesIn(kFormats), formatName);

// AAC's noise substitution fills bands with noise of a given energy from a generator that no
// decoder repeats after a seek: a read after a seek carries the same energy as the straight
// read (within 2%) and follows it closely, with other noise in those bands.
TEST(FormatTable, seeksInNoiseSubstitutingAACKeepTheNoiseEnergy)
{
    TempFolder folder;
    const QString path = folder.file("noise.m4a");
    ASSERT_TRUE(runFFmpeg({"-f", "lavfi", "-i", "anoisesrc=color=pink:amplitude=0.3:sample_rate=44100", "-f", "lavfi",
                           "-i", "sine=frequency=440:sample_rate=44100", "-filter_complex", "amix", "-t", "6", "-ac",
                           "2", "-c:a", "aac", "-b:a", "96k", path}));
    std::unique_ptr<AudioFileReader> reader;
    ASSERT_EQ(AudioFileReader::open(path, &reader), noErr);
    const StereoAudio whole = readToEnd(*reader);
    ASSERT_EQ(qint64(whole.frames()), reader->packetTable().mNumberValidFrames);
    std::mt19937 random(5);
    std::uniform_int_distribution<qint64> targets(0, qint64(whole.frames()) - 4096);
    std::vector<float> left(4096), right(4096);
    for (int i = 0; i < 50; ++i) {
        const qint64 target = targets(random);
        UInt32 frames = 4096;
        ASSERT_EQ(reader->seek(target), noErr);
        ASSERT_EQ(reader->read(&frames, left.data(), right.data()), noErr);
        ASSERT_EQ(frames, 4096u);
        const std::vector<float> straight(whole.left.begin() + target, whole.left.begin() + target + 4096);
        double seeked = 0, expected = 0;
        for (size_t f = 0; f < 4096; ++f) {
            seeked += double(left[f]) * left[f];
            expected += double(straight[f]) * straight[f];
        }
        EXPECT_NEAR(seeked / expected, 1.0, 0.02) << "seek to " << target;
        EXPECT_GT(correlation(left, straight), 0.9) << "seek to " << target;
    }
}
