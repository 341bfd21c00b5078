#include "audio/engine/ZEPLocklessPullAudioPlayer.h"

std::unique_ptr<ZEPLocklessPullAudioPlayer> ZEPLocklessPullAudioPlayer::create(
    AudioObjectID device, ZEPAudioSource* audioSource, const AudioStreamBasicDescription& inputDescription,
    UInt32 capacityFrames, OSStatus* outStatus)
{
    std::unique_ptr<ZEPLocklessPullAudioPlayer> player(new ZEPLocklessPullAudioPlayer());
    const OSStatus status =
        player->initRings(device, audioSource, inputDescription, capacityFrames, kPullFrames, capacityFrames);
    player->mOverloadFrames = capacityFrames / 4;
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(player) : nullptr;
}

void ZEPLocklessPullAudioPlayer::finishPlaying()
{
    setStopWhenEmpty(true);
    for (auto& ring : mPullBuffers)
        ring->stop();
}

void ZEPLocklessPullAudioPlayer::handleOverload()
{
    if (ZEPAudioPlayerDelegate* observer = delegate())
        observer->playerDidOverload(this);
    mOverloadFrames = currentRingBuffer()->capacityFrames() / 4;
    mHandlingOverload = false;
}

void ZEPLocklessPullAudioPlayer::handleRealtimeMessage(uint16_t message)
{
    if (message == kOverloadMessage)
        handleOverload();
    else
        ZEPBufferedPullPlayer::handleRealtimeMessage(message);
}

bool ZEPLocklessPullAudioPlayer::consumeOnRenderThread(UInt32 frames)
{
    currentRingBuffer()->consumeFrames(frames); // lock-free on the reader's side
    return true;
}

OSStatus ZEPLocklessPullAudioPlayer::renderFrames(UInt32* frames, AudioBufferList* ioData,
                                                  AudioUnitRenderActionFlags* renderFlags, const AudioTimeStamp*,
                                                  void*)
{
    switchRingsIfAsked(); // lock-free: the skip never waits
    ZEPAudioLocklessPullRingBuffer* ring = currentRingBuffer();
    const ListShape shape(ioData);
    const UInt32 wanted = *frames;
    const UInt32 stored = ring->amountFrames();
    if (mRecoveringFromOverload.load(std::memory_order_relaxed) && stored >= mOverloadFrames.load())
        mRecoveringFromOverload = false;

    bool read = false;
    bool failed = false;
    if (stored > wanted) {
        UInt32 count = wanted;
        failed = ring->readFrames(&count, ioData) != noErr;
        read = !failed && count > 0;
        if (read)
            setSampleTime(sampleTime() + count);
    }
    if (!read) {
        if (!mHandlingOverload.load() && !mRecoveringFromOverload.load() &&
            (failed || stored < mOverloadFrames.load() || lastRenderError() != noErr)) {
            mHandlingOverload = true;
            mRecoveringFromOverload = true;
            // A report the full main-thread queue did not take counts as not made, so the
            // next dry slice reports it again instead of the overload going unheard for good.
            if (!sendRealtimeMessage(kOverloadMessage)) {
                mHandlingOverload = false;
                mRecoveringFromOverload = false;
            }
        }
        shape.silence(ioData, renderFlags);
    }
    return finishRender(read ? wanted : 0, frames, ioData, renderFlags);
}
