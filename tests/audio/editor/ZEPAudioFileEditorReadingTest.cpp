// The read with edits against a ramp file, whose samples tell which frame they are.
#include "audio/editor/ZEPAudioFileEditor.h"

#include "EditorFixtures.h"
#include "support/AllocationCounter.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace clipdeck::test;

namespace {

constexpr long long kFrames = 1000;

// An editor that plays a region as editor playback sets it up: playback mode, the region
// as the limit, the read location at its start.
class PlayingEditor : public ZEPAudioFileEditor {
public:
    explicit PlayingEditor(std::unique_ptr<ZEPAudioFile> file) : ZEPAudioFileEditor(std::move(file)) {}
    void play(const ZEPAudioRegionRef& region)
    {
        mOperationMode = kPlaybackMode;
        mPlaybackRegion = region;
        setReadLocation(region->index());
    }
};

ZEPAudioRegionRef region(SInt64 index, SInt64 end, UInt32 type = kZEPAudioRegionCut)
{
    ZEPAudioRegionRef r = ZEPAudioRegion::regionAtIndex(index, end);
    r->setType(type);
    return r;
}

// Checks that the read delivered the frames first, first + 1, ... each at gain(frame) on
// both channels (the right channel is the left's negative).
void expectFrames(const EditedRead& read, const std::vector<long long>& frames,
                  const std::function<double(long long)>& gain = [](long long) { return 1.0; })
{
    ASSERT_EQ(read.frames(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const double expected = double(rampValue(frames[i])) * gain(frames[i]);
        const double tolerance = std::fabs(expected) * 1e-6 + 1e-15; // gains are single precision
        ASSERT_NEAR(read.left[i], expected, tolerance) << "sample " << i << " should be frame " << frames[i];
        ASSERT_NEAR(read.right[i], -expected, tolerance) << "sample " << i;
    }
}

std::vector<long long> span(long long first, long long last)
{
    std::vector<long long> frames;
    for (long long k = first; k <= last; ++k)
        frames.push_back(k);
    return frames;
}

std::vector<long long> operator+(std::vector<long long> a, const std::vector<long long>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ReadingTest : public testing::Test {
protected:
    void SetUp() override
    {
        const QString path = writeRampFile(folder.file("ramp.wav"), kFrames);
        ASSERT_FALSE(path.isEmpty());
        editor = std::make_unique<PlayingEditor>(ZEPAudioFile::initWithPath(path, 0, false));
    }
    TempFolder folder;
    std::unique_ptr<PlayingEditor> editor;
};

} // namespace

TEST_F(ReadingTest, aRampReadsBackFrameByFrame)
{
    editor->setSkippedRegions({});
    expectFrames(readEdited(*editor, 300), span(0, 299));
    EXPECT_EQ(editor->readLocation(), 300);
}

TEST_F(ReadingTest, cutsAreSkipped)
{
    editor->setSkippedRegions({region(100, 199), region(230, 239)});
    editor->setReadLocation(50);
    expectFrames(readEdited(*editor, 100), span(50, 99) + span(200, 229) + span(240, 259));
    EXPECT_EQ(editor->readLocation(), 260);

    // A read that starts inside a cut starts after it.
    editor->setReadLocation(150);
    expectFrames(readEdited(*editor, 10), span(200, 209));
}

TEST_F(ReadingTest, fadesAroundACut)
{
    ZEPAudioRegionRef cut = region(100, 199);
    cut->setFadeType(kZEPFadeLinear);
    cut->setFadeLength(10);
    editor->setSkippedRegions({cut});
    editor->setReadLocation(50);
    // Out over [90, 99] (1 - x, x = (k - 89) / 10), in over [199, 209] (x = (k - 198) / 11).
    expectFrames(readEdited(*editor, 100), span(50, 99) + span(200, 249), [](long long k) {
        if (k >= 90 && k <= 99)
            return 1.0 - double(float(k - 89) / 10.0f);
        if (k >= 200 && k <= 209)
            return double(float(k - 198) / 11.0f);
        return 1.0;
    });

    // Without fades the same frames come through untouched.
    editor->setReadLocation(50);
    expectFrames(readEdited(*editor, 100, true, false), span(50, 99) + span(200, 249));

    // A cut whose fades are off.
    cut->setFadeEnabled(false);
    editor->setReadLocation(50);
    expectFrames(readEdited(*editor, 100), span(50, 99) + span(200, 249));
}

TEST_F(ReadingTest, silencesKeepTheirPlaceAtTheirGain)
{
    ZEPAudioRegionRef quiet = region(100, 199, kZEPAudioRegionSilence);
    ZEPAudioRegionRef half = region(300, 349, kZEPAudioRegionSilence);
    half->setFadeParameter(0.5f);
    editor->setSkippedRegions({quiet, half});
    const auto gain = [](long long k) { return k >= 100 && k <= 199 ? 0.0 : k >= 300 && k <= 349 ? 0.5 : 1.0; };
    expectFrames(readEdited(*editor, 400), span(0, 399), gain);

    editor->setReadLocation(0);
    expectFrames(readEdited(*editor, 400, true, false), span(0, 399));
}

TEST_F(ReadingTest, visibleCutsAreReadThroughUnlessAllRegionsAreSkipped)
{
    ZEPAudioRegionRef shown = region(100, 199);
    shown->setVisible(true);
    ZEPAudioRegionRef hidden = region(300, 349);
    editor->setSkippedRegions({shown, hidden});
    expectFrames(readEdited(*editor, 350, false, true), span(0, 299) + span(350, 399));
    editor->setReadLocation(0);
    expectFrames(readEdited(*editor, 350, true, true), span(0, 99) + span(200, 299) + span(350, 499));
}

// Export reads the whole file: the start and end regions are left out, the read that
// reaches the end returns its frames and the next one reports the end.
TEST_F(ReadingTest, extractionRunsOutAtTheEnd)
{
    ASSERT_EQ(editor->skippedRegions().size(), 2);
    ASSERT_EQ(editor->getReadyForExtraction(), noErr);
    editor->resetExportRegion();
    editor->setReadLocation(0);
    expectFrames(readEdited(*editor, 5), span(1, 5));

    editor->setReadLocation(990);
    const EditedRead last = readEdited(*editor, 100);
    EXPECT_TRUE(last.status == noErr || last.status == kZEPAudioSourceNoDataYet) << last.status;
    expectFrames(last, span(990, 997) + span(999, 999));
    EXPECT_TRUE(editor->outOfAudio());

    StackAudioBufferList<2> list;
    float left[16], right[16];
    list.mBuffers[0] = {1, sizeof left, left};
    list.mBuffers[1] = {1, sizeof right, right};
    UInt32 frames = 16;
    EXPECT_EQ(editor->readPackets(&frames, list.list(), nullptr, true, true), kZEPAudioSourceEndOfData);
    EXPECT_EQ(frames, 0u);
    EXPECT_EQ(list.mBuffers[0].mDataByteSize, 0u);

    editor->getReadyForExtraction(); // clears the end
    editor->setReadLocation(10);
    expectFrames(readEdited(*editor, 3), span(10, 12));
}

TEST_F(ReadingTest, forcedLoopStartsTheRegionAgain)
{
    editor->getReadyForExtraction();
    editor->resetExportRegion();
    editor->setForceLoop(true);
    editor->setReadLocation(995);
    const EditedRead last = readEdited(*editor, 100);
    EXPECT_EQ(last.status, noErr);
    expectFrames(last, span(995, 997) + span(999, 999));
    EXPECT_FALSE(editor->outOfAudio());
    EXPECT_EQ(editor->readLocation(), 0);
    expectFrames(readEdited(*editor, 3), span(1, 3)); // the start region is cut
}

TEST_F(ReadingTest, withoutALimitTheEndOfTheFileIsReported)
{
    editor->setSkippedRegions({});
    editor->setReadLocation(950);
    const EditedRead last = readEdited(*editor, 100);
    expectFrames(last, span(950, 999));
    EXPECT_EQ(last.status, kZEPAudioSourceNoDataYet);
    const EditedRead after = readEdited(*editor, 100);
    EXPECT_EQ(after.frames(), 0u);
    EXPECT_TRUE(editor->outOfAudio());
    EXPECT_EQ(readEdited(*editor, 100).status, kZEPAudioSourceEndOfData);
}

// A looping playback of part of the sound: every read stays inside the region, and the
// passes follow one another frame for frame, the region's last frame included.
TEST_F(ReadingTest, playbackWrapsAndNeverReadsPastItsRegion)
{
    editor->setSkippedRegions({region(200, 249)});
    editor->play(region(100, 399));
    const std::vector<long long> pass = span(100, 199) + span(250, 399);
    for (UInt32 chunk : {128u, 250u, 1u, 512u}) {
        SCOPED_TRACE(chunk);
        editor->setReadLocation(100);
        std::vector<long long> frames;
        std::vector<float> left;
        while (frames.size() < 3 * pass.size()) {
            const EditedRead read = readEdited(*editor, chunk);
            ASSERT_EQ(read.status, noErr);
            ASSERT_GT(read.frames(), 0u);
            for (float sample : read.left) {
                ASSERT_LE(rampFrame(sample), 399);
                frames.push_back(rampFrame(sample));
            }
        }
        frames.resize(3 * pass.size());
        EXPECT_EQ(frames, pass + pass + pass);
    }
}

TEST_F(ReadingTest, visibleLengthsAndReadLocation)
{
    EXPECT_EQ(editor->totalSampleCount(), kFrames);
    EXPECT_EQ(editor->totalLengthVisible(false), 998);
    EXPECT_EQ(editor->totalLengthVisible(true), 1000);
    EXPECT_EQ(editor->totalRegionVisible(true)->length(), 999);
    EXPECT_EQ(editor->totalRegionVisible(false)->index(), 0);
    editor->setReadLocation(5000);
    EXPECT_EQ(editor->readLocation(), kFrames);
}

TEST_F(ReadingTest, rawReadsIgnoreTheEdits)
{
    editor->setSkippedRegions({region(10, 19)});
    editor->setReadLocation(5);
    StackAudioBufferList<2> list;
    float left[20], right[20];
    list.mBuffers[0] = {1, sizeof left, left};
    list.mBuffers[1] = {1, sizeof right, right};
    UInt32 frames = 20;
    ASSERT_EQ(editor->readPackets(&frames, list.list()), noErr);
    ASSERT_EQ(frames, 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(rampFrame(left[i]), 5 + i);
    EXPECT_EQ(editor->readLocation(), 25);
}

TEST_F(ReadingTest, callerBuffersBoundTheRead)
{
    editor->setSkippedRegions({});
    float left[64], right[32];
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, sizeof left, left};
    list.mBuffers[1] = {1, sizeof right, right}; // the smaller buffer bounds the count
    UInt32 frames = 64;
    EXPECT_EQ(editor->readPackets(&frames, list.list(), nullptr, true, true), noErr);
    EXPECT_EQ(frames, 32u);

    StackAudioBufferList<1> mono;
    mono.mBuffers[0] = {1, sizeof left, left};
    frames = 16;
    EXPECT_EQ(editor->readPackets(&frames, mono.list(), nullptr, true, true), kAudio_ParamError);
    EXPECT_EQ(frames, 0u);
}

// The read runs on loader threads next to the render thread: it may not allocate.
TEST_F(ReadingTest, readingWithEditsAllocatesNothing)
{
    ZEPAudioRegionRef cut = region(100, 199);
    cut->setFadeType(kZEPFadeLog);
    cut->setFadeLength(20);
    editor->setSkippedRegions({cut, region(300, 399, kZEPAudioRegionSilence)});
    std::vector<float> left(512), right(512);
    StackAudioBufferList<2> list;
    readEdited(*editor, 8); // the reader's first decode sets up its own state
    editor->setReadLocation(0);
    AllocationCounter counter;
    for (int i = 0; i < 3; ++i) {
        list.mBuffers[0] = {1, 512 * 4, left.data()};
        list.mBuffers[1] = {1, 512 * 4, right.data()};
        UInt32 frames = 256;
        editor->readPackets(&frames, list.list(), nullptr, true, true);
    }
    EXPECT_EQ(counter.count(), 0);
}
