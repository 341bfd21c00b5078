#include "audio/engine/ZEPSampleFunctions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

OSStatus deinterleave(const Float32* in, UInt32 samples, Float32* left, Float32* right, Float32 scale)
{
    if (samples % 2 != 0)
        return 1;
    for (UInt32 i = 0; i < samples / 2; ++i) {
        left[i] = in[2 * i] * scale;
        right[i] = in[2 * i + 1] * scale;
    }
    return noErr;
}

} // namespace

void ZEPInterleaveStereo(const Float32* left, const Float32* right, UInt32 bytes, Float32* out)
{
    for (UInt32 i = 0; i < bytes / 4; ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
}

OSStatus ZEPDeinterleaveStereo(const Float32* in, UInt32 samples, Float32* left, Float32* right)
{
    return deinterleave(in, samples, left, right, 1.0f);
}

OSStatus ZEPDeinterleaveStereoScaled(const Float32* in, UInt32 samples, Float32* left, Float32* right)
{
    return deinterleave(in, samples, left, right, 32768.0f);
}

OSStatus ZEPClipSamples(Float32* samples, UInt32 count, Float32 limit)
{
    if (count % 4 != 0)
        return 1;
    for (UInt32 i = 0; i < count; ++i)
        samples[i] = std::clamp(samples[i], -limit, limit);
    return noErr;
}

UInt32 ZEPBufferListClips(const AudioBufferList* list)
{
    for (UInt32 b = 0; b < list->mNumberBuffers; ++b) {
        const auto* samples = static_cast<const Float32*>(list->mBuffers[b].mData);
        if (!samples)
            continue;
        for (UInt32 i = 0; i < list->mBuffers[b].mDataByteSize / 4; ++i) {
            if (samples[i] > 1.0f || samples[i] < -1.0f)
                return 1;
        }
    }
    return 0;
}

Float32 ZEPBufferPeak(const AudioBuffer* buffer)
{
    Float32 peak = 0.0f;
    const auto* samples = static_cast<const Float32*>(buffer->mData);
    for (UInt32 i = 0; samples && i < buffer->mDataByteSize / 4; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

void ZEPPrintASBD(const AudioStreamBasicDescription* description)
{
    if (!description) {
        std::fprintf(stderr, "Can't print a NULL desc!\n");
        return;
    }
    const char* line = "- - - - - - - - - - - - - - - - - - - -\n";
    const UInt32 id = description->mFormatID;
    // The four bytes of the format ID as they lie in memory.
    char idBytes[4];
    for (int i = 0; i < 4; ++i)
        idBytes[i] = reinterpret_cast<const char*>(&id)[i];
    std::fprintf(stderr, "%s", line);
    std::fprintf(stderr, "  Sample Rate:%f\n", description->mSampleRate);
    std::fprintf(stderr, "  Format ID:%.*s\n", 4, idBytes);
    std::fprintf(stderr, "  Format Flags:%lX\n", (unsigned long)description->mFormatFlags);
    std::fprintf(stderr, "  Bytes per Packet:%ld\n", long(description->mBytesPerPacket));
    std::fprintf(stderr, "  Frames per Packet:%ld\n", long(description->mFramesPerPacket));
    std::fprintf(stderr, "  Bytes per Frame:%ld\n", long(description->mBytesPerFrame));
    std::fprintf(stderr, "  Channels per Frame:%ld\n", long(description->mChannelsPerFrame));
    std::fprintf(stderr, "  Bits per Channel:%ld\n", long(description->mBitsPerChannel));
    std::fprintf(stderr, "  Reserved: %ld\n", long(description->mReserved));
    std::fprintf(stderr, "%s", line);
}

void ZEPPrintFloatSamples(const Float32* samples, UInt32 first, UInt32 end)
{
    for (UInt32 i = first; i < end; ++i)
        std::printf("%d, %f\n", int(i), double(samples[i]));
}

void ZEPPrintShortSamples(const SInt16* samples, UInt32 first, UInt32 count)
{
    for (UInt32 i = first; i < first + count; ++i)
        std::printf("%d, %d\n", int(i), int(samples[i]));
}
