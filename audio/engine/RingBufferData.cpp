#include "audio/engine/RingBufferData.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kPageSize = 4096;
constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

// Moves position by bytes (which may be negative) inside the ring, wrapping at both ends.
UInt8* advance(const RingBufferData* ring, UInt8* position, SInt32 bytes)
{
    if (ring->capacity == 0)
        return position;
    SInt64 offset = SInt64(position - ring->start) + bytes;
    offset %= ring->capacity;
    if (offset < 0)
        offset += ring->capacity;
    return ring->start + offset;
}

// Copies bytes into the ring at position, wrapping at its end.
void copyIn(RingBufferData* ring, UInt8* position, const UInt8* from, SInt32 bytes)
{
    const SInt32 firstPart = std::min<SInt32>(bytes, SInt32(ring->end - position));
    std::memcpy(position, from, size_t(firstPart));
    std::memcpy(ring->start, from + firstPart, size_t(bytes - firstPart));
}

// Copies bytes out of the ring from position, wrapping at its end.
void copyOut(const RingBufferData* ring, const UInt8* position, UInt8* to, SInt32 bytes)
{
    const SInt32 firstPart = std::min<SInt32>(bytes, SInt32(ring->end - position));
    std::memcpy(to, position, size_t(firstPart));
    std::memcpy(to + firstPart, ring->start, size_t(bytes - firstPart));
}

} // namespace

OSStatus ZEPRingBufferCreate(RingBufferData** outRing, SInt32 capacity)
{
    if (!outRing || capacity < 0)
        return kAudio_ParamError;
    *outRing = nullptr;
    auto* ring = new (std::nothrow) RingBufferData;
    if (!ring)
        return kRingBufferMemoryError;
    void* block = nullptr;
    if (posix_memalign(&block, kPageSize, std::max<size_t>(size_t(capacity), 1)) != 0) {
        delete ring;
        return kRingBufferMemoryError;
    }
    ring->start = static_cast<UInt8*>(block);
    ring->capacity = capacity;
    OSStatus status = pthread_mutexattr_init(&ring->mutexAttributes);
    if (status == 0) {
        status = pthread_mutex_init(&ring->mutex, &ring->mutexAttributes);
        if (status != 0)
            pthread_mutexattr_destroy(&ring->mutexAttributes);
    }
    if (status != 0) {
        std::free(block);
        delete ring;
        return status;
    }
    ZEPRingBufferClear(ring);
    *outRing = ring;
    return noErr;
}

OSStatus ZEPRingBufferDispose(RingBufferData** ring)
{
    if (!ring || !*ring)
        return kAudio_ParamError;
    const OSStatus mutexStatus = pthread_mutex_destroy(&(*ring)->mutex);
    const OSStatus attributeStatus = pthread_mutexattr_destroy(&(*ring)->mutexAttributes);
    std::free((*ring)->start);
    delete *ring;
    *ring = nullptr;
    return attributeStatus ? attributeStatus : mutexStatus;
}

OSStatus ZEPRingBufferClear(RingBufferData* ring)
{
    if (!ring)
        return kAudio_ParamError;
    ZEPRingBufferRestart(ring);
    ring->fill.store(0, kRelaxed);
    std::memset(ring->start, 0, size_t(ring->capacity));
    return noErr;
}

OSStatus ZEPRingBufferReset(RingBufferData* ring)
{
    if (!ring)
        return kAudio_ParamError;
    ring->write = ring->read = ring->start;
    return noErr;
}

OSStatus ZEPRingBufferRewind(RingBufferData* ring, bool clearRead, bool clearWritten)
{
    if (!ring)
        return kAudio_ParamError;
    ring->write = ring->read = ring->start;
    ring->end = ring->start + ring->capacity;
    if (clearRead)
        ring->readTotal.store(0, kRelaxed);
    if (clearWritten)
        ring->written.store(0, kRelaxed);
    return noErr;
}

OSStatus ZEPRingBufferRestart(RingBufferData* ring) { return ZEPRingBufferRewind(ring, true, true); }

OSStatus ZEPRingBufferGetAmount(const RingBufferData* ring, SInt32* outBytes)
{
    if (!ring)
        return kAudio_ParamError;
    *outBytes = ring->fill.load(kRelaxed);
    return noErr;
}

OSStatus ZEPRingBufferGetCapacity(const RingBufferData* ring, SInt32* outBytes)
{
    if (!ring)
        return kAudio_ParamError;
    *outBytes = ring->capacity;
    return noErr;
}

OSStatus ZEPRingBufferGetSpace(const RingBufferData* ring, SInt32* outBytes)
{
    if (!ring)
        return kAudio_ParamError;
    *outBytes = ring->capacity - ring->fill.load(std::memory_order_acquire);
    return noErr;
}

OSStatus ZEPRingBufferGetWritten(const RingBufferData* ring, UInt32* outBytes)
{
    if (!ring)
        return 1;
    *outBytes = ring->written.load(kRelaxed);
    return noErr;
}

OSStatus ZEPRingBufferGetRead(const RingBufferData* ring, UInt32* outBytes)
{
    if (!ring)
        return 1;
    *outBytes = ring->readTotal.load(kRelaxed);
    return noErr;
}

OSStatus ZEPRingBufferLock(RingBufferData* ring)
{
    return ring ? OSStatus(pthread_mutex_lock(&ring->mutex)) : kAudio_ParamError;
}

OSStatus ZEPRingBufferUnlock(RingBufferData* ring)
{
    return ring ? OSStatus(pthread_mutex_unlock(&ring->mutex)) : kAudio_ParamError;
}

OSStatus ZEPRingBufferWrite(RingBufferData* ring, const void* source, SInt32 bytes)
{
    if (const OSStatus status = ZEPRingBufferCopyAhead(ring, source, bytes))
        return status;
    return ZEPRingBufferCommit(ring, bytes);
}

OSStatus ZEPRingBufferCopyAhead(RingBufferData* ring, const void* source, SInt32 bytes)
{
    if (!ring)
        return kAudio_ParamError;
    if (bytes > ring->capacity)
        return 1;
    if (bytes > 0)
        copyIn(ring, ring->write, static_cast<const UInt8*>(source), bytes);
    return noErr;
}

OSStatus ZEPRingBufferCommit(RingBufferData* ring, SInt32 bytes)
{
    if (!ring)
        return kAudio_ParamError;
    if (bytes > ring->capacity)
        return 1;
    if (bytes <= 0)
        return noErr;
    ring->write = advance(ring, ring->write, bytes);
    ring->fill.store(std::min(ring->fill.load(kRelaxed) + bytes, ring->capacity), std::memory_order_release);
    ring->written.fetch_add(UInt32(bytes), kRelaxed);
    return noErr;
}

OSStatus ZEPRingBufferRead(RingBufferData* ring, void* destination, SInt32* ioBytes)
{
    if (!ring || !ioBytes)
        return kAudio_ParamError;
    const SInt32 bytes = *ioBytes;
    if (bytes > ring->capacity)
        return 1;
    if (bytes <= 0)
        return noErr;
    copyOut(ring, ring->read, static_cast<UInt8*>(destination), bytes);
    ring->read = advance(ring, ring->read, bytes);
    // Released: a writer that sees the space this frees sees the bytes read out of it first.
    ring->fill.store(std::max(ring->fill.load(kRelaxed) - bytes, 0), std::memory_order_release);
    ring->readTotal.fetch_add(UInt32(bytes), kRelaxed);
    return noErr;
}

OSStatus ZEPRingBufferConsume(RingBufferData* ring, SInt32 bytes)
{
    if (!ring)
        return kAudio_ParamError;
    const SInt32 dropped = std::clamp(bytes, 0, ring->fill.load(kRelaxed));
    ring->read = advance(ring, ring->read, dropped);
    ring->fill.fetch_sub(dropped, std::memory_order_release);
    ring->readTotal.fetch_add(UInt32(dropped), kRelaxed);
    return noErr;
}

OSStatus ZEPRingBufferBurnTail(RingBufferData* ring, SInt32 bytes)
{
    if (!ring)
        return kAudio_ParamError;
    const SInt32 dropped = std::clamp(bytes, 0, ring->fill.load(kRelaxed));
    ring->write = advance(ring, ring->write, -dropped);
    ring->fill.fetch_sub(dropped, kRelaxed);
    return noErr;
}
