#include "platform/plugins/LV2EffectUnit.h"

#include "platform/audiounits/AudioComponentRegistry.h"
#include "platform/plugins/LV2TestPlugins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace clipdeck::test;

namespace {

// Feeds a unit constant left and right values and renders it into its own buffers.
struct UnitHarness {
    explicit UnitHarness(AudioUnit* unit, UInt32 channels = 2) : unit(unit), channels(channels)
    {
        const AudioStreamBasicDescription format = AudioUnitCanonicalFormat(channels);
        EXPECT_EQ(unit->setStreamFormat(kAudioUnitScope_Input, 0, format), noErr);
        EXPECT_EQ(unit->setStreamFormat(kAudioUnitScope_Output, 0, format), noErr);
        EXPECT_EQ(unit->setRenderCallback(0, {&feed, this}), noErr);
        EXPECT_EQ(unit->initialize(), noErr);
    }
    static OSStatus feed(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                         AudioBufferList* ioData)
    {
        auto* self = static_cast<UnitHarness*>(refCon);
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            auto* samples = static_cast<Float32*>(ioData->mBuffers[b].mData);
            for (UInt32 i = 0; i < frames; ++i)
                samples[i] = self->input[b] + 0.001f * Float32(self->next + i);
            ioData->mBuffers[b].mDataByteSize = frames * 4;
        }
        self->next += frames;
        return noErr;
    }
    // The first frame of each channel of a render of frames; input frame n is
    // input[c] + 0.001 n.
    std::vector<Float32> render(UInt32 frames = 512)
    {
        std::vector<std::vector<Float32>> data(channels, std::vector<Float32>(frames));
        StackAudioBufferList<2> list;
        list.mNumberBuffers = channels;
        for (UInt32 c = 0; c < channels; ++c)
            list.mBuffers[c] = AudioBuffer{1, frames * 4, data[c].data()};
        AudioTimeStamp time;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(unit->render(&flags, &time, 0, frames, list.list()), noErr);
        last = data;
        std::vector<Float32> first;
        for (const auto& channel : data)
            first.push_back(channel[0]);
        return first;
    }
    AudioUnit* unit;
    UInt32 channels;
    Float32 input[2] = {0.5f, -0.25f};
    UInt64 next = 0;
    std::vector<std::vector<Float32>> last;
};

std::unique_ptr<AudioUnit> makeUnit(const char* uri)
{
    AudioComponentDescription description;
    if (!LV2EffectUnit::componentDescriptionForURI(uri, &description)) {
        ADD_FAILURE() << uri << " is not offered";
        return nullptr;
    }
    return AudioComponentRegistry::instantiate(description);
}

Float32 decibels(Float32 db) { return std::pow(10.0f, db / 20.0f); }

class LV2EffectUnits : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTestPlugins(); }
};

} // namespace

TEST_F(LV2EffectUnits, EveryOfferedEffectIsAKindOfUnitByItsCodes)
{
    LV2EffectUnit::registerEffects();
    const auto& effects = LV2Catalogue::shared().effects();
    ASSERT_FALSE(effects.empty());
    for (const LV2PluginInfo& plugin : effects) {
        const AudioComponentDescription query{plugin.type, plugin.subtype, plugin.manufacturer, 0, 0};
        const QList<AudioComponentInfo> kinds = AudioComponentRegistry::find(query);
        ASSERT_EQ(kinds.size(), 1) << plugin.uri.toStdString();
        EXPECT_EQ(kinds[0].name, plugin.componentName());
    }
    AudioComponentDescription delay;
    ASSERT_TRUE(LV2EffectUnit::componentDescriptionForURI(kLatencyDelayURI, &delay));
    EXPECT_EQ(delay.componentType, kAudioUnitType_Effect);
    EXPECT_EQ(AudioComponentRegistry::find(delay).value(0).name, "Clipdeck Tests: Latency Delay");
    EXPECT_FALSE(LV2EffectUnit::componentDescriptionForURI("urn:clipdeck-test:not-installed", &delay));

    // Registering again after a reload keeps one kind per plugin.
    LV2Catalogue::shared().reload();
    LV2EffectUnit::registerEffects();
    EXPECT_EQ(AudioComponentRegistry::find({kAudioUnitType_Effect, delay.componentSubType, 0, 0, 0}).size(), 1);
}

TEST_F(LV2EffectUnits, ProcessesStereoAndMonoWithParametersAndHostBypass)
{
    auto unit = makeUnit(kAmpURI);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->parameterList(kAudioUnitScope_Global), std::vector<AudioUnitParameterID>{0});
    EXPECT_EQ(unit->setParameter(0, kAudioUnitScope_Global, 0, -6.0f), noErr);
    EXPECT_EQ(unit->setParameter(1, kAudioUnitScope_Global, 0, 0.0f), kAudioUnitErr_InvalidParameter); // audio port
    EXPECT_EQ(unit->setParameter(0, kAudioUnitScope_Input, 0, 0.0f), kAudioUnitErr_InvalidParameter);
    AudioUnitParameterValue gain = 0;
    EXPECT_EQ(unit->getParameter(0, kAudioUnitScope_Global, 0, &gain), noErr);
    EXPECT_EQ(gain, -6.0f);

    {
        UnitHarness stereo(unit.get());
        const auto out = stereo.render();
        EXPECT_NEAR(out[0], 0.5f * decibels(-6), 1e-6);
        EXPECT_NEAR(out[1], -0.25f * decibels(-6), 1e-6);

        const UInt32 on = 1;
        ASSERT_EQ(unit->setProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on, sizeof on), noErr);
        UInt32 bypass = 0;
        UInt32 size = sizeof bypass;
        EXPECT_EQ(unit->getProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &bypass, &size), noErr);
        EXPECT_EQ(bypass, 1u);
        stereo.render();
        EXPECT_EQ(stereo.last[0][7], 0.5f + 0.001f * Float32(512 + 7)); // bit for bit
        unit->uninitialize();
    }

    // One channel: the plugin on the channel alone.
    const UInt32 off = 0;
    unit->setProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &off, sizeof off);
    UnitHarness mono(unit.get(), 1);
    EXPECT_NEAR(mono.render()[0], 0.5f * decibels(-6), 1e-6);

    // The plugin runs at its own rate on one or two channels of 32-bit float only.
    unit->uninitialize();
    AudioStreamBasicDescription format = AudioUnitCanonicalFormat(2);
    format.mSampleRate = 48000;
    EXPECT_EQ(unit->setStreamFormat(kAudioUnitScope_Input, 0, format), kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(unit->setStreamFormat(kAudioUnitScope_Input, 0, AudioUnitCanonicalFormat(3)),
              kAudioUnitErr_FormatNotSupported);
}

TEST_F(LV2EffectUnits, ReportsTheLatencyOfItsLatencyPortInSeconds)
{
    auto unit = makeUnit(kLatencyDelayURI);
    ASSERT_TRUE(unit);
    Float64 seconds = 0;
    UInt32 size = sizeof seconds;
    // Known before the first block.
    ASSERT_EQ(unit->getProperty(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &seconds, &size), noErr);
    EXPECT_DOUBLE_EQ(seconds * 44100.0, 100.0);
    EXPECT_EQ(unit->getProperty(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, &seconds, &size), noErr);
    EXPECT_EQ(seconds, 0.0);

    unit->setParameter(0, kAudioUnitScope_Global, 0, 10.0f);
    UnitHarness harness(unit.get());
    harness.render(64);
    EXPECT_EQ(harness.last[0][10], 0.5f);  // input frame 0, ten frames late
    EXPECT_EQ(harness.last[0][9], 0.0f);
    unit->getProperty(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &seconds, &size);
    EXPECT_DOUBLE_EQ(seconds * 44100.0, 10.0);
}

TEST_F(LV2EffectUnits, ClassInfoCarriesIdentityAndStateAndRefusesOtherSettings)
{
    auto first = makeUnit(kAmpURI);
    ASSERT_TRUE(first);
    first->setParameter(0, kAudioUnitScope_Global, 0, -3.5f);
    first->setPresentPreset(AUPreset{-1, "Quiet"});
    QVariant saved;
    ASSERT_EQ(first->getClassInfo(&saved), noErr);
    const QVariantMap info = saved.toMap();
    const AudioComponentDescription& kind = first->componentDescription();
    EXPECT_EQ(info.value("uri").toString(), kAmpURI);
    EXPECT_EQ(info.value("type").toLongLong(), qlonglong(kind.componentType));
    EXPECT_EQ(info.value("subtype").toLongLong(), qlonglong(kind.componentSubType));
    EXPECT_EQ(info.value("manufacturer").toLongLong(), qlonglong(kind.componentManufacturer));
    EXPECT_TRUE(info.contains("version"));
    EXPECT_EQ(info.value("name").toString(), "Quiet");
    EXPECT_EQ(info.value("data").typeId(), QMetaType::QString);

    auto second = makeUnit(kAmpURI);
    ASSERT_EQ(second->setClassInfo(info), noErr);
    AudioUnitParameterValue gain = 0;
    second->getParameter(0, kAudioUnitScope_Global, 0, &gain);
    EXPECT_EQ(gain, -3.5f);
    AUPreset preset;
    second->getPresentPreset(&preset);
    EXPECT_EQ(preset.presetName, "Quiet");

    QVariantMap codesOnly = info;
    codesOnly.remove("uri");
    QVariantMap otherURI = info;
    otherURI["uri"] = kMdaDelayURI;
    QVariantMap otherCodes = codesOnly;
    otherCodes["subtype"] = qlonglong(kind.componentSubType ^ 1);
    QVariantMap foreignData = codesOnly; // settings saved by another platform's unit
    foreignData["data"] = QByteArray("\x00\x01bplist", 8);
    QVariantMap damaged = info;
    damaged["data"] = QStringLiteral("@prefix broken");
    const struct {
        const char* name;
        QVariant classInfo;
        OSStatus expected;
    } cases[] = {
        {"the same plugin by codes", codesOnly, noErr},
        {"another plugin's uri", otherURI, kAudioUnitErr_InvalidPropertyValue},
        {"another kind's codes", otherCodes, kAudioUnitErr_InvalidPropertyValue},
        {"data that is not text", foreignData, kAudioUnitErr_InvalidPropertyValue},
        {"damaged state", damaged, kAudioUnitErr_InvalidPropertyValue},
        {"not a dictionary", QVariant(QStringLiteral("x")), kAudioUnitErr_InvalidPropertyValue},
    };
    for (const auto& c : cases)
        EXPECT_EQ(second->setClassInfo(c.classInfo), c.expected) << c.name;
}
