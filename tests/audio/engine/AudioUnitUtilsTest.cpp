#include "audio/engine/ZEPAudioUnitBufferLists.h"
#include "audio/engine/ZEPAudioUnitFunctions.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/engine/ZEPSampleFunctions.h"
#include "platform/audiounits/MatrixMixerUnit.h"
#include "platform/audiounits/VarispeedUnit.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

using clipdeck::test::waitUntil;

namespace {

// A varispeed with factory presets and no present-preset property.
class PresetUnit : public VarispeedUnit {
public:
    OSStatus getFactoryPresets(QList<AUPreset>* outPresets) const override
    {
        *outPresets = {AUPreset{0, QStringLiteral("Slow")}, AUPreset{1, QStringLiteral("Fast")}};
        return noErr;
    }
    OSStatus getPresentPreset(AUPreset*) const override { return kAudioUnitErr_InvalidProperty; }
    OSStatus setPresentPreset(const AUPreset&) override { return kAudioUnitErr_InvalidProperty; }
    OSStatus getCurrentPreset(AUPreset* outPreset) const override
    {
        *outPreset = mCurrent;
        return noErr;
    }
    OSStatus setCurrentPreset(const AUPreset& preset) override
    {
        mCurrent = preset;
        return noErr;
    }

private:
    AUPreset mCurrent{7, QStringLiteral("Seven")};
};

void countChange(void* refCon, void*, const AudioUnitParameter*, AudioUnitParameterValue)
{
    ++*static_cast<int*>(refCon);
}

Float32 crosspoint(AudioUnit& mixer, UInt32 in, UInt32 out)
{
    AudioUnitParameterValue value = -1;
    mixer.getParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, (in << 16) | out, &value);
    return value;
}

} // namespace

TEST(ZEPAudioUnitUtils, MatrixMixerSetUpAndVolumeResetRouteChannelsModuloTheOutputs)
{
    MatrixMixerUnit mixer;
    ASSERT_EQ(ZEPAudioUnitUtils::setUpMatrixMixer(&mixer, 2, 1), noErr);
    ASSERT_EQ(mixer.initialize(), noErr);
    ASSERT_EQ(ZEPAudioUnitUtils::resetVolumesForMatrixMixer(&mixer), noErr);
    for (UInt32 in = 0; in < 4; ++in) {
        for (UInt32 out = 0; out < 2; ++out)
            EXPECT_EQ(crosspoint(mixer, in, out), in % 2 == out ? 1.0f : 0.0f) << in << "->" << out;
    }
    EXPECT_EQ(crosspoint(mixer, 0xFFFF, 0xFFFF), 1.0f);
    EXPECT_EQ(crosspoint(mixer, 3, 0xFFFF), 1.0f);
    EXPECT_EQ(crosspoint(mixer, 0xFFFF, 1), 1.0f);
    ASSERT_EQ(ZEPAudioUnitUtils::matrixMixerUnit(&mixer, 0.5f, 3, 0), noErr);
    EXPECT_EQ(crosspoint(mixer, 3, 0), 0.5f);

    UInt32 slice = 0;
    EXPECT_EQ(ZEPAudioUnitUtils::setMaxRenderSlice(1024, &mixer), kAudioUnitErr_Initialized);
    ASSERT_EQ(ZEPAudioUnitUtils::getMaxRenderSlice(&slice, &mixer), noErr);
    EXPECT_EQ(slice, 4096u);
}

TEST(ZEPAudioUnitUtils, CanonicalDescriptionsMatchTheCanonicalFill)
{
    for (bool nonInterleaved : {false, true}) {
        AudioStreamBasicDescription filled;
        ZEPCanonicalFloatASBD(&filled, 2, nonInterleaved);
        const AudioStreamBasicDescription utils =
            nonInterleaved ? ZEPAudioUnitUtils::nonInterleavedCanonicalASBD() : ZEPAudioUnitUtils::canonicalASBD();
        EXPECT_EQ(std::memcmp(&filled, &utils, sizeof filled), 0);
    }
}

TEST(ZEPAudioUnitUtils, PresetsFallBackToTheCurrentPresetAndTellListeners)
{
    PresetUnit unit;
    EXPECT_EQ(ZEPAudioUnitUtils::getFactoryPresetsFromAudioUnit(&unit).size(), 2);
    EXPECT_EQ(ZEPAudioUnitUtils::getFactoryPresetsFromAudioUnit(&unit)[1].toMap().value("name"), "Fast");
    VarispeedUnit plain;
    EXPECT_TRUE(ZEPAudioUnitUtils::getFactoryPresetsFromAudioUnit(&plain).isEmpty());

    const QVariantMap present = ZEPAudioUnitUtils::getPresentPresetFromAudioUnit(&unit);
    EXPECT_EQ(present.value("number").toInt(), 7) << "no present preset: the current one";

    int changes = 0;
    AUParameterListenerRef listener = nullptr;
    ASSERT_EQ(ZEPAudioUnitUtils::registerListenerProcForAllProperties(countChange, &unit, &listener, &changes), noErr);
    EXPECT_EQ(ZEPAudioUnitUtils::setPresentPreset(QVariantMap{{"number", 3}, {"name", "Three"}}, &unit), noErr);
    EXPECT_EQ(ZEPAudioUnitUtils::getCurrentPresetFromAudioUnit(&unit).value("name"), "Three");
    EXPECT_TRUE(waitUntil([&] { return changes == 2; })) << "every parameter of the unit (rate and cents)";
    AUListenerDispose(listener);
}

TEST(ZEPAudioUnitUtils, ClassInfoRestoresAUnitOfTheSameKindOnly)
{
    VarispeedUnit source;
    source.setParameter(kVarispeedParam_PlaybackRate, kAudioUnitScope_Global, 0, 1.5f);
    const QVariant info = ZEPAudioUnitUtils::getClassInfoFromAudioUnit(&source);
    ASSERT_TRUE(info.isValid());
    EXPECT_EQ(info.toMap().value("subtype").toLongLong(), qlonglong(kAudioUnitSubType_Varispeed));

    VarispeedUnit copy;
    EXPECT_EQ(ZEPAudioUnitUtils::setClassInfo(info, &copy), noErr);
    AudioUnitParameterValue rate = 0;
    copy.getParameter(kVarispeedParam_PlaybackRate, kAudioUnitScope_Global, 0, &rate);
    EXPECT_EQ(rate, 1.5f);
    MatrixMixerUnit other;
    EXPECT_EQ(ZEPAudioUnitUtils::setClassInfo(info, &other), kAudioUnitErr_InvalidPropertyValue);
}

TEST(ZEPAudioUnitFunctions, GraphShimsFormatsAndParameterLists)
{
    AudioUnit* unit = reinterpret_cast<AudioUnit*>(1);
    EXPECT_EQ(ZEPGraphNodeInfo(nullptr, 1, nullptr, &unit), kAudio_ParamError);
    AUGraph graph;
    AUNode node = 99;
    const AudioComponentDescription varispeed{kAudioUnitType_FormatConverter, kAudioUnitSubType_Varispeed,
                                              kAudioUnitManufacturer_System, 0, 0};
    ASSERT_EQ(ZEPGraphAddNode(&graph, &varispeed, &node), noErr);
    ASSERT_EQ(graph.open(), noErr);
    ASSERT_EQ(ZEPGraphNodeInfo(&graph, node, nullptr, &unit), noErr);
    AudioUnit* fetched = nullptr;
    ASSERT_EQ(ZEPAudioUnitUtils::getAudioUnit(&fetched, node, &graph), noErr);
    EXPECT_EQ(fetched, unit);

    AudioStreamBasicDescription mono = ZEPAudioUnitUtils::nonInterleavedCanonicalASBD();
    mono.mChannelsPerFrame = 1;
    unit->setStreamFormat(kAudioUnitScope_Output, 0, mono);
    AudioStreamBasicDescription copied;
    ASSERT_EQ(ZEPCopyOutputFormatToInput(&unit, &copied, 0), noErr);
    AudioStreamBasicDescription input;
    unit->getStreamFormat(kAudioUnitScope_Input, 0, &input);
    EXPECT_EQ(input.mChannelsPerFrame, 1u);

    EXPECT_EQ(ZEPAudioUnitParameterCount(unit, kAudioUnitScope_Global), 2u);
    UInt32 count = 0;
    AudioUnitParameterID* ids = ZEPCopyAudioUnitParameterList(unit, kAudioUnitScope_Global, &count);
    ASSERT_NE(ids, nullptr);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(ids[1], kVarispeedParam_PlaybackCents);
    std::free(ids);
    EXPECT_EQ(ZEPCopyAudioUnitParameterList(unit, kAudioUnitScope_Input, &count), nullptr);
    EXPECT_EQ(count, 0u);
}

TEST(ZEPSampleFunctions, ClipAndPeakTests)
{
    Float32 left[2] = {0.5f, 1.0f};
    Float32 right[2] = {-1.0f, -0.25f};
    StackAudioBufferList<2> list;
    list.mBuffers[0] = AudioBuffer{1, 8, left};
    list.mBuffers[1] = AudioBuffer{1, 8, right};
    EXPECT_EQ(ZEPBufferListClips(list.list()), 0u) << "exactly +-1.0 does not clip";
    right[1] = -1.5f;
    EXPECT_EQ(ZEPBufferListClips(list.list()), 1u);
    EXPECT_EQ(ZEPBufferPeak(&list.mBuffers[1]), 1.5f);
    AudioBuffer empty{1, 0, nullptr};
    EXPECT_EQ(ZEPBufferPeak(&empty), 0.0f);

    Float32 samples[5] = {2, -2, 0.5f, -0.5f, 9};
    EXPECT_EQ(ZEPClipSamples(samples, 5, 1.0f), 1);
    EXPECT_EQ(samples[0], 2.0f);
    EXPECT_EQ(ZEPClipSamples(samples, 4, 1.0f), noErr);
    EXPECT_EQ(samples[0], 1.0f);
    EXPECT_EQ(samples[1], -1.0f);
}

TEST(ZEPSampleFunctions, StereoInterleavingRoundTrips)
{
    const Float32 left[3] = {1, 2, 3};
    const Float32 right[3] = {-1, -2, -3};
    Float32 interleaved[6] = {};
    ZEPInterleaveStereo(left, right, 12, interleaved);
    EXPECT_EQ(interleaved[4], 3.0f);
    EXPECT_EQ(interleaved[5], -3.0f);
    Float32 l[3] = {}, r[3] = {};
    EXPECT_EQ(ZEPDeinterleaveStereo(interleaved, 5, l, r), 1);
    ASSERT_EQ(ZEPDeinterleaveStereoScaled(interleaved, 6, l, r), noErr);
    EXPECT_EQ(l[1], 2.0f * 32768.0f);
    EXPECT_EQ(r[2], -3.0f * 32768.0f);
}

TEST(ZEPSampleFunctions, DescriptionPrintout)
{
    testing::internal::CaptureStderr();
    ZEPPrintASBD(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't print a NULL desc!\n");
    const AudioStreamBasicDescription description = ZEPAudioUnitUtils::nonInterleavedCanonicalASBD();
    testing::internal::CaptureStderr();
    ZEPPrintASBD(&description);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("  Sample Rate:44100.000000\n"), std::string::npos);
    EXPECT_NE(printed.find("  Format Flags:29\n"), std::string::npos);
    EXPECT_NE(printed.find("  Channels per Frame:2\n"), std::string::npos);
    EXPECT_EQ(printed.rfind("- - - - - - - - - - - - - - - - - - - -\n", 0), 0u);
}

TEST(ZEPAudioUnitBufferLists, SetDataMakesAOneBufferHeaderWhenThereIsNone)
{
    AudioBufferList* list = nullptr;
    Float32 data[4] = {};
    ASSERT_EQ(ZEPSetAudioBufferListData(data, 16, &list), noErr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->mNumberBuffers, 1u);
    EXPECT_EQ(list->mBuffers[0].mData, data);
    EXPECT_EQ(list->mBuffers[0].mDataByteSize, 16u);
    ZEPFreeEmptyAudioBufferList(list);
    AudioBufferList* made = ZEPNewAudioBufferList(2, 64);
    EXPECT_EQ(made->mBuffers[1].mDataByteSize, 64u);
    EXPECT_EQ(static_cast<Float32*>(made->mBuffers[1].mData)[15], 0.0f);
    ZEPDeleteAudioBufferList(made);
}
