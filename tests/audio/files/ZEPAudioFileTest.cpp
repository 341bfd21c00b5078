#include "audio/files/ZEPAudioFile.h"
#include "audio/files/ZEPMovie.h"

#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

struct Buffers {
    explicit Buffers(UInt32 frames) : left(frames), right(frames) { reset(); }
    void reset()
    {
        list.mBuffers[0] = {1, UInt32(left.size() * 4), left.data()};
        list.mBuffers[1] = {1, UInt32(right.size() * 4), right.data()};
    }
    std::vector<float> left, right;
    StackAudioBufferList<2> list;
};

} // namespace

// Movies and MP3 by their exact extension go to the movie reader; ".MOV" is tried as a plain
// file first; what neither reads gives nothing.
TEST(ZEPAudioFile, choosesTheReaderByExtension)
{
    TempFolder folder;
    const struct {
        const char* name;
        QStringList codec;
        bool movie;
    } table[] = {
        {"a.mov", {"-c:a", "aac"}, true},
        {"a.mp3", {"-c:a", "libmp3lame"}, true},
        {"b.MOV", {"-c:a", "aac", "-f", "mov"}, false},
        {"a.wav", {"-c:a", "pcm_s16le"}, false},
    };
    for (const auto& row : table) {
        ASSERT_TRUE(makeFixture(folder.file(row.name), twoToneSource(), 4410, 2, row.codec)) << row.name;
        std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(folder.file(row.name), 0, false);
        ASSERT_TRUE(file) << row.name;
        EXPECT_EQ(dynamic_cast<ZEPMovie*>(file.get()) != nullptr, row.movie) << row.name;
        EXPECT_EQ(file->packetCount(), 4410) << row.name;
    }
    QFile text(folder.file("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a sound");
    text.close();
    EXPECT_FALSE(ZEPAudioFile::initWithPath(folder.file("notes.wav"), 0, false));
    EXPECT_FALSE(ZEPAudioFile::canOpenPath(folder.file("notes.wav"), true));
    EXPECT_TRUE(ZEPAudioFile::canOpenPath(folder.file("a.wav"), false));
}

TEST(ZEPAudioFile, describesItsFile)
{
    TempFolder folder;
    ASSERT_TRUE(makeFixture(folder.file("a.wav"), twoToneSource(), 22050, 2, {"-c:a", "pcm_s24le"}));
    std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(folder.file("a.wav"), 0, false);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->fileType(), kAudioFileWAVEType);
    EXPECT_EQ(file->fileAudioDescription().mBitsPerChannel, 24u);
    EXPECT_DOUBLE_EQ(file->duration(), 0.5);
    AudioStreamBasicDescription extraction;
    ASSERT_EQ(file->getExtractionAudioDescription(&extraction), noErr);
    EXPECT_EQ(extraction.mChannelsPerFrame, 2u);
    EXPECT_EQ(extraction.mFormatFlags, 41u);
    EXPECT_EQ(extraction.mSampleRate, 44100.0);
    EXPECT_TRUE(file->description().contains("duration: 0.500000"));
}

// Acceptance: one channel on both sides, four channels mixed by parity, and the end answers
// 666 with no frames, again and again.
TEST(ZEPAudioFile, deliversTwoChannelsAndAnEndThatStays)
{
    TempFolder folder;
    ASSERT_TRUE(makeFixture(folder.file("mono.wav"), "sine=frequency=330", 3000, 1, {"-c:a", "pcm_s16le"}));
    ASSERT_TRUE(makeFixture(folder.file("quad.wav"), "aevalsrc=exprs=0.125|0.25|0.375|-0.5", 3000, 4,
                            {"-c:a", "pcm_f32le"}));
    std::unique_ptr<ZEPAudioFile> mono = ZEPAudioFile::initWithPath(folder.file("mono.wav"), 0, false);
    std::unique_ptr<ZEPAudioFile> quad = ZEPAudioFile::initWithPath(folder.file("quad.wav"), 0, false);
    ASSERT_TRUE(mono && quad);

    Buffers buffers(4096);
    UInt32 packets = 4096;
    ASSERT_EQ(mono->readPackets(&packets, buffers.list.list(), nullptr), noErr);
    ASSERT_EQ(packets, 3000u);
    EXPECT_TRUE(std::equal(buffers.left.begin(), buffers.left.begin() + 3000, buffers.right.begin()));
    for (int again = 0; again < 3; ++again) {
        buffers.reset();
        packets = 4096;
        EXPECT_EQ(mono->readPackets(&packets, buffers.list.list(), nullptr), kZEPAudioSourceEndOfData);
        EXPECT_EQ(packets, 0u);
        EXPECT_EQ(buffers.list.mBuffers[0].mDataByteSize, 0u);
    }

    buffers.reset();
    packets = 4096;
    ASSERT_EQ(quad->readPackets(&packets, buffers.list.list(), nullptr), noErr);
    ASSERT_EQ(packets, 3000u);
    for (UInt32 f = 0; f < packets; ++f) {
        ASSERT_EQ(buffers.left[f], 0.5f);
        ASSERT_EQ(buffers.right[f], -0.25f);
    }
}

// Asking for more than the buffers hold delivers what fits; seeks land on the frame.
TEST(ZEPAudioFile, readsWhatFitsAndSeeks)
{
    TempFolder folder;
    ASSERT_TRUE(makeFixture(folder.file("a.caf"), twoToneSource(), 20000, 2, {"-c:a", "alac"}));
    std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(folder.file("a.caf"), 0, false);
    ASSERT_TRUE(file);
    Buffers whole(20000);
    UInt32 packets = 20000;
    ASSERT_EQ(file->readPackets(&packets, whole.list.list(), nullptr), noErr);
    ASSERT_EQ(packets, 20000u);

    Buffers small(100);
    file->setLocationPackets(12345);
    packets = 5000;
    ASSERT_EQ(file->readPackets(&packets, small.list.list(), nullptr), noErr);
    EXPECT_EQ(packets, 100u);
    EXPECT_EQ(file->locationPackets(), 12445);
    EXPECT_TRUE(std::equal(small.left.begin(), small.left.end(), whole.left.begin() + 12345));
}

// A read that fails part way (the file was cut short while open) counts only the frames it
// really delivered.
TEST(ZEPAudioFile, aFailedReadAdvancesByWhatItDelivered)
{
    TempFolder folder;
    const QString cut = folder.file("cut.m4a");
    ASSERT_TRUE(makeFixture(cut, twoToneSource(), 44100, 2, {"-c:a", "alac", "-movflags", "faststart"}));
    std::unique_ptr<ZEPAudioFile> file = ZEPAudioFile::initWithPath(cut, 0, false, false);
    ASSERT_TRUE(file);
    QFile(cut).resize(QFileInfo(cut).size() / 2);
    Buffers buffers(44100);
    UInt32 packets = 44100;
    const OSStatus status = file->readPackets(&packets, buffers.list.list(), nullptr);
    EXPECT_NE(status, noErr);
    EXPECT_NE(status, kZEPAudioSourceEndOfData);
    EXPECT_GT(packets, 0u);
    EXPECT_LT(packets, 44100u);
    EXPECT_EQ(file->locationPackets(), SInt64(packets));
    EXPECT_EQ(buffers.list.mBuffers[0].mDataByteSize, packets * 4);
}
