// The parts of editor playback and scrubbing that need no device: positions kept while
// stopped, regions the cuts leave empty, refused encode settings, the stereo read of the
// scrub bursts and the zero-crossing search.
#include "audio/editor/ZEPAudioFileEditor.h"

#include "EditorFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

class EditorPlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        editor = openRampEditor(folder.path(), 1000);
        ASSERT_TRUE(editor);
        ASSERT_TRUE(editor->addSkippedRegion(ZEPAudioRegion::regionAtIndex(100, 199)));
    }
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileEditor> editor;
};

} // namespace

TEST_F(EditorPlayback, aPositionSetWhileStoppedLeavesCutsAndWrapsPastTheEnd)
{
    const struct {
        SInt64 set, kept;
        bool wrap;
    } cases[] = {
        {50, 50, true},
        {150, 200, true},  // inside the cut: its end
        {998, 1, true},    // the file's end: the start, after the start region
        {5000, 1, true},
        {999, 999, false}, // without wrapping, the last frame stays
    };
    for (const auto& c : cases) {
        editor->setPlaybackLocation(c.set, c.wrap);
        EXPECT_EQ(editor->playbackLocation(), c.kept) << c.set;
        EXPECT_FALSE(editor->isPlaying());
    }
    editor->setRelativePlaybackLocation(120);
    EXPECT_EQ(editor->playbackLocation(), 221); // after the start region and the cut
    EXPECT_EQ(editor->relativePlaybackLocation(), 120);
}

TEST_F(EditorPlayback, aRegionInsideACutHasNothingToPlay)
{
    EXPECT_EQ(editor->playRegion(ZEPAudioRegion::regionAtIndex(120, 180)), ZEPAudioEditor::kEmptyRegionError);
    EXPECT_EQ(editor->playRegion(ZEPAudioRegion::regionAtIndex(100, 199)), ZEPAudioEditor::kEmptyRegionError);
    EXPECT_FALSE(editor->isPlaying());
    EXPECT_EQ(editor->player(), nullptr);
}

TEST_F(EditorPlayback, encodeSettingsOfMoreThanTwoChannelsChangeNothing)
{
    const QVariantMap before = editor->encodeSettings();
    QVariantMap encoder = before.value("encoderSettings").toMap();
    encoder["mChannelsPerFrame"] = 3;
    editor->setEncodeSettings({{"fileType", qlonglong(kAudioFileCAFType)}, {"encoderSettings", encoder}});
    EXPECT_EQ(editor->encodeSettings(), before);
}

TEST_F(EditorPlayback, theStereoReadIsRawNormalisedAndClipped)
{
    const QString path = writeSoundFile(folder.file("loud.wav"), 1000, [](long long k) { return float(k) / 1000.0f; },
                                        [](long long k) { return -float(k) / 2000.0f; });
    auto loud = ZEPAudioFileEditor::initWithPath(path, false);
    ASSERT_TRUE(loud);
    ASSERT_TRUE(loud->addSkippedRegion(ZEPAudioRegion::regionAtIndex(300, 399))); // raw: read through
    loud->startScrub(); // scrubbing is off: only the stereo mixer is made
    EXPECT_FALSE(loud->isScrubing());
    loud->setSamplesNativeMax(0.5f, 0);
    loud->setNormalizedMax(1.0f, 0); // a gain of 2
    loud->setReadLocation(200);
    std::vector<float> left(3000), right(3000);
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, 3000 * 4, left.data()};
    list.mBuffers[1] = {1, 3000 * 4, right.data()};
    UInt32 frames = 3000; // more than a slice; past the file's end the read is silence
    EXPECT_EQ(loud->readStereoPackets(&frames, list.list()), noErr);
    EXPECT_EQ(frames, 3000u);
    EXPECT_EQ(list.mBuffers[0].mDataByteSize, 3000u * 4);
    EXPECT_FLOAT_EQ(left[0], 0.4f);
    EXPECT_FLOAT_EQ(left[150], 0.7f); // inside the cut
    EXPECT_FLOAT_EQ(left[400], 1.0f); // 1.2, clipped
    EXPECT_FLOAT_EQ(right[400], -0.6f);
    EXPECT_EQ(left[800], 0.0f);
    EXPECT_EQ(left[2999], 0.0f);
}

TEST(EditorZeroCrossings, firstUpwardAndLastCommonCrossing)
{
    const struct {
        std::vector<float> a, b;
        SInt64 first, last;
        bool found;
    } cases[] = {
        {{-1, 1, 1, -1}, {-1, 1, 1, -1}, 0, 2, true},
        {{1, 1, -1, 1}, {1, -1, -1, 1}, 2, 2, true},
        {{1, -1, 1, 1}, {1, -1, 1, -1}, 1, 1, true}, // b alone crosses last: not common
        {{1, 1, 1}, {1, 1, 1}, -1, -1, false},
        {{-1, 1, 1}, {1, 1, 1}, -1, -1, false},
    };
    for (const auto& c : cases) {
        std::vector<float> a = c.a, b = c.b;
        StackAudioBufferList<2> list;
        list.mBuffers[0] = {1, UInt32(a.size() * 4), a.data()};
        list.mBuffers[1] = {1, UInt32(b.size() * 4), b.data()};
        SInt64 crossings[2];
        EXPECT_EQ(ZEPAudioEditor::getCommonZeroCrossings(crossings, list.list(), UInt32(a.size())), c.found);
        EXPECT_EQ(crossings[0], c.first);
        EXPECT_EQ(crossings[1], c.last);
    }
}
