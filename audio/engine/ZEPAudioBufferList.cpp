#include "audio/engine/ZEPAudioBufferList.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kPageSize = 4096;

void* allocatePageAligned(size_t bytes)
{
    void* block = nullptr;
    if (posix_memalign(&block, kPageSize, std::max<size_t>(bytes, 1)) != 0)
        return nullptr;
    std::memset(block, 0, bytes);
    return block;
}

UInt32 sampleCount(const AudioBuffer& buffer) { return buffer.mDataByteSize / 4; }

Float32* samples(const AudioBuffer& buffer) { return static_cast<Float32*>(buffer.mData); }

} // namespace

size_t ZEPAudioBufferListByteSize(UInt32 numberBuffers)
{
    return offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * std::max<UInt32>(numberBuffers, 1);
}

AudioBufferList* ZEPCreateEmptyAudioBufferList(UInt32 numberBuffers)
{
    auto* list = static_cast<AudioBufferList*>(std::calloc(1, ZEPAudioBufferListByteSize(numberBuffers)));
    if (list)
        list->mNumberBuffers = numberBuffers;
    return list;
}

void ZEPFreeEmptyAudioBufferList(AudioBufferList* list) { std::free(list); }

AudioBufferList* ZEPCreateAudioBufferList(UInt32 numberBuffers, UInt32 byteSize)
{
    AudioBufferList* list = ZEPCreateEmptyAudioBufferList(numberBuffers);
    if (!list)
        return nullptr;
    for (UInt32 i = 0; i < numberBuffers; ++i) {
        AudioBuffer& buffer = list->mBuffers[i];
        buffer.mNumberChannels = 1;
        buffer.mData = allocatePageAligned(byteSize);
        buffer.mDataByteSize = buffer.mData ? byteSize : 0;
    }
    return list;
}

AudioBufferList* ZEPCreateAudioBufferListForASBD(const AudioStreamBasicDescription& description, UInt32 frames)
{
    const bool nonInterleaved = description.mFormatID == kAudioFormatLinearPCM &&
                                (description.mFormatFlags & kAudioFormatFlagIsNonInterleaved);
    const UInt32 numberBuffers = nonInterleaved ? description.mChannelsPerFrame : 1;
    AudioBufferList* list = ZEPCreateEmptyAudioBufferList(numberBuffers);
    if (!list)
        return nullptr;
    for (UInt32 i = 0; i < numberBuffers; ++i) {
        AudioBuffer& buffer = list->mBuffers[i];
        buffer.mNumberChannels = nonInterleaved ? 1 : description.mChannelsPerFrame;
        if (frames > 0) {
            const size_t bytes = size_t(description.mBytesPerFrame) * frames;
            buffer.mData = allocatePageAligned(bytes);
            buffer.mDataByteSize = buffer.mData ? UInt32(bytes) : 0;
        }
    }
    return list;
}

void ZEPDisposeAudioBufferList(AudioBufferList* list)
{
    if (!list)
        return;
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        std::free(list->mBuffers[i].mData);
        list->mBuffers[i].mData = nullptr;
    }
    std::free(list);
}

UInt32 ZEPAudioBufferListTotalChannels(const AudioBufferList* list)
{
    UInt32 total = 0;
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i)
        total += list->mBuffers[i].mNumberChannels;
    return total;
}

bool ZEPAudioBufferListFindChannel(const AudioBufferList* list, UInt32 channel, UInt32& outBufferIndex,
                                   UInt32& outChannelInBuffer)
{
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        const UInt32 channels = list->mBuffers[i].mNumberChannels;
        if (channel < channels) {
            outBufferIndex = i;
            outChannelInBuffer = channel;
            return true;
        }
        channel -= channels;
    }
    return false;
}

void ZEPZeroAudioBufferList(AudioBufferList* list)
{
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        if (list->mBuffers[i].mData)
            std::memset(list->mBuffers[i].mData, 0, list->mBuffers[i].mDataByteSize);
    }
}

void ZEPCopyAudioBufferListChannels(const AudioBufferList* source, UInt32 sourceChannel, AudioBufferList* destination,
                                    UInt32 destinationChannel)
{
    UInt32 sourceBuffer = 0, sourceIndex = 0, destinationBuffer = 0, destinationIndex = 0;
    while (ZEPAudioBufferListFindChannel(source, sourceChannel, sourceBuffer, sourceIndex) &&
           ZEPAudioBufferListFindChannel(destination, destinationChannel, destinationBuffer, destinationIndex)) {
        const AudioBuffer& from = source->mBuffers[sourceBuffer];
        const AudioBuffer& to = destination->mBuffers[destinationBuffer];
        if (from.mData && to.mData && from.mNumberChannels && to.mNumberChannels) {
            const UInt32 frames = std::min(to.mDataByteSize / (4 * to.mNumberChannels),
                                           from.mDataByteSize / (4 * from.mNumberChannels));
            const Float32* in = samples(from) + sourceIndex;
            Float32* out = samples(to) + destinationIndex;
            for (UInt32 frame = 0; frame < frames; ++frame)
                out[frame * to.mNumberChannels] = in[frame * from.mNumberChannels];
        }
        ++sourceChannel;
        ++destinationChannel;
    }
}

void ZEPScaleAndAddAudioBufferLists(Float32 scalar, const AudioBufferList* a, const AudioBufferList* b,
                                    AudioBufferList* d)
{
    const UInt32 buffers = std::min({a->mNumberBuffers, b->mNumberBuffers, d->mNumberBuffers});
    for (UInt32 i = 0; i < buffers; ++i) {
        const Float32* __restrict x = samples(a->mBuffers[i]);
        const Float32* __restrict y = samples(b->mBuffers[i]);
        Float32* out = samples(d->mBuffers[i]);
        if (!x || !y || !out)
            continue;
        // Never read past a shorter input.
        const UInt32 count = std::min({sampleCount(d->mBuffers[i]), sampleCount(a->mBuffers[i]),
                                       sampleCount(b->mBuffers[i])});
        for (UInt32 k = 0; k < count; ++k)
            out[k] = x[k] * scalar + y[k];
    }
}

void ZEPAddAudioBufferLists(const AudioBufferList* a, const AudioBufferList* b, AudioBufferList* d)
{
    ZEPScaleAndAddAudioBufferLists(1.0f, a, b, d);
}

void ZEPAccumulateAudioBufferList(const AudioBufferList* source, AudioBufferList* destination)
{
    const UInt32 buffers = std::min(source->mNumberBuffers, destination->mNumberBuffers);
    for (UInt32 i = 0; i < buffers; ++i) {
        const Float32* __restrict in = samples(source->mBuffers[i]);
        Float32* __restrict out = samples(destination->mBuffers[i]);
        if (!in || !out)
            continue;
        const UInt32 count = std::min(sampleCount(destination->mBuffers[i]), sampleCount(source->mBuffers[i]));
        for (UInt32 k = 0; k < count; ++k)
            out[k] += in[k];
    }
}

void ZEPClipAudioBufferList(Float32 minimum, Float32 maximum, const AudioBufferList* source,
                            AudioBufferList* destination)
{
    const UInt32 buffers = std::min(source->mNumberBuffers, destination->mNumberBuffers);
    for (UInt32 i = 0; i < buffers; ++i) {
        const Float32* in = samples(source->mBuffers[i]);
        Float32* out = samples(destination->mBuffers[i]);
        if (!in || !out)
            continue;
        const UInt32 count = std::min(sampleCount(destination->mBuffers[i]), sampleCount(source->mBuffers[i]));
        for (UInt32 k = 0; k < count; ++k)
            out[k] = std::min(maximum, std::max(minimum, in[k]));
    }
}

void ZEPInterleaveAudioBufferList(const AudioBufferList* source, AudioBufferList* destination)
{
    const UInt32 n = source->mNumberBuffers;
    if (n == 0 || !destination->mBuffers[0].mData)
        return;
    const UInt32 frames = std::min(sampleCount(source->mBuffers[0]), sampleCount(destination->mBuffers[0]) / n);
    Float32* out = samples(destination->mBuffers[0]);
    for (UInt32 i = 0; i < n; ++i) {
        const Float32* in = samples(source->mBuffers[i]);
        if (!in)
            continue;
        for (UInt32 frame = 0; frame < frames; ++frame)
            out[frame * n + i] = in[frame];
    }
}

void ZEPDeinterleaveAudioBufferList(const AudioBufferList* source, AudioBufferList* destination)
{
    const UInt32 n = destination->mNumberBuffers;
    const Float32* in = samples(source->mBuffers[0]);
    if (n == 0 || !in)
        return;
    const UInt32 available = sampleCount(source->mBuffers[0]) / n;
    for (UInt32 i = 0; i < n; ++i) {
        Float32* out = samples(destination->mBuffers[i]);
        if (!out)
            continue;
        const UInt32 frames = std::min(sampleCount(destination->mBuffers[i]), available);
        for (UInt32 frame = 0; frame < frames; ++frame)
            out[frame] = in[frame * n + i];
    }
}

namespace {

template <typename Sample>
void deinterleaveSamples(const AudioBufferList* source, AudioBufferList* destination)
{
    const UInt32 n = destination->mNumberBuffers;
    const auto* in = static_cast<const Sample*>(source->mBuffers[0].mData);
    if (n == 0 || !in)
        return;
    const UInt32 count = source->mBuffers[0].mDataByteSize / sizeof(Sample);
    for (UInt32 k = 0; k < count; ++k) {
        const AudioBuffer& buffer = destination->mBuffers[k % n];
        const UInt32 index = k / n;
        if (buffer.mData && (index + 1) * sizeof(Sample) <= buffer.mDataByteSize)
            static_cast<Sample*>(buffer.mData)[index] = in[k];
    }
}

} // namespace

void ZEPDeinterleaveAudioBufferListWithWidth(const AudioBufferList* source, AudioBufferList* destination, UInt32 bits)
{
    switch (bits) {
    case 8: deinterleaveSamples<UInt8>(source, destination); break;
    case 16: deinterleaveSamples<UInt16>(source, destination); break;
    case 32: deinterleaveSamples<UInt32>(source, destination); break;
    case 64: deinterleaveSamples<UInt64>(source, destination); break;
    default: break;
    }
}

bool ZEPAudioBufferListHasNonSilence(const AudioBufferList* list)
{
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        const auto* words = static_cast<const UInt32*>(list->mBuffers[i].mData);
        if (!words)
            continue;
        const UInt32 count = list->mBuffers[i].mDataByteSize / 4;
        for (UInt32 k = 0; k < count; ++k) {
            if (words[k] != 0)
                return true;
        }
    }
    return false;
}

void ZEPPrintAudioBufferListSamples(const AudioBufferList* list, UInt32 firstFrame, UInt32 frames)
{
    for (UInt32 frame = firstFrame; frame < firstFrame + frames; ++frame) {
        std::printf("samples[%d] = ", int(frame));
        for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
            const AudioBuffer& buffer = list->mBuffers[i];
            if (buffer.mData && frame < sampleCount(buffer))
                std::printf("%f,", double(samples(buffer)[frame]));
        }
        std::printf("\n");
    }
}
