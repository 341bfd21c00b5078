#pragma once
// The loader thread both pull rings share (ZEPAudioPullRingBuffer, and the lock-free
// ZEPAudioLocklessPullRingBuffer): it keeps its ring filled from a producer, in large pulls.
// While the ring holds refillMark() frames or more, the loader sleeps; once a reader takes
// it below the mark, the loader pulls pullFrames() at a time until no further pull fits, and
// sleeps again. A pull that delivers nothing for now (667, or an end that is ignored) is
// tried again after retryPause().
//
// The loader ends by itself when a pull answers the end (666, or success with no frames)
// unless ignoreEmpty() is set, or unless it was started again meanwhile (a producer that
// was repositioned has more to give).
//
// Waking: the reader calls readerDidRead() after each read. It is render-safe: it compares
// the ring's fill with the mark and posts the loader's semaphore (one system call) only when
// the ring needs frames and the loader sleeps, once per sleep; a read that needs nothing
// makes no system call. wake() posts whenever the loader sleeps (a control thread's nudge).
//
// Priority: the loader runs on a CAPThread of the priority given, which the program keeps
// below its audio threads (platform/ThreadPriority.h); the loader follows changes of their
// priority between pulls.
//
// Threads: start, stop, requestStop, prime and the setters on a control thread (the setters
// and prime while the loader is stopped); readerDidRead and wake on the reader's thread (or
// any); the Ring's methods run on the loader's thread (and on prime's caller).

#include "audio/engine/CAPThread.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <semaphore.h>

class ZEPRingLoader {
public:
    // The priority both rings give their loaders: real-time where the system grants it,
    // always below the audio threads. A loader at normal priority can be preempted by any
    // busy process while it holds the locked ring to publish, and the render, which only
    // tries that lock, then plays silence.
    static constexpr SInt32 kLoaderPriority = 63;

    // What a loader fills.
    class Ring {
    public:
        virtual ~Ring() = default;
        // Frames stored for the reader, and frames that can be stored without overtaking it.
        virtual UInt32 loaderHeldFrames() const = 0;
        virtual UInt32 loaderSpaceFrames() const = 0;
        // Pulls the producer once, pullFrames() at most, and stores what it delivers: the
        // pull's result, with the frames stored in *delivered.
        virtual OSStatus loaderPull(UInt32* delivered) = 0;
        // True when the next pull must be made whatever the ring holds (a producer that
        // starts its stream afresh makes room by itself). Loader's thread only.
        virtual bool loaderMustPull() { return false; }
    };

    // Throws std::system_error when the semaphore cannot be made.
    ZEPRingLoader(Ring& ring, SInt32 priority, bool fixedPriority);
    ~ZEPRingLoader();
    ZEPRingLoader(const ZEPRingLoader&) = delete;
    ZEPRingLoader& operator=(const ZEPRingLoader&) = delete;

    void setPullFrames(UInt32 frames) { mPullFrames.store(frames); }
    UInt32 pullFrames() const { return mPullFrames.load(); }
    // The loader refills once the ring holds fewer frames than this.
    void setRefillMark(UInt32 frames) { mRefillMark.store(frames); }
    UInt32 refillMark() const { return mRefillMark.load(); }
    void setRetryPause(std::chrono::nanoseconds pause) { mRetryPause = pause; }
    std::chrono::nanoseconds retryPause() const { return mRetryPause; }
    void setIgnoreEmpty(bool ignoreEmpty) { mIgnoreEmpty.store(ignoreEmpty); }
    bool ignoreEmpty() const { return mIgnoreEmpty.load(); }

    // True from start() until the loader ends or is asked to.
    bool isRunning() const;
    // Starts the loader; a running loader is told to look at its ring again, one asked to
    // stop goes on instead. Never waits for a loader that is ending: it returns once a new
    // thread is made. Throws CAException when no thread can be made.
    void start();
    // Returns once the loader has ended.
    void stop();
    // Asks the loader to end after the pull under way; returns at once.
    void requestStop() noexcept;

    // Render-safe (see above).
    void readerDidRead() noexcept;
    void wake() noexcept;

    // Fills the ring on the caller's thread until it holds frames frames, no pull fits, or a
    // pull answers anything but success with frames. The last pull's result.
    OSStatus prime(UInt32 frames);

    // A ring's pull of its producer (any class with pullFrames()): the pull list's buffers
    // (up to 4) set to their full byte size, a time stamp of the ring's write position; the
    // pull's result, with what came (at most maxFrames) in *frames.
    template <class Source>
    static OSStatus pullSource(Source& source, AudioBufferList* list, UInt32 fullBytes, UInt32 maxFrames,
                               SInt64 writePosition, UInt32* frames)
    {
        for (UInt32 i = 0; i < list->mNumberBuffers && i < 4; ++i)
            list->mBuffers[i].mDataByteSize = fullBytes;
        AudioTimeStamp timeStamp;
        timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
        timeStamp.mSampleTime = Float64(writePosition);
        *frames = maxFrames;
        const OSStatus result = source.pullFrames(frames, list, &timeStamp);
        if (*frames > maxFrames)
            *frames = maxFrames;
        return result;
    }

private:
    // The state word: the mode in the low bits, a count of starts above them.
    enum Mode : unsigned { kStopped = 0, kRunning = 1, kStopRequested = 2, kEnding = 3 };
    static constexpr unsigned kModeMask = 3;
    static constexpr unsigned kStartStep = 4;

    static void* entry(void* loader);
    void run();
    bool ringNeedsFrames() const;
    // Sleeps until woken, or for at most pause.
    void sleep(std::chrono::nanoseconds pause);
    // Leaves the loop: true when the loader may end now (an end with no start since).
    bool mayEnd(unsigned stateAtPull);

    Ring& mRing;
    const SInt32 mPriority;
    const bool mFixedPriority;
    std::atomic<UInt32> mPullFrames{512};
    std::atomic<UInt32> mRefillMark{0};
    std::chrono::nanoseconds mRetryPause{std::chrono::milliseconds(5)};
    std::atomic<bool> mIgnoreEmpty{false};
    std::atomic<unsigned> mState{kStopped};
    std::atomic<bool> mSleeping{false};
    sem_t mWake;
    std::mutex mControl; // serialises start and stop
    std::unique_ptr<CAPThread> mThread;
    std::unique_ptr<CAPThread> mRetired; // a thread that was ending when a start came
};
