#include "platform/codecs/SampleConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace codecs {

bool SampleEncoding::fromDescription(const AudioStreamBasicDescription& d, SampleEncoding* e)
{
    if (d.mFormatID != kAudioFormatLinearPCM || d.mChannelsPerFrame == 0 || d.mBitsPerChannel == 0)
        return false;
    const bool nonInterleaved = d.mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    const UInt32 channelsInBuffer = nonInterleaved ? 1 : d.mChannelsPerFrame;
    SampleEncoding encoding;
    encoding.bits = d.mBitsPerChannel;
    encoding.bytes = d.mBytesPerFrame ? d.mBytesPerFrame / channelsInBuffer : (d.mBitsPerChannel + 7) / 8;
    encoding.isFloat = d.mFormatFlags & kAudioFormatFlagIsFloat;
    encoding.isSigned = encoding.isFloat || (d.mFormatFlags & kAudioFormatFlagIsSignedInteger);
    encoding.bigEndian = d.mFormatFlags & kAudioFormatFlagIsBigEndian;
    encoding.alignedHigh = d.mFormatFlags & kAudioFormatFlagIsAlignedHigh;
    if (encoding.bytes == 0 || encoding.bytes > 8 || encoding.bits > encoding.bytes * 8)
        return false;
    if (encoding.isFloat && !((encoding.bits == 32 && encoding.bytes == 4) || (encoding.bits == 64 && encoding.bytes == 8)))
        return false;
    if (!encoding.isFloat && encoding.bits > 32)
        return false;
    *e = encoding;
    return true;
}

namespace {

UInt64 loadWord(const UInt8* p, UInt32 bytes, bool bigEndian)
{
    UInt64 word = 0;
    for (UInt32 i = 0; i < bytes; ++i) {
        const UInt32 shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
        word |= UInt64(p[i]) << shift;
    }
    return word;
}

void storeWord(UInt8* p, UInt64 word, UInt32 bytes, bool bigEndian)
{
    for (UInt32 i = 0; i < bytes; ++i) {
        const UInt32 shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
        p[i] = UInt8(word >> shift);
    }
}

// Where the significant bits sit inside the word.
UInt32 lowShift(const SampleEncoding& e) { return e.alignedHigh ? e.bytes * 8 - e.bits : 0; }

bool isNativeFloat(const SampleEncoding& e) { return e.isFloat && e.bits == 32 && !e.bigEndian; }

} // namespace

SInt64 intFromFloat(float value, UInt32 bits)
{
    const double scale = double(SInt64(1) << (bits - 1));
    const double maximum = scale - 1;
    double scaled = std::nearbyint(double(value) * scale);
    if (!(scaled >= -scale)) // also catches NaN
        scaled = std::isnan(scaled) ? 0 : -scale;
    if (scaled > maximum)
        scaled = maximum;
    return SInt64(scaled);
}

float readSample(const UInt8* p, const SampleEncoding& e)
{
    const UInt64 word = loadWord(p, e.bytes, e.bigEndian);
    if (e.isFloat) {
        if (e.bits == 32) {
            const UInt32 bits32 = UInt32(word);
            float value;
            std::memcpy(&value, &bits32, 4);
            return value;
        }
        double value;
        std::memcpy(&value, &word, 8);
        return float(value);
    }
    const UInt64 mask = (e.bits == 64) ? ~UInt64(0) : ((UInt64(1) << e.bits) - 1);
    UInt64 raw = (word >> lowShift(e)) & mask;
    SInt64 value;
    if (e.isSigned) {
        const UInt64 signBit = UInt64(1) << (e.bits - 1);
        value = SInt64(raw ^ signBit) - SInt64(signBit);
    } else {
        value = SInt64(raw) - (SInt64(1) << (e.bits - 1));
    }
    return floatFromInt(value, e.bits);
}

void writeSample(UInt8* p, float value, const SampleEncoding& e)
{
    UInt64 word;
    if (e.isFloat) {
        if (e.bits == 32) {
            UInt32 bits32;
            std::memcpy(&bits32, &value, 4);
            word = bits32;
        } else {
            const double wide = value;
            std::memcpy(&word, &wide, 8);
        }
    } else {
        SInt64 integer = intFromFloat(value, e.bits);
        if (!e.isSigned)
            integer += SInt64(1) << (e.bits - 1);
        const UInt64 mask = (UInt64(1) << e.bits) - 1;
        word = (UInt64(integer) & mask) << lowShift(e);
    }
    storeWord(p, word, e.bytes, e.bigEndian);
}

void unpackPCM(const AudioStreamBasicDescription& format, const AudioBufferList* source, UInt32 sourceFrame,
               UInt32 frames, float* const* destination, UInt32 channels, size_t destinationFrame)
{
    SampleEncoding e;
    if (!SampleEncoding::fromDescription(format, &e) || !source)
        return;
    const bool nonInterleaved = format.mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    const UInt32 fileChannels = format.mChannelsPerFrame;
    const UInt32 used = std::min(channels, fileChannels);
    for (UInt32 c = 0; c < used; ++c) {
        const UInt32 bufferIndex = nonInterleaved ? c : 0;
        if (bufferIndex >= source->mNumberBuffers || !source->mBuffers[bufferIndex].mData)
            continue;
        const UInt32 stride = nonInterleaved ? e.bytes : e.bytes * fileChannels;
        const UInt8* base = static_cast<const UInt8*>(source->mBuffers[bufferIndex].mData) +
                            size_t(sourceFrame) * stride + (nonInterleaved ? 0 : size_t(c) * e.bytes);
        float* out = destination[c] + destinationFrame;
        if (isNativeFloat(e) && nonInterleaved) {
            std::memcpy(out, base, size_t(frames) * 4);
            continue;
        }
        for (UInt32 f = 0; f < frames; ++f)
            out[f] = readSample(base + size_t(f) * stride, e);
    }
}

void packPCM(const AudioStreamBasicDescription& format, const float* const* source, UInt32 channels,
             size_t sourceFrame, UInt32 frames, AudioBufferList* destination, UInt32 destinationFrame)
{
    SampleEncoding e;
    // Nothing to pack (a fill that delivered nothing may come with no source at all).
    if (frames == 0 || !SampleEncoding::fromDescription(format, &e) || !destination)
        return;
    const bool nonInterleaved = format.mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    const UInt32 fileChannels = format.mChannelsPerFrame;
    for (UInt32 c = 0; c < fileChannels; ++c) {
        const UInt32 bufferIndex = nonInterleaved ? c : 0;
        if (bufferIndex >= destination->mNumberBuffers || !destination->mBuffers[bufferIndex].mData)
            continue;
        const UInt32 stride = nonInterleaved ? e.bytes : e.bytes * fileChannels;
        UInt8* base = static_cast<UInt8*>(destination->mBuffers[bufferIndex].mData) +
                      size_t(destinationFrame) * stride + (nonInterleaved ? 0 : size_t(c) * e.bytes);
        if (c >= channels) {
            for (UInt32 f = 0; f < frames; ++f)
                writeSample(base + size_t(f) * stride, 0.0f, e);
            continue;
        }
        const float* in = source[c] + sourceFrame;
        if (isNativeFloat(e) && nonInterleaved) {
            std::memcpy(base, in, size_t(frames) * 4);
            continue;
        }
        for (UInt32 f = 0; f < frames; ++f)
            writeSample(base + size_t(f) * stride, in[f], e);
    }
}

void mixToStereo(const float* const* source, UInt32 channels, size_t frames, float* left, float* right)
{
    if (channels == 0) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    if (channels == 1) {
        if (left != source[0])
            std::memcpy(left, source[0], frames * sizeof(float));
        std::memcpy(right, source[0], frames * sizeof(float));
        return;
    }
    if (left != source[0])
        std::memcpy(left, source[0], frames * sizeof(float));
    if (right != source[1])
        std::memcpy(right, source[1], frames * sizeof(float));
    for (UInt32 c = 2; c < channels; ++c) {
        float* out = (c % 2 == 0) ? left : right;
        const float* in = source[c];
        for (size_t f = 0; f < frames; ++f)
            out[f] += in[f];
    }
}

} // namespace codecs
