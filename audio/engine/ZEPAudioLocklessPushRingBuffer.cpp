#include "audio/engine/ZEPAudioLocklessPushRingBuffer.h"

#include <cstdio>

namespace {

const char* formatGuardName(char* name, size_t size, const void* object)
{
    std::snprintf(name, size, "lockless %p", object);
    return name;
}

} // namespace

ZEPAudioLocklessPushRingBuffer::ZEPAudioLocklessPushRingBuffer(const AudioStreamBasicDescription& asbd,
                                                               UInt32 capacityFrames)
    : ZEPAudioLocklessRingBuffer(asbd, capacityFrames),
      mIOGuard(formatGuardName(mGuardName, sizeof mGuardName, this))
{
}

OSStatus ZEPAudioLocklessPushRingBuffer::writeFrames(UInt32 frames, const AudioBufferList* bufferList)
{
    const OSStatus status = ZEPAudioLocklessRingBuffer::writeFrames(frames, bufferList);
    // Either the reader sees these frames when it looks before waiting, or the writer sees
    // the reader waiting (each publishes, then fences, then looks at the other's flag).
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (mReaderWaits.load()) {
        CAMutexLocker lock(mIOGuard);
        mIOGuard.Notify();
    }
    return status;
}

OSStatus ZEPAudioLocklessPushRingBuffer::readFrames(UInt32* ioFrames, AudioBufferList* bufferList)
{
    if (mReadsBlock.load() && amountFrames() < *ioFrames) {
        CAMutexLocker lock(mIOGuard);
        mReaderWaits.store(true);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        while (mReadsBlock.load() && amountFrames() < *ioFrames)
            mIOGuard.Wait();
        mReaderWaits.store(false);
    }
    return ZEPAudioLocklessRingBuffer::readFrames(ioFrames, bufferList);
}

void ZEPAudioLocklessPushRingBuffer::setReadsBlock(bool readsBlock)
{
    CAMutexLocker lock(mIOGuard);
    mReadsBlock.store(readsBlock);
    mIOGuard.NotifyAll();
}
