#pragma once
// A player that plays from two locked pull rings (ZEPAudioPullRingBuffer) filled by loader
// threads: the sound editor's playback, with seamless seeks (ZEPBufferedPullPlayer.h).
//
// A dry ring plays silence and waits for its loader; once the player is told to stop when
// empty (the producer's end does that) a dry ring stops it on the main thread instead.

#include "audio/engine/ZEPAudioPullRingBuffer.h"
#include "audio/engine/ZEPBufferedPullPlayer.h"

class ZEPPullAudioPlayer : public ZEPBufferedPullPlayer<ZEPAudioPullRingBuffer, ZEPAudioPullRingBufferAudioSource> {
public:
    static constexpr UInt32 kDefaultCapacityFrames = 131072;
    static constexpr UInt32 kDefaultPrimeFrames = 22050;

    static std::unique_ptr<ZEPPullAudioPlayer> create(AudioObjectID device, ZEPAudioSource* audioSource,
                                                      const AudioStreamBasicDescription& inputDescription,
                                                      UInt32 capacityFrames = kDefaultCapacityFrames,
                                                      OSStatus* outStatus = nullptr);

    ~ZEPPullAudioPlayer() override
    {
        if (isRunning())
            stop();
        stopRings();
    }

    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;

protected:
    bool consumeOnRenderThread(UInt32 frames) override;
    void lockRing(ZEPAudioPullRingBuffer* ring) override { ring->lock(); }
    void unlockRing(ZEPAudioPullRingBuffer* ring) override { ring->unlock(); }
};
