#include "audio/engine/ZEPAudioRingBuffer.h"

#include <algorithm>
#include <new>

ZEPAudioRingBuffer::ZEPAudioRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames, bool restrictive)
    : mASBD(asbd),
      mNonInterleavedAudio(asbd.mFormatFlags & kAudioFormatFlagIsNonInterleaved),
      mNumRingBuffers(mNonInterleavedAudio ? asbd.mChannelsPerFrame : 1), mBytesPerPacketPerBuffer(asbd.mBytesPerPacket),
      mRestrictive(restrictive)
{
    for (UInt32 i = 0; i < mNumRingBuffers; ++i) {
        RingBufferData* ring = nullptr;
        if (ZEPRingBufferCreate(&ring, SInt32(capacityFrames * mBytesPerPacketPerBuffer)) != noErr) {
            for (RingBufferData*& made : mRingBuffers)
                ZEPRingBufferDispose(&made);
            throw std::bad_alloc();
        }
        mRingBuffers.push_back(ring);
    }
}

ZEPAudioRingBuffer::~ZEPAudioRingBuffer()
{
    for (RingBufferData*& ring : mRingBuffers)
        ZEPRingBufferDispose(&ring);
}

void ZEPAudioRingBuffer::reset()
{
    std::lock_guard lock(mRingBufferLock);
    resetLocked();
}

void ZEPAudioRingBuffer::resetLocked()
{
    for (RingBufferData* ring : mRingBuffers)
        ZEPRingBufferClear(ring);
}

void ZEPAudioRingBuffer::dropFramesLocked(UInt32 frames, OSStatus (*drop)(RingBufferData*, SInt32))
{
    frames = std::min(frames, amountFrames());
    for (RingBufferData* ring : mRingBuffers)
        drop(ring, SInt32(frames * mBytesPerPacketPerBuffer));
}

void ZEPAudioRingBuffer::consumeFrames(UInt32 frames)
{
    std::lock_guard lock(mRingBufferLock);
    consumeFramesLocked(frames);
}

void ZEPAudioRingBuffer::consumeFramesLocked(UInt32 frames) { dropFramesLocked(frames, ZEPRingBufferConsume); }

void ZEPAudioRingBuffer::burnTailFrames(UInt32 frames)
{
    std::lock_guard lock(mRingBufferLock);
    dropFramesLocked(frames, ZEPRingBufferBurnTail);
}

OSStatus ZEPAudioRingBuffer::writeFrames(UInt32 frames, const AudioBufferList* bufferList)
{
    std::lock_guard lock(mRingBufferLock);
    return writeFramesLocked(frames, bufferList);
}

OSStatus ZEPAudioRingBuffer::writeFramesLocked(UInt32 frames, const AudioBufferList* bufferList)
{
    if (!bufferList || bufferList->mNumberBuffers != mNumRingBuffers)
        return noErr;
    if (mRestrictive && spaceFrames() < frames)
        consumeFramesLocked(frames - spaceFrames());
    for (UInt32 i = 0; i < mNumRingBuffers; ++i) {
        const AudioBuffer& buffer = bufferList->mBuffers[i];
        if (const OSStatus status = ZEPRingBufferWrite(mRingBuffers[i], buffer.mData, SInt32(buffer.mDataByteSize)))
            return status;
    }
    return noErr;
}

OSStatus ZEPAudioRingBuffer::writeFramesIntoSpace(UInt32 frames, const AudioBufferList* bufferList)
{
    if (!bufferList || bufferList->mNumberBuffers != mNumRingBuffers)
        return noErr;
    if (frames > spaceFrames())
        return 1;
    for (UInt32 i = 0; i < mNumRingBuffers; ++i) {
        const AudioBuffer& buffer = bufferList->mBuffers[i];
        if (const OSStatus status = ZEPRingBufferCopyAhead(mRingBuffers[i], buffer.mData, SInt32(buffer.mDataByteSize)))
            return status;
    }
    std::lock_guard lock(mRingBufferLock);
    for (UInt32 i = 0; i < mNumRingBuffers; ++i) {
        if (const OSStatus status = ZEPRingBufferCommit(mRingBuffers[i], SInt32(bufferList->mBuffers[i].mDataByteSize)))
            return status;
    }
    return noErr;
}

OSStatus ZEPAudioRingBuffer::readFrames(UInt32* ioFrames, AudioBufferList* bufferList)
{
    std::lock_guard lock(mRingBufferLock);
    return readFramesLocked(ioFrames, bufferList);
}

OSStatus ZEPAudioRingBuffer::readFramesLocked(UInt32* ioFrames, AudioBufferList* bufferList)
{
    if (!bufferList || bufferList->mNumberBuffers != mNumRingBuffers)
        return noErr;
    if (mRestrictive)
        *ioFrames = std::min(*ioFrames, amountFrames());
    SInt32 bytes = SInt32(*ioFrames * mBytesPerPacketPerBuffer);
    for (UInt32 i = 0; i < mNumRingBuffers; ++i) {
        AudioBuffer& buffer = bufferList->mBuffers[i];
        if (const OSStatus status = ZEPRingBufferRead(mRingBuffers[i], buffer.mData, &bytes))
            return status;
        buffer.mDataByteSize = UInt32(bytes);
    }
    return noErr;
}

UInt32 ZEPAudioRingBuffer::frames(OSStatus (*count)(const RingBufferData*, SInt32*)) const
{
    SInt32 bytes = 0;
    if (mRingBuffers.empty() || mBytesPerPacketPerBuffer == 0 || count(mRingBuffers[0], &bytes) != noErr)
        return 0;
    return UInt32(bytes) / mBytesPerPacketPerBuffer;
}

UInt32 ZEPAudioRingBuffer::capacityFrames() const { return frames(ZEPRingBufferGetCapacity); }

UInt32 ZEPAudioRingBuffer::spaceFrames() const { return frames(ZEPRingBufferGetSpace); }

UInt32 ZEPAudioRingBuffer::amountFrames() const { return frames(ZEPRingBufferGetAmount); }

UInt32 ZEPAudioRingBuffer::framesRead() const
{
    UInt32 bytes = 0;
    if (mRingBuffers.empty() || mBytesPerPacketPerBuffer == 0 || ZEPRingBufferGetRead(mRingBuffers[0], &bytes) != noErr)
        return 0;
    return bytes / mBytesPerPacketPerBuffer;
}
