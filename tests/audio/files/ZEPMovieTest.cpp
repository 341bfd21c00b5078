#include "audio/files/ZEPMovie.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "platform/codecs/AudioFileReader.h"
#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

constexpr UInt32 kFrames = 8000;

// A movie of three stereo sound tracks, each of its own tone.
QString threeTrackMovie(TempFolder& folder)
{
    const QString path = folder.file("three.mov");
    QStringList arguments;
    for (int hz : {220, 440, 880})
        arguments << "-f" << "lavfi" << "-i"
                  << QStringLiteral("aevalsrc=exprs=0.25*sin(2*PI*%1*t)|0.125*sin(2*PI*%1*t):sample_rate=44100:duration=1")
                         .arg(hz);
    arguments << "-map" << "0" << "-map" << "1" << "-map" << "2" << "-c:a" << "pcm_s16le" << path;
    return runFFmpeg(arguments) ? path : QString();
}

// Float buffers of kFrames frames, one per channel.
struct Channels {
    explicit Channels(UInt32 count)
        : samples(count, std::vector<float>(kFrames)), list(ZEPCreateEmptyAudioBufferList(count))
    {
        for (UInt32 c = 0; c < count; ++c)
            list->mBuffers[c] = {1, kFrames * 4, samples[c].data()};
    }
    ~Channels() { ZEPFreeEmptyAudioBufferList(list); }
    Channels(const Channels&) = delete;
    Channels& operator=(const Channels&) = delete;
    std::vector<std::vector<float>> samples;
    AudioBufferList* list;
};

StereoAudio trackAudio(const QString& path, int track)
{
    std::unique_ptr<AudioFileReader> reader;
    AudioFileReader::open(path, &reader, track);
    return reader ? readToEnd(*reader) : StereoAudio();
}

class MovieModes : public ::testing::Test {
protected:
    void TearDown() override { ZEPMovie::setTreatMoviesAsSingleTrack(false); }
};

} // namespace

// Apart, each track has its own pair of channels; in single-track mode all are mixed.
TEST_F(MovieModes, readsTracksApartOrMixed)
{
    TempFolder folder;
    const QString path = threeTrackMovie(folder);
    ASSERT_FALSE(path.isEmpty());
    const StereoAudio tracks[] = {trackAudio(path, 0), trackAudio(path, 1), trackAudio(path, 2)};

    std::unique_ptr<ZEPMovie> apart = ZEPMovie::initWithPath(path, false);
    ASSERT_TRUE(apart);
    EXPECT_EQ(apart->trackCount(), 3u);
    AudioStreamBasicDescription format;
    ASSERT_EQ(apart->getExtractionAudioDescription(&format), noErr);
    EXPECT_EQ(format.mChannelsPerFrame, 6u);
    Channels six(6);
    UInt32 packets = kFrames;
    ASSERT_EQ(apart->readPackets(&packets, six.list, nullptr), noErr);
    ASSERT_EQ(packets, kFrames);
    for (int t = 0; t < 3; ++t) {
        EXPECT_TRUE(std::equal(six.samples[2 * t].begin(), six.samples[2 * t].end(), tracks[t].left.begin())) << t;
        EXPECT_TRUE(std::equal(six.samples[2 * t + 1].begin(), six.samples[2 * t + 1].end(), tracks[t].right.begin()));
    }

    ZEPMovie::setTreatMoviesAsSingleTrack(true);
    std::unique_ptr<ZEPMovie> mixed = ZEPMovie::initWithPath(path, false);
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->trackCount(), 1u);
    ASSERT_EQ(mixed->getExtractionAudioDescription(&format), noErr);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    Channels two(2);
    packets = kFrames;
    ASSERT_EQ(mixed->readPackets(&packets, two.list, nullptr), noErr);
    for (UInt32 f = 0; f < kFrames; ++f) {
        ASSERT_FLOAT_EQ(two.samples[0][f], tracks[0].left[f] + tracks[1].left[f] + tracks[2].left[f]) << f;
        ASSERT_FLOAT_EQ(two.samples[1][f], tracks[0].right[f] + tracks[1].right[f] + tracks[2].right[f]) << f;
    }
}

TEST(ZEPMovie, readsAMonoTrackAsTwoChannels)
{
    TempFolder folder;
    ASSERT_TRUE(makeFixture(folder.file("mono.mov"), "sine=frequency=500", kFrames, 1, {"-c:a", "aac"}));
    std::unique_ptr<ZEPMovie> movie = ZEPMovie::initWithPath(folder.file("mono.mov"), true);
    ASSERT_TRUE(movie);
    EXPECT_TRUE(movie->isLoading()); // until the result is put in place
    EXPECT_FALSE(movie->canPlay());
    EXPECT_EQ(movie->waitUntilLoaded(), noErr);
    EXPECT_FALSE(movie->isLoading());
    EXPECT_TRUE(movie->canPlay());
    EXPECT_EQ(movie->fileAudioDescription().mChannelsPerFrame, 1u);
    Channels two(2);
    UInt32 packets = kFrames;
    ASSERT_EQ(movie->readPackets(&packets, two.list, nullptr), noErr);
    EXPECT_GT(packets, 0u);
    EXPECT_EQ(two.samples[0], two.samples[1]);
}

// The end stays until the position is set again; positions past the end are ignored.
TEST(ZEPMovie, endsUntilRepositioned)
{
    TempFolder folder;
    ASSERT_TRUE(makeFixture(folder.file("short.mov"), twoToneSource(), 3000, 2, {"-c:a", "pcm_s16le"}));
    std::unique_ptr<ZEPMovie> movie = ZEPMovie::initWithPath(folder.file("short.mov"), false);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->packetCount(), 3000);
    EXPECT_EQ(movie->locationPackets(), 0);
    Channels two(2);
    UInt32 packets = kFrames;
    ASSERT_EQ(movie->readPackets(&packets, two.list, nullptr), noErr);
    ASSERT_EQ(packets, 3000u);
    const std::vector<float> firstLeft(two.samples[0].begin(), two.samples[0].begin() + 3000);
    for (int again = 0; again < 3; ++again) {
        packets = kFrames;
        EXPECT_EQ(movie->readPackets(&packets, two.list, nullptr), kZEPAudioSourceEndOfData);
        EXPECT_EQ(packets, 0u);
    }
    movie->setLocationPackets(3000); // past the last frame: ignored
    packets = kFrames;
    EXPECT_EQ(movie->readPackets(&packets, two.list, nullptr), kZEPAudioSourceEndOfData);

    movie->setLocationPackets(2000);
    two.list->mBuffers[0].mDataByteSize = two.list->mBuffers[1].mDataByteSize = kFrames * 4;
    packets = kFrames;
    ASSERT_EQ(movie->readPackets(&packets, two.list, nullptr), noErr);
    ASSERT_EQ(packets, 1000u);
    EXPECT_TRUE(std::equal(two.samples[0].begin(), two.samples[0].begin() + 1000, firstLeft.begin() + 2000));
}

TEST(ZEPMovie, refusesMoviesWithoutSoundAndProtectedMedia)
{
    TempFolder folder;
    const QString silent = folder.file("picture.mov");
    ASSERT_TRUE(runFFmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1", "-c:v", "mpeg4", silent}));
    EXPECT_FALSE(ZEPMovie::initWithPath(silent, false));
    EXPECT_FALSE(ZEPMovie::fileAtPathIsDRMEncrypted(silent));

    const QString locked = folder.file("locked.m4a");
    ASSERT_TRUE(makeFixture(locked, twoToneSource(), 4410, 2,
                            {"-c:a", "aac", "-encryption_scheme", "cenc-aes-ctr", "-encryption_key",
                             "76a6c65c5ea762046bd749a2e632ccbb", "-encryption_kid", "a7e61c373e219033c21091fa607bf3b8"}));
    EXPECT_TRUE(ZEPMovie::fileAtPathIsDRMEncrypted(locked));
    EXPECT_FALSE(ZEPMovie::initWithPath(locked, false));
    EXPECT_FALSE(ZEPAudioFile::initWithPath(locked, 0, false));
}

TEST(ZEPMovie, channelLayoutHelpers)
{
    QByteArray layout;
    ASSERT_EQ(ZEPMovie::createStereoChannelLayout(&layout), noErr);
    EXPECT_EQ(layout.size(), 52);
    const auto* stereo = reinterpret_cast<const AudioChannelLayout*>(layout.constData());
    EXPECT_EQ(stereo->mChannelDescriptions[0].mChannelLabel, 1u);
    EXPECT_EQ(stereo->mChannelDescriptions[1].mChannelLabel, 2u);
    UInt32 count = 0;
    EXPECT_EQ(ZEPMovie::getNumberOfChannels(&count, stereo, UInt32(layout.size())), noErr);
    EXPECT_EQ(count, 2u);

    AudioChannelLayout tagged;
    tagged.mChannelLayoutTag = kAudioChannelLayoutTag_Mono;
    ZEPMovie::getNumberOfChannels(&count, &tagged, sizeof tagged);
    EXPECT_EQ(count, 1u);
    tagged.mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelBitmap;
    tagged.mChannelBitmap = 0b1011;
    ZEPMovie::getNumberOfChannels(&count, &tagged, sizeof tagged);
    EXPECT_EQ(count, 3u);
    tagged.mChannelLayoutTag = (108u << 16) | 4;
    ZEPMovie::getNumberOfChannels(&count, &tagged, sizeof tagged);
    EXPECT_EQ(count, 4u);
}
