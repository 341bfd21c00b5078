#include "audio/engine/ZEPPushAudioPlayer.h"

std::unique_ptr<ZEPPushAudioPlayer> ZEPPushAudioPlayer::create(AudioObjectID device,
                                                               const AudioStreamBasicDescription& inputDescription,
                                                               OSStatus* outStatus)
{
    std::unique_ptr<ZEPPushAudioPlayer> player(new ZEPPushAudioPlayer());
    OSStatus status = player->initWithDevice(device, player.get(), inputDescription);
    if (status == noErr) {
        AudioStreamBasicDescription format;
        player->getInputDescription(&format);
        try {
            for (auto& ring : player->mRingBuffers)
                ring = std::make_unique<ZEPAudioRingBuffer>(format, kRingFrames, true);
        } catch (const std::bad_alloc&) {
            status = kRingBufferMemoryError;
        }
    }
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(player) : nullptr;
}

ZEPPushAudioPlayer::~ZEPPushAudioPlayer()
{
    if (isRunning())
        stop();
}

OSStatus ZEPPushAudioPlayer::play()
{
    reset();
    return ZEPAudioPlayer::play();
}

void ZEPPushAudioPlayer::reset()
{
    mIgnoreEmpty = true;
    for (auto& ring : mRingBuffers)
        ring->reset();
    mBufferEmptied = true;
}

OSStatus ZEPPushAudioPlayer::pushFrames(UInt32 frames, const AudioBufferList* bufferList)
{
    return ring(mCurWriteBufferIndex.load())->writeFrames(frames, bufferList);
}

UInt32 ZEPPushAudioPlayer::readBufferFrameCount() const { return ring(mCurReadBufferIndex.load())->amountFrames(); }

void ZEPPushAudioPlayer::beginSwitch(UInt32 outstandingFrames)
{
    const UInt32 next = 1 - mCurWriteBufferIndex.load();
    ring(next)->reset();
    mCurWriteBufferIndex = next;
    mBeginSwitchOutstandingFrames = outstandingFrames;
}

void ZEPPushAudioPlayer::finishSwitch(UInt32 outstandingFrames)
{
    mFinishSwitchOutstandingFrames = outstandingFrames;
    const UInt32 fill = ring(mCurWriteBufferIndex.load())->amountFrames();
    mWriteFrameCountAtSwitch = fill;
    if (mBeginSwitchOutstandingFrames.load() > fill + outstandingFrames)
        mBeginSwitchOutstandingFrames = fill + outstandingFrames;
    mShouldSwitchReadBuffer = true;
}

void ZEPPushAudioPlayer::bypassGraphAfterCurrentFrames() { setFramesUntilBypass(readBufferFrameCount()); }

void ZEPPushAudioPlayer::switchReadRingIfDue()
{
    if (!mShouldSwitchReadBuffer.load(std::memory_order_acquire))
        return;
    ZEPAudioRingBuffer* readRing = ring(mCurReadBufferIndex.load());
    ZEPAudioRingBuffer* writeRing = ring(mCurWriteBufferIndex.load());
    const SInt64 written = SInt64(mFinishSwitchOutstandingFrames.load()) + mWriteFrameCountAtSwitch.load();
    const SInt64 due = SInt64(readRing->amountFrames()) + mBeginSwitchOutstandingFrames.load();
    if (written < due)
        return;
    if (!writeRing->tryLock())
        return; // the owner is pushing: try at the next slice
    if (!readRing->tryLock()) {
        writeRing->unlock();
        return;
    }
    if (written > due)
        writeRing->consumeFramesLocked(UInt32(written - due));
    readRing->resetLocked();
    readRing->unlock();
    writeRing->unlock();
    mCurReadBufferIndex = mCurWriteBufferIndex.load();
    mShouldSwitchReadBuffer = false;
    mBeginSwitchOutstandingFrames = 0;
    mFinishSwitchOutstandingFrames = 0;
}

bool ZEPPushAudioPlayer::readFromRing(ZEPAudioRingBuffer* ring, UInt32 frames, AudioBufferList* ioData)
{
    if (ring->amountFrames() < frames || !ring->tryLock())
        return false;
    UInt32 count = frames;
    ring->readFramesLocked(&count, ioData);
    ring->unlock();
    return count == frames;
}

OSStatus ZEPPushAudioPlayer::renderFrames(UInt32* frames, AudioBufferList* ioData,
                                          AudioUnitRenderActionFlags* renderFlags, const AudioTimeStamp*, void*)
{
    switchReadRingIfDue();
    const ListShape shape(ioData);
    ZEPAudioRingBuffer* readRing = ring(mCurReadBufferIndex.load());
    const bool readingWriteRing = mCurReadBufferIndex.load() == mCurWriteBufferIndex.load();
    if (mAutoResizes.load() && readingWriteRing) {
        if (mBufferEmptied.load() && readRing->amountFrames() > mResumeFrames.load()) {
            mBufferEmptied = false;
            mIgnoreEmpty = false;
        }
        if (!mBufferEmptied.load() && readFromRing(readRing, *frames, ioData))
            return noErr;
        shape.silence(ioData, renderFlags);
        mBufferEmptied = true;
        if (mIgnoreEmpty.exchange(true))
            return noErr;
        // Once per empty spell: stop if asked to, and wait longer before resuming next time.
        if (mStopWhenEmpty.load())
            stopPlaybackOnMainThread();
        const UInt32 old = mResumeFrames.load();
        const UInt32 grown = old + (old < 2048 ? 512 : old / 4);
        mResumeFrames = std::min(grown, readRing->capacityFrames() / 2);
        return noErr;
    }
    if (!readFromRing(readRing, *frames, ioData))
        shape.silence(ioData, renderFlags);
    return noErr;
}
