#pragma once
// A frame ring over RingBufferData: one byte ring per channel for non-interleaved formats,
// one for interleaved ones, every data operation serialised by a recursive lock that
// callers may also take (lock/unlock) to group several operations.
//
// Restrictive rings (the default) keep their channels aligned and never hand out stale
// frames: a write that does not fit first drops the oldest frames of every channel, and a
// read of more than is stored is shortened to what is stored. Non-restrictive rings let a
// write overrun unread frames and a read take more than is stored.
//
// Lists whose buffer count differs from the ring count are ignored (status 0).
// Threads: any thread, serialised by the lock; the counts are read without it. A render
// thread never waits for the lock: it takes it with tryLock() (one try) and, only when that
// answered true, calls the ...Locked operations, which expect the lock held and never take
// it again; then unlock().

#include "audio/engine/RingBufferData.h"

#include <mutex>
#include <vector>

class ZEPAudioRingBuffer {
public:
    // Throws std::bad_alloc when a ring cannot be made. A non-interleaved format of 0
    // channels gets no rings.
    ZEPAudioRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames, bool restrictive = true);
    virtual ~ZEPAudioRingBuffer();
    ZEPAudioRingBuffer(const ZEPAudioRingBuffer&) = delete;
    ZEPAudioRingBuffer& operator=(const ZEPAudioRingBuffer&) = delete;

    AudioStreamBasicDescription audioDescription() const { return mASBD; }

    // Empties every ring.
    void reset();
    // Drops the n oldest frames of every ring (all it holds when n covers that).
    void consumeFrames(UInt32 frames);
    // Drops the n newest frames likewise.
    void burnTailFrames(UInt32 frames);
    // Stores each buffer's bytes into its ring; the first ring error is returned.
    virtual OSStatus writeFrames(UInt32 frames, const AudioBufferList* bufferList);
    // Reads *ioFrames frames (fewer, in *ioFrames, when restrictive and less is stored) and
    // sets each buffer's byte size to the bytes read.
    virtual OSStatus readFrames(UInt32* ioFrames, AudioBufferList* bufferList);

    bool isRestrictive() const { return mRestrictive; }
    void setRestrictive(bool restrictive) { mRestrictive = restrictive; }

    // Ring 0's capacity, space, fill and read total, in frames.
    UInt32 capacityFrames() const;
    UInt32 spaceFrames() const;
    UInt32 amountFrames() const;
    UInt32 framesRead() const;

    void lock() { mRingBufferLock.lock(); }
    // Never waits: true when the lock was taken (a render thread's way in).
    bool tryLock() { return mRingBufferLock.try_lock(); }
    void unlock() { mRingBufferLock.unlock(); }

    // For the one writer of a ring whose readers only read and consume: stores frames that
    // fit in spaceFrames() by copying them without the lock, then taking it only to publish
    // them, so the lock is held for a few instructions and a reader's single try almost
    // never finds it busy. 1 when they do not fit (nothing is stored).
    OSStatus writeFramesIntoSpace(UInt32 frames, const AudioBufferList* bufferList);

    // The operations above for a caller that holds the lock.
    void resetLocked();
    void consumeFramesLocked(UInt32 frames);
    OSStatus writeFramesLocked(UInt32 frames, const AudioBufferList* bufferList);
    OSStatus readFramesLocked(UInt32* ioFrames, AudioBufferList* bufferList);

protected:
    std::recursive_mutex mRingBufferLock;

private:
    // Drops frames (at most what ring 0 holds) from each ring (lock held). Dropping all of
    // them moves only the dropping side's position: the other side's stays where it is, so
    // a writer copying ahead without the lock is never moved under its copy.
    void dropFramesLocked(UInt32 frames, OSStatus (*drop)(RingBufferData*, SInt32));
    // One of ring 0's byte counts, in frames.
    UInt32 frames(OSStatus (*count)(const RingBufferData*, SInt32*)) const;

    AudioStreamBasicDescription mASBD;
    bool mNonInterleavedAudio;
    UInt32 mNumRingBuffers;
    UInt32 mBytesPerPacketPerBuffer;
    std::vector<RingBufferData*> mRingBuffers;
    bool mRestrictive;
};
