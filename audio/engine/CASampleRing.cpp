#include "audio/engine/CASampleRing.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;
// Marks an entry the writer is rewriting, so a reader never accepts it half written.
constexpr UInt32 kEntryBeingWritten = 0xFFFFFFFF;
constexpr int kBoundsReadAttempts = 8;

UInt32 NextPowerOfTwo(UInt32 value)
{
    UInt32 power = 1;
    while (power < value)
        power <<= 1;
    return power;
}

} // namespace

CASampleRing::CASampleRing() = default;

CASampleRing::~CASampleRing() { Deallocate(); }

void CASampleRing::Allocate(UInt32 channels, UInt32 bytesPerFrame, UInt32 capacityFrames)
{
    Deallocate();
    const UInt32 capacity = NextPowerOfTwo(capacityFrames);
    const size_t channelBytes = size_t(capacity) * bytesPerFrame;
    mStorage.reset(new UInt8[channelBytes * channels]());
    mBuffers.reset(new UInt8*[channels]);
    for (UInt32 c = 0; c < channels; ++c)
        mBuffers[c] = mStorage.get() + channelBytes * c;
    mNumberChannels = channels;
    mBytesPerFrame = bytesPerFrame;
    mCapacityFrames = capacity;
    mCapacityFramesMask = capacity - 1;
    mCapacityBytes = UInt32(channelBytes);
    for (TimeBounds& entry : mTimeBoundsQueue) {
        entry.startTime.store(0, kRelaxed);
        entry.endTime.store(0, kRelaxed);
        entry.updateCounter.store(0, kRelaxed);
    }
    mTimeBoundsQueuePtr.store(0);
}

void CASampleRing::Deallocate()
{
    mStorage.reset();
    mBuffers.reset();
    mNumberChannels = 0;
    mCapacityFrames = 0;
    mCapacityFramesMask = 0;
    mCapacityBytes = 0;
}

void CASampleRing::ClearTimeBounds()
{
    for (TimeBounds& entry : mTimeBoundsQueue) {
        entry.updateCounter.store(kEntryBeingWritten, kRelaxed);
        entry.startTime.store(0, kRelaxed);
        entry.endTime.store(0, kRelaxed);
        entry.updateCounter.store(0, std::memory_order_release);
    }
}

SInt64 CASampleRing::WriterStartTime() const
{
    return mTimeBoundsQueue[mTimeBoundsQueuePtr.load(kRelaxed) % kTimeBoundsQueueSize].startTime.load(kRelaxed);
}

SInt64 CASampleRing::WriterEndTime() const
{
    return mTimeBoundsQueue[mTimeBoundsQueuePtr.load(kRelaxed) % kTimeBoundsQueueSize].endTime.load(kRelaxed);
}

void CASampleRing::SetTimeBounds(SInt64 startTime, SInt64 endTime)
{
    const UInt32 next = mTimeBoundsQueuePtr.load(kRelaxed) + 1;
    TimeBounds& entry = mTimeBoundsQueue[next % kTimeBoundsQueueSize];
    // A reader that sees either new time also sees the entry marked as being written (the
    // releases keep that store before them), so it never accepts a half-written entry.
    entry.updateCounter.store(kEntryBeingWritten, kRelaxed);
    entry.startTime.store(startTime, std::memory_order_release);
    entry.endTime.store(endTime, std::memory_order_release);
    entry.updateCounter.store(next, std::memory_order_release);
    UInt32 expected = next - 1;
    mTimeBoundsQueuePtr.compare_exchange_strong(expected, next, std::memory_order_acq_rel);
}

OSStatus CASampleRing::GetTimeBounds(SInt64& startTime, SInt64& endTime) const
{
    for (int attempt = 0; attempt < kBoundsReadAttempts; ++attempt) {
        const UInt32 index = mTimeBoundsQueuePtr.load(std::memory_order_acquire);
        const TimeBounds& entry = mTimeBoundsQueue[index % kTimeBoundsQueueSize];
        // The acquires keep the second counter read after the time reads.
        const UInt32 before = entry.updateCounter.load(std::memory_order_acquire);
        const SInt64 start = entry.startTime.load(std::memory_order_acquire);
        const SInt64 end = entry.endTime.load(std::memory_order_acquire);
        const UInt32 after = entry.updateCounter.load(kRelaxed);
        if (before == index && after == index) {
            startTime = start;
            endTime = end;
            return kOK;
        }
    }
    return kCPUOverload;
}

OSStatus CASampleRing::ClipTimeBounds(SInt64& startTime, SInt64& endTime) const
{
    SInt64 heldStart = 0;
    SInt64 heldEnd = 0;
    if (const OSStatus status = GetTimeBounds(heldStart, heldEnd))
        return status;
    startTime = std::max(startTime, heldStart);
    endTime = std::min(endTime, heldEnd);
    endTime = std::max(endTime, startTime);
    return kOK;
}

SInt32 CASampleRing::CheckTimeBounds(SInt64 startTime, SInt64 endTime) const
{
    SInt64 heldStart = 0;
    SInt64 heldEnd = 0;
    if (GetTimeBounds(heldStart, heldEnd) != kOK)
        return kCPUOverload;
    if (startTime < heldStart) {
        if (endTime > heldEnd)
            return kWindowAround;
        return endTime <= heldStart ? kWindowBeforeStart : kWindowStartsBefore;
    }
    if (startTime >= heldEnd && endTime > startTime)
        return kWindowAfterEnd;
    if (endTime > heldEnd)
        return kWindowEndsAfter;
    return kOK;
}

void CASampleRing::ZeroRange(SInt64 from, SInt64 to)
{
    from = std::max(from, to - SInt64(mCapacityFrames));
    if (from >= to)
        return;
    const size_t offset0 = FrameOffset(from);
    const size_t offset1 = FrameOffset(to);
    for (UInt32 c = 0; c < mNumberChannels; ++c) {
        UInt8* buffer = mBuffers[c];
        if (to - from == SInt64(mCapacityFrames)) {
            std::memset(buffer, 0, mCapacityBytes);
        } else if (offset0 < offset1) {
            std::memset(buffer + offset0, 0, offset1 - offset0);
        } else {
            std::memset(buffer + offset0, 0, mCapacityBytes - offset0);
            std::memset(buffer, 0, offset1);
        }
    }
}

OSStatus CASampleRing::Store(const AudioBufferList* list, UInt32 frames, SInt64 startTime)
{
    if (frames > mCapacityFrames)
        return kTooMuch;
    const SInt64 endTime = startTime + frames;
    const SInt64 heldStart = WriterStartTime();
    const SInt64 heldEnd = WriterEndTime();
    if (startTime < heldEnd) {
        // The writer went backwards: everything held is dropped.
        SetTimeBounds(startTime, startTime);
    } else if (endTime - heldStart > SInt64(mCapacityFrames)) {
        // The oldest frames, which this store overwrites, leave the range first.
        const SInt64 newStart = endTime - mCapacityFrames;
        SetTimeBounds(newStart, std::max(newStart, heldEnd));
    }
    if (startTime > heldEnd)
        ZeroRange(heldEnd, startTime);

    const size_t offset0 = FrameOffset(startTime);
    const size_t bytes = size_t(frames) * mBytesPerFrame;
    const UInt32 channels = std::min(list->mNumberBuffers, mNumberChannels);
    for (UInt32 c = 0; c < channels && bytes > 0; ++c) {
        const auto* source = static_cast<const UInt8*>(list->mBuffers[c].mData);
        UInt8* buffer = mBuffers[c];
        const size_t firstPart = std::min(bytes, mCapacityBytes - offset0);
        std::memcpy(buffer + offset0, source, firstPart);
        if (firstPart < bytes)
            std::memcpy(buffer, source + firstPart, bytes - firstPart);
    }
    SetTimeBounds(WriterStartTime(), endTime);
    return kOK;
}

void CASampleRing::CopyOut(AudioBufferList* list, UInt32 byteOffset, SInt64 t, UInt32 frames) const
{
    const size_t offset0 = FrameOffset(t);
    const size_t bytes = size_t(frames) * mBytesPerFrame;
    const UInt32 channels = std::min(list->mNumberBuffers, mNumberChannels);
    for (UInt32 c = 0; c < channels && bytes > 0; ++c) {
        UInt8* destination = static_cast<UInt8*>(list->mBuffers[c].mData) + byteOffset;
        const UInt8* buffer = mBuffers[c];
        const size_t firstPart = std::min(bytes, mCapacityBytes - offset0);
        std::memcpy(destination, buffer + offset0, firstPart);
        if (firstPart < bytes)
            std::memcpy(destination + firstPart, buffer, bytes - firstPart);
    }
}

OSStatus CASampleRing::Fetch(AudioBufferList* list, UInt32 frames, SInt64 startTime) const
{
    const SInt64 endTime = startTime + frames;
    SInt64 clippedStart = startTime;
    SInt64 clippedEnd = endTime;
    if (const OSStatus status = ClipTimeBounds(clippedStart, clippedEnd))
        return status;
    const UInt32 headFrames = UInt32(std::min<SInt64>(clippedStart - startTime, frames));
    const UInt32 clippedFrames = UInt32(clippedEnd - clippedStart);
    const UInt32 copiedBytes = clippedFrames * mBytesPerFrame;
    for (UInt32 c = 0; c < list->mNumberBuffers; ++c) {
        auto* destination = static_cast<UInt8*>(list->mBuffers[c].mData);
        if (headFrames > 0)
            std::memset(destination, 0, size_t(headFrames) * mBytesPerFrame);
        if (clippedEnd < endTime)
            std::memset(destination + size_t(clippedEnd - startTime) * mBytesPerFrame, 0,
                        size_t(endTime - clippedEnd) * mBytesPerFrame);
    }
    if (clippedFrames > 0)
        CopyOut(list, UInt32(clippedStart - startTime) * mBytesPerFrame, clippedStart, clippedFrames);
    for (UInt32 c = 0; c < list->mNumberBuffers; ++c)
        list->mBuffers[c].mDataByteSize = copiedBytes;
    return kOK;
}

SInt32 CASampleRing::FetchDeinterleavedWithinBounds(AudioBufferList* list, UInt32 frames, SInt64 startTime) const
{
    const SInt64 endTime = startTime + frames;
    if (const SInt32 check = CheckTimeBounds(startTime, endTime))
        return check;
    const UInt32 stride = mBytesPerFrame / sizeof(Float32);
    const UInt32 channels = std::min(list->mNumberBuffers, stride);
    const auto* ring = reinterpret_cast<const Float32*>(mBuffers[0]);
    // The window's frames up to the ring's end, then from its start.
    const size_t first = FrameOffset(startTime) / sizeof(Float32);
    const UInt32 firstFrames = UInt32(std::min<size_t>(frames, (mCapacityBytes / sizeof(Float32) - first) / stride));
    const auto copy = [&](const Float32* in, UInt32 from, UInt32 to) {
        if (channels == 2 && stride == 2) {
            auto* left = static_cast<Float32*>(list->mBuffers[0].mData);
            auto* right = static_cast<Float32*>(list->mBuffers[1].mData);
            for (UInt32 f = from; f < to; ++f, in += 2) {
                left[f] = in[0];
                right[f] = in[1];
            }
            return;
        }
        for (UInt32 c = 0; c < channels; ++c) {
            auto* out = static_cast<Float32*>(list->mBuffers[c].mData);
            for (UInt32 f = from; f < to; ++f)
                out[f] = in[size_t(f - from) * stride + c];
        }
    };
    copy(ring + first, 0, firstFrames);
    copy(ring, firstFrames, frames);
    for (UInt32 c = 0; c < channels; ++c)
        list->mBuffers[c].mDataByteSize = frames * sizeof(Float32);
    return CheckTimeBounds(startTime, endTime);
}

SInt32 CASampleRing::FetchWithinBounds(AudioBufferList* list, UInt32 frames, SInt64 startTime) const
{
    const SInt64 endTime = startTime + frames;
    if (const SInt32 check = CheckTimeBounds(startTime, endTime))
        return check;
    CopyOut(list, 0, startTime, frames);
    for (UInt32 c = 0; c < list->mNumberBuffers; ++c)
        list->mBuffers[c].mDataByteSize = frames * mBytesPerFrame;
    return CheckTimeBounds(startTime, endTime);
}
