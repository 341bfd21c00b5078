#include "audio/engine/ZEPAudioLocklessPullRingBuffer.h"

#include "audio/engine/CAHostClock.h"
#include "audio/engine/ZEPAudioBufferList.h"

#include <algorithm>
#include <new>

ZEPAudioLocklessPullRingBuffer::ZEPAudioLocklessPullRingBuffer(const AudioStreamBasicDescription& asbd,
                                                               UInt32 capacityFrames)
    : ZEPAudioLocklessRingBuffer(asbd, capacityFrames)
{
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
}

void ZEPAudioLocklessPullRingBuffer::resetSourceBufferSizes()
{
    for (UInt32 i = 0; i < std::min<UInt32>(mSourceBufferList->mNumberBuffers, 4); ++i)
        mSourceBufferList->mBuffers[i].mDataByteSize = mSourceBufferListDataSize;
}

bool ZEPAudioLocklessPullRingBuffer::isRunning() const
{
    std::lock_guard lock(mLock);
    return mThreadKeepRunning.load();
}

void ZEPAudioLocklessPullRingBuffer::start()
{
    std::lock_guard lock(mLock);
    if (mThreadKeepRunning.load())
        return;
    if (mCAPThread) {
        // A loader that ended by itself.
        mCAPThread->WaitForExit();
        mCAPThread.reset();
    }
    mThreadKeepRunning.store(true);
    mCAPThread = std::make_unique<CAPThread>(&ZEPAudioLocklessPullRingBuffer::threadEntry, this, kLoaderPriority,
                                             true, false);
    try {
        mCAPThread->Start();
    } catch (...) {
        mThreadKeepRunning.store(false);
        mCAPThread.reset();
        throw;
    }
}

void ZEPAudioLocklessPullRingBuffer::stop()
{
    std::lock_guard lock(mLock);
    mThreadKeepRunning.store(false);
    if (!mCAPThread)
        return;
    {
        // The loader holds the guard except while it waits: taking it here means the loader
        // either waits (and gets the notice) or has not checked mThreadKeepRunning yet.
        CAMutexLocker guardLock(mIOGuard);
        mIOGuard.Notify();
    }
    mCAPThread->WaitForExit();
    mCAPThread.reset();
}

void ZEPAudioLocklessPullRingBuffer::reset()
{
    stop();
    ZEPAudioLocklessRingBuffer::reset();
    mCurWriteSampleTime = 0;
    mCurReadSampleTime = 0;
}

OSStatus ZEPAudioLocklessPullRingBuffer::readFrames(UInt32* ioFrames, AudioBufferList* bufferList)
{
    const OSStatus status = ZEPAudioLocklessRingBuffer::readFrames(ioFrames, bufferList);
    mIOGuard.Notify();
    return status;
}

void* ZEPAudioLocklessPullRingBuffer::threadEntry(void* buffer)
{
    static_cast<ZEPAudioLocklessPullRingBuffer*>(buffer)->thread();
    return nullptr;
}

OSStatus ZEPAudioLocklessPullRingBuffer::pullOnce(ZEPAudioLocklessPullRingBufferAudioSource* source,
                                                  AudioTimeStamp& timeStamp, UInt32* outDelivered)
{
    resetSourceBufferSizes();
    timeStamp.mSampleTime = Float64(mCurWriteSampleTime);
    UInt32 frames = mProcessFrames;
    const OSStatus result = source->pullFrames(&frames, mSourceBufferList, &timeStamp);
    frames = std::min(frames, mProcessFrames);
    if ((result == noErr || result == kZEPAudioSourceNoDataYet) && frames > 0) {
        writeFrames(frames, mSourceBufferList);
        mCurWriteSampleTime += frames;
    }
    *outDelivered = frames;
    return result;
}

void ZEPAudioLocklessPullRingBuffer::thread()
{
    const bool tookGuard = mIOGuard.Lock();
    ZEPAudioLocklessPullRingBufferAudioSource* source = audioSource();
    const Float64 sampleRate = mASBD.mSampleRate > 0 ? mASBD.mSampleRate : 44100.0;
    AudioTimeStamp timeStamp;
    timeStamp.mFlags = kAudioTimeStampHostTimeValid;
    if (!source)
        mThreadKeepRunning.store(false);
    mThreadIsRunning.store(true);
    const UInt64 waitNanos = UInt64(Float64(mProcessFrames) / sampleRate * 0.5 * 1e9);

    OSStatus result = noErr;
    UInt32 delivered = 0;
    while (mThreadKeepRunning.load()) {
        const UInt64 now = CAHostClock::GetCurrentTimeInNanos();
        bool wait = true;
        if (mProcessFrames <= spaceFrames()) {
            result = pullOnce(source, timeStamp, &delivered);
            wait = delivered == 0;
        }
        const bool ended = result == kZEPAudioSourceEndOfData || (result == noErr && delivered == 0);
        if (ended && !mIgnoreEmpty.load())
            break;
        if (wait && mThreadKeepRunning.load())
            mIOGuard.WaitUntil(now + waitNanos);
    }
    mThreadKeepRunning.store(false);
    mThreadIsRunning.store(false);
    if (tookGuard)
        mIOGuard.Unlock();
}

OSStatus ZEPAudioLocklessPullRingBuffer::prime(UInt32 frames)
{
    ZEPAudioLocklessPullRingBufferAudioSource* source = audioSource();
    if (!source)
        return noErr;
    frames = std::min(frames, capacityFrames());
    AudioTimeStamp timeStamp;
    timeStamp.mFlags = kAudioTimeStampHostTimeValid;
    OSStatus result = noErr;
    for (UInt32 stored = amountFrames(); stored < frames && mProcessFrames <= spaceFrames();) {
        UInt32 delivered = 0;
        result = pullOnce(source, timeStamp, &delivered);
        if (result != noErr || delivered == 0)
            break;
        stored += delivered;
    }
    return result;
}
