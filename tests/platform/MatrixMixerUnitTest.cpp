#include "platform/audiounits/MatrixMixerUnit.h"

#include "UnitTestSignals.h"

#include <gtest/gtest.h>

using namespace unittest;

namespace {

// A matrix mixer of two stereo input buses fed by constants and one or two stereo outputs.
struct MixerFixture {
    explicit MixerFixture(UInt32 outputBuses = 1, UInt32 maxFrames = 512)
    {
        EXPECT_EQ(mixer.setElementCount(kAudioUnitScope_Input, 2), noErr);
        EXPECT_EQ(mixer.setElementCount(kAudioUnitScope_Output, outputBuses), noErr);
        EXPECT_EQ(mixer.setMaxFramesPerSlice(maxFrames), noErr);
        inputs[0].value = 0.1f; // channel 0 = 0.1, channel 1 = 0.35
        inputs[1].value = 0.2f; // channel 2 = 0.2, channel 3 = 0.45
        for (UInt32 bus = 0; bus < 2; ++bus)
            EXPECT_EQ(mixer.setRenderCallback(bus, inputs[bus].callback()), noErr);
        EXPECT_EQ(mixer.initialize(), noErr);
    }
    OSStatus volume(AudioUnitScope scope, AudioUnitElement element, Float32 value)
    {
        return mixer.setParameter(kMatrixMixerParam_Volume, scope, element, value);
    }
    Float32 read(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element)
    {
        AudioUnitParameterValue value = -1;
        EXPECT_EQ(mixer.getParameter(id, scope, element, &value), noErr);
        return value;
    }
    MatrixMixerUnit mixer;
    ConstantInput inputs[2];
};

} // namespace

TEST(MatrixMixerUnit, VolumeElementsAddressCrosspointsChannelsAndMaster)
{
    MatrixMixerUnit uninitialized;
    EXPECT_EQ(uninitialized.setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, 0, 1.0f),
              kAudioUnitErr_Uninitialized);
    EXPECT_EQ(uninitialized.setParameter(kMatrixMixerParam_Enable, kAudioUnitScope_Input, 0, 0.0f), noErr);

    MixerFixture f;
    EXPECT_EQ(f.mixer.channelCount(kAudioUnitScope_Input), 4u);
    EXPECT_EQ(f.mixer.channelCount(kAudioUnitScope_Output), 2u);
    struct Case {
        AudioUnitElement globalElement;
        AudioUnitScope readScope;
        AudioUnitElement readElement;
    };
    const Case cases[] = {
        {(3u << 16) | 1, kAudioUnitScope_Global, (3u << 16) | 1}, // crosspoint
        {(2u << 16) | 0xFFFF, kAudioUnitScope_Input, 2},         // input channel volume
        {0xFFFF0001, kAudioUnitScope_Output, 1},                 // output channel volume
        {0xFFFFFFFF, kAudioUnitScope_Global, 0xFFFFFFFF},        // master
    };
    Float32 value = 0.125f;
    for (const Case& c : cases) {
        value += 0.25f;
        ASSERT_EQ(f.volume(kAudioUnitScope_Global, c.globalElement, value), noErr);
        EXPECT_EQ(f.read(kMatrixMixerParam_Volume, c.readScope, c.readElement), value) << std::hex << c.globalElement;
    }
    for (const auto& [scope, element] : {std::pair{kAudioUnitScope_Global, (4u << 16) | 0},
                                         std::pair{kAudioUnitScope_Global, (0u << 16) | 2},
                                         std::pair{kAudioUnitScope_Input, 4u}, std::pair{kAudioUnitScope_Output, 2u}})
        EXPECT_EQ(f.volume(scope, element, 1.0f), kAudioUnitErr_InvalidElement) << std::hex << element;
    EXPECT_EQ(f.mixer.setParameter(kMatrixMixerParam_Enable, kAudioUnitScope_Input, 2, 1.0f),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(f.mixer.setParameter(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Input, 0, 1.0f),
              kAudioUnitErr_PropertyNotWritable);
}

TEST(MatrixMixerUnit, MixesThroughEveryGainAndHonoursBusEnables)
{
    MixerFixture f;
    const Float32 inputVolume[4] = {1.0f, 0.5f, 2.0f, 1.0f};
    for (UInt32 c = 0; c < 4; ++c)
        f.volume(kAudioUnitScope_Input, c, inputVolume[c]);
    f.volume(kAudioUnitScope_Global, (0u << 16) | 0, 1.0f);
    f.volume(kAudioUnitScope_Global, (1u << 16) | 1, 1.0f);
    f.volume(kAudioUnitScope_Global, (2u << 16) | 0, 0.5f);
    f.volume(kAudioUnitScope_Global, (3u << 16) | 1, 1.0f);
    f.volume(kAudioUnitScope_Global, (3u << 16) | 0, 0.25f);
    f.volume(kAudioUnitScope_Output, 0, 1.0f);
    f.volume(kAudioUnitScope_Output, 1, 0.5f);
    f.volume(kAudioUnitScope_Global, kMatrixMixerMasterElement, 2.0f);

    const Float32 in[4] = {0.1f, 0.35f, 0.2f, 0.45f};
    const Float32 left = 2.0f * 1.0f * (in[0] * 1.0f + in[2] * 2.0f * 0.5f + in[3] * 0.25f);
    const Float32 right = 2.0f * 0.5f * (in[1] * 0.5f + in[3] * 1.0f);
    const Float32 leftWithoutBus1 = 2.0f * in[0];
    const Float32 rightWithoutBus1 = 2.0f * 0.5f * in[1] * 0.5f;

    StereoBuffers out(256);
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp time = timeAt(0);
    ASSERT_EQ(f.mixer.render(&flags, &time, 0, 256, out.list()), noErr);
    EXPECT_NEAR(out.samples[0][0], left, 1e-6);
    EXPECT_NEAR(out.samples[1][255], right, 1e-6);

    f.mixer.setParameter(kMatrixMixerParam_Enable, kAudioUnitScope_Input, 1, 0.0f);
    time = timeAt(256);
    ASSERT_EQ(f.mixer.render(&flags, &time, 0, 256, out.list()), noErr);
    EXPECT_EQ(f.inputs[1].pulls, 1) << "a disabled input is not pulled";
    EXPECT_NEAR(out.samples[0][10], leftWithoutBus1, 1e-6);
    EXPECT_NEAR(out.samples[1][10], rightWithoutBus1, 1e-6);

    f.mixer.setParameter(kMatrixMixerParam_Enable, kAudioUnitScope_Output, 0, 0.0f);
    time = timeAt(512);
    ASSERT_EQ(f.mixer.render(&flags, &time, 0, 256, out.list()), noErr);
    EXPECT_EQ(out.samples[0][0], 0.0f);
    EXPECT_EQ(out.samples[1][0], 0.0f);
}

TEST(MatrixMixerUnit, PullsEachInputOncePerTimeStampForAllOutputBuses)
{
    MixerFixture f(2);
    f.volume(kAudioUnitScope_Global, kMatrixMixerMasterElement, 1.0f);
    for (UInt32 c = 0; c < 4; ++c) {
        f.volume(kAudioUnitScope_Input, c, 1.0f);
        f.volume(kAudioUnitScope_Global, (c << 16) | c, 1.0f); // input channel c to output channel c
        f.volume(kAudioUnitScope_Output, c, 1.0f);
    }
    StereoBuffers bus0(128);
    StereoBuffers bus1(128);
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp time = timeAt(1000);
    f.mixer.render(&flags, &time, 0, 128, bus0.list());
    f.mixer.render(&flags, &time, 1, 128, bus1.list());
    f.mixer.render(&flags, &time, 0, 128, bus0.list());
    EXPECT_EQ(f.inputs[0].pulls, 1);
    EXPECT_EQ(f.inputs[1].pulls, 1);
    EXPECT_FLOAT_EQ(bus0.samples[1][0], 0.35f);
    EXPECT_FLOAT_EQ(bus1.samples[0][0], 0.2f);
    EXPECT_FLOAT_EQ(bus1.samples[1][0], 0.45f);

    time = timeAt(1128);
    f.mixer.render(&flags, &time, 1, 128, bus1.list());
    EXPECT_EQ(f.inputs[0].pulls, 2);
    AudioTimeStamp untimed;
    f.mixer.render(&flags, &untimed, 0, 128, bus0.list());
    f.mixer.render(&flags, &untimed, 0, 128, bus0.list());
    EXPECT_EQ(f.inputs[0].pulls, 4) << "without a valid sample time every render pulls";
}

TEST(MatrixMixerUnit, MetersReadAFullScaleSineAndHoldThenReleaseThePeak)
{
    MatrixMixerUnit mixer;
    SineInput sine;
    mixer.setMaxFramesPerSlice(512);
    mixer.setRenderCallback(0, sine.callback());
    ASSERT_EQ(mixer.initialize(), noErr);
    const UInt32 on = 1;
    ASSERT_EQ(mixer.setProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &on, sizeof on), noErr);
    mixer.setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, kMatrixMixerMasterElement, 1.0f);
    for (UInt32 c = 0; c < 2; ++c) {
        mixer.setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Output, c, 1.0f);
        mixer.setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, (c << 16) | c, 1.0f);
    }
    mixer.setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Input, 0, 1.0f);
    mixer.setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Input, 1, 0.5f);

    StereoBuffers out(512);
    Float64 sampleTime = 0;
    auto renderSeconds = [&](Float64 seconds) {
        for (Float64 t = 0; t < seconds * 44100; t += 512) {
            AudioUnitRenderActionFlags flags = 0;
            AudioTimeStamp time = timeAt(sampleTime);
            mixer.render(&flags, &time, 0, 512, out.list());
            sampleTime += 512;
        }
    };
    auto level = [&](AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element) {
        AudioUnitParameterValue value = 0;
        EXPECT_EQ(mixer.getParameter(id, scope, element, &value), noErr);
        return value;
    };
    renderSeconds(2.0);
    EXPECT_NEAR(level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Output, 0), 0.0, 0.5);
    EXPECT_NEAR(level(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Output, 0), -3.01, 0.5);
    EXPECT_NEAR(level(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Input, 1), -9.03, 0.5);
    EXPECT_NEAR(level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Input, 1), -6.02, 0.5);
    EXPECT_NEAR(level(kMatrixMixerParam_PostPeakHoldLevelLinear, kAudioUnitScope_Output, 0), 1.0, 0.01);

    sine.amplitude = 0.0f;
    renderSeconds(0.4);
    EXPECT_NEAR(level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Output, 0), 0.0, 0.5) << "held";
    renderSeconds(1.1);
    EXPECT_NEAR(level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Output, 0), -20.0, 1.5)
        << "0.5 s hold, then 20 dB per second";
    renderSeconds(10.0);
    EXPECT_EQ(level(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Output, 0), kMatrixMixerMeterFloorDecibels);

    const UInt32 off = 0;
    mixer.setProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &off, sizeof off);
    sine.amplitude = 1.0f;
    renderSeconds(0.1);
    EXPECT_EQ(level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Output, 0), kMatrixMixerMeterFloorDecibels);
}

TEST(MatrixMixerUnit, AcceptsOnlyFloatNonInterleavedBusesAndFixesThemOnceInitialized)
{
    MatrixMixerUnit mixer;
    AudioStreamBasicDescription interleaved = AudioUnitCanonicalFormat(2);
    interleaved.mFormatFlags &= ~kAudioFormatFlagIsNonInterleaved;
    interleaved.mBytesPerFrame = interleaved.mBytesPerPacket = 8;
    EXPECT_EQ(mixer.setStreamFormat(kAudioUnitScope_Input, 0, interleaved), kAudioUnitErr_FormatNotSupported);
    AudioStreamBasicDescription mono = AudioUnitCanonicalFormat(1);
    EXPECT_EQ(mixer.setStreamFormat(kAudioUnitScope_Input, 0, mono), noErr);
    ASSERT_EQ(mixer.initialize(), noErr);
    EXPECT_EQ(mixer.channelCount(kAudioUnitScope_Input), 1u);
    EXPECT_EQ(mixer.setStreamFormat(kAudioUnitScope_Input, 0, AudioUnitCanonicalFormat(2)), kAudioUnitErr_Initialized);
    EXPECT_EQ(mixer.setElementCount(kAudioUnitScope_Input, 3), kAudioUnitErr_Initialized);
    EXPECT_EQ(mixer.setMaxFramesPerSlice(8192), kAudioUnitErr_Initialized);
    StereoBuffers out(16);
    AudioTimeStamp time = timeAt(0);
    EXPECT_EQ(mixer.render(nullptr, &time, 0, 4097, out.list()), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(mixer.render(nullptr, &time, 1, 16, out.list()), kAudioUnitErr_InvalidElement);
    mixer.uninitialize();
    EXPECT_EQ(mixer.render(nullptr, &time, 0, 16, out.list()), kAudioUnitErr_Uninitialized);
}
