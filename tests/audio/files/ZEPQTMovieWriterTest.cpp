#include "audio/files/ZEPQTMovieWriter.h"

#include "audio/files/ZEPAudioFileWriter.h"
#include "ExportDriver.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

} // namespace

TEST(ZEPQTMovieWriter, namesTheMovieWithoutColons)
{
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileWriting> writer = ZEPAudioFileWriter::initWithPath(
        folder.file("take:1.aiff"), kAudioFileQuickTimeMovieType, defaultOutputFor(kAudioFileAIFFType));
    ASSERT_TRUE(writer);
    ASSERT_TRUE(dynamic_cast<ZEPQTMovieWriter*>(writer.get()));
    EXPECT_EQ(writer->file()->name().toStdString(), "take1.mov");
    EXPECT_EQ(writer->fileType(), kAudioFileQuickTimeMovieType);
    EXPECT_EQ(writer->hfsType(), kAudioFileQuickTimeMovieType);
    EXPECT_FALSE(writer->addTrack()); // one sound track only
    writer->setTags({{"title", "ignored"}});
    EXPECT_FALSE(writer->tags());
}

// Constant-size packets go in one sample call; variable ones one per packet, at their own
// frame counts.
TEST(ZEPQTMovieWriter, countsMediaTimeInSamples)
{
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileWriting> ima = ZEPAudioFileWriter::initWithPath(
        folder.file("ima"), kAudioFileQuickTimeMovieType, defaultOutputFor(kAudioFileAIFCType));
    ASSERT_TRUE(ima);
    ASSERT_EQ(ima->beginWritingSession(), noErr);
    const QByteArray blocks(10 * 68, '\0');
    ASSERT_EQ(ima->writeBytes(blocks.constData(), UInt32(blocks.size()), 10, nullptr, 0), noErr);
    auto* movie = static_cast<ZEPQTMovieWriter*>(ima.get());
    EXPECT_EQ(movie->samplesWritten(), 640);
    EXPECT_EQ(ima->amountWritten(), 680);
    ASSERT_EQ(ima->endWritingSession(), noErr);

    std::unique_ptr<ZEPAudioFileWriting> aac = ZEPAudioFileWriter::initWithPath(
        folder.file("aac"), kAudioFileQuickTimeMovieType, defaultOutputFor(kAudioFileM4AType));
    ASSERT_TRUE(aac);
    const unsigned char config[] = {0x12, 0x10};
    aac->setMagicCookie(config, sizeof config);
    ASSERT_EQ(aac->beginWritingSession(), noErr);
    const AudioStreamPacketDescription descriptions[] = {{0, 1024, 6}, {6, 0, 6}, {12, 1024, 6}};
    const QByteArray packets(18, '\0');
    ASSERT_EQ(aac->writeBytes(packets.constData(), 18, 3, descriptions, 0), noErr);
    EXPECT_EQ(static_cast<ZEPQTMovieWriter*>(aac.get())->samplesWritten(), 3072);
    EXPECT_EQ(aac->writeBytes(packets.constData(), 18, 3, nullptr, 0), 1); // no descriptions
    EXPECT_EQ(static_cast<ZEPQTMovieWriter*>(aac.get())->samplesWritten(), 3072);
    ASSERT_EQ(aac->endWritingSession(), noErr);
    EXPECT_TRUE(QFileInfo(folder.file("aac.mov")).size() > 0);
}
