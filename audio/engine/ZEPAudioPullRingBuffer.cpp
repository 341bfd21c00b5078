#include "audio/engine/ZEPAudioPullRingBuffer.h"

#include "audio/engine/ZEPAudioBufferList.h"

#include <algorithm>
#include <new>

ZEPAudioPullRingBuffer::ZEPAudioPullRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames)
    : ZEPAudioRingBuffer(asbd, capacityFrames, true), mLoader(*this, ZEPRingLoader::kLoaderPriority, true)
{
    mLoader.setRefillMark(capacityFrames / 2);
    setPullFrames(kDefaultPullFrames);
}

ZEPAudioPullRingBuffer::~ZEPAudioPullRingBuffer()
{
    setAudioSource(nullptr);
    stop();
    ZEPDisposeAudioBufferList(mBufferList);
}

void ZEPAudioPullRingBuffer::setPullFrames(UInt32 frames)
{
    const AudioStreamBasicDescription format = audioDescription();
    const bool nonInterleaved = format.mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    const UInt32 buffers = nonInterleaved ? format.mChannelsPerFrame : 1;
    const UInt32 bytes = frames * format.mBytesPerPacket;
    AudioBufferList* list = ZEPCreateAudioBufferList(buffers, bytes);
    if (!list)
        throw std::bad_alloc();
    for (UInt32 i = 0; !nonInterleaved && i < buffers; ++i)
        list->mBuffers[i].mNumberChannels = format.mChannelsPerFrame;
    ZEPDisposeAudioBufferList(mBufferList);
    mBufferList = list;
    mBufferListDataSize = bytes;
    mProcessFrames = frames;
    mLoader.setPullFrames(frames);
    const Float64 sampleRate = format.mSampleRate > 0 ? format.mSampleRate : 44100.0;
    mLoader.setRetryPause(std::chrono::nanoseconds(SInt64(Float64(frames) / sampleRate * 0.5 * 1e9)));
}

void ZEPAudioPullRingBuffer::start()
{
    if (audioSource())
        mLoader.start();
}

void ZEPAudioPullRingBuffer::stop() { mLoader.stop(); }

void ZEPAudioPullRingBuffer::reset()
{
    stop();
    ZEPAudioRingBuffer::reset();
    mCurWriteSampleTime = 0;
}

bool ZEPAudioPullRingBuffer::consumeFramesFromReader(UInt32 frames)
{
    if (!tryLock())
        return false;
    consumeFramesLocked(frames);
    unlock();
    mLoader.readerDidRead();
    return true;
}

OSStatus ZEPAudioPullRingBuffer::readFrames(UInt32* ioFrames, AudioBufferList* bufferList)
{
    OSStatus status = noErr;
    bool served = false;
    if (tryLock()) {
        if (amountFrames() >= *ioFrames) {
            status = readFramesLocked(ioFrames, bufferList);
            served = true;
        }
        unlock();
    }
    if (!served) {
        *ioFrames = 0;
        for (UInt32 i = 0; bufferList && i < bufferList->mNumberBuffers; ++i)
            bufferList->mBuffers[i].mDataByteSize = 0;
    }
    mLoader.readerDidRead();
    return status;
}

OSStatus ZEPAudioPullRingBuffer::readFramesWaitingForLock(UInt32* ioFrames, AudioBufferList* bufferList)
{
    lock();
    const OSStatus status = readFramesLocked(ioFrames, bufferList);
    unlock();
    mLoader.readerDidRead();
    return status;
}

OSStatus ZEPAudioPullRingBuffer::loaderPull(UInt32* delivered)
{
    *delivered = 0;
    ZEPAudioPullRingBufferAudioSource* source = audioSource();
    if (!source)
        return kZEPAudioSourceEndOfData;
    UInt32 frames = 0;
    const OSStatus result = ZEPRingLoader::pullSource(*source, mBufferList, mBufferListDataSize, mProcessFrames,
                                                      mCurWriteSampleTime, &frames);
    if (frames > 0) {
        // Whatever the answer, frames delivered are kept.
        for (UInt32 i = 0; i < mBufferList->mNumberBuffers; ++i)
            mBufferList->mBuffers[i].mDataByteSize = frames * audioDescription().mBytesPerPacket;
        // Into the space the loader found free: the lock is taken only to publish.
        writeFramesIntoSpace(frames, mBufferList);
        mCurWriteSampleTime += frames;
        *delivered = frames;
    }
    return result;
}

OSStatus ZEPAudioPullRingBuffer::prime(UInt32 frames)
{
    if (!audioSource())
        return noErr;
    return mLoader.prime(std::min(frames, capacityFrames()));
}
