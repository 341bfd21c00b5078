#include "audio/engine/ZEPAudioPullRingBuffer.h"

#include "audio/engine/ZEPAudioBufferList.h"

#include <algorithm>
#include <new>

ZEPAudioPullRingBuffer::ZEPAudioPullRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames)
    : ZEPAudioRingBuffer(asbd, capacityFrames, true)
{
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
}

void ZEPAudioPullRingBuffer::resetPullBufferSizes()
{
    for (UInt32 i = 0; i < std::min<UInt32>(mBufferList->mNumberBuffers, 4); ++i)
        mBufferList->mBuffers[i].mDataByteSize = mBufferListDataSize;
}

void ZEPAudioPullRingBuffer::start()
{
    std::lock_guard lock(mControlLock);
    if (mThreadKeepRunning.load() && mLoader.joinable())
        return;
    if (mLoader.joinable())
        mLoader.join(); // a loader that ended by itself
    mIgnoreLocks.store(false);
    mThreadKeepRunning.store(true);
    mLoader = std::thread(&ZEPAudioPullRingBuffer::thread, this);
}

void ZEPAudioPullRingBuffer::stop()
{
    std::lock_guard lock(mControlLock);
    mIgnoreLocks.store(true);
    mThreadKeepRunning.store(false);
    {
        std::lock_guard conditionLock(mKeepReadingMutex);
        mKeepReadingCondition.store(kLoaderMayPull);
    }
    mKeepReadingCondVar.notify_all();
    if (mLoader.joinable())
        mLoader.join();
}

void ZEPAudioPullRingBuffer::reset()
{
    stop();
    mIgnoreLocks.store(false);
    mKeepReadingCondition.store(kLoaderMayPull);
    ZEPAudioRingBuffer::reset();
    mCurWriteSampleTime = 0;
    mCurReadSampleTime.store(0);
}

void ZEPAudioPullRingBuffer::wakeLoader()
{
    // No lock on the render thread: a wake-up that crosses the loader's check is made up for
    // by the loader's bounded sleep.
    if (mKeepReadingCondition.exchange(kLoaderMayPull) != kLoaderMayPull)
        mKeepReadingCondVar.notify_one();
}

bool ZEPAudioPullRingBuffer::tryLockRingBriefly()
{
    // Tries again and again rather than sleeping in a timed lock: the writer holds the lock
    // for one copy, so it is normally free within a few tries.
    const auto deadline = std::chrono::steady_clock::now() + kRenderLockWait;
    while (!mRingBufferLock.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

bool ZEPAudioPullRingBuffer::consumeFramesFromReader(UInt32 frames)
{
    if (!tryLockRingBriefly())
        return false;
    const UInt32 dropped = std::min(frames, amountFrames());
    consumeFrames(frames);
    mCurReadSampleTime.fetch_add(dropped, std::memory_order_relaxed);
    mRingBufferLock.unlock();
    return true;
}

OSStatus ZEPAudioPullRingBuffer::readFrames(UInt32* ioFrames, AudioBufferList* bufferList)
{
    OSStatus status = noErr;
    bool served = false;
    if (tryLockRingBriefly()) {
        if (amountFrames() >= *ioFrames) {
            const UInt32 asked = *ioFrames;
            status = readFramesLocked(ioFrames, bufferList);
            mCurReadSampleTime.fetch_add(asked, std::memory_order_relaxed);
            served = true;
        }
        mRingBufferLock.unlock();
    }
    if (!served) {
        *ioFrames = 0;
        for (UInt32 i = 0; bufferList && i < bufferList->mNumberBuffers; ++i)
            bufferList->mBuffers[i].mDataByteSize = 0;
    }
    if (spaceFrames() >= 2 * mProcessFrames)
        wakeLoader();
    return status;
}

OSStatus ZEPAudioPullRingBuffer::pullOnce(ZEPAudioPullRingBufferAudioSource* source, AudioTimeStamp& timeStamp,
                                          UInt32* outDelivered)
{
    resetPullBufferSizes();
    timeStamp.mSampleTime = Float64(mCurWriteSampleTime);
    UInt32 frames = mProcessFrames;
    const OSStatus result = source->pullFrames(&frames, mBufferList, &timeStamp);
    frames = std::min(frames, mProcessFrames);
    if (frames > 0) {
        // Whatever the answer, frames delivered are kept.
        for (UInt32 i = 0; i < mBufferList->mNumberBuffers; ++i)
            mBufferList->mBuffers[i].mDataByteSize = frames * audioDescription().mBytesPerPacket;
        writeFrames(frames, mBufferList);
        mCurWriteSampleTime += frames;
    }
    *outDelivered = frames;
    return result;
}

void ZEPAudioPullRingBuffer::thread()
{
    mThreadIsRunning.store(true);
    ZEPAudioPullRingBufferAudioSource* source = audioSource();
    AudioTimeStamp timeStamp;
    timeStamp.mFlags = kAudioTimeStampHostTimeValid;
    const Float64 sampleRate = audioDescription().mSampleRate > 0 ? audioDescription().mSampleRate : 44100.0;
    const auto pause = std::chrono::nanoseconds(SInt64(Float64(mProcessFrames) / sampleRate * 0.5 * 1e9));

    while (source && mThreadKeepRunning.load()) {
        {
            std::unique_lock lock(mKeepReadingMutex);
            while (mKeepReadingCondition.load() != kLoaderMayPull && !mIgnoreLocks.load()) {
                mKeepReadingCondition.store(kLoaderWaits);
                if (mKeepReadingCondVar.wait_for(lock, pause) == std::cv_status::timeout &&
                    spaceFrames() >= 2 * mProcessFrames)
                    break;
            }
        }
        if (!mThreadKeepRunning.load())
            break;
        const UInt32 space = spaceFrames();
        if (2 * mProcessFrames > space) {
            mKeepReadingCondition.store(kLoaderWaits);
            continue;
        }
        UInt32 frames = 0;
        const OSStatus result = pullOnce(source, timeStamp, &frames);
        const bool ended = result == kZEPAudioSourceEndOfData || (result == noErr && frames == 0);
        if (ended && !mIgnoreEmpty.load())
            break;
        if (frames == 0)
            mKeepReadingCondition.store(kLoaderWaits); // nothing now: pause before trying again
        else if (spaceFrames() > 2 * mProcessFrames)
            mKeepReadingCondition.store(kLoaderMayPull);
        else if (result == noErr)
            mKeepReadingCondition.store(kLoaderWaits);
    }
    mIgnoreLocks.store(true);
    mThreadKeepRunning.store(false);
    mThreadIsRunning.store(false);
}

OSStatus ZEPAudioPullRingBuffer::prime(UInt32 frames)
{
    ZEPAudioPullRingBufferAudioSource* source = audioSource();
    if (!source)
        return noErr;
    frames = std::min(frames, capacityFrames());
    AudioTimeStamp timeStamp;
    timeStamp.mFlags = kAudioTimeStampHostTimeValid;
    OSStatus result = noErr;
    for (UInt32 stored = amountFrames(); stored < frames;) {
        UInt32 delivered = 0;
        result = pullOnce(source, timeStamp, &delivered);
        stored += delivered;
        if (result != noErr || delivered == 0)
            break;
    }
    return result;
}
