#pragma once
// A restrictive locked ring (ZEPAudioRingBuffer) that fills itself: its loader
// (ZEPRingLoader, real-time below the audio threads where allowed) pulls a ZEPAudioPullRingBufferAudioSource in pulls of
// pullFrames() frames. The loader sleeps while the ring holds at least refillMark() frames
// (half the capacity unless set) and refills it to the top once reads have taken it below.
//
// The reader side is made for the device's render thread and never waits: it tries the
// ring's lock once and does not wait for data at all. The loader copies its frames into the
// free space without the lock and holds it only to publish them (writeFramesIntoSpace), so
// the try finds it busy next to never.
// A read finds either the frames asked, or (when fewer are stored, or the lock was busy)
// *ioFrames = 0 with zero byte sizes, the caller's buffers untouched, as after the loader
// has ended. A read wakes the loader (one system call) only when the ring needs frames.
//
// The loader ends by itself when a pull answers 666, or success with no frames, unless
// ignoreEmpty() is set; a pull that delivers nothing is followed by a pause of half a pull.
//
// Threads: start, stop, reset, prime, setPullFrames, setRefillMark and setAudioSource on a
// control thread (the setters and prime while the loader is stopped); readFrames and
// consumeFramesFromReader on the reader's thread. stop() and reset() return once the loader
// has ended; start() never runs a second loader.

#include "audio/engine/ZEPAudioRingBuffer.h"
#include "audio/engine/ZEPAudioSource.h"
#include "audio/engine/ZEPRingLoader.h"

#include <atomic>

class ZEPAudioPullRingBuffer : public ZEPAudioRingBuffer, private ZEPRingLoader::Ring {
public:
    static constexpr UInt32 kDefaultPullFrames = 512;

    // Throws std::bad_alloc when the rings or the pull list cannot be made.
    ZEPAudioPullRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames);
    ~ZEPAudioPullRingBuffer() override;

    // Not owned; it must outlive the loader.
    void setAudioSource(ZEPAudioPullRingBufferAudioSource* audioSource) { mAudioSource.store(audioSource); }
    ZEPAudioPullRingBufferAudioSource* audioSource() const { return mAudioSource.load(); }
    void setPullFrames(UInt32 frames);
    UInt32 pullFrames() const { return mProcessFrames; }
    void setRefillMark(UInt32 frames) { mLoader.setRefillMark(frames); }
    UInt32 refillMark() const { return mLoader.refillMark(); }
    void setIgnoreEmpty(bool ignoreEmpty) { mLoader.setIgnoreEmpty(ignoreEmpty); }
    bool ignoreEmpty() const { return mLoader.ignoreEmpty(); }

    bool isRunning() const { return mLoader.isRunning(); }
    void start();
    void stop();
    // Stops the loader, empties the ring and sets both positions to 0.
    void reset();

    OSStatus readFrames(UInt32* ioFrames, AudioBufferList* bufferList) override;
    // For a reader that may wait (never the device's render thread): waits for the lock the
    // loader holds to publish, where readFrames() would give up, and reads what is stored,
    // up to *ioFrames.
    OSStatus readFramesWaitingForLock(UInt32* ioFrames, AudioBufferList* bufferList);
    // Drops the n oldest frames from the reader's side, with one try of the lock; false when
    // it was busy and nothing was dropped.
    bool consumeFramesFromReader(UInt32 frames);

    // Fills the ring on the caller's thread until it holds frames frames (at most its
    // capacity), a pull answers anything but success, or delivers nothing.
    OSStatus prime(UInt32 frames);

private:
    UInt32 loaderHeldFrames() const override { return amountFrames(); }
    UInt32 loaderSpaceFrames() const override { return spaceFrames(); }
    // One pull of the producer at the write position; stores what it delivers.
    OSStatus loaderPull(UInt32* delivered) override;

    UInt32 mProcessFrames = 0;
    AudioBufferList* mBufferList = nullptr;
    UInt32 mBufferListDataSize = 0;
    SInt64 mCurWriteSampleTime = 0;
    std::atomic<ZEPAudioPullRingBufferAudioSource*> mAudioSource{nullptr};
    ZEPRingLoader mLoader;
};
