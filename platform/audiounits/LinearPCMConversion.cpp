#include "platform/audiounits/LinearPCMConversion.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

struct Layout {
    UInt32 channels;
    UInt32 bytesPerSample;
    bool nonInterleaved;
    bool isFloat;
    bool isSigned;
    bool swap; // stored in the other byte order than this machine's
};

Layout layoutOf(const AudioStreamBasicDescription& format)
{
    const bool bigEndian = format.mFormatFlags & kAudioFormatFlagIsBigEndian;
    return Layout{format.mChannelsPerFrame,
                  format.mBitsPerChannel / 8,
                  bool(format.mFormatFlags & kAudioFormatFlagIsNonInterleaved),
                  bool(format.mFormatFlags & kAudioFormatFlagIsFloat),
                  bool(format.mFormatFlags & kAudioFormatFlagIsSignedInteger),
                  bigEndian != (std::endian::native == std::endian::big)};
}

// The bytes of sample (frame, channel) in list.
UInt8* sampleAt(const Layout& layout, const AudioBufferList* list, UInt32 frame, UInt32 channel)
{
    if (layout.nonInterleaved)
        return static_cast<UInt8*>(list->mBuffers[channel].mData) + size_t(frame) * layout.bytesPerSample;
    return static_cast<UInt8*>(list->mBuffers[0].mData) +
           (size_t(frame) * layout.channels + channel) * layout.bytesPerSample;
}

void readBytes(const UInt8* source, UInt8* bytes, UInt32 count, bool swap)
{
    for (UInt32 i = 0; i < count; ++i)
        bytes[i] = source[swap ? count - 1 - i : i];
}

void writeBytes(UInt8* destination, const UInt8* bytes, UInt32 count, bool swap)
{
    for (UInt32 i = 0; i < count; ++i)
        destination[swap ? count - 1 - i : i] = bytes[i];
}

Float32 readSample(const Layout& layout, const UInt8* source)
{
    UInt8 bytes[8] = {};
    readBytes(source, bytes, layout.bytesPerSample, layout.swap);
    if (layout.isFloat) {
        if (layout.bytesPerSample == 8) {
            Float64 value;
            std::memcpy(&value, bytes, 8);
            return Float32(value);
        }
        Float32 value;
        std::memcpy(&value, bytes, 4);
        return value;
    }
    // Gather the integer into the top of 32 bits (little-endian order in bytes now).
    UInt32 word = 0;
    for (UInt32 i = 0; i < layout.bytesPerSample; ++i)
        word |= UInt32(bytes[i]) << (8 * (4 - layout.bytesPerSample + i));
    if (!layout.isSigned)
        word ^= 0x80000000u;
    return Float32(Float64(SInt32(word)) / 2147483648.0);
}

void writeSample(const Layout& layout, Float32 value, UInt8* destination)
{
    UInt8 bytes[8] = {};
    if (layout.isFloat) {
        if (layout.bytesPerSample == 8) {
            const Float64 wide = value;
            std::memcpy(bytes, &wide, 8);
        } else {
            std::memcpy(bytes, &value, 4);
        }
    } else {
        const UInt32 shift = 8 * (4 - layout.bytesPerSample);
        const Float64 fullScale = Float64(1u << (31 - shift));
        const Float64 scaled = std::nearbyint(Float64(value) * fullScale);
        const SInt32 clipped = SInt32(std::clamp(scaled, -fullScale, fullScale - 1.0));
        UInt32 word = UInt32(clipped) << shift;
        if (!layout.isSigned)
            word ^= 0x80000000u;
        for (UInt32 i = 0; i < layout.bytesPerSample; ++i)
            bytes[i] = UInt8(word >> (8 * (4 - layout.bytesPerSample + i)));
    }
    writeBytes(destination, bytes, layout.bytesPerSample, layout.swap);
}

} // namespace

void LinearPCMToInterleavedFloat(const AudioStreamBasicDescription& format, const AudioBufferList* list,
                                 UInt32 frameOffset, UInt32 frames, Float32* out)
{
    const Layout layout = layoutOf(format);
    if (layout.isFloat && layout.bytesPerSample == 4 && !layout.swap) {
        for (UInt32 c = 0; c < layout.channels; ++c) {
            if (!layout.nonInterleaved) {
                std::memcpy(out, sampleAt(layout, list, frameOffset, 0), size_t(frames) * layout.channels * 4);
                return;
            }
            const Float32* source = reinterpret_cast<const Float32*>(sampleAt(layout, list, frameOffset, c));
            for (UInt32 f = 0; f < frames; ++f)
                out[f * layout.channels + c] = source[f];
        }
        return;
    }
    for (UInt32 f = 0; f < frames; ++f) {
        for (UInt32 c = 0; c < layout.channels; ++c)
            out[f * layout.channels + c] = readSample(layout, sampleAt(layout, list, frameOffset + f, c));
    }
}

void LinearPCMFromInterleavedFloat(const AudioStreamBasicDescription& format, const Float32* in, UInt32 frames,
                                   AudioBufferList* list, UInt32 frameOffset)
{
    const Layout layout = layoutOf(format);
    if (layout.isFloat && layout.bytesPerSample == 4 && !layout.swap) {
        for (UInt32 c = 0; c < layout.channels; ++c) {
            if (!layout.nonInterleaved) {
                std::memcpy(sampleAt(layout, list, frameOffset, 0), in, size_t(frames) * layout.channels * 4);
                return;
            }
            Float32* destination = reinterpret_cast<Float32*>(sampleAt(layout, list, frameOffset, c));
            for (UInt32 f = 0; f < frames; ++f)
                destination[f] = in[f * layout.channels + c];
        }
        return;
    }
    for (UInt32 f = 0; f < frames; ++f) {
        for (UInt32 c = 0; c < layout.channels; ++c)
            writeSample(layout, in[f * layout.channels + c], sampleAt(layout, list, frameOffset + f, c));
    }
}
