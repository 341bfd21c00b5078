#include "audio/engine/ZEPAudioLocklessPullRingBuffer.h"

#include "audio/engine/ZEPAudioBufferList.h"

#include <algorithm>
#include <new>

ZEPAudioLocklessPullRingBuffer::ZEPAudioLocklessPullRingBuffer(const AudioStreamBasicDescription& asbd,
                                                               UInt32 capacityFrames)
    : ZEPAudioLocklessRingBuffer(asbd, capacityFrames), mLoader(*this, ZEPRingLoader::kLoaderPriority, true)
{
    mLoader.setRefillMark(capacityFrames / 2);
    setPullFrames(kDefaultPullFrames);
}

ZEPAudioLocklessPullRingBuffer::~ZEPAudioLocklessPullRingBuffer()
{
    setAudioSource(nullptr);
    stop();
    ZEPDisposeAudioBufferList(mSourceBufferList);
}

void ZEPAudioLocklessPullRingBuffer::setPullFrames(UInt32 frames)
{
    AudioBufferList* list = ZEPCreateAudioBufferListForASBD(mASBD, frames);
    if (!list)
        throw std::bad_alloc();
    ZEPDisposeAudioBufferList(mSourceBufferList);
    mSourceBufferList = list;
    mProcessFrames = frames;
    mSourceBufferListDataSize = list->mBuffers[0].mDataByteSize;
    mLoader.setPullFrames(frames);
    const Float64 sampleRate = mASBD.mSampleRate > 0 ? mASBD.mSampleRate : 44100.0;
    mLoader.setRetryPause(std::chrono::nanoseconds(SInt64(Float64(frames) / sampleRate * 0.5 * 1e9)));
}

void ZEPAudioLocklessPullRingBuffer::start()
{
    if (audioSource())
        mLoader.start();
}

void ZEPAudioLocklessPullRingBuffer::stop() { mLoader.stop(); }

void ZEPAudioLocklessPullRingBuffer::reset()
{
    stop();
    ZEPAudioLocklessRingBuffer::reset();
}

OSStatus ZEPAudioLocklessPullRingBuffer::readFrames(UInt32* ioFrames, AudioBufferList* bufferList)
{
    const OSStatus status = ZEPAudioLocklessRingBuffer::readFrames(ioFrames, bufferList);
    mLoader.readerDidRead();
    return status;
}

OSStatus ZEPAudioLocklessPullRingBuffer::loaderPull(UInt32* delivered)
{
    *delivered = 0;
    ZEPAudioLocklessPullRingBufferAudioSource* source = audioSource();
    if (!source)
        return kZEPAudioSourceEndOfData;
    UInt32 frames = 0;
    const OSStatus result = ZEPRingLoader::pullSource(*source, mSourceBufferList, mSourceBufferListDataSize,
                                                      mProcessFrames, framesWritten(), &frames);
    if ((result == noErr || result == kZEPAudioSourceNoDataYet) && frames > 0) {
        writeFrames(frames, mSourceBufferList);
        *delivered = frames;
    }
    return result;
}

bool ZEPAudioLocklessPullRingBuffer::loaderMustPull()
{
    ZEPAudioLocklessPullRingBufferAudioSource* source = audioSource();
    return source && source->restartsStream();
}

OSStatus ZEPAudioLocklessPullRingBuffer::prime(UInt32 frames)
{
    if (!audioSource())
        return noErr;
    return mLoader.prime(std::min(frames, capacityFrames()));
}
