#include "audio/editor/ZEPAudioEditor.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriter.h"

#include "EditorFixtures.h"
#include "support/TestEnvironment.h"

#include <QDate>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// The edit model without a file: what the base class answers by itself. It names an
// extraction format, which the playback chain is built for.
class BareEditor : public ZEPAudioEditor {
public:
    BareEditor() { initAudioChain(); }
    OSStatus getExtractionAudioDescription(AudioStreamBasicDescription* description) override
    {
        *description = ZEPAudioConverter::defaultInputDescription();
        return noErr;
    }
};

ZEPAudioRegionRef cut(SInt64 index, SInt64 end)
{
    return ZEPAudioRegion::regionAtIndex(index, end);
}

ZEPAudioRegionRef silence(SInt64 index, SInt64 end)
{
    ZEPAudioRegionRef region = ZEPAudioRegion::regionAtIndex(index, end);
    region->setType(kZEPAudioRegionSilence);
    return region;
}

class ZEPAudioEditorTest : public testing::Test {
protected:
    void SetUp() override
    {
        editor = openRampEditor(folder.path(), 1000);
        ASSERT_TRUE(editor);
    }
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileEditor> editor;
};

} // namespace

TEST(ZEPAudioEditorBase, abstractOperationsRaiseNamedException)
{
    BareEditor editor;
    try {
        UInt32 packets = 10;
        editor.readPackets(&packets, nullptr);
        FAIL() << "no exception";
    } catch (const ZEPSubclassMustImplementException& e) {
        EXPECT_STREQ(e.what(), "ZEPAudioEditor Subclass must implement readPackets:intoBuffer:");
    }
    EXPECT_THROW(editor.absoluteTotalRegion(), ZEPSubclassMustImplementException);
    EXPECT_THROW(editor.visibleMarkers(), ZEPSubclassMustImplementException);
    EXPECT_EQ(editor.trackCount(), 1u);
    EXPECT_EQ(editor.framesAvailable(), -1);
    EXPECT_EQ(editor.encodeSettings().value("fileType").toLongLong(), qlonglong(FourCC("AIFF")));
}

TEST(ZEPAudioEditorBase, newEditorsStartWithTheDefaultTags)
{
    BareEditor editor;
    EXPECT_EQ(editor.tags().value("genre").toString(), "Sound Clip");
    EXPECT_EQ(editor.tags().value("encoder").toString(), "Glassjar Studio");
    EXPECT_EQ(editor.tags().value("year").typeId(), QMetaType::LongLong);
    EXPECT_EQ(editor.tags().value("year").toLongLong(), QDate::currentDate().year());
    EXPECT_EQ(editor.tags().value("title").toString(), "");
}

// With cuts [100, 199] and [300, 349]; the silence changes no mapping.
TEST_F(ZEPAudioEditorTest, mapsPositionsAroundCuts)
{
    editor->setSkippedRegions({cut(100, 199), silence(220, 240), cut(300, 349)});
    const struct {
        SInt64 absolute, relative;
    } toRelative[] = {{0, 0}, {99, 99}, {100, 100}, {150, 100}, {199, 100}, {200, 100},
                      {250, 150}, {299, 199}, {320, 200}, {350, 200}, {999, 849}};
    for (const auto& c : toRelative)
        EXPECT_EQ(editor->relativeIndexWithAbsoluteIndex(c.absolute), c.relative) << "absolute " << c.absolute;
    const struct {
        SInt64 relative, absolute;
    } toAbsolute[] = {{0, 0}, {99, 99}, {100, 200}, {150, 250}, {199, 299}, {200, 350}, {849, 999}};
    for (const auto& c : toAbsolute)
        EXPECT_EQ(editor->absoluteIndexWithRelativeIndex(c.relative), c.absolute) << "relative " << c.relative;
}

TEST_F(ZEPAudioEditorTest, mapsRegionsAroundCuts)
{
    editor->setSkippedRegions({cut(100, 199), silence(220, 240), cut(300, 349)});
    const struct {
        SInt64 index, end;
        SInt64 relativeIndex, relativeEnd;
    } cases[] = {
        {0, 399, 0, 249},    // both cuts inside
        {200, 299, 100, 199}, // between the cuts
        {400, 499, 250, 349}, // after both
        {-50, 99, 0, 99},     // clamped to the file
        {150, 320, 100, 199}, // starts and ends inside cuts: the audible [200, 299]
        {150, 250, 100, 150}, // starts inside a cut: from where the cut begins
        {50, 150, 50, 99},    // ends inside a cut: only the part inside counts
        {120, 180, 100, 99},  // wholly inside a cut: nothing left
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "[" << c.index << ", " << c.end << "]");
        ZEPAudioRegionRef relative = editor->relativeRegionWithAbsoluteRegion(*cut(c.index, c.end));
        EXPECT_EQ(relative->index(), c.relativeIndex);
        EXPECT_EQ(relative->end(), c.relativeEnd);
    }
}

TEST_F(ZEPAudioEditorTest, regionsAndMarkersRelativeToARegion)
{
    editor->setSkippedRegions({cut(100, 199), silence(220, 240), cut(300, 349)});
    editor->setMarkers({ZEPAudioMarker::markerWithName("a", 50), ZEPAudioMarker::markerWithName("b", 260)});
    ZEPAudioRegionRef selection = cut(150, 320);

    EXPECT_EQ(editor->regionsOfType(kZEPAudioRegionAnyType, *selection).size(), 2); // starts inside: 220 and 300
    EXPECT_EQ(editor->regionsOfType(kZEPAudioRegionCut, *selection).size(), 1);
    const ZEPAudioRegionList moved = editor->regionsOfTypeRelativeToRegion(kZEPAudioRegionAnyType, *selection);
    ASSERT_EQ(moved.size(), 2);
    EXPECT_EQ(moved[0]->index(), 70);
    EXPECT_EQ(moved[0]->end(), 90);
    EXPECT_EQ(moved[0]->type(), kZEPAudioRegionSilence);
    EXPECT_EQ(moved[1]->index(), 150); // cut to the selection: [300, 320]
    EXPECT_EQ(moved[1]->end(), 170);

    const QVariantMap settings = editor->settingsRelativeToRegion(*selection);
    const QVariantList markers = settings.value("Markers").toList();
    ASSERT_EQ(markers.size(), 1);
    EXPECT_EQ(markers[0].toMap().value("Index").toLongLong(), 110);
    EXPECT_EQ(markers[0].toMap().value("Name").toString(), "b");
    EXPECT_EQ(settings.value("Edits").toList().size(), 2);
    EXPECT_EQ(editor->skippedRegions().size(), 3); // the model itself is unchanged
}

TEST_F(ZEPAudioEditorTest, settingRegionsDropsDuplicatesAndKeepsOrder)
{
    ZEPAudioRegionRef first = cut(300, 349);
    ZEPAudioRegionRef same = silence(300, 349);
    editor->setSkippedRegions({first, cut(100, 199), same});
    ASSERT_EQ(editor->skippedRegions().size(), 2);
    EXPECT_EQ(editor->skippedRegions()[0], first);
    EXPECT_EQ(editor->skippedRegions()[1]->index(), 100);
}

TEST_F(ZEPAudioEditorTest, replacingARegionIsUndoneBySwappingBack)
{
    UndoManager undo;
    editor->setUndoManager(&undo);
    const ZEPAudioRegionRef start = editor->skippedRegions().first();
    const ZEPAudioRegionRef replacement = cut(0, 9);
    editor->replaceRegionWithRegion({start, replacement});
    EXPECT_EQ(editor->skippedRegions().first(), replacement);
    undo.undo();
    EXPECT_EQ(editor->skippedRegions().first(), start);
    undo.redo();
    EXPECT_EQ(editor->skippedRegions().first(), replacement);

    // A missing object or one not in the list: nothing, no undo.
    UndoManager other;
    editor->setUndoManager(&other);
    editor->replaceRegionWithRegion({cut(500, 600), cut(1, 2)});
    editor->replaceRegionWithRegion({replacement, nullptr});
    EXPECT_EQ(editor->skippedRegions().first(), replacement);
    EXPECT_TRUE(nothingToUndo(other));
}

TEST_F(ZEPAudioEditorTest, markersAreUniquePerLocationWithUndo)
{
    UndoManager undo;
    editor->setUndoManager(&undo);
    ZEPAudioMarkerRef marker = editor->markLocation(400);
    EXPECT_EQ(marker->name(), "New Marker");
    undo.undo();
    EXPECT_TRUE(editor->markers().isEmpty());
    undo.redo();
    ASSERT_EQ(editor->markers().size(), 1);
    EXPECT_EQ(editor->markers()[0]->location(), 400);

    UndoManager second;
    editor->setUndoManager(&second);
    editor->addMarker(ZEPAudioMarker::markerWithName("again", 400));
    EXPECT_EQ(editor->markers().size(), 1);
    EXPECT_TRUE(nothingToUndo(second));

    editor->setMarkers({ZEPAudioMarker::markerWithName("x", 10), ZEPAudioMarker::markerWithName("y", 5),
                        ZEPAudioMarker::markerWithName("z", 10)});
    EXPECT_EQ(editor->sortedMarkers()[0]->name(), "y");
    editor->removeMarker(ZEPAudioMarker::markerWithName("", 10)); // every marker at 10
    ASSERT_EQ(editor->markers().size(), 1);
    EXPECT_EQ(editor->markers()[0]->name(), "y");
    second.undo();
    EXPECT_EQ(editor->markers().size(), 2);
}

TEST_F(ZEPAudioEditorTest, normalisationScaleFactor)
{
    const struct {
        bool applies;
        Float32 nativeMax, normalizedMax, scale;
    } cases[] = {
        {true, 0.5f, 1.0f, 2.0f},
        {true, 0.0f, 1.0f, 0.0f},
        {true, -1.0f, 1.0f, 0.0f},
        {false, 0.5f, 1.0f, 1.0f},
        {false, 0.0f, 1.0f, 1.0f},
    };
    for (const auto& c : cases) {
        editor->setAppliesNormalization(c.applies);
        editor->setSamplesNativeMax(c.nativeMax, 0);
        editor->setNormalizedMax(c.normalizedMax, 0);
        EXPECT_FLOAT_EQ(editor->normalizeScaleFactorForTrack(0), c.scale)
            << c.applies << " " << c.nativeMax << " " << c.normalizedMax;
        EXPECT_FLOAT_EQ(editor->effectsGraph()->volumeForTrack(0), c.scale); // the chain's track gain follows
    }
    editor->setAppliesNormalization(true);
    editor->setSamplesNativeMax(0.25f, 1);
    editor->setNormalizeScaleFactor(3.0f, 1);
    EXPECT_FLOAT_EQ(editor->normalizedMaxForTrack(1), 0.75f);
    EXPECT_FLOAT_EQ(editor->maxAfterNormalizationForTrack(1), 0.75f);
    editor->setNormalizedMaxWithDict({{"track", 1}, {"normalizedMax", 0.5}});
    EXPECT_FLOAT_EQ(editor->normalizeScaleFactorForTrack(1), 2.0f);
    editor->setNormalizedMax(0.9f, 7); // no such track: ignored
    EXPECT_EQ(editor->normalizedMaxForTrack(7), 0.0f);
}

TEST_F(ZEPAudioEditorTest, applyingSettingsChangesOnlyWhatTheyHold)
{
    editor->setMarkers({ZEPAudioMarker::markerWithName("keep", 10)});
    editor->setEncodeSettings({{"fileType", qlonglong(FourCC("caff"))}});
    const QVariantList edits = regionValues(editor->skippedRegions());
    const QVariantList graph = *editor->graphSettings();

    editor->setSettings({{"Tags", QVariantMap{{"title", "Take 2"}}}, {"duration", 99.0}});
    EXPECT_EQ(editor->tags().value("title").toString(), "Take 2");
    EXPECT_EQ(regionValues(editor->skippedRegions()), edits);
    EXPECT_EQ(editor->markers().size(), 1);
    EXPECT_EQ(*editor->graphSettings(), graph);
    EXPECT_EQ(editor->encodeSettings().value("fileType").toLongLong(), qlonglong(FourCC("caff")));
    EXPECT_NEAR(editor->duration(), 998 / 44100.0, 1e-12);

    // Values of the wrong kind are left alone like absent ones.
    editor->setSettings({{"Edits", "damaged"}, {"Markers", 3}, {"Tags", "none"}});
    EXPECT_EQ(regionValues(editor->skippedRegions()), edits);
    EXPECT_EQ(editor->markers().size(), 1);
    EXPECT_EQ(editor->tags().value("title").toString(), "Take 2");

    // Encode settings for more than two channels are ignored.
    QVariantMap description = ZEPAudioConverter::dictionaryWithASBD({});
    description["mChannelsPerFrame"] = 6;
    editor->setEncodeSettings({{"fileType", qlonglong(FourCC("WAVE"))}, {"encoderSettings", description}});
    EXPECT_EQ(editor->encodeSettings().value("fileType").toLongLong(), qlonglong(FourCC("caff")));
}

TEST_F(ZEPAudioEditorTest, aNewRegionClassRemakesTheRegions)
{
    class Drawn : public ZEPAudioRegion {
    public:
        ZEPAudioRegionClass regionClass() const override { return ZEPAudioRegionClass::of<Drawn>(); }
    };
    const QVariantList before = regionValues(editor->skippedRegions());
    editor->setAudioRegionClass(ZEPAudioRegionClass::of<Drawn>());
    EXPECT_EQ(regionValues(editor->skippedRegions()), before);
    for (const ZEPAudioRegionRef& region : editor->skippedRegions())
        EXPECT_TRUE(dynamic_cast<Drawn*>(region.get()));
    EXPECT_TRUE(dynamic_cast<Drawn*>(editor->absoluteTotalRegion().get()));
    EXPECT_TRUE(dynamic_cast<Drawn*>(editor->totalRegionVisible(true).get()));
    editor->setSerializableRegions(editor->serializableRemovedRegions());
    EXPECT_TRUE(dynamic_cast<Drawn*>(editor->skippedRegions()[1].get()));
}

// A file that loads in the background: when it has finished, the model gets the regions
// every loaded sound has, as no edit of the user's, and tells its delegate.
TEST_F(ZEPAudioEditorTest, finishingLoadingAddsTheEndRegionsAndTellsTheDelegate)
{
    struct Delegate : ZEPAudioEditorDelegate {
        int finished = 0;
        void editorDidFinishLoading(ZEPAudioEditor*) override { ++finished; }
    } delegate;
    UndoManager undo;
    editor->setUndoManager(&undo);
    editor->setDelegate(&delegate);
    editor->setSkippedRegions({});
    editor->movieDidFinishLoading(nullptr);
    EXPECT_EQ(delegate.finished, 1);
    ASSERT_EQ(editor->skippedRegions().size(), 2);
    EXPECT_TRUE(editor->skippedRegions().first()->endRegion());
    EXPECT_TRUE(nothingToUndo(undo));
    EXPECT_EQ(editor->undoManager(), &undo);

    // Regions present are kept.
    editor->setSkippedRegions({cut(10, 19)});
    editor->movieDidFinishLoading(nullptr);
    EXPECT_EQ(editor->skippedRegions().size(), 1);
    EXPECT_EQ(delegate.finished, 2);
}

TEST_F(ZEPAudioEditorTest, encodeSettingsChangesAreObserved)
{
    QObject context;
    QVariant seen;
    editor->observeKey("encodeSettings", &context, [&](const QVariant&, const QVariant& now) { seen = now; });
    editor->setEncodeSettings({{"fileType", qlonglong(FourCC("caff"))}});
    EXPECT_EQ(seen.toMap().value("fileType").toLongLong(), qlonglong(FourCC("caff")));
    EXPECT_EQ(editor->valueForKey("playing"), QVariant(false));

    // No type and no settings: the lossless settings, as the preview encoder took them.
    editor->setEncodeSettings({});
    const QVariantMap lossless = ZEPAudioFileWriter::losslessSettings();
    EXPECT_EQ(editor->encodeSettings().value("fileType"), lossless.value("fileType"));
    EXPECT_EQ(editor->encodeSettings().value("encoderSettings").toMap().value("mFormatID").toLongLong(),
              qlonglong(kAudioFormatAppleLossless));
    // Without live preview the settings stay as they were given.
    editor->setLivePreviewEnabled(false);
    editor->setEncodeSettings({});
    EXPECT_EQ(editor->encodeSettings(), lossless);
}
