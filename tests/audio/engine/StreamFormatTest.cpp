#include "audio/engine/CAStreamFormat.h"
#include "audio/engine/ZEPCanonicalFormats.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CAStreamFormat pcm(Float64 rate, UInt32 channels, UInt32 bits, UInt32 bytesPerFrame, UInt32 flags)
{
    return CAStreamFormat(rate, kAudioFormatLinearPCM, bytesPerFrame, 1, bytesPerFrame, channels, bits, flags);
}

std::string printed(const CAStreamFormat& format)
{
    char text[256];
    return format.AsString(text, sizeof text);
}

std::string named(const CAStreamFormat& format, bool abbreviate)
{
    char text[256];
    return format.GetSimpleName(text, sizeof text, abbreviate);
}

constexpr UInt32 kFloat = kAudioFormatFlagIsFloat, kBig = kAudioFormatFlagIsBigEndian,
                 kSigned = kAudioFormatFlagIsSignedInteger, kPacked = kAudioFormatFlagIsPacked,
                 kHigh = kAudioFormatFlagIsAlignedHigh, kNonInterleaved = kAudioFormatFlagIsNonInterleaved,
                 kNonMixable = kAudioFormatFlagIsNonMixable;

} // namespace

TEST(CanonicalFormats, FillTheFloatFamily)
{
    AudioStreamBasicDescription nonInterleaved, interleaved;
    ZEPCanonicalFloatASBD(&nonInterleaved, 2, true);
    ZEPCanonicalFloatASBD(&interleaved, 2, false);
    const struct {
        const AudioStreamBasicDescription& format;
        UInt32 flags, bytes;
    } cases[] = {{nonInterleaved, 41, 4}, {interleaved, 9, 8}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.format.mSampleRate, 44100.0);
        EXPECT_EQ(c.format.mFormatID, FourCC("lpcm"));
        EXPECT_EQ(c.format.mFormatFlags, c.flags);
        EXPECT_EQ(c.format.mBytesPerPacket, c.bytes);
        EXPECT_EQ(c.format.mFramesPerPacket, 1u);
        EXPECT_EQ(c.format.mBytesPerFrame, c.bytes);
        EXPECT_EQ(c.format.mChannelsPerFrame, 2u);
        EXPECT_EQ(c.format.mBitsPerChannel, 32u);
        EXPECT_EQ(c.format.mReserved, 0u);
    }
    EXPECT_TRUE(CAStreamFormat(ZEPPlaybackFormat()).IsEqual(nonInterleaved));
}

TEST(StreamFormat, PrintsItsDescription)
{
    const struct {
        CAStreamFormat format;
        const char* text;
    } cases[] = {
        {pcm(44100, 2, 16, 4, kBig | kSigned | kPacked),
         " 2 ch,  44100 Hz, 'lpcm' (0x0000000E) 16-bit big-endian signed integer"},
        {ZEPPlaybackFormat(), " 2 ch,  44100 Hz, 'lpcm' (0x00000029) 32-bit little-endian float, deinterleaved"},
        {pcm(48000, 2, 24, 8, kSigned | kHigh),
         " 2 ch,  48000 Hz, 'lpcm' (0x00000014) 24-bit little-endian signed integer, unpacked in 4 bytes high-aligned"},
        {pcm(22050, 1, 8, 1, kPacked), " 1 ch,  22050 Hz, 'lpcm' (0x00000008) 8-bit unsigned integer"},
        {pcm(44100, 2, 32, 8, kSigned | kPacked | (8u << 7)),
         " 2 ch,  44100 Hz, 'lpcm' (0x0000040C) 24.8-bit little-endian signed integer"},
        {CAStreamFormat(44100, kAudioFormatAppleLossless, 0, 4096, 0, 2, 0, 1),
         " 2 ch,  44100 Hz, 'alac' (0x00000001) from 16-bit source, 4096 frames/packet"},
        {CAStreamFormat(44100, kAudioFormatAppleLossless, 0, 4096, 0, 2, 0, 9),
         " 2 ch,  44100 Hz, 'alac' (0x00000009) from UNKNOWN source bit depth, 4096 frames/packet"},
        {CAStreamFormat(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 2, 0, 0),
         " 2 ch,  44100 Hz, 'aac ' (0x00000000) 0 bits/channel, 0 bytes/packet, 1024 frames/packet, 0 bytes/frame"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printed(c.format), c.text);
}

TEST(StreamFormat, FormatIdTextQuotesPrintableCodesOnly)
{
    char text[20];
    EXPECT_STREQ(CAStreamFormat::FormatIDToText(FourCC("lpcm"), text, sizeof text), "'lpcm'");
    EXPECT_STREQ(CAStreamFormat::FormatIDToText(0x6C70000D, text, sizeof text), "0x6C70000D");
    EXPECT_STREQ(CAStreamFormat::FormatIDToText(0x615C6263, text, sizeof text), "0x615C6263"); // a backslash
}

TEST(StreamFormat, SimpleNames)
{
    const struct {
        CAStreamFormat format;
        const char* full;
        const char* abbreviated;
    } cases[] = {
        {pcm(44100, 2, 32, 8, kFloat | kPacked), "Mixable 2 Channel 32 Bit Floating Point", "Mixable 2 Ch Float32"},
        {pcm(44100, 2, 16, 4, kBig | kSigned | kPacked), "Mixable 2 Channel 16 Bit Big Endian Signed Integer",
         "Mixable 2 Ch Big Endian SInt16"},
        {pcm(44100, 2, 24, 8, kSigned | kHigh), "Mixable 2 Channel 24 Bit Signed Integer Aligned High in 32 Bits",
         "Mixable 2 Ch High SInt24/SInt32"},
        {pcm(44100, 1, 20, 4, kBig | kNonMixable), "Unmixable 1 Channel 20 Bit Big Endian Unsigned Integer Aligned Low in 32 Bits",
         "Unmixable 1 Ch Big Endian Low UInt20/UInt32"},
        {CAStreamFormat(48000, kAudioFormatAC3, 0, 1536, 0, 6, 0, 0), "AC-3", "AC-3"},
        {CAStreamFormat(48000, kAudioFormat60958AC3, 0, 1536, 0, 2, 0, 0), "AC-3 for SPDIF", "AC-3 for SPDIF"},
        {CAStreamFormat(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 2, 0, 0), "aac ", "aac "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(named(c.format, false), c.full);
        EXPECT_EQ(named(c.format, true), c.abbreviated);
    }
}

TEST(StreamFormat, EquivalenceWithWildcardsAndNormalisedFlags)
{
    const CAStreamFormat stereoFloat = pcm(44100, 2, 32, 8, kFloat | kPacked);
    const struct {
        const char* name;
        CAStreamFormat a, b;
        bool equivalent;
    } cases[] = {
        {"identical", stereoFloat, stereoFloat, true},
        {"zero sample rate is a wildcard", stereoFloat, pcm(0, 2, 32, 8, kFloat | kPacked), true},
        {"zero channels is a wildcard", stereoFloat, pcm(44100, 0, 32, 8, kFloat | kPacked), true},
        {"rates differ", stereoFloat, pcm(48000, 2, 32, 8, kFloat | kPacked), false},
        {"float drops signed", stereoFloat, pcm(44100, 2, 32, 8, kFloat | kPacked | kSigned), true},
        {"packed drops high-aligned", pcm(44100, 2, 16, 4, kSigned | kPacked),
         pcm(44100, 2, 16, 4, kSigned | kPacked | kHigh), true},
        {"8-bit packed drops big-endian", pcm(44100, 2, 8, 2, kPacked), pcm(44100, 2, 8, 2, kPacked | kBig), true},
        {"mono drops non-interleaved", pcm(44100, 1, 32, 4, kFloat | kPacked),
         pcm(44100, 1, 32, 4, kFloat | kPacked | kNonInterleaved), true},
        {"stereo keeps non-interleaved", stereoFloat, pcm(44100, 2, 32, 4, kFloat | kPacked | kNonInterleaved), false},
        {"16-bit keeps big-endian", pcm(44100, 2, 16, 4, kSigned | kPacked), pcm(44100, 2, 16, 4, kSigned | kPacked | kBig),
         false},
        {"format IDs differ", stereoFloat, CAStreamFormat(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 2, 0, 0), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CAStreamFormat::IsEquivalent(c.a, c.b), c.equivalent);
        EXPECT_EQ(c.a.IsEqual(c.b, true), c.equivalent);
    }
    CAStreamFormat reserved = stereoFloat;
    reserved.mReserved = 7;
    EXPECT_TRUE(reserved.IsEqual(stereoFloat)); // the reserved word is ignored
}

TEST(StreamFormat, OrderingAndValidity)
{
    const CAStreamFormat floatFormat = pcm(44100, 2, 32, 8, kFloat | kPacked);
    const CAStreamFormat intFormat = pcm(44100, 2, 32, 8, kSigned | kPacked);
    const CAStreamFormat aac(44100, kAudioFormatMPEG4AAC, 0, 1024, 0, 2, 0, 0);
    EXPECT_TRUE(floatFormat < aac);
    EXPECT_FALSE(aac < floatFormat);
    EXPECT_TRUE(intFormat < floatFormat);
    EXPECT_FALSE(floatFormat < intFormat);
    EXPECT_TRUE(floatFormat < pcm(44100, 2, 32, 8, kFloat | kPacked | kNonMixable));
    EXPECT_TRUE(pcm(44100, 2, 16, 4, kSigned | kPacked) < intFormat);
    EXPECT_TRUE(pcm(22050, 2, 32, 8, kFloat | kPacked) < floatFormat);
    EXPECT_TRUE(pcm(44100, 1, 32, 4, kFloat | kPacked) < floatFormat);
    EXPECT_FALSE(floatFormat < floatFormat);

    EXPECT_TRUE(floatFormat.IsValid());
    EXPECT_TRUE(aac.IsValid());
    EXPECT_FALSE(CAStreamFormat().IsValid());                          // no format ID
    EXPECT_FALSE(CAStreamFormat(44100, kAudioFormatLinearPCM, 16, 2, 8, 2, 32, kFloat).IsValid()); // 2 frames per packet
    EXPECT_FALSE(pcm(-1, 2, 32, 8, kFloat).IsValid());
    EXPECT_FALSE(pcm(44100, 2000, 32, 8, kFloat).IsValid());

    CAStreamFormat canonical = pcm(48000, 6, 16, 12, kSigned | kPacked);
    canonical.NormalizeToCanonical();
    EXPECT_TRUE(canonical.IsEqual(pcm(48000, 6, 32, 24, kFloat | kPacked)));
    CAStreamFormat filled;
    filled.mChannelsPerFrame = 1;
    filled.FillOutFormat(floatFormat);
    EXPECT_EQ(filled.mChannelsPerFrame, 1u);
    EXPECT_EQ(filled.mSampleRate, 44100.0);
}
