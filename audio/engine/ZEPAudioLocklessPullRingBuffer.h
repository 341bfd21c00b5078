#pragma once
// A lock-free ring buffer that keeps itself filled: its loader (ZEPRingLoader) pulls the
// producer in pulls of pullFrames() frames, on a thread of fixed priority 63 (which the
// program keeps below its audio threads, else normal priority). The loader sleeps while the
// ring holds at least refillMark() frames (half the capacity unless set) and refills it to
// the top, pull after pull, once reads have taken it below the mark. The render thread
// reads as from ZEPAudioLocklessRingBuffer, lock-free; a read wakes the loader with one
// system call only when the ring fell below the mark and the loader sleeps.
//
// A producer that is rewound while the loader runs starts its stream afresh
// (ZEPAudioLocklessPullRingBufferAudioSource::restartsStream): the loader pulls at once,
// however full the ring is, and the reader goes on from the new frames.
//
// The loader ends by itself when a pull answers end of data (666), or success with no
// frames, unless ignoreEmpty() is set. A pull that delivers nothing (667, or an ignored end)
// is followed by a pause of half a pull before the next try, so a producer that has nothing
// yet is not spun on.
//
// Threads: start, stop, requestStop, reset, prime, setPullFrames, setRefillMark and
// setAudioSource on a control thread (the setters and prime only while the loader is
// stopped); readFrames on the reader's thread; the loader is the only writer while it runs.
// stop() returns only once the loader thread has ended.

#include "audio/engine/ZEPAudioLocklessRingBuffer.h"
#include "audio/engine/ZEPAudioSource.h"
#include "audio/engine/ZEPRingLoader.h"

#include <memory>

class ZEPAudioLocklessPullRingBuffer : public ZEPAudioLocklessRingBuffer, private ZEPRingLoader::Ring {
public:
    static constexpr UInt32 kDefaultPullFrames = 512;

    ZEPAudioLocklessPullRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames);
    ~ZEPAudioLocklessPullRingBuffer() override;

    // Not owned; it must outlive the loader.
    void setAudioSource(ZEPAudioLocklessPullRingBufferAudioSource* audioSource) { mAudioSource.store(audioSource); }
    ZEPAudioLocklessPullRingBufferAudioSource* audioSource() const { return mAudioSource.load(); }
    // Frames per pull (rebuilds the pull list).
    void setPullFrames(UInt32 frames);
    UInt32 pullFrames() const { return mProcessFrames; }
    void setRefillMark(UInt32 frames) { mLoader.setRefillMark(frames); }
    UInt32 refillMark() const { return mLoader.refillMark(); }
    void setIgnoreEmpty(bool ignoreEmpty) { mLoader.setIgnoreEmpty(ignoreEmpty); }
    bool ignoreEmpty() const { return mLoader.ignoreEmpty(); }

    bool isRunning() const { return mLoader.isRunning(); }
    // Starts the loader unless it runs (a running one looks at the ring again). Throws
    // CAException when no thread can be made.
    void start();
    void stop();
    // Asks the loader to end after its pull under way, without waiting for it.
    void requestStop() noexcept { mLoader.requestStop(); }
    // Stops the loader and sets every position back to 0.
    void reset() override;

    // Reads lock-free, then wakes the loader if the ring needs it.
    OSStatus readFrames(UInt32* ioFrames, AudioBufferList* bufferList) override;
    // Makes a sleeping loader look at the ring now (any thread, render-safe).
    void wakeLoader() noexcept { mLoader.wake(); }

    // Fills the ring on the caller's thread until it holds frames frames (at most its
    // capacity), the producer answers anything but success, or delivers nothing. Returns
    // the last pull's result.
    OSStatus prime(UInt32 frames);

private:
    UInt32 loaderHeldFrames() const override { return amountFrames(); }
    UInt32 loaderSpaceFrames() const override { return spaceFrames(); }
    // One pull of the producer at the write position; stores what it delivers.
    OSStatus loaderPull(UInt32* delivered) override;
    bool loaderMustPull() override;

    UInt32 mProcessFrames = 0;
    AudioBufferList* mSourceBufferList = nullptr;
    UInt32 mSourceBufferListDataSize = 0;
    std::atomic<ZEPAudioLocklessPullRingBufferAudioSource*> mAudioSource{nullptr};
    ZEPRingLoader mLoader;
};
