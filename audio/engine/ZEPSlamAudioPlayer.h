#pragma once
// The editor's scrub player: its owner writes one block at a time ("slams" it) into a
// non-restrictive ring, and the player plays whatever the ring holds, telling its delegate
// when playback reaches a mark. The player is its own producer.
//
// Threads: slamFrames and setMarkFrames on the main thread; renderFrames on the device's
// thread, which only tries the ring's lock (a slice that finds it busy plays silence) and
// tells the delegate of the mark on that thread. framesPlayed counts what the output path
// rendered, once per slice.

#include "audio/engine/ZEPAudioPlayer.h"
#include "audio/engine/ZEPAudioRingBuffer.h"

class ZEPSlamAudioPlayer : public ZEPAudioPlayer {
public:
    static std::unique_ptr<ZEPSlamAudioPlayer> create(AudioObjectID device,
                                                      const AudioStreamBasicDescription& inputDescription,
                                                      UInt32 slamAmountFrames, OSStatus* outStatus = nullptr);
    // A null uid plays on the default output; an unknown one gives null.
    static std::unique_ptr<ZEPSlamAudioPlayer> createWithDeviceUID(const QString& deviceUID,
                                                                   const AudioStreamBasicDescription& inputDescription,
                                                                   UInt32 slamAmountFrames,
                                                                   OSStatus* outStatus = nullptr);
    ~ZEPSlamAudioPlayer() override;

    // Empties the ring, sets framesPlayed to 0 and writes the block.
    OSStatus slamFrames(UInt32 frames, const AudioBufferList* bufferList);
    void setMarkFrames(SInt64 markFrames) { mMarkFrames.store(markFrames); }
    SInt64 markFrames() const { return mMarkFrames.load(); }

    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;

private:
    ZEPSlamAudioPlayer() = default;
    std::unique_ptr<ZEPAudioRingBuffer> mRingBuffer;
    std::atomic<SInt64> mMarkFrames{0};
};
