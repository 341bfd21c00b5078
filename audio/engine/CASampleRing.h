#pragma once
// A multi-channel ring of frames addressed by absolute sample time. One writer stores runs
// of frames at a sample time; one reader, on another thread, fetches runs at a sample time.
// The ring publishes the time range it holds, [start, end), through a small queue of
// time-bound entries, so the reader never takes a lock: it reads the bounds (retrying while
// the writer publishes) and copies. The writer must not store more than the capacity between
// a reader's bounds read and its copy; readers that must know whether their copy stayed
// valid use FetchWithinBounds, which checks the window before and after copying.
//
// Threads: Allocate/Deallocate while neither side runs; Store on the writer's thread;
// GetTimeBounds, ClipTimeBounds, CheckTimeBounds, Fetch and FetchWithinBounds on the
// reader's. Store and the reads allocate nothing, lock nothing and make no system call.

#include "platform/CoreAudioTypes.h"

#include <atomic>
#include <memory>

class CASampleRing {
public:
    // Results.
    static constexpr OSStatus kOK = 0;
    static constexpr OSStatus kTooMuch = 3;     // more frames than the ring holds
    static constexpr OSStatus kCPUOverload = 4; // no consistent read of the bounds in 8 tries

    // Results of CheckTimeBounds / FetchWithinBounds for a window outside the held range.
    static constexpr SInt32 kWindowBeforeStart = -2;  // wholly before the start
    static constexpr SInt32 kWindowStartsBefore = -1; // begins before the start, ends inside
    static constexpr SInt32 kWindowEndsAfter = 1;     // begins inside, ends past the end
    static constexpr SInt32 kWindowAfterEnd = 2;      // begins at or past the end
    static constexpr SInt32 kWindowAround = 3;        // begins before the start, ends past the end

    CASampleRing();
    ~CASampleRing();
    CASampleRing(const CASampleRing&) = delete;
    CASampleRing& operator=(const CASampleRing&) = delete;

    // Replaces any storage with channels x (capacity rounded up to a power of two) frames of
    // bytesPerFrame bytes each, zeroed, and an empty range. Throws std::bad_alloc.
    void Allocate(UInt32 channels, UInt32 bytesPerFrame, UInt32 capacityFrames);
    void Deallocate();

    // Stores frames from list (buffer i into channel i) at startTime. Storing before the held
    // end drops what is held; storing past it leaves zeros in the gap; the oldest frames leave
    // the range as the ring fills. kTooMuch (nothing changes) for more than the capacity.
    OSStatus Store(const AudioBufferList* list, UInt32 frames, SInt64 startTime);

    OSStatus GetTimeBounds(SInt64& startTime, SInt64& endTime) const;
    // Narrows [startTime, endTime) to the held range (an empty window at its start when they
    // do not meet).
    OSStatus ClipTimeBounds(SInt64& startTime, SInt64& endTime) const;
    // 0 when [startTime, endTime) lies inside the held range, else one of the kWindow codes
    // above or kCPUOverload.
    SInt32 CheckTimeBounds(SInt64 startTime, SInt64 endTime) const;

    // Copies the held part of [startTime, startTime + frames) into list at its place in the
    // window, zeroes the rest, and sets byte sizes to the bytes copied from the ring.
    OSStatus Fetch(AudioBufferList* list, UInt32 frames, SInt64 startTime) const;
    // Copies the window to the start of every buffer only when it lies wholly inside the held
    // range, sets byte sizes to the bytes copied, then checks the window again so that a copy
    // the writer overtook reports it. 0 or CheckTimeBounds' codes.
    SInt32 FetchWithinBounds(AudioBufferList* list, UInt32 frames, SInt64 startTime) const;
    // FetchWithinBounds for a ring of one buffer of interleaved 32-bit samples, read into one
    // buffer per channel (as many as list has, up to the ring's channels): each sample goes
    // straight to its channel, without an interleaved copy on the way.
    SInt32 FetchDeinterleavedWithinBounds(AudioBufferList* list, UInt32 frames, SInt64 startTime) const;

    // Zeroes every queue entry (the queue index stays): the ring then holds nothing.
    void ClearTimeBounds();

    UInt32 GetCapacityFrames() const { return mCapacityFrames; }
    UInt32 GetNumberChannels() const { return mNumberChannels; }
    UInt32 GetBytesPerFrame() const { return mBytesPerFrame; }

private:
    static constexpr UInt32 kTimeBoundsQueueSize = 32;

    struct TimeBounds {
        std::atomic<SInt64> startTime{0};
        std::atomic<SInt64> endTime{0};
        std::atomic<UInt32> updateCounter{0};
    };

    size_t FrameOffset(SInt64 time) const { return size_t(time & SInt64(mCapacityFramesMask)) * mBytesPerFrame; }
    void SetTimeBounds(SInt64 startTime, SInt64 endTime);
    SInt64 WriterStartTime() const;
    SInt64 WriterEndTime() const;
    // Copies frames from time t of every channel into the buffers at byteOffset.
    void CopyOut(AudioBufferList* list, UInt32 byteOffset, SInt64 t, UInt32 frames) const;
    void ZeroRange(SInt64 from, SInt64 to);

    std::unique_ptr<UInt8*[]> mBuffers;
    std::unique_ptr<UInt8[]> mStorage;
    UInt32 mNumberChannels = 0;
    UInt32 mBytesPerFrame = 0;
    UInt32 mCapacityFrames = 0;
    UInt32 mCapacityFramesMask = 0;
    UInt32 mCapacityBytes = 0;
    TimeBounds mTimeBoundsQueue[kTimeBoundsQueueSize];
    std::atomic<UInt32> mTimeBoundsQueuePtr{0};
};
