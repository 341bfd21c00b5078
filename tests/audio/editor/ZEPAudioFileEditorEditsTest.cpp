// Edit operations of the file-backed model: merging, fade overlap, crop and repair, each
// undone and redone; refusals; silence detection.
#include "audio/editor/ZEPAudioFileEditor.h"

#include "EditorFixtures.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

using namespace clipdeck::test;

namespace {

constexpr long long kFrames = 10000;

struct Extent {
    SInt64 index, end;
    UInt32 type;
    bool operator==(const Extent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Extent& e)
{
    return out << "[" << e.index << ", " << e.end << "]" << (e.type == kZEPAudioRegionSilence ? "s" : "");
}

std::vector<Extent> extents(const ZEPAudioRegionList& regions)
{
    std::vector<Extent> list;
    for (const ZEPAudioRegionRef& r : regions)
        list.push_back({r->index(), r->end(), r->type()});
    return list;
}

// Everything a region holds that an undo must bring back.
QVariantList fullValues(const ZEPAudioRegionList& regions)
{
    QVariantList values;
    for (const ZEPAudioRegionRef& r : regions) {
        QVariantMap value = r->asDictionary();
        value.insert("ShowBoth", r->showBoth());
        values.append(value);
    }
    return values;
}

ZEPAudioRegionRef region(SInt64 index, SInt64 end, UInt32 type = kZEPAudioRegionCut, SInt32 fadeLength = 0)
{
    ZEPAudioRegionRef r = ZEPAudioRegion::regionAtIndex(index, end);
    r->setType(type);
    r->setFadeLength(fadeLength);
    return r;
}

ZEPAudioRegionRef endRegion(SInt64 index, SInt64 end)
{
    ZEPAudioRegionRef r = region(index, end);
    r->setEndRegion(true);
    r->setShowBoth(true);
    return r;
}

class EditsTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Short default fades unless a test asks for others.
        UserDefaults::standardUserDefaults().setDouble(0.0, "DefaultFadeDuration");
        open();
    }
    void TearDown() override
    {
        UserDefaults::standardUserDefaults().removeObjectForKey("DefaultFadeDuration");
        UserDefaults::standardUserDefaults().removeObjectForKey("DefaultFadeType");
    }
    void open()
    {
        editor = openRampEditor(folder.path(), kFrames);
        ASSERT_TRUE(editor);
    }

    // Runs the edit as one step of the undo manager, then checks that one undo restores
    // the exact list before it and one redo the exact list after it.
    void editWithUndo(const std::function<void()>& edit)
    {
        UndoManager undo;
        editor->setUndoManager(&undo);
        const QVariantList before = fullValues(editor->skippedRegions());
        edit();
        const QVariantList after = fullValues(editor->skippedRegions());
        undo.undo();
        EXPECT_EQ(fullValues(editor->skippedRegions()), before) << "undo";
        undo.redo();
        EXPECT_EQ(fullValues(editor->skippedRegions()), after) << "redo";
        editor->setUndoManager(nullptr);
    }

    TempFolder folder;
    std::unique_ptr<ZEPAudioFileEditor> editor;
};

const Extent kStart{0, 0, kZEPAudioRegionCut};
const Extent kEnd{kFrames - 2, kFrames - 2, kZEPAudioRegionCut};

} // namespace

TEST_F(EditsTest, aLoadedSoundHasItsStartAndEndRegions)
{
    ASSERT_EQ(extents(editor->skippedRegions()), (std::vector<Extent>{kStart, kEnd}));
    for (const ZEPAudioRegionRef& r : editor->skippedRegions()) {
        EXPECT_TRUE(r->endRegion());
        EXPECT_TRUE(r->showBoth());
        EXPECT_FALSE(r->visible());
    }
}

TEST_F(EditsTest, neighboursOfTheSameTypeMerge)
{
    const struct {
        const char* name;
        std::vector<std::tuple<SInt64, SInt64, UInt32>> before; // cut (0) or silence (1), in order
        std::tuple<SInt64, SInt64, UInt32> added;
        std::vector<Extent> middle; // the list between the start and end regions
    } cases[] = {
        {"a cut next to a cut", {{20, 29, 0}}, {10, 19, 0}, {{10, 29, 0}}},
        {"overlapping cuts", {{10, 19, 0}}, {15, 40, 0}, {{10, 40, 0}}},
        {"apart", {{10, 19, 0}}, {30, 39, 0}, {{10, 19, 0}, {30, 39, 0}}},
        {"a cut that bridges two", {{10, 19, 0}, {30, 39, 0}}, {20, 29, 0}, {{10, 39, 0}}},
        {"adjoining silences", {{100, 199, 1}}, {200, 299, 1}, {{100, 299, 1}}},
        {"a silence next to a cut", {{100, 199, 1}}, {200, 299, 0}, {{100, 199, 1}, {200, 299, 0}}},
        {"a cut next to a silence", {{200, 299, 0}}, {100, 199, 1}, {{100, 199, 1}, {200, 299, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        const auto add = [&](const std::tuple<SInt64, SInt64, UInt32>& r) {
            auto [index, end, type] = r;
            return type == kZEPAudioRegionSilence ? editor->silenceRegion(region(index, end))
                                                  : editor->removeRegion(region(index, end));
        };
        for (const auto& r : c.before)
            add(r);
        editWithUndo([&] { add(c.added); });
        std::vector<Extent> expected{kStart};
        expected.insert(expected.end(), c.middle.begin(), c.middle.end());
        expected.push_back(kEnd);
        EXPECT_EQ(extents(editor->skippedRegions()), expected);
    }
}

TEST_F(EditsTest, overlappingFadesAreShortened)
{
    const struct {
        const char* name;
        SInt64 secondIndex;
        SInt32 firstFade, secondFade;
    } cases[] = {
        // [1000, 1099] fades out to 1199; the second's fade-in then starts there.
        {"the second starts where the first ends", 1250, 100, 51},
        // Even a fade of 0 would overlap: both get half the gap.
        {"half the gap each", 1150, 25, 25},
        {"no overlap", 1400, 100, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        editor->addSkippedRegion(region(1000, 1099, kZEPAudioRegionCut, 100));
        ZEPAudioRegionRef second = region(c.secondIndex, c.secondIndex + 49, kZEPAudioRegionCut, 100);
        editWithUndo([&] { editor->addSkippedRegion(second); });
        const ZEPAudioRegionList& list = editor->skippedRegions();
        ASSERT_EQ(list.size(), 4);
        EXPECT_EQ(list[1]->fadeLength(), c.firstFade);
        EXPECT_EQ(list[2]->fadeLength(), c.secondFade);
    }
}

TEST_F(EditsTest, cropMovesTheStartAndEndRegions)
{
    const struct {
        const char* name;
        double fadeSeconds;
        std::vector<Extent> cutsBefore;
        std::vector<Extent> expected;
        SInt32 fadeLength; // of the start and end regions after the crop
    } cases[] = {
        {"plain", 0.0, {}, {{0, 999, 0}, {5000, 9998, 0}}, 0},
        {"fades that would overlap", 1.0, {}, {{0, 999, 0}, {5000, 9998, 0}}, 1000},
        {"a cut inside the kept part stays",
         0.0,
         {{2000, 2099, 0}},
         {{0, 999, 0}, {2000, 2099, 0}, {5000, 9998, 0}},
         0},
        {"a cut in the cropped head is merged", 0.0, {{100, 199, 0}}, {{0, 999, 0}, {5000, 9998, 0}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UserDefaults::standardUserDefaults().setDouble(c.fadeSeconds, "DefaultFadeDuration");
        open();
        for (const Extent& e : c.cutsBefore)
            editor->removeRegion(region(e.index, e.end));
        editWithUndo([&] { editor->cropToRegion(*region(1000, 4999)); });
        EXPECT_EQ(extents(editor->skippedRegions()), c.expected);
        EXPECT_TRUE(editor->skippedRegions().first()->endRegion());
        EXPECT_TRUE(editor->skippedRegions().last()->endRegion());
        EXPECT_EQ(editor->skippedRegions().first()->fadeLength(), c.fadeLength);
        EXPECT_EQ(editor->skippedRegions().last()->fadeLength(), c.fadeLength);
    }
}

TEST_F(EditsTest, repairFitsStoredEditsToTheFile)
{
    const struct {
        const char* name;
        ZEPAudioRegionList stored;
        std::vector<Extent> expected;
    } cases[] = {
        {"no end regions", {region(100, 199)}, {kStart, {100, 199, 0}, {kFrames - 2, kFrames - 1, 0}}},
        {"an end region below index 2", {endRegion(0, 0), endRegion(0, 3)}, {kStart, {1, kFrames - 1, 0}}},
        {"regions beyond the file", {endRegion(0, 0), region(9000, 10500), endRegion(9998, 9999)},
         {kStart, {kFrames - 2, kFrames - 1, 0}}},
        {"a start region moved off 0", {endRegion(5, 9), endRegion(9000, 9999)}, {{0, 9, 0}, {9000, 9999, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->setSkippedRegions(c.stored);
        editWithUndo([&] { editor->repairEdits(); });
        EXPECT_EQ(extents(editor->skippedRegions()), c.expected);
    }
}

// The same selection silenced twice, or cut twice: the second is refused, nothing raised.
TEST_F(EditsTest, anEqualRegionIsRefused)
{
    ZEPAudioRegionRef selection = region(300, 399);
    editor->silenceRegion(selection);
    const QVariantList once = fullValues(editor->skippedRegions());
    UndoManager undo;
    editor->setUndoManager(&undo);
    EXPECT_NO_THROW(editor->silenceRegion(selection));
    EXPECT_NO_THROW(editor->removeRegion(region(300, 399)));
    EXPECT_FALSE(editor->addSkippedRegion(region(300, 399)));
    EXPECT_EQ(fullValues(editor->skippedRegions()), once);
    EXPECT_TRUE(nothingToUndo(undo));

    // Outside the file: refused; an end equal to the packet count is accepted.
    EXPECT_FALSE(editor->addSkippedRegion(region(kFrames, kFrames + 5)));
    EXPECT_FALSE(editor->addSkippedRegion(region(kFrames - 5, kFrames + 1)));
    EXPECT_FALSE(editor->addSkippedRegion(region(-5, 5)));
    EXPECT_TRUE(editor->addSkippedRegion(region(kFrames - 100, kFrames)));
}

TEST_F(EditsTest, cutsTakeTheDefaultFadeAndSilencesAreTrimmedAgainstCuts)
{
    UserDefaults::standardUserDefaults().setDouble(0.5, "DefaultFadeDuration");
    UserDefaults::standardUserDefaults().setInteger(kZEPFadeSquare, "DefaultFadeType");
    ZEPAudioRegionRef cut = editor->removeRegion(region(4000, 4999));
    EXPECT_FALSE(cut->visible());
    EXPECT_EQ(cut->fadeType(), kZEPFadeSquare);

    ZEPAudioRegionRef silence = editor->silenceRegion(region(4500, 5999));
    EXPECT_EQ(silence->index(), 5000); // starts after the cut it overlapped
    EXPECT_EQ(silence->end(), 5999);
    EXPECT_EQ(silence->type(), kZEPAudioRegionSilence);
    EXPECT_TRUE(silence->visible());
    EXPECT_TRUE(silence->showBoth());

    UndoManager undo;
    editor->setUndoManager(&undo);
    editor->removeSkippedRegion(region(4000, 4999));
    EXPECT_EQ(editor->skippedRegions().size(), 3);
    undo.undo();
    EXPECT_EQ(editor->skippedRegions().size(), 4);
}

TEST_F(EditsTest, neighboursByIdentity)
{
    const ZEPAudioRegionRef start = editor->skippedRegions().first();
    const ZEPAudioRegionRef end = editor->skippedRegions().last();
    EXPECT_EQ(editor->nextRegionRelativeTo(start), end);
    EXPECT_EQ(editor->previousRegionRelativeTo(end), start);
    EXPECT_EQ(editor->previousRegionRelativeTo(start), nullptr);
    EXPECT_EQ(editor->nextRegionRelativeTo(end), nullptr);
    EXPECT_EQ(editor->nextRegionRelativeTo(region(0, 0)), nullptr); // equal is not the same
}

TEST_F(EditsTest, silenceDetectionOverAReducedPicture)
{
    UserDefaults::standardUserDefaults().removeObjectForKey("DefaultFadeDuration");
    const QString path = writeRampFile(folder.file("four.wav"), 4000);
    std::unique_ptr<ZEPAudioFileEditor> four = ZEPAudioFileEditor::initWithPath(path, false);
    const float picture[] = {0.5f, 0.0f, 0.0f, 0.5f};
    const struct {
        double minDuration;
        size_t found;
    } cases[] = {{1999.5 / 44100.0, 1}, {2001.5 / 44100.0, 0}}; // the silence is 2001 packets long
    for (const auto& c : cases) {
        const ZEPAudioRegionList silent = four->silentRegionsWithLevel(0.1f, c.minDuration, picture, 4);
        ASSERT_EQ(size_t(silent.size()), c.found);
        if (c.found) {
            EXPECT_EQ(silent[0]->index(), 1000);
            EXPECT_EQ(silent[0]->end(), 3000);
        }
    }
    // A silence still open at the end runs to the end of the file.
    const float tail[] = {0.5f, 0.5f, 0.0f, 0.0f};
    const ZEPAudioRegionList open = four->silentRegionsWithLevel(0.1f, 0.0, tail, 4);
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(open[0]->index(), 2000);
    EXPECT_EQ(open[0]->end(), 3999);
    EXPECT_TRUE(four->silentRegionsWithLevel(0.1f, 0.0, nullptr, 4).isEmpty());
}

// A generated file with known gaps: its peak picture, made the way the waveform display
// makes it, shows exactly the gaps.
TEST_F(EditsTest, silenceDetectionFindsTheGapsOfAFile)
{
    constexpr long long kLength = 4 * 44100;
    const auto inGap = [](long long k) { return (k >= 44100 && k < 66150) || (k >= 110250 && k < 132300); };
    const auto tone = [&](long long k) { return inGap(k) ? 0.0f : 0.5f * float(std::sin(double(k) * 0.0627)); };
    const QString path = writeSoundFile(folder.file("gaps.wav"), kLength, tone, tone);
    std::unique_ptr<ZEPAudioFileEditor> gaps = ZEPAudioFileEditor::initWithPath(path, false);
    ASSERT_TRUE(gaps);

    constexpr UInt32 kBlock = 441;
    std::vector<float> picture;
    std::vector<float> left(kBlock), right(kBlock);
    gaps->setReadLocation(0);
    for (;;) {
        StackAudioBufferList<2> list;
        list.mBuffers[0] = {1, kBlock * 4, left.data()};
        list.mBuffers[1] = {1, kBlock * 4, right.data()};
        UInt32 frames = kBlock;
        if (gaps->readPackets(&frames, list.list()) != noErr || frames == 0)
            break;
        float peak = 0;
        for (UInt32 i = 0; i < frames; ++i)
            peak = std::max(peak, std::fabs(left[i]));
        picture.push_back(peak);
    }
    ASSERT_EQ(picture.size(), size_t(kLength / kBlock));

    const ZEPAudioRegionList silent = gaps->silentRegionsWithLevel(0.01f, 0.1, picture.data(), UInt32(picture.size()));
    ASSERT_EQ(silent.size(), 2);
    EXPECT_EQ(silent[0]->index(), 44100);
    EXPECT_EQ(silent[0]->end(), 66150);
    EXPECT_EQ(silent[1]->index(), 110250);
    EXPECT_EQ(silent[1]->end(), 132300);

    const ZEPAudioMarkerList markers =
        gaps->markSilenceWithLevel(0.01f, 0.1, picture.data(), UInt32(picture.size()));
    ASSERT_EQ(markers.size(), 2);
    EXPECT_EQ(markers[0]->location(), (44100 + 66150) / 2);
}
