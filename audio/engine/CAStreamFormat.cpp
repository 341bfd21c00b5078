#include "audio/engine/CAStreamFormat.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// Appends formatted text to buffer while room remains.
template <typename... Args>
void append(char* buffer, size_t size, const char* format, Args... args)
{
    const size_t used = std::strlen(buffer);
    if (used + 1 >= size)
        return;
    std::snprintf(buffer + used, size - used, format, args...);
}

} // namespace

CAStreamFormat::CAStreamFormat(Float64 sampleRate, UInt32 formatID, UInt32 bytesPerPacket, UInt32 framesPerPacket,
                               UInt32 bytesPerFrame, UInt32 channelsPerFrame, UInt32 bitsPerChannel, UInt32 formatFlags)
{
    mSampleRate = sampleRate;
    mFormatID = formatID;
    mFormatFlags = formatFlags;
    mBytesPerPacket = bytesPerPacket;
    mFramesPerPacket = framesPerPacket;
    mBytesPerFrame = bytesPerFrame;
    mChannelsPerFrame = channelsPerFrame;
    mBitsPerChannel = bitsPerChannel;
    mReserved = 0;
}

void CAStreamFormat::Reset()
{
    const UInt32 reserved = mReserved;
    static_cast<AudioStreamBasicDescription&>(*this) = AudioStreamBasicDescription{};
    mReserved = reserved;
}

void CAStreamFormat::FillOutFormat(const AudioStreamBasicDescription& other)
{
    if (mSampleRate == 0.0) mSampleRate = other.mSampleRate;
    if (mFormatID == 0) mFormatID = other.mFormatID;
    if (mFormatFlags == 0) mFormatFlags = other.mFormatFlags;
    if (mBytesPerPacket == 0) mBytesPerPacket = other.mBytesPerPacket;
    if (mFramesPerPacket == 0) mFramesPerPacket = other.mFramesPerPacket;
    if (mBytesPerFrame == 0) mBytesPerFrame = other.mBytesPerFrame;
    if (mChannelsPerFrame == 0) mChannelsPerFrame = other.mChannelsPerFrame;
    if (mBitsPerChannel == 0) mBitsPerChannel = other.mBitsPerChannel;
}

void CAStreamFormat::NormalizeToCanonical()
{
    if (mFormatID != kAudioFormatLinearPCM || (mFormatFlags & kAudioFormatFlagIsNonMixable))
        return;
    mFormatFlags = kAudioFormatFlagsNativeFloatPacked;
    mBytesPerPacket = mBytesPerFrame = mChannelsPerFrame * 4;
    mFramesPerPacket = 1;
    mBitsPerChannel = 32;
}

UInt32 CAStreamFormat::SampleWordSize() const
{
    if (mBytesPerFrame == 0)
        return 0;
    if (!IsInterleaved())
        return mBytesPerFrame;
    return mChannelsPerFrame == 0 ? 0 : mBytesPerFrame / mChannelsPerFrame;
}

bool CAStreamFormat::IsEqual(const AudioStreamBasicDescription& other, bool interpretingWildcards) const
{
    if (interpretingWildcards)
        return IsEquivalent(*this, other);
    return mSampleRate == other.mSampleRate && mFormatID == other.mFormatID && mFormatFlags == other.mFormatFlags &&
           mBytesPerPacket == other.mBytesPerPacket && mFramesPerPacket == other.mFramesPerPacket &&
           mBytesPerFrame == other.mBytesPerFrame && mChannelsPerFrame == other.mChannelsPerFrame &&
           mBitsPerChannel == other.mBitsPerChannel;
}

namespace {

bool fieldMatches(UInt32 a, UInt32 b) { return a == 0 || b == 0 || a == b; }

void normaliseFlags(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b, UInt32& flagsA,
                    UInt32& flagsB)
{
    flagsA &= ~kAudioFormatFlagsAreAllClear;
    flagsB &= ~kAudioFormatFlagsAreAllClear;
    if ((flagsA & kAudioFormatFlagIsPacked) && (flagsB & kAudioFormatFlagIsPacked)) {
        flagsA &= ~kAudioFormatFlagIsAlignedHigh;
        flagsB &= ~kAudioFormatFlagIsAlignedHigh;
    }
    if ((flagsA & kAudioFormatFlagIsFloat) && (flagsB & kAudioFormatFlagIsFloat)) {
        flagsA &= ~kAudioFormatFlagIsSignedInteger;
        flagsB &= ~kAudioFormatFlagIsSignedInteger;
    }
    if (a.mBitsPerChannel < 9 && (flagsA & kAudioFormatFlagIsPacked))
        flagsA &= ~kAudioFormatFlagIsBigEndian;
    if (b.mBitsPerChannel < 9 && (flagsB & kAudioFormatFlagIsPacked))
        flagsB &= ~kAudioFormatFlagIsBigEndian;
    if (a.mChannelsPerFrame < 2 && b.mChannelsPerFrame < 2) {
        flagsA &= ~kAudioFormatFlagIsNonInterleaved;
        flagsB &= ~kAudioFormatFlagIsNonInterleaved;
    }
}

} // namespace

bool CAStreamFormat::IsEquivalent(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b)
{
    if (a.mSampleRate != 0.0 && b.mSampleRate != 0.0 && a.mSampleRate != b.mSampleRate)
        return false;
    if (!fieldMatches(a.mFormatID, b.mFormatID))
        return false;
    UInt32 flagsA = a.mFormatFlags, flagsB = b.mFormatFlags;
    if (a.mFormatID == kAudioFormatLinearPCM && b.mFormatID == kAudioFormatLinearPCM)
        normaliseFlags(a, b, flagsA, flagsB);
    return fieldMatches(flagsA, flagsB) && fieldMatches(a.mBytesPerPacket, b.mBytesPerPacket) &&
           fieldMatches(a.mFramesPerPacket, b.mFramesPerPacket) && fieldMatches(a.mBytesPerFrame, b.mBytesPerFrame) &&
           fieldMatches(a.mChannelsPerFrame, b.mChannelsPerFrame) && fieldMatches(a.mBitsPerChannel, b.mBitsPerChannel);
}

bool CAStreamFormat::IsLessThan(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b)
{
    if (a.mFormatID != 0 && b.mFormatID != 0 && a.mFormatID != b.mFormatID) {
        if (a.mFormatID == kAudioFormatLinearPCM)
            return true;
        if (b.mFormatID == kAudioFormatLinearPCM)
            return false;
        return a.mFormatID < b.mFormatID;
    }
    if (a.mFormatID == kAudioFormatLinearPCM && b.mFormatID == kAudioFormatLinearPCM) {
        const bool aMixable = !(a.mFormatFlags & kAudioFormatFlagIsNonMixable);
        const bool bMixable = !(b.mFormatFlags & kAudioFormatFlagIsNonMixable);
        if (aMixable != bMixable)
            return aMixable;
        const bool aFloat = a.mFormatFlags & kAudioFormatFlagIsFloat;
        const bool bFloat = b.mFormatFlags & kAudioFormatFlagIsFloat;
        if (aFloat != bFloat)
            return bFloat;
    }
    if (a.mBitsPerChannel && b.mBitsPerChannel && a.mBitsPerChannel != b.mBitsPerChannel)
        return a.mBitsPerChannel < b.mBitsPerChannel;
    if (a.mSampleRate != 0.0 && b.mSampleRate != 0.0 && a.mSampleRate != b.mSampleRate)
        return a.mSampleRate < b.mSampleRate;
    if (a.mChannelsPerFrame && b.mChannelsPerFrame && a.mChannelsPerFrame != b.mChannelsPerFrame)
        return a.mChannelsPerFrame < b.mChannelsPerFrame;
    return false;
}

bool CAStreamFormat::IsValid() const
{
    if (!(mSampleRate >= 0.0))
        return false;
    if (mBytesPerPacket > 999999 || mFramesPerPacket > 999999 || mBytesPerFrame > 999999)
        return false;
    if (mChannelsPerFrame > 1024 || mBitsPerChannel > 1024 || mFormatID == 0)
        return false;
    if (mFormatID == kAudioFormatLinearPCM && (mFramesPerPacket != 1 || mBytesPerPacket != mBytesPerFrame))
        return false;
    return true;
}

char* CAStreamFormat::FormatIDToText(UInt32 formatID, char* buffer, size_t size)
{
    const unsigned char bytes[4] = {UInt8(formatID >> 24), UInt8(formatID >> 16), UInt8(formatID >> 8), UInt8(formatID)};
    bool printable = true;
    for (unsigned char c : bytes)
        printable = printable && std::isprint(c) && c != '\\';
    if (printable)
        std::snprintf(buffer, size, "'%c%c%c%c'", bytes[0], bytes[1], bytes[2], bytes[3]);
    else
        std::snprintf(buffer, size, "0x%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2], bytes[3]);
    return buffer;
}

char* CAStreamFormat::AsString(char* buffer, size_t size) const
{
    if (size == 0)
        return buffer;
    buffer[0] = 0;
    char formatID[20];
    FormatIDToText(mFormatID, formatID, sizeof formatID);
    append(buffer, size, "%2d ch, %6.0f Hz, %s (0x%08X) ", int(mChannelsPerFrame), mSampleRate, formatID,
           unsigned(mFormatFlags));
    if (mFormatID == kAudioFormatAppleLossless) {
        int sourceBits = 0;
        switch (mFormatFlags) {
        case kAppleLosslessFormatFlag_16BitSourceData: sourceBits = 16; break;
        case kAppleLosslessFormatFlag_20BitSourceData: sourceBits = 20; break;
        case kAppleLosslessFormatFlag_24BitSourceData: sourceBits = 24; break;
        case kAppleLosslessFormatFlag_32BitSourceData: sourceBits = 32; break;
        default: break;
        }
        if (sourceBits)
            append(buffer, size, "from %d-bit source, ", sourceBits);
        else
            append(buffer, size, "from UNKNOWN source bit depth, ");
        append(buffer, size, "%d frames/packet", int(mFramesPerPacket));
        return buffer;
    }
    if (mFormatID != kAudioFormatLinearPCM) {
        append(buffer, size, "%d bits/channel, %d bytes/packet, %d frames/packet, %d bytes/frame", int(mBitsPerChannel),
               int(mBytesPerPacket), int(mFramesPerPacket), int(mBytesPerFrame));
        return buffer;
    }

    const UInt32 wordSize = SampleWordSize();
    const UInt32 fractionBits = (mFormatFlags & kLinearPCMFormatFlagsSampleFractionMask) >>
                                kLinearPCMFormatFlagsSampleFractionShift;
    char bitDepth[20];
    if (fractionBits)
        std::snprintf(bitDepth, sizeof bitDepth, "%d.%d", int(mBitsPerChannel - fractionBits), int(fractionBits));
    else
        std::snprintf(bitDepth, sizeof bitDepth, "%d", int(mBitsPerChannel));
    const bool isFloat = mFormatFlags & kAudioFormatFlagIsFloat;
    const char* endian = wordSize >= 2 ? ((mFormatFlags & kAudioFormatFlagIsBigEndian) ? " big-endian" : " little-endian") : "";
    const char* sign = isFloat ? "" : ((mFormatFlags & kAudioFormatFlagIsSignedInteger) ? " signed" : " unsigned");
    const char* kind = isFloat ? "float" : "integer";
    char packing[40] = "";
    const char* alignment = "";
    if (wordSize > 0 && mBitsPerChannel != wordSize * 8) {
        std::snprintf(packing, sizeof packing, "%s in %d bytes",
                      (mFormatFlags & kAudioFormatFlagIsPacked) ? "packed" : "unpacked", int(wordSize));
        alignment = (mFormatFlags & kAudioFormatFlagIsAlignedHigh) ? " high-aligned" : " low-aligned";
    }
    const char* separator = packing[0] || alignment[0] ? ", " : "";
    const char* deinterleaved = (mFormatFlags & kAudioFormatFlagIsNonInterleaved) ? ", deinterleaved" : "";
    append(buffer, size, "%s-bit%s%s %s%s%s%s%s", bitDepth, endian, sign, kind, separator, packing, alignment,
           deinterleaved);
    return buffer;
}

char* CAStreamFormat::GetSimpleName(char* buffer, size_t size, bool abbreviate) const
{
    if (size == 0)
        return buffer;
    buffer[0] = 0;
    if (mFormatID == kAudioFormatAC3) {
        std::snprintf(buffer, size, "AC-3");
        return buffer;
    }
    if (mFormatID == kAudioFormat60958AC3) {
        std::snprintf(buffer, size, "AC-3 for SPDIF");
        return buffer;
    }
    if (mFormatID != kAudioFormatLinearPCM) {
        std::snprintf(buffer, size, "%c%c%c%c", char(mFormatID >> 24), char(mFormatID >> 16), char(mFormatID >> 8),
                      char(mFormatID));
        return buffer;
    }
    const char* mixable = (mFormatFlags & kAudioFormatFlagIsNonMixable) ? "Unmixable" : "Mixable";
    const int channels = int(mChannelsPerFrame);
    const int bits = int(mBitsPerChannel);
    const char* type;
    if (mFormatFlags & kAudioFormatFlagIsFloat)
        type = abbreviate ? "Float" : "Floating Point";
    else if (mFormatFlags & kAudioFormatFlagIsSignedInteger)
        type = abbreviate ? "SInt" : "Signed Integer";
    else
        type = abbreviate ? "UInt" : "Unsigned Integer";
    const bool bigEndian = mFormatFlags & kAudioFormatFlagIsBigEndian;
    const bool packed = mFormatFlags & kAudioFormatFlagIsPacked;
    const char* alignment = (mFormatFlags & kAudioFormatFlagIsAlignedHigh) ? "High" : "Low";
    const int wordBits = channels ? int(mBytesPerFrame) / channels * 8 : 0;

    if (!abbreviate) {
        if (packed) {
            if (bigEndian)
                std::snprintf(buffer, size, "%s %d Channel %d Bit %s %s", mixable, channels, bits, "Big Endian", type);
            else
                std::snprintf(buffer, size, "%s %d Channel %d Bit %s", mixable, channels, bits, type);
        } else if (bigEndian) {
            std::snprintf(buffer, size, "%s %d Channel %d Bit %s %s Aligned %s in %d Bits", mixable, channels, bits,
                          "Big Endian", type, alignment, wordBits);
        } else {
            std::snprintf(buffer, size, "%s %d Channel %d Bit %s Aligned %s in %d Bits", mixable, channels, bits, type,
                          alignment, wordBits);
        }
    } else if (packed) {
        if (bigEndian)
            std::snprintf(buffer, size, "%s %d Ch %s %s%d", mixable, channels, "Big Endian", type, bits);
        else
            std::snprintf(buffer, size, "%s %d Ch %s%d", mixable, channels, type, bits);
    } else if (bigEndian) {
        std::snprintf(buffer, size, "%s %d Ch %s %s %s%d/%s%d", mixable, channels, "Big Endian", alignment, type, bits,
                      type, wordBits);
    } else {
        std::snprintf(buffer, size, "%s %d Ch %s %s%d/%s%d", mixable, channels, alignment, type, bits, type, wordBits);
    }
    return buffer;
}
