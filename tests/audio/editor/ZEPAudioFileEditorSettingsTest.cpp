// The settings dictionary of the file-backed model: saved to a property-list file and
// applied to a new model of the same sound, and the per-track statistics.
#include "audio/editor/ZEPAudioFileEditor.h"

#include "EditorFixtures.h"
#include "platform/PropertyList.h"
#include "platform/plugins/LV2TestPlugins.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

QVariantList markerValues(const ZEPAudioMarkerList& markers)
{
    QVariantList values;
    for (const ZEPAudioMarkerRef& marker : markers)
        values.append(marker->asDictionary());
    return values;
}

} // namespace

TEST(ZEPAudioFileEditorSettings, surviveAPropertyListFileAndANewModel)
{
    useTestPlugins();
    for (PropertyList::Format format : {PropertyList::Format::XML, PropertyList::Format::Binary}) {
        SCOPED_TRACE(format == PropertyList::Format::XML ? "XML" : "binary");
        TempFolder folder;
        const QString path = writeRampFile(folder.file("take.wav"), 20000);
        std::unique_ptr<ZEPAudioFileEditor> edited = ZEPAudioFileEditor::initWithPath(path, false);
        ASSERT_TRUE(edited);

        ZEPAudioRegionRef cut = edited->removeRegion(ZEPAudioRegion::regionAtIndex(3000, 3999));
        cut->setFadeType(kZEPFadeSquare);
        ZEPAudioRegionRef quiet = edited->silenceRegion(ZEPAudioRegion::regionAtIndex(8000, 8999));
        quiet->setFadeParameter(0.25f);
        quiet->setFadeEnabled(false);
        edited->markLocation(1234)->setName("Verse");
        edited->markLocation(15000);
        QVariantMap tags = edited->tags();
        tags["title"] = "Take 5";
        tags["year"] = qlonglong(1999);
        edited->setTags(tags);
        edited->setSamplesNativeMax(0.5f, 0);
        edited->setNormalizedMax(0.75f, 0);
        edited->setSum(-12.5, 0);
        edited->setSquaredSamplesSum(321.125, 0);
        // A chain with an effect: its saved integers, reals, booleans and state text must come
        // back as such.
        ASSERT_TRUE(edited->effectsGraph()->graphForTrack(0)->addNodeWithDictionary({{"uri", QString(kAmpURI)}}));
        const QVariantList chain = *edited->graphSettings();
        ASSERT_EQ(chain.value(0).toList().size(), 2);
        EXPECT_EQ(chain[0].toList()[0].toMap().value("uri").toString(), kAmpURI);

        const QString settingsPath = folder.file("take.settings");
        ASSERT_TRUE(PropertyList::writeToFile(edited->settings(), settingsPath, format));
        const std::optional<QVariant> stored = PropertyList::readFromFile(settingsPath);
        ASSERT_TRUE(stored);

        std::unique_ptr<ZEPAudioFileEditor> restored = ZEPAudioFileEditor::initWithPath(path, false);
        restored->setSettings(stored->toMap());
        EXPECT_EQ(regionValues(restored->skippedRegions()), regionValues(edited->skippedRegions()));
        ASSERT_EQ(restored->skippedRegions().size(), 4);
        EXPECT_TRUE(restored->skippedRegions()[2]->showBoth()); // silences show both edges
        EXPECT_EQ(markerValues(restored->markers()), markerValues(edited->markers()));
        EXPECT_EQ(restored->tags(), edited->tags());
        EXPECT_EQ(restored->tags().value("year").typeId(), QMetaType::LongLong);
        EXPECT_EQ(restored->trackSettings(), edited->trackSettings());
        EXPECT_FLOAT_EQ(restored->normalizeScaleFactorForTrack(0), 1.5f);
        EXPECT_EQ(*restored->graphSettings(), chain);
        EXPECT_EQ(restored->encodeSettings(), edited->encodeSettings());
        EXPECT_DOUBLE_EQ(stored->toMap().value("duration").toDouble(), edited->duration());
    }
}

TEST(ZEPAudioFileEditorSettings, trackSettings)
{
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileEditor> editor = openRampEditor(folder.path(), 1000);
    ASSERT_TRUE(editor);
    editor->setTrackSettings({QVariantMap{{"SamplesMax", 1.5}, {"NormalizedMax", 1.0}, {"SamplesSum", 2.0},
                                          {"SquaredSamplesSum", 3.0}}});
    EXPECT_FLOAT_EQ(editor->samplesNativeMaxForTrack(0), 1.5f);
    EXPECT_FLOAT_EQ(editor->maxAfterNormalizationForTrack(0), 1.0f);
    EXPECT_DOUBLE_EQ(editor->sumForTrack(0), 2.0);
    EXPECT_DOUBLE_EQ(editor->squaredSamplesSumForTrack(0), 3.0);
    const QVariantList saved = editor->trackSettings();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_FALSE(saved[0].toMap().contains("ScaleFactor"));

    // An explicit scale factor; missing keys leave the values as they were.
    editor->setTrackSettings({QVariantMap{{"ScaleFactor", 0.5}}});
    EXPECT_FLOAT_EQ(editor->normalizedMaxForTrack(0), 0.75f);
    EXPECT_DOUBLE_EQ(editor->sumForTrack(0), 2.0);

    // Settings without track settings: the peaks back to 1.0, or, while reverting, the
    // maximum after normalisation back to the native peak.
    editor->setReverting(true);
    editor->setSettings({});
    EXPECT_FLOAT_EQ(editor->maxAfterNormalizationForTrack(0), 1.5f);
    editor->setReverting(false);
    editor->setSettings({});
    EXPECT_FLOAT_EQ(editor->samplesNativeMaxForTrack(0), 1.0f);
    EXPECT_FLOAT_EQ(editor->normalizedMaxForTrack(0), 1.0f);
}

TEST(ZEPAudioFileEditorSettings, defaultEncodeSettingsFollowTheFile)
{
    TempFolder folder;
    std::unique_ptr<ZEPAudioFileEditor> editor = openRampEditor(folder.path(), 1000);
    const QVariantMap settings = editor->encodeSettings();
    EXPECT_EQ(settings.value("fileType").toLongLong(), qlonglong(FourCC("WAVE")));
    const QVariantMap encoder = settings.value("encoderSettings").toMap();
    EXPECT_EQ(encoder.value("mFormatID").toLongLong(), qlonglong(kAudioFormatLinearPCM));
    EXPECT_EQ(encoder.value("mChannelsPerFrame").toLongLong(), 2);
    EXPECT_FALSE(encoder.contains("bitRate"));
    EXPECT_EQ(editor->audioSettingsDescription().isEmpty(), false);
    EXPECT_TRUE(editor->originalIsLossless());
    EXPECT_EQ(editor->trackCount(), 1u);
    EXPECT_EQ(editor->effectsGraph()->inputTracks(), 1u);
    EXPECT_TRUE(editor->effectsGraph()->levelsEnabled());
}
