#pragma once
// A byte ring with read and write positions, a fill count and running totals, and a mutex
// that only ZEPRingBufferLock/Unlock use (the other functions leave locking to the caller).
// Writing more than is free overruns unread bytes without moving the read position; reading
// more than is stored reads whatever the ring holds there. ZEPAudioRingBuffer builds the
// restrictive behaviour (drop oldest on write, shorten reads) on top.
//
// Results are status codes: 0, -50 for a null ring where a count is asked, 1 for a null
// ring's totals and for a write or read larger than the whole ring.
// Threads: not thread-safe by itself except the counts, which may be read from any thread.
// No function allocates but Create.

#include "platform/CoreAudioTypes.h"

#include <atomic>
#include <pthread.h>

struct RingBufferData {
    UInt8* start = nullptr;
    UInt8* end = nullptr;
    UInt8* write = nullptr;
    UInt8* read = nullptr;
    SInt32 capacity = 0;
    std::atomic<SInt32> fill{0};
    std::atomic<UInt32> written{0};
    std::atomic<UInt32> readTotal{0};
    pthread_mutex_t mutex;
    pthread_mutexattr_t mutexAttributes;
};

// A ring of capacity bytes, zeroed and page-aligned; -7004 when memory runs out (nothing is
// left allocated), a pthread error when the mutex cannot be made.
OSStatus ZEPRingBufferCreate(RingBufferData** outRing, SInt32 capacity);
// Frees the ring and sets *ring to null; the attributes' error, else the mutex's.
OSStatus ZEPRingBufferDispose(RingBufferData** ring);

// Fill and totals 0, positions to the start, the block zeroed.
OSStatus ZEPRingBufferClear(RingBufferData* ring);
// Positions to the start (fill and totals unchanged).
OSStatus ZEPRingBufferReset(RingBufferData* ring);
// Positions to the start; clears the totals asked for.
OSStatus ZEPRingBufferRewind(RingBufferData* ring, bool clearRead, bool clearWritten);
// Positions to the start and both totals 0.
OSStatus ZEPRingBufferRestart(RingBufferData* ring);

OSStatus ZEPRingBufferGetAmount(const RingBufferData* ring, SInt32* outBytes);
OSStatus ZEPRingBufferGetCapacity(const RingBufferData* ring, SInt32* outBytes);
OSStatus ZEPRingBufferGetSpace(const RingBufferData* ring, SInt32* outBytes);
OSStatus ZEPRingBufferGetWritten(const RingBufferData* ring, UInt32* outBytes);
OSStatus ZEPRingBufferGetRead(const RingBufferData* ring, UInt32* outBytes);

OSStatus ZEPRingBufferLock(RingBufferData* ring);
OSStatus ZEPRingBufferUnlock(RingBufferData* ring);

// Copies bytes at the write position (wrapping); fill = min(fill + bytes, capacity).
OSStatus ZEPRingBufferWrite(RingBufferData* ring, const void* source, SInt32 bytes);
// The two halves of a write, for a single writer that writes only into free space while a
// reader may read under the lock: the copy to the write position (without moving it; the
// reader never reads there), which needs no lock, then the commit, which moves the write
// position and the fill (under the lock). The space a writer reads is acquired, so the bytes
// a reader read out of it are read before the writer copies over them.
OSStatus ZEPRingBufferCopyAhead(RingBufferData* ring, const void* source, SInt32 bytes);
OSStatus ZEPRingBufferCommit(RingBufferData* ring, SInt32 bytes);
// Copies *ioBytes bytes from the read position (wrapping); fill shrinks (not below 0);
// *ioBytes is left as asked.
OSStatus ZEPRingBufferRead(RingBufferData* ring, void* destination, SInt32* ioBytes);
// Drops the min(fill, bytes) oldest bytes.
OSStatus ZEPRingBufferConsume(RingBufferData* ring, SInt32 bytes);
// Drops the min(fill, bytes) newest bytes.
OSStatus ZEPRingBufferBurnTail(RingBufferData* ring, SInt32 bytes);
