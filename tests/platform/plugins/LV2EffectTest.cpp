#include "platform/plugins/LV2EffectInstance.h"

#include "platform/plugins/LV2TestPlugins.h"
#include "platform/plugins/LV2World.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const char* kAmp = clipdeck::test::kAmpURI;
const char* kMdaDelay = clipdeck::test::kMdaDelayURI;

// The installed plugins of lv2-examples and mda-lv2, and nothing else.
class LV2Effects : public ::testing::Test {
protected:
    static void SetUpTestSuite() { clipdeck::test::useTestPlugins(); }
    const LV2PluginInfo* plugin(const char* uri)
    {
        const auto* info = LV2Catalogue::shared().effectWithURI(uri);
        if (!info)
            ADD_FAILURE() << uri << " is not offered";
        return info;
    }
};

} // namespace

TEST_F(LV2Effects, OffersEffectsWithTheirIdentityAndLeavesInstrumentsOut)
{
    const auto* amp = plugin(kAmp);
    ASSERT_TRUE(amp);
    EXPECT_EQ(amp->type, FourCC("aufx"));
    EXPECT_EQ(amp->layout, LV2PluginInfo::Layout::DualMono);
    EXPECT_NE(amp->subtype, 0u);
    EXPECT_NE(amp->manufacturer, 0u);
    EXPECT_EQ(amp->subtype, LV2Catalogue::identityHash(kAmp));
    EXPECT_TRUE(amp->componentName().endsWith(": Simple Amplifier"));
    EXPECT_EQ(amp->identity().value("uri").toString(), kAmp);
    EXPECT_EQ(LV2Catalogue::shared().effectWithCodes(amp->type, amp->subtype, amp->manufacturer), amp);

    const auto* delay = plugin(kMdaDelay);
    ASSERT_TRUE(delay);
    EXPECT_EQ(delay->type, FourCC("aufx"));

    for (const char* notAnEffect : {"http://drobilla.net/plugins/mda/DX10", "http://drobilla.net/plugins/mda/Piano",
                                    "http://lv2plug.in/plugins/eg-sampler", "http://drobilla.net/plugins/mda/TestTone",
                                    "http://lv2plug.in/plugins/eg-metro"})
        EXPECT_FALSE(LV2Catalogue::shared().effectWithURI(notAnEffect)) << notAnEffect;
}

TEST_F(LV2Effects, AMonoPluginRunsOnBothChannelsWithSharedParametersAndBypass)
{
    const auto* amp = plugin(kAmp);
    ASSERT_TRUE(amp);
    QString error;
    auto effect = LV2EffectInstance::create(*amp, &error);
    ASSERT_TRUE(effect) << error.toStdString();
    ASSERT_TRUE(effect->setParameter(0, -6.0f));
    EXPECT_FALSE(effect->setParameter(1, 0.0f)); // an audio port
    EXPECT_FLOAT_EQ(effect->parameter(0), -6.0f);

    // More frames than one plugin block, processed in place.
    std::vector<float> left(10000), right(10000);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = std::sin(0.01f * float(i));
        right[i] = 0.25f;
    }
    const std::vector<float> originalLeft = left;
    effect->process(left.data(), right.data(), left.data(), right.data(), UInt32(left.size()));
    const float gain = std::pow(10.0f, -6.0f / 20.0f);
    for (size_t i = 0; i < left.size(); i += 997) {
        EXPECT_NEAR(left[i], originalLeft[i] * gain, 1e-5);
        EXPECT_NEAR(right[i], 0.25f * gain, 1e-5);
    }

    effect->setBypass(true);
    std::vector<float> out(100);
    effect->process(originalLeft.data(), originalLeft.data(), out.data(), out.data(), 100);
    EXPECT_EQ(out[50], originalLeft[50]);
    EXPECT_EQ(effect->latencyFrames(), 0u);
}

TEST_F(LV2Effects, StateRoundTripsAndRefusesAnotherPluginsState)
{
    const auto* amp = plugin(kAmp);
    const auto* delay = plugin(kMdaDelay);
    ASSERT_TRUE(amp && delay);
    auto first = LV2EffectInstance::create(*amp);
    ASSERT_TRUE(first);
    first->setParameter(0, -3.5f);
    const QString state = first->saveState();
    EXPECT_TRUE(state.contains(kAmp));

    auto second = LV2EffectInstance::create(*amp);
    ASSERT_TRUE(second->restoreState(state));
    EXPECT_FLOAT_EQ(second->parameter(0), -3.5f);

    auto other = LV2EffectInstance::create(*delay);
    QString error;
    EXPECT_FALSE(other->restoreState(state, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(second->restoreState("this is not a state", &error));
}

TEST_F(LV2Effects, AStereoPluginProcessesBothChannels)
{
    const auto* delay = plugin(kMdaDelay);
    ASSERT_TRUE(delay);
    auto effect = LV2EffectInstance::create(*delay);
    ASSERT_TRUE(effect);
    std::vector<float> left(4096, 0.0f), right(4096, 0.0f);
    left[0] = right[0] = 1.0f; // an impulse
    std::vector<float> outLeft(4096), outRight(4096);
    effect->process(left.data(), right.data(), outLeft.data(), outRight.data(), 4096);
    double energy = 0;
    for (float v : outLeft)
        energy += double(v) * v;
    EXPECT_GT(energy, 0.0);
}

TEST_F(LV2Effects, URITextsHandedOutStayValidWhileMoreURIsAreMapped)
{
    const auto world = LV2Catalogue::shared().world();
    const char* text = world->unmap()->unmap(world->unmap()->handle, world->urid("urn:a"));
    for (int i = 0; i < 1000; ++i)
        world->urid(("urn:clipdeck-test:" + std::to_string(i)).c_str());
    EXPECT_STREQ(text, "urn:a");
}
