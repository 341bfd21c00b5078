#include "audio/engine/ZEPAudioLocklessRingBuffer.h"

#include "audio/engine/ZEPAudioBufferList.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

AudioBufferList* checked(AudioBufferList* list)
{
    if (!list)
        throw std::bad_alloc();
    return list;
}

// Aims the buffers of header at list's buffers, frameOffset frames in, for frames frames.
void aim(AudioBufferList* header, const AudioBufferList* list, UInt32 bytesPerFrame, UInt32 frameOffset, UInt32 frames)
{
    for (UInt32 i = 0; i < header->mNumberBuffers; ++i) {
        AudioBuffer& aimed = header->mBuffers[i];
        if (i < list->mNumberBuffers && list->mBuffers[i].mData) {
            aimed.mNumberChannels = list->mBuffers[i].mNumberChannels;
            aimed.mData = static_cast<UInt8*>(list->mBuffers[i].mData) + size_t(frameOffset) * bytesPerFrame;
            aimed.mDataByteSize = frames * bytesPerFrame;
        } else {
            aimed.mData = nullptr; // the caller's list has no such buffer
            aimed.mDataByteSize = 0;
        }
    }
}

} // namespace

ZEPAudioLocklessRingBuffer::ZEPAudioLocklessRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames,
                                                       UInt32 maxReadWriteFrames)
    : mBufferListSizeFrames(std::max<UInt32>(maxReadWriteFrames, 1)), mCapacityFrames(capacityFrames), mASBD(asbd),
      mInterleavedASBD(asbd), mNonInterleaved(asbd.mFormatFlags & kAudioFormatFlagIsNonInterleaved)
{
    if (mNonInterleaved) {
        mInterleavedASBD.mFormatFlags &= ~kAudioFormatFlagIsNonInterleaved;
        mInterleavedASBD.mBytesPerFrame = asbd.mBytesPerFrame * asbd.mChannelsPerFrame;
        mInterleavedASBD.mBytesPerPacket = mInterleavedASBD.mBytesPerFrame;
    }
    try {
        mRingBuffer.Allocate(1, mInterleavedASBD.mBytesPerFrame, capacityFrames);
        mWriteBufferList = checked(ZEPCreateAudioBufferListForASBD(mInterleavedASBD, mBufferListSizeFrames));
        mWriteTempBufferList = checked(ZEPCreateAudioBufferListForASBD(mASBD, 0));
        mReadTempBufferList = checked(ZEPCreateAudioBufferListForASBD(mASBD, 0));
    } catch (...) {
        ZEPDisposeAudioBufferList(mWriteBufferList);
        ZEPDisposeAudioBufferList(mWriteTempBufferList);
        ZEPDisposeAudioBufferList(mReadTempBufferList);
        throw;
    }
}

ZEPAudioLocklessRingBuffer::~ZEPAudioLocklessRingBuffer()
{
    ZEPDisposeAudioBufferList(mWriteBufferList);
    // The temporary headers only ever point into callers' buffers.
    ZEPFreeEmptyAudioBufferList(mWriteTempBufferList);
    ZEPFreeEmptyAudioBufferList(mReadTempBufferList);
}

bool ZEPAudioLocklessRingBuffer::fitsFormat(const AudioBufferList* list) const
{
    const UInt32 buffers = mNonInterleaved ? mASBD.mChannelsPerFrame : 1;
    if (!list || list->mNumberBuffers < buffers)
        return false;
    for (UInt32 i = 0; i < buffers; ++i) {
        if (!list->mBuffers[i].mData)
            return false;
    }
    return true;
}

OSStatus ZEPAudioLocklessRingBuffer::writeFrames(UInt32 frames, const AudioBufferList* bufferList)
{
    if (!fitsFormat(bufferList))
        return noErr;
    const UInt32 bytesPerFrame = mASBD.mBytesPerFrame;
    for (UInt32 done = 0; done < frames;) {
        const UInt32 chunk = std::min(frames - done, mBufferListSizeFrames);
        aim(mWriteTempBufferList, bufferList, bytesPerFrame, done, chunk);
        const AudioBufferList* stored = mWriteTempBufferList;
        if (mNonInterleaved) {
            mWriteBufferList->mBuffers[0].mDataByteSize = chunk * mInterleavedASBD.mBytesPerFrame;
            ZEPInterleaveAudioBufferList(mWriteTempBufferList, mWriteBufferList);
            stored = mWriteBufferList;
        }
        const SInt64 writeTime = mWriteSampleTime.load(std::memory_order_relaxed);
        if (mRingBuffer.Store(stored, chunk, writeTime) == CASampleRing::kOK)
            mWriteSampleTime.store(writeTime + chunk, std::memory_order_release);
        done += chunk;
    }
    return noErr;
}

void ZEPAudioLocklessRingBuffer::silence(AudioBufferList* list, UInt32 frames) const
{
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        AudioBuffer& buffer = list->mBuffers[i];
        buffer.mDataByteSize = frames * mASBD.mBytesPerFrame;
        if (buffer.mData)
            std::memset(buffer.mData, 0, buffer.mDataByteSize);
    }
}

OSStatus ZEPAudioLocklessRingBuffer::readFrames(UInt32* ioFrames, AudioBufferList* bufferList)
{
    const UInt32 frames = *ioFrames;
    if (frames == 0 || !bufferList)
        return noErr;
    if (!fitsFormat(bufferList)) {
        silence(bufferList, frames);
        return noErr;
    }
    const SInt64 readTime = framesRead();
    SInt32 check = mRingBuffer.CheckTimeBounds(readTime, readTime + frames);
    const UInt32 bytesPerFrame = mASBD.mBytesPerFrame;
    if (check == CASampleRing::kOK && mNonInterleaved) {
        // The channels come straight out of the interleaved ring.
        check = mRingBuffer.FetchDeinterleavedWithinBounds(bufferList, frames, readTime);
    } else {
        for (UInt32 done = 0; check == CASampleRing::kOK && done < frames;) {
            const UInt32 chunk = std::min(frames - done, mBufferListSizeFrames);
            aim(mReadTempBufferList, bufferList, bytesPerFrame, done, chunk);
            check = mRingBuffer.FetchWithinBounds(mReadTempBufferList, chunk, readTime + done);
            done += chunk;
        }
    }
    if (check != CASampleRing::kOK) {
        silence(bufferList, frames);
        const bool fellBehind = check == CASampleRing::kWindowBeforeStart ||
                                check == CASampleRing::kWindowStartsBefore || check == CASampleRing::kWindowAround;
        if (fellBehind)
            mReadSampleTime.store(framesWritten() - frames, std::memory_order_release);
        return noErr;
    }
    for (UInt32 i = 0; i < bufferList->mNumberBuffers; ++i)
        bufferList->mBuffers[i].mDataByteSize = frames * bytesPerFrame;
    mReadSampleTime.store(readTime + frames, std::memory_order_release);
    return noErr;
}

void ZEPAudioLocklessRingBuffer::consumeFrames(UInt32 frames)
{
    mReadSampleTime.store(framesRead() + frames, std::memory_order_release);
}

SInt64 ZEPAudioLocklessRingBuffer::framesRead() const
{
    return std::max(mReadSampleTime.load(std::memory_order_acquire), mReaderFloor.load(std::memory_order_acquire));
}

UInt32 ZEPAudioLocklessRingBuffer::spaceFrames() const
{
    SInt64 start = 0;
    SInt64 end = 0;
    if (mRingBuffer.GetTimeBounds(start, end) != CASampleRing::kOK)
        return 0;
    const SInt64 held = framesWritten() - framesRead();
    return held < SInt64(mCapacityFrames) ? UInt32(SInt64(mCapacityFrames) - std::max<SInt64>(held, 0)) : 0;
}

UInt32 ZEPAudioLocklessRingBuffer::amountFrames() const
{
    const SInt64 held = framesWritten() - framesRead();
    return held > 0 ? UInt32(held) : 0;
}

void ZEPAudioLocklessRingBuffer::reset()
{
    mWriteSampleTime.store(0);
    mReadSampleTime.store(0);
    mReaderFloor.store(0);
}
