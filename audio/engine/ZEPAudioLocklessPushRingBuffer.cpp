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
    CAMutexLocker lock(mIOGuard);
    mIOGuard.Notify();
    return status;
}

OSStatus ZEPAudioLocklessPushRingBuffer::readFrames(UInt32* ioFrames, AudioBufferList* bufferList)
{
    CAMutexLocker lock(mIOGuard);
    while (mReadsBlock.load() && amountFrames() < *ioFrames)
        mIOGuard.Wait();
    return ZEPAudioLocklessRingBuffer::readFrames(ioFrames, bufferList);
}

void ZEPAudioLocklessPushRingBuffer::setReadsBlock(bool readsBlock)
{
    CAMutexLocker lock(mIOGuard);
    mReadsBlock.store(readsBlock);
    mIOGuard.NotifyAll();
}
