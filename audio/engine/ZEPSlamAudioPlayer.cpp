#include "audio/engine/ZEPSlamAudioPlayer.h"

#include "audio/engine/ZEPAudioDevice.h"

std::unique_ptr<ZEPSlamAudioPlayer> ZEPSlamAudioPlayer::create(AudioObjectID device,
                                                               const AudioStreamBasicDescription& inputDescription,
                                                               UInt32 slamAmountFrames, OSStatus* outStatus)
{
    std::unique_ptr<ZEPSlamAudioPlayer> player(new ZEPSlamAudioPlayer());
    OSStatus status = player->initWithDevice(device, player.get(), inputDescription);
    if (status == noErr) {
        AudioStreamBasicDescription format;
        player->getInputDescription(&format);
        try {
            player->mRingBuffer = std::make_unique<ZEPAudioRingBuffer>(format, slamAmountFrames, false);
        } catch (const std::bad_alloc&) {
            status = kRingBufferMemoryError;
        }
    }
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(player) : nullptr;
}

std::unique_ptr<ZEPSlamAudioPlayer> ZEPSlamAudioPlayer::createWithDeviceUID(
    const QString& deviceUID, const AudioStreamBasicDescription& inputDescription, UInt32 slamAmountFrames,
    OSStatus* outStatus)
{
    AudioObjectID device = 0;
    if (!deviceUID.isNull() && ZEPDeviceIDForUID(deviceUID, &device) != noErr) {
        if (outStatus)
            *outStatus = kAudioHardwareBadDeviceError;
        return nullptr;
    }
    return create(device, inputDescription, slamAmountFrames, outStatus);
}

ZEPSlamAudioPlayer::~ZEPSlamAudioPlayer()
{
    if (isRunning())
        stop();
}

OSStatus ZEPSlamAudioPlayer::slamFrames(UInt32 frames, const AudioBufferList* bufferList)
{
    mRingBuffer->lock();
    mRingBuffer->reset();
    setFramesPlayed(0);
    const OSStatus status = mRingBuffer->writeFrames(frames, bufferList);
    mRingBuffer->unlock();
    return status;
}

OSStatus ZEPSlamAudioPlayer::renderFrames(UInt32* frames, AudioBufferList* ioData,
                                          AudioUnitRenderActionFlags* renderFlags, const AudioTimeStamp*, void*)
{
    if (!mRingBuffer->tryLock()) {
        ZEPRenderSilence(ioData, renderFlags); // the owner is slamming a block right now
        return noErr;
    }
    // Non-restrictive: past the block the frames are whatever the ring holds.
    const OSStatus status = mRingBuffer->readFramesLocked(frames, ioData);
    mRingBuffer->unlock();
    // The output path adds this slice to framesPlayed once it is rendered: only the mark is
    // judged here, against the count the slice will bring.
    const SInt64 before = framesPlayed();
    const SInt64 after = before + SInt64(*frames);
    const SInt64 mark = mMarkFrames.load(std::memory_order_relaxed);
    if (mark > 0 && before < mark && mark <= after) {
        if (ZEPAudioPlayerDelegate* observer = delegate())
            observer->slamAudioPlayerDidReachMark(this);
    }
    return status;
}
