// The callback-style sources: bridges both ways, their matrix mixer and the file source.
#include "audio/engine/ZEPAudioSourceBridge.h"
#include "audio/engine/ZEPAudio_File.h"
#include "audio/engine/ZEPAudio_MatrixMixer.h"
#include "audio/engine/ZEPAudio_SourceBridge.h"

#include "TestProducers.h"
#include "platform/codecs/AudioFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace enginetest;
using namespace clipdeck::test;

TEST(CaptureFamily, BridgedSourcesMixThroughTheMatrixMixerAndBackOut)
{
    auto first = std::make_shared<FunctionSource>(constant(0.25f, 0.5f));
    auto second = std::make_shared<FunctionSource>(constant(0.125f, -1.0f));
    ZEPAudio_SourceBridge bridgeA, bridgeB;
    bridgeA.SetSource(first);
    bridgeB.SetSource(second);

    ZEPAudio_MatrixMixer mixer;
    ASSERT_EQ(mixer.SetUp(2, 1), noErr);
    ASSERT_EQ(mixer.SetSourceForBus(&bridgeA, 0), noErr);
    ASSERT_EQ(mixer.SetSourceForBus(&bridgeB, 1), noErr);
    ASSERT_EQ(mixer.Initialize(), noErr);
    EXPECT_EQ(mixer.ChannelCount(kAudioUnitScope_Input), 4u);
    EXPECT_EQ(mixer.FirstChannelOfBus(1), 2u);
    // Each bus's channels go to the output channels of the same number, and nowhere else.
    EXPECT_EQ(mixer.GetCrosspointVolumes(), (std::vector<Float32>{1, 0, 0, 1, 1, 0, 0, 1}));
    UInt32 bus = 99;
    EXPECT_EQ(mixer.BusForSource(&bridgeB, &bus), noErr);
    EXPECT_EQ(bus, 1u);
    ZEPAudio_SourceBridge absent;
    EXPECT_EQ(mixer.BusForSource(&absent, &bus), kZEPAudio_NotAnInputError);

    ZEPAudioSourceBridge out;
    out.setAudioSource(&mixer);
    out.setBus(0);
    Buffers buffers(256, 2);
    UInt32 frames = 256;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    ASSERT_EQ(out.renderFrames(&frames, buffers.list(), &flags, &time, nullptr), noErr);
    EXPECT_FLOAT_EQ(buffers.samples[0][100], 0.375f);
    EXPECT_FLOAT_EQ(buffers.samples[1][100], -0.5f);

    mixer.SetCrosspointVolume(0.0f, 2, 0); // the second source's left channel leaves the mix
    mixer.SetBusEnabled(true, 1);
    time.mSampleTime = 256;
    ASSERT_EQ(out.renderFrames(&frames, buffers.list(), &flags, &time, nullptr), noErr);
    EXPECT_FLOAT_EQ(buffers.samples[0][100], 0.25f);
    EXPECT_EQ(out.framesAvailable(), -1);
}

TEST(CaptureFamily, AFileSourceReadsSeeksAndFillsPastItsEndWithSilence)
{
    TempFolder folder;
    const QString path = folder.file("tone.wav");
    ASSERT_TRUE(makeFixture(path, "sine=frequency=441", 1000, 2, {"-c:a", "pcm_f32le"}));
    ZEPAudio_File file;
    ASSERT_EQ(file.Open(path), noErr);
    EXPECT_EQ(file.GetLengthFrames(), 1000);
    EXPECT_EQ(file.SetMaxRequestFrames(512), kZEPAudio_CannotSetMaxRequestError);
    AudioStreamBasicDescription description;
    ASSERT_EQ(file.GetDescription(&description), noErr);
    EXPECT_EQ(description.mSampleRate, 44100.0);

    Buffers buffers(600, 2);
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp time;
    ASSERT_EQ(file.Seek(900), noErr);
    EXPECT_EQ(file.Tell(), 900);
    file.Render(&flags, &time, 0, 600, buffers.list());
    EXPECT_NE(buffers.samples[0][30], 0.0f);
    EXPECT_EQ(buffers.samples[0][100], 0.0f); // past the end
    EXPECT_EQ(buffers.samples[1][599], 0.0f);
    EXPECT_EQ(buffers.list()->mBuffers[0].mDataByteSize, 2400u);

    ZEPAudio_File unopened;
    EXPECT_NE(unopened.GetDescription(&description), noErr);
}
