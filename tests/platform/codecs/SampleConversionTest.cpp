#include "platform/codecs/SampleConversion.h"

#include <gtest/gtest.h>

#include <vector>

using namespace codecs;

namespace {

AudioStreamBasicDescription pcm(AudioFormatFlags flags, UInt32 bits, UInt32 bytes, UInt32 channels)
{
    AudioStreamBasicDescription d;
    d.mSampleRate = 44100;
    d.mFormatID = kAudioFormatLinearPCM;
    d.mFormatFlags = flags;
    d.mBitsPerChannel = bits;
    d.mChannelsPerFrame = channels;
    d.mFramesPerPacket = 1;
    const bool nonInterleaved = flags & kAudioFormatFlagIsNonInterleaved;
    d.mBytesPerFrame = d.mBytesPerPacket = bytes * (nonInterleaved ? 1 : channels);
    return d;
}

constexpr AudioFormatFlags kSigned = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
constexpr AudioFormatFlags kBig = kAudioFormatFlagIsBigEndian;

} // namespace

// The bytes one value becomes, per layout: sign, byte order, width, alignment, clipping.
TEST(SampleConversion, writesEachLayoutAsItsBytes)
{
    struct Case {
        const char* name;
        AudioFormatFlags flags;
        UInt32 bits, bytes;
        float value;
        std::vector<UInt8> expected;
    };
    const Case cases[] = {
        {"s16 little half", kSigned, 16, 2, 0.5f, {0x00, 0x40}},
        {"s16 big half", kSigned | kBig, 16, 2, 0.5f, {0x40, 0x00}},
        {"s16 clips at one", kSigned, 16, 2, 1.0f, {0xFF, 0x7F}},
        {"s16 minus one", kSigned, 16, 2, -1.0f, {0x00, 0x80}},
        {"u8 minus one", kAudioFormatFlagIsPacked, 8, 1, -1.0f, {0x00}},
        {"u8 zero", kAudioFormatFlagIsPacked, 8, 1, 0.0f, {0x80}},
        {"s24 big quarter", kSigned | kBig, 24, 3, -0.25f, {0xE0, 0x00, 0x00}},
        {"s32 little", kSigned, 32, 4, 0.5f, {0x00, 0x00, 0x00, 0x40}},
        {"s24 high in 32", kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsAlignedHigh, 24, 4, 0.5f,
         {0x00, 0x00, 0x00, 0x40}},
        {"s24 low in 32", kAudioFormatFlagIsSignedInteger, 24, 4, 0.5f, {0x00, 0x00, 0x40, 0x00}},
        {"f32 big", kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kBig, 32, 4, 1.0f, {0x3F, 0x80, 0x00, 0x00}},
        {"f64 little", kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked, 64, 8, -2.0f,
         {0, 0, 0, 0, 0, 0, 0x00, 0xC0}},
    };
    for (const Case& c : cases) {
        const AudioStreamBasicDescription format = pcm(c.flags, c.bits, c.bytes, 1);
        std::vector<UInt8> bytes(c.bytes);
        StackAudioBufferList<1> list;
        list.mBuffers[0] = {1, c.bytes, bytes.data()};
        const float* source[] = {&c.value};
        packPCM(format, source, 1, 0, 1, list.list(), 0);
        EXPECT_EQ(bytes, c.expected) << c.name;
        float back = 99;
        float* destination[] = {&back};
        unpackPCM(format, list.list(), 0, 1, destination, 1, 0);
        const float kept = (c.value >= 1.0f && !(c.flags & kAudioFormatFlagIsFloat)) ? 1.0f - 1.0f / 32768 : c.value;
        EXPECT_EQ(back, kept) << c.name;
    }
}

// Interleaved and non-interleaved lists keep channel and frame order.
TEST(SampleConversion, keepsChannelOrderInBothArrangements)
{
    const std::vector<float> left{0.25f, -0.5f, 0.125f}, right{-0.25f, 0.5f, 0.75f};
    const float* source[] = {left.data(), right.data()};
    for (AudioFormatFlags arrangement : {AudioFormatFlags(0), kAudioFormatFlagIsNonInterleaved}) {
        const AudioStreamBasicDescription format = pcm(kSigned | arrangement, 16, 2, 2);
        std::vector<UInt8> first(12), second(12);
        StackAudioBufferList<2> list;
        list.mNumberBuffers = arrangement ? 2 : 1;
        list.mBuffers[0] = {arrangement ? 1u : 2u, 12, first.data()};
        list.mBuffers[1] = {1, 12, second.data()};
        packPCM(format, source, 2, 0, 3, list.list(), 0);
        std::vector<float> backLeft(3), backRight(3);
        float* destination[] = {backLeft.data(), backRight.data()};
        unpackPCM(format, list.list(), 0, 3, destination, 2, 0);
        EXPECT_EQ(backLeft, left);
        EXPECT_EQ(backRight, right);
        if (!arrangement) { // frame by frame: L0 R0 L1 R1 ...
            EXPECT_EQ(std::vector<UInt8>(first.begin(), first.begin() + 4), (std::vector<UInt8>{0x00, 0x20, 0x00, 0xE0}));
        }
    }
}

TEST(SampleConversion, mixesDownByChannelParity)
{
    const std::vector<float> c0{1}, c1{2}, c2{4}, c3{8}, c4{16};
    const float* five[] = {c0.data(), c1.data(), c2.data(), c3.data(), c4.data()};
    float left = 0, right = 0;
    mixToStereo(five, 5, 1, &left, &right);
    EXPECT_EQ(left, 21.0f);
    EXPECT_EQ(right, 10.0f);
    mixToStereo(five, 1, 1, &left, &right);
    EXPECT_EQ(left, 1.0f);
    EXPECT_EQ(right, 1.0f);
}
