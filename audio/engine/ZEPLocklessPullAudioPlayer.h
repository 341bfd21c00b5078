#pragma once
// A pull player on two lock-free rings (ZEPAudioLocklessPullRingBuffer) that recovers from
// running dry: when its ring runs low (or the device reported an underrun) it tells its
// delegate playerDidOverload() once on the main thread, plays silence, and resumes when the
// ring holds a quarter of its capacity again. Seeks work as in ZEPBufferedPullPlayer.h.

#include "audio/engine/ZEPAudioLocklessPullRingBuffer.h"
#include "audio/engine/ZEPBufferedPullPlayer.h"

class ZEPLocklessPullAudioPlayer
    : public ZEPBufferedPullPlayer<ZEPAudioLocklessPullRingBuffer, ZEPAudioLocklessPullRingBufferAudioSource> {
public:
    static constexpr UInt32 kPullFrames = 256;

    static std::unique_ptr<ZEPLocklessPullAudioPlayer> create(AudioObjectID device, ZEPAudioSource* audioSource,
                                                              const AudioStreamBasicDescription& inputDescription,
                                                              UInt32 capacityFrames = 131072,
                                                              OSStatus* outStatus = nullptr);

    // Lets the rings play out and stop the player when empty.
    void finishPlaying();
    // Main thread: reports the overload and rearms the recovery threshold.
    void handleOverload();
    bool isRecoveringFromOverload() const { return mRecoveringFromOverload.load(); }

    ~ZEPLocklessPullAudioPlayer() override
    {
        if (isRunning())
            stop();
        stopRings();
    }

    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;

protected:
    bool consumeOnRenderThread(UInt32 frames) override;
    void handleRealtimeMessage(uint16_t message) override;

private:
    enum : uint16_t { kOverloadMessage = kFirstSubclassMessage };
    std::atomic<bool> mHandlingOverload{false};
    std::atomic<bool> mRecoveringFromOverload{false};
    std::atomic<UInt32> mOverloadFrames{0};
};
