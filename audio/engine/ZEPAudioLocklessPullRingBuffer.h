#pragma once
// A lock-free ring buffer that keeps itself filled: a loader thread (fixed priority 63
// where the system allows it, else normal priority) pulls its producer in pulls of
// pullFrames() frames whenever that much space is free, and sleeps on a guard otherwise,
// for half a pull's duration or until a read wakes it. The render thread reads as from
// ZEPAudioLocklessRingBuffer, lock-free; its only extra work is a condition signal.
//
// The loader ends by itself when a pull answers end of data (666), or success with no
// frames, unless ignoreEmpty() is set. A pull that delivers nothing (667, or an ignored end)
// is followed by a pause of the same half pull before the next try, so a producer that has
// nothing yet is not spun on.
//
// Threads: start, stop, reset, prime, setPullFrames and setAudioSource on a control thread
// (setPullFrames, setAudioSource and prime only while the loader is stopped); readFrames on
// the reader's thread; the loader is the only writer while it runs. stop() returns only
// once the loader thread has ended.

#include "audio/engine/CAGuard.h"
#include "audio/engine/CAPThread.h"
#include "audio/engine/ZEPAudioLocklessRingBuffer.h"
#include "audio/engine/ZEPAudioSource.h"

#include <memory>
#include <mutex>

class ZEPAudioLocklessPullRingBuffer : public ZEPAudioLocklessRingBuffer {
public:
    static constexpr UInt32 kDefaultPullFrames = 512;
    static constexpr SInt32 kLoaderPriority = 63;

    ZEPAudioLocklessPullRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames);
    ~ZEPAudioLocklessPullRingBuffer() override;

    // Not owned; it must outlive the loader.
    void setAudioSource(ZEPAudioLocklessPullRingBufferAudioSource* audioSource) { mAudioSource.store(audioSource); }
    ZEPAudioLocklessPullRingBufferAudioSource* audioSource() const { return mAudioSource.load(); }
    // Frames per pull (rebuilds the pull list).
    void setPullFrames(UInt32 frames);
    UInt32 pullFrames() const { return mProcessFrames; }
    void setIgnoreEmpty(bool ignoreEmpty) { mIgnoreEmpty.store(ignoreEmpty); }
    bool ignoreEmpty() const { return mIgnoreEmpty.load(); }

    bool isRunning() const;
    // Starts the loader unless it runs. Throws CAException when no thread can be made.
    void start();
    void stop();
    // Stops the loader and sets every position back to 0.
    void reset() override;

    // Reads lock-free, then wakes the loader.
    OSStatus readFrames(UInt32* ioFrames, AudioBufferList* bufferList) override;

    // Fills the ring on the caller's thread until it holds frames frames (at most its
    // capacity), the producer answers anything but success, or delivers nothing. Returns
    // the last pull's result.
    OSStatus prime(UInt32 frames);

private:
    static void* threadEntry(void* buffer);
    void thread();
    void resetSourceBufferSizes();
    // One pull of the producer at the write position; stores what it delivers.
    OSStatus pullOnce(ZEPAudioLocklessPullRingBufferAudioSource* source, AudioTimeStamp& timeStamp,
                      UInt32* outDelivered);

    mutable std::mutex mLock;
    std::atomic<bool> mThreadKeepRunning{false};
    std::atomic<bool> mThreadIsRunning{false};
    UInt32 mProcessFrames = 0;
    AudioBufferList* mSourceBufferList = nullptr;
    UInt32 mSourceBufferListDataSize = 0;
    SInt64 mCurWriteSampleTime = 0;
    SInt64 mCurReadSampleTime = 0;
    std::atomic<ZEPAudioLocklessPullRingBufferAudioSource*> mAudioSource{nullptr};
    std::atomic<bool> mIgnoreEmpty{false};
    CAGuard mIOGuard{"ZEPAudioLocklessPullRingBufferGuard"};
    std::unique_ptr<CAPThread> mCAPThread;
};
