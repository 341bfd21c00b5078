// The conversion thread with pattern sources and float WAVE files, read back by ffmpeg.
#include "audio/files/ZEPConverterThread.h"

#include "ConverterThreadFixtures.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriting.h"
#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <QThread>
#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// -1 when b starts with a (the same samples), else the first frame where they differ.
long long firstDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return (long long)std::min(a.size(), b.size());
    const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin());
    return mismatch.first == a.end() ? -1 : (long long)(mismatch.first - a.begin());
}

std::vector<float> concatenated(const QStringList& paths)
{
    std::vector<float> all;
    for (const QString& path : paths) {
        const StereoAudio part = decodeWithFFmpeg(path);
        all.insert(all.end(), part.left.begin(), part.left.end());
    }
    return all;
}

class ConverterThreadTest : public testing::Test {
protected:
    std::unique_ptr<ZEPConverterThread> makeThread(const ZEPAudioConverterList& encoders,
                                                   const ZEPAudioFileWriterList& writers,
                                                   const ZEPAudioSourceList& sources)
    {
        OSStatus status = noErr;
        std::unique_ptr<ZEPConverterThread> thread =
            ZEPConverterThread::initWithEncoders(encoders, writers, sources, true, &status);
        EXPECT_EQ(status, noErr);
        if (thread) {
            // As an export does: the sources are read directly.
            thread->setBypassGraph(true);
            thread->setDelegate(&delegate);
            delegate.thread = thread.get();
        }
        return thread;
    }
    bool waitForEnd(int timeoutMs = 60000)
    {
        return waitUntil([&] { return delegate.finishedCalls > 0; }, timeoutMs);
    }

    TempFolder folder;
    RecordingThreadDelegate delegate{folder.file("part")};
};

} // namespace

TEST_F(ConverterThreadTest, aSourceIsConvertedIntoItsFileAndTheEndComesOnce)
{
    PatternSource source(30001);
    const ZEPAudioFileWriterRef writer = floatWaveWriter(folder.file("whole.wav"));
    std::unique_ptr<ZEPConverterThread> thread = makeThread({floatWaveEncoder()}, {writer}, {&source});
    ASSERT_TRUE(thread);
    ASSERT_EQ(thread->start(), noErr);
    // Created paused: nothing moves until it is resumed.
    QThread::msleep(50);
    EXPECT_EQ(source.delivered(), 0);
    thread->resumeConversion();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(delegate.finishedError, noErr);
    EXPECT_FALSE(thread->isRunning());
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(delegate.finishedCalls, 1);
    EXPECT_EQ(delegate.requests, 0);
    EXPECT_EQ(firstDifference(decodeWithFFmpeg(folder.file("whole.wav")).left, patternLeft(0, 30001)), -1);
}

// Through the effects graph (empty here) the source comes out whole; the graph ends on a
// slice of its own, which it fills with silence.
TEST_F(ConverterThreadTest, throughTheGraphTheLastSliceIsPaddedWithSilence)
{
    PatternSource source(30001);
    const ZEPAudioFileWriterRef writer = floatWaveWriter(folder.file("graph.wav"));
    std::unique_ptr<ZEPConverterThread> thread = makeThread({floatWaveEncoder()}, {writer}, {&source});
    ASSERT_TRUE(thread);
    thread->setBypassGraph(false);
    ASSERT_EQ(thread->start(), noErr);
    thread->resumeConversion();
    ASSERT_TRUE(waitForEnd());
    std::vector<float> written = decodeWithFFmpeg(writer->file()->path()).left;
    ASSERT_GE(written.size(), 30001u);
    ASSERT_LT(written.size(), 30001u + ZEPConverterThread::kConverterInputFrames);
    EXPECT_TRUE(std::all_of(written.begin() + 30001, written.end(), [](float sample) { return sample == 0; }));
    written.resize(30001);
    EXPECT_EQ(firstDifference(written, patternLeft(0, 30001)), -1);
}

TEST_F(ConverterThreadTest, aByteLimitBelowTheMinimumIsRaised)
{
    PatternSource source(10);
    std::unique_ptr<ZEPConverterThread> thread =
        makeThread({floatWaveEncoder()}, {floatWaveWriter(folder.file("a.wav"))}, {&source});
    ASSERT_TRUE(thread);
    const std::vector<std::pair<UInt32, UInt32>> cases = {{0, 0}, {1, 32768}, {1000, 32768}, {32767, 32768},
                                                          {32768, 32768}, {50000, 50000}};
    for (const auto& [given, kept] : cases) {
        thread->setMaxEncodeAmount(given);
        EXPECT_EQ(thread->maxEncodeAmount(), kept) << given;
    }
}

// With a byte limit and splitting the output goes on in the delegate's files, each starting
// afresh; the files together hold the source.
TEST_F(ConverterThreadTest, aByteLimitContinuesInTheDelegatesFiles)
{
    PatternSource source(20000);
    const ZEPAudioFileWriterRef first = floatWaveWriter(folder.file("first.wav"));
    std::unique_ptr<ZEPConverterThread> thread = makeThread({floatWaveEncoder()}, {first}, {&source});
    ASSERT_TRUE(thread);
    thread->setMaxEncodeAmount(40000); // 5000 frames
    thread->setAllowsSplit(true);
    ASSERT_EQ(thread->start(), noErr);
    thread->resumeConversion();
    ASSERT_TRUE(waitForEnd());
    QStringList paths{first->file()->path()};
    paths += delegate.addedPaths;
    ASSERT_GE(paths.size(), 4);
    for (const QString& path : paths)
        EXPECT_LE(decodeWithFFmpeg(path).frames(), 5000u + 2048u) << path.toStdString();
    EXPECT_EQ(firstDifference(concatenated(paths), patternLeft(0, 20000)), -1);
}

TEST_F(ConverterThreadTest, finishConversionWritesWhatTheSourceStillHolds)
{
    PatternSource source(-1, 0, 12345); // holds 12345 frames, then has nothing yet
    const ZEPAudioFileWriterRef writer = floatWaveWriter(folder.file("held.wav"));
    std::unique_ptr<ZEPConverterThread> thread = makeThread({floatWaveEncoder()}, {writer}, {&source});
    ASSERT_TRUE(thread);
    ASSERT_EQ(thread->start(), noErr);
    thread->resumeConversion();
    // It waits for more rather than ending.
    ASSERT_TRUE(waitUntil([&] { return source.delivered() == 12345; }, 30000));
    EXPECT_FALSE(waitUntil([&] { return delegate.finishedCalls > 0; }, 200));
    thread->finishConversion();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(firstDifference(decodeWithFFmpeg(writer->file()->path()).left, patternLeft(0, 12345)), -1);
}

// A second encoder reads its own source no further than the main source has come, and
// stops with it.
TEST_F(ConverterThreadTest, aSecondaryEncoderFollowsTheMainSource)
{
    PatternSource main(50000);
    PatternSource second(-1, 777);
    bool readAhead = false;
    second.onRender = [&](const AudioTimeStamp& time, UInt32 frames) {
        if (time.mSampleTime + frames > double(main.delivered()))
            readAhead = true;
    };
    const ZEPAudioFileWriterRef mainWriter = floatWaveWriter(folder.file("main.wav"));
    const ZEPAudioFileWriterRef secondWriter = floatWaveWriter(folder.file("second.wav"));
    std::unique_ptr<ZEPConverterThread> thread =
        makeThread({floatWaveEncoder(), floatWaveEncoder()}, {mainWriter, secondWriter}, {&main, &second});
    ASSERT_TRUE(thread);
    EXPECT_EQ(thread->fileWriterForConverter(1, nullptr), secondWriter.get());
    EXPECT_EQ(thread->inputIndexForFileWriter(secondWriter.get(), 0), 1);
    EXPECT_EQ(thread->inputIndexForFileWriter(nullptr, 0), -1);
    ASSERT_EQ(thread->start(), noErr);
    thread->resumeConversion();
    ASSERT_TRUE(waitForEnd());
    EXPECT_FALSE(readAhead);
    EXPECT_EQ(firstDifference(decodeWithFFmpeg(mainWriter->file()->path()).left, patternLeft(0, 50000)), -1);
    EXPECT_EQ(firstDifference(decodeWithFFmpeg(secondWriter->file()->path()).left, patternLeft(777, 50000)), -1);
}

// The live preview hears the main encoder's output decoded again; a new main encoder takes
// over between two cycles and the preview goes on without a gap or a repeat.
TEST_F(ConverterThreadTest, theLivePreviewGoesOnSeamlesslyAcrossAnEncoderSwap)
{
    PatternSource source(40000, 0, 10000); // 10000 frames now, the rest after the swap
    RecordingPreview preview;
    const ZEPAudioFileWriterRef writer = floatWaveWriter(folder.file("previewed.wav"));
    std::unique_ptr<ZEPConverterThread> thread = makeThread({floatWaveEncoder()}, {writer}, {&source});
    ASSERT_TRUE(thread);
    ASSERT_TRUE(thread->decoder());
    thread->setLivePreviewDelegate(&preview);
    ASSERT_EQ(thread->start(), noErr);
    thread->resumeConversion();
    ASSERT_TRUE(waitUntil([&] { return preview.frames == 10000; }, 30000));
    thread->pauseConversion();
    const ZEPAudioConverterRef replacement = floatWaveEncoder();
    thread->swapMainEncoder(replacement);
    source.hold(40000);
    thread->resumeConversion();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(delegate.finishedError, noErr);
    EXPECT_EQ(thread->encoders().front(), replacement);
    EXPECT_EQ(preview.begins.size(), 1u);
    EXPECT_EQ(preview.finishes.size(), 1u);
    EXPECT_EQ(firstDifference(preview.left, patternLeft(0, 40000)), -1);
    EXPECT_EQ(firstDifference(decodeWithFFmpeg(writer->file()->path()).left, patternLeft(0, 40000)), -1);
}
