#pragma once
// A restrictive locked ring (ZEPAudioRingBuffer) that fills itself: a loader thread pulls a
// ZEPAudioPullRingBufferAudioSource in pulls of pullFrames() frames while at least two
// pulls' worth of space is free, and sleeps on a condition otherwise until a reader frees
// space (or half a pull's duration has passed: a wake-up that crossed its sleep is never
// waited for longer than that).
//
// The reader side is made for the device's render thread and never blocks on the loader:
// it tries the ring's lock for at most kRenderLockWait (a writer holds it only for one
// copy) and does not wait for data at all. A read finds either the frames asked, or (when
// fewer are stored, or the lock stayed busy) *ioFrames = 0 with zero byte sizes, the
// caller's buffers untouched, as after the loader has ended.
//
// The loader ends by itself when a pull answers 666, or success with no frames, unless
// ignoreEmpty() is set; a pull that delivers nothing is followed by a pause of half a pull.
//
// Threads: start, stop, reset, prime, setPullFrames and setAudioSource on a control thread
// (the last three while the loader is stopped); readFrames on the reader's thread. stop()
// and reset() return once the loader has ended; start() never runs a second loader.

#include "audio/engine/ZEPAudioRingBuffer.h"
#include "audio/engine/ZEPAudioSource.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

class ZEPAudioPullRingBuffer : public ZEPAudioRingBuffer {
public:
    static constexpr UInt32 kDefaultPullFrames = 512;
    static constexpr std::chrono::microseconds kRenderLockWait{500};

    // Throws std::bad_alloc when the rings or the pull list cannot be made.
    ZEPAudioPullRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames);
    ~ZEPAudioPullRingBuffer() override;

    // Not owned; it must outlive the loader.
    void setAudioSource(ZEPAudioPullRingBufferAudioSource* audioSource) { mAudioSource.store(audioSource); }
    ZEPAudioPullRingBufferAudioSource* audioSource() const { return mAudioSource.load(); }
    void setPullFrames(UInt32 frames);
    UInt32 pullFrames() const { return mProcessFrames; }
    void setIgnoreEmpty(bool ignoreEmpty) { mIgnoreEmpty.store(ignoreEmpty); }
    bool ignoreEmpty() const { return mIgnoreEmpty.load(); }

    bool isRunning() const { return mThreadKeepRunning.load(); }
    void start();
    void stop();
    // Stops the loader, empties the ring and sets both positions to 0.
    void reset();

    OSStatus readFrames(UInt32* ioFrames, AudioBufferList* bufferList) override;
    // Drops the n oldest frames from the reader's side, taking the lock like readFrames (for
    // at most kRenderLockWait); false when it stayed busy and nothing was dropped.
    bool consumeFramesFromReader(UInt32 frames);

    // Fills the ring on the caller's thread until it holds frames frames (at most its
    // capacity), a pull answers anything but success, or delivers nothing.
    OSStatus prime(UInt32 frames);

private:
    enum KeepReading : UInt32 { kLoaderWaits = 1, kLoaderMayPull = 2 };

    void thread();
    void wakeLoader();
    // Takes the ring's lock if it comes free within kRenderLockWait.
    bool tryLockRingBriefly();
    void resetPullBufferSizes();
    // One pull of the producer at the write position; stores what it delivers.
    OSStatus pullOnce(ZEPAudioPullRingBufferAudioSource* source, AudioTimeStamp& timeStamp, UInt32* outDelivered);

    std::atomic<bool> mIgnoreLocks{false};
    std::atomic<bool> mThreadKeepRunning{false};
    std::atomic<bool> mThreadIsRunning{false};
    UInt32 mProcessFrames = 0;
    AudioBufferList* mBufferList = nullptr;
    UInt32 mBufferListDataSize = 0;
    std::atomic<UInt32> mKeepReadingCondition{0};
    std::condition_variable mKeepReadingCondVar;
    std::mutex mKeepReadingMutex;
    std::mutex mControlLock; // serialises start, stop and reset
    std::thread mLoader;
    SInt64 mCurWriteSampleTime = 0;
    std::atomic<SInt64> mCurReadSampleTime{0};
    std::atomic<ZEPAudioPullRingBufferAudioSource*> mAudioSource{nullptr};
    std::atomic<bool> mIgnoreEmpty{false};
};
