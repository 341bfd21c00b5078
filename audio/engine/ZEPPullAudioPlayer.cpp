#include "audio/engine/ZEPPullAudioPlayer.h"

std::unique_ptr<ZEPPullAudioPlayer> ZEPPullAudioPlayer::create(AudioObjectID device, ZEPAudioSource* audioSource,
                                                               const AudioStreamBasicDescription& inputDescription,
                                                               UInt32 capacityFrames, OSStatus* outStatus)
{
    std::unique_ptr<ZEPPullAudioPlayer> player(new ZEPPullAudioPlayer());
    const OSStatus status = player->initRings(device, audioSource, inputDescription, capacityFrames,
                                              ZEPAudioPullRingBuffer::kDefaultPullFrames, kDefaultPrimeFrames);
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(player) : nullptr;
}

bool ZEPPullAudioPlayer::consumeOnRenderThread(UInt32 frames)
{
    return currentRingBuffer()->consumeFramesFromReader(frames);
}

OSStatus ZEPPullAudioPlayer::renderFrames(UInt32* frames, AudioBufferList* ioData,
                                          AudioUnitRenderActionFlags* renderFlags, const AudioTimeStamp*, void*)
{
    const ListShape shape(ioData);
    if (!switchRingsIfAsked()) {
        shape.silence(ioData, renderFlags); // the seek's skip must come first: next slice
        return noErr;
    }
    ZEPAudioPullRingBuffer* ring = currentRingBuffer();
    const UInt32 wanted = *frames;
    UInt32 count = 0;
    if (mStopWhenEmpty.load(std::memory_order_relaxed) || ring->amountFrames() > wanted) {
        count = wanted;
        ring->readFrames(&count, ioData);
    }
    if (count > 0) {
        setSampleTime(sampleTime() + count);
    } else {
        if (mStopWhenEmpty.load(std::memory_order_relaxed))
            stopPlaybackOnMainThread();
        shape.silence(ioData, renderFlags);
    }
    return finishRender(count, frames, ioData, renderFlags);
}
