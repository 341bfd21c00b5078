#pragma once
// A player fed by pushing: its owner writes frames into one of two restrictive rings
// (pushFrames), and the player plays the other, switching rings when a switch has been
// begun and finished. With auto-resize it rebuffers after running dry, growing the amount it
// waits for each time. The player is its own producer.
//
// Threads: push, switches and settings on the owner's thread; renderFrames on the device's
// thread, which only tries the rings' locks (a slice that finds one busy plays silence).

#include "audio/engine/ZEPAudioPlayer.h"
#include "audio/engine/ZEPAudioRingBuffer.h"

#include <array>

class ZEPPushAudioPlayer : public ZEPAudioPlayer {
public:
    static constexpr UInt32 kRingFrames = 524288;

    static std::unique_ptr<ZEPPushAudioPlayer> create(AudioObjectID device,
                                                      const AudioStreamBasicDescription& inputDescription,
                                                      OSStatus* outStatus = nullptr);

    // Stops the device before the rings the render reads go (the base class would stop it
    // only after them).
    ~ZEPPushAudioPlayer() override;

    OSStatus play() override;
    void reset() override;
    OSStatus pushFrames(UInt32 frames, const AudioBufferList* bufferList);
    UInt32 readBufferFrameCount() const;
    // A switch: writing moves to the other ring now; reading follows once the frames still
    // outstanding have played.
    void beginSwitch(UInt32 outstandingFrames);
    void finishSwitch(UInt32 outstandingFrames);
    void bypassGraphAfterCurrentFrames();

    void setAutoResizes(bool autoResizes) { mAutoResizes.store(autoResizes); }
    bool autoResizes() const { return mAutoResizes.load(); }
    void setResumeFrames(UInt32 frames) { mResumeFrames.store(frames); }
    UInt32 resumeFrames() const { return mResumeFrames.load(); }
    void setStopWhenEmpty(bool stopWhenEmpty) { mStopWhenEmpty.store(stopWhenEmpty); }
    bool stopWhenEmpty() const { return mStopWhenEmpty.load(); }
    void setIgnoreEmpty(bool ignoreEmpty) { mIgnoreEmpty.store(ignoreEmpty); }
    bool ignoreEmpty() const { return mIgnoreEmpty.load(); }

    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;

private:
    ZEPPushAudioPlayer() = default;
    ZEPAudioRingBuffer* ring(UInt32 index) const { return mRingBuffers[index].get(); }
    void switchReadRingIfDue();
    // Reads frames from the read ring when it holds them and its lock is free.
    bool readFromRing(ZEPAudioRingBuffer* ring, UInt32 frames, AudioBufferList* ioData);

    std::array<std::unique_ptr<ZEPAudioRingBuffer>, 2> mRingBuffers;
    std::atomic<UInt32> mCurReadBufferIndex{0};
    std::atomic<UInt32> mCurWriteBufferIndex{0};
    std::atomic<bool> mShouldSwitchReadBuffer{false};
    std::atomic<UInt32> mBeginSwitchOutstandingFrames{0};
    std::atomic<UInt32> mFinishSwitchOutstandingFrames{0};
    std::atomic<UInt32> mWriteFrameCountAtSwitch{0};
    std::atomic<UInt32> mResumeFrames{0};
    std::atomic<bool> mBufferEmptied{true};
    std::atomic<bool> mAutoResizes{true};
    std::atomic<bool> mIgnoreEmpty{true};
    std::atomic<bool> mStopWhenEmpty{false};
};
