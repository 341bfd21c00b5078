#include "platform/audiounits/FormatConverterUnit.h"
#include "platform/audiounits/LinearPCMConversion.h"
#include "platform/audiounits/VarispeedUnit.h"

#include "UnitTestSignals.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>

using namespace unittest;

namespace {

// Noise on every channel, remembered so output can be compared with it; records the
// sample time of each pull.
struct NoiseInput {
    std::mt19937 random{7};
    std::vector<std::vector<Float32>> produced{2};
    std::vector<Float64> pullTimes;

    static OSStatus render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* time, UInt32,
                           UInt32 frames, AudioBufferList* ioData)
    {
        auto* self = static_cast<NoiseInput*>(refCon);
        self->pullTimes.push_back(time->mSampleTime);
        std::uniform_real_distribution<Float32> noise(-1.0f, 1.0f);
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            auto* samples = static_cast<Float32*>(ioData->mBuffers[b].mData);
            for (UInt32 i = 0; i < frames; ++i) {
                samples[i] = noise(self->random);
                self->produced[b].push_back(samples[i]);
            }
            ioData->mBuffers[b].mDataByteSize = frames * 4;
        }
        return noErr;
    }
    AURenderCallbackStruct callback() { return {&NoiseInput::render, this}; }
};

// Renders slices of frames from unit, appending channel 0 to out.
void renderSlices(AudioUnit& unit, int slices, UInt32 frames, std::vector<Float32>* out = nullptr)
{
    StereoBuffers buffers(frames);
    static Float64 sampleTime = 0;
    for (int s = 0; s < slices; ++s) {
        AudioUnitRenderActionFlags flags = 0;
        AudioTimeStamp time = timeAt(sampleTime);
        sampleTime += frames;
        ASSERT_EQ(unit.render(&flags, &time, 0, frames, buffers.list()), noErr);
        ASSERT_EQ(buffers.list()->mBuffers[0].mDataByteSize, frames * 4);
        if (out)
            out->insert(out->end(), buffers.samples[0].begin(), buffers.samples[0].begin() + frames);
    }
}

} // namespace

TEST(VarispeedUnit, RateOnePassesInputThroughBitExactAndOtherRatesConsumeInputAtThatRate)
{
    VarispeedUnit varispeed;
    NoiseInput input;
    varispeed.setRenderCallback(0, input.callback());
    ASSERT_EQ(varispeed.initialize(), noErr);

    std::vector<Float32> out;
    renderSlices(varispeed, 20, 512, &out);
    ASSERT_EQ(out.size(), input.produced[0].size());
    EXPECT_EQ(std::memcmp(out.data(), input.produced[0].data(), out.size() * 4), 0);

    const UInt32 before = UInt32(input.produced[0].size());
    ASSERT_EQ(varispeed.setParameter(kVarispeedParam_PlaybackRate, kAudioUnitScope_Global, 0, 1.25f), noErr);
    renderSlices(varispeed, 40, 512);
    const Float64 consumed = Float64(input.produced[0].size() - before);
    EXPECT_NEAR(consumed / (40 * 512), 1.25, 0.01);
    for (size_t i = 1; i < input.pullTimes.size(); ++i)
        ASSERT_LT(input.pullTimes[i - 1], input.pullTimes[i]) << "input time stamps count input frames";

    AudioUnitParameterValue cents = 0;
    varispeed.getParameter(kVarispeedParam_PlaybackCents, kAudioUnitScope_Global, 0, &cents);
    EXPECT_NEAR(cents, 1200 * std::log2(1.25), 0.01);
    varispeed.setParameter(kVarispeedParam_PlaybackCents, kAudioUnitScope_Global, 0, 0.0f);
    varispeed.reset();
    out.clear();
    const size_t start = input.produced[1].size();
    renderSlices(varispeed, 4, 300, &out);
    EXPECT_EQ(std::memcmp(out.data(), input.produced[0].data() + start, out.size() * 4), 0)
        << "back at rate 1 after a reset: bit-exact again from the next input frame";
}

TEST(FormatConverterUnit, ConvertsSampleTypeLayoutAndRate)
{
    FormatConverterUnit converter;
    // Input: 16-bit big-endian signed interleaved stereo at 48000 Hz.
    AudioStreamBasicDescription in;
    in.mSampleRate = 48000;
    in.mFormatID = kAudioFormatLinearPCM;
    in.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsPacked;
    in.mBytesPerPacket = in.mBytesPerFrame = 4;
    in.mFramesPerPacket = 1;
    in.mChannelsPerFrame = 2;
    in.mBitsPerChannel = 16;
    ASSERT_EQ(converter.setStreamFormat(kAudioUnitScope_Input, 0, in), noErr);

    struct BigEndianRamp {
        UInt32 framesPulled = 0;
        static OSStatus render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                               UInt32 frames, AudioBufferList* ioData)
        {
            auto* self = static_cast<BigEndianRamp*>(refCon);
            auto* bytes = static_cast<UInt8*>(ioData->mBuffers[0].mData);
            for (UInt32 i = 0; i < frames * 2; ++i) {
                const UInt16 value = UInt16(SInt16(i % 2 == 0 ? 16384 : -8192)); // 0.5 left, -0.25 right
                bytes[2 * i] = UInt8(value >> 8);
                bytes[2 * i + 1] = UInt8(value);
            }
            self->framesPulled += frames;
            return noErr;
        }
    } ramp;
    converter.setRenderCallback(0, {&BigEndianRamp::render, &ramp});
    ASSERT_EQ(converter.initialize(), noErr);

    StereoBuffers out(441);
    AudioTimeStamp time = timeAt(0);
    for (int slice = 0; slice < 100; ++slice) {
        ASSERT_EQ(converter.render(nullptr, &time, 0, 441, out.list()), noErr);
        time.mSampleTime += 441;
    }
    EXPECT_NEAR(Float64(ramp.framesPulled), 48000.0, 64.0) << "one second of output takes one second of input";
    EXPECT_NEAR(out.samples[0][200], 0.5f, 1e-3);
    EXPECT_NEAR(out.samples[1][200], -0.25f, 1e-3);

    FormatConverterUnit mismatched;
    mismatched.setStreamFormat(kAudioUnitScope_Input, 0, AudioUnitCanonicalFormat(1));
    EXPECT_EQ(mismatched.initialize(), kAudioUnitErr_FormatNotSupported) << "channel counts must match";
}

TEST(LinearPCMConversion, EveryAcceptedSampleTypeRoundTripsWithinItsResolution)
{
    struct Case {
        const char* name;
        AudioFormatFlags flags;
        UInt32 bits;
        Float32 tolerance;
    };
    const AudioFormatFlags packed = kAudioFormatFlagIsPacked;
    const Case cases[] = {
        {"8-bit unsigned", packed, 8, 1.0f / 128},
        {"16-bit big-endian", packed | kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian, 16, 1.0f / 32768},
        {"24-bit", packed | kAudioFormatFlagIsSignedInteger, 24, 1.0f / 8388608},
        {"32-bit", packed | kAudioFormatFlagIsSignedInteger, 32, 1e-7f},
        {"64-bit float big-endian", packed | kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian, 64, 0.0f},
    };
    const Float32 values[] = {-1.0f, -0.5f, 0.0f, 0.25f, 0.75f, 0.999f, -0.001f, 1.5f};
    const UInt32 frames = sizeof values / sizeof values[0];
    for (const Case& c : cases) {
        for (bool nonInterleaved : {false, true}) {
            AudioStreamBasicDescription format;
            format.mSampleRate = 44100;
            format.mFormatID = kAudioFormatLinearPCM;
            format.mFormatFlags = c.flags | (nonInterleaved ? kAudioFormatFlagIsNonInterleaved : 0);
            format.mChannelsPerFrame = 2;
            format.mBitsPerChannel = c.bits;
            format.mFramesPerPacket = 1;
            format.mBytesPerFrame = format.mBytesPerPacket = c.bits / 8 * (nonInterleaved ? 1 : 2);
            std::vector<UInt8> storage(frames * 2 * 8);
            StackAudioBufferList<2> list;
            list.mNumberBuffers = nonInterleaved ? 2 : 1;
            for (UInt32 b = 0; b < list.mNumberBuffers; ++b)
                list.mBuffers[b] = AudioBuffer{nonInterleaved ? 1u : 2u, frames * format.mBytesPerFrame,
                                               storage.data() + b * frames * 8};
            std::vector<Float32> in;
            for (Float32 v : values)
                in.insert(in.end(), {v, -v});
            std::vector<Float32> out(in.size());
            LinearPCMFromInterleavedFloat(format, in.data(), frames, list.list(), 0);
            LinearPCMToInterleavedFloat(format, list.list(), 0, frames, out.data());
            for (size_t i = 0; i < in.size(); ++i) {
                const bool isFloat = c.flags & kAudioFormatFlagIsFloat;
                const Float32 expected = isFloat ? in[i] : std::clamp(in[i], -1.0f, 1.0f); // integers clip
                EXPECT_NEAR(out[i], expected, c.tolerance + 1e-7f) << c.name << (nonInterleaved ? " NI " : " ") << i;
            }
        }
    }
}
