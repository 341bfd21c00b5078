#pragma once
// What the two pull players share: a player that reads one of two rings filled by loader
// threads pulling the producer, with seeks that switch rings without a gap. A seek is
// beginSwitch(), reposition the producer, finishSwitch() (or finishSwitchWithTime()):
// playback goes on from the old ring until the new one is primed.
//
// The render thread takes a finished seek's switch at the start of a slice. A new seek first
// takes back a switch the render has not taken yet (its ring is then given up, its loader
// stopped), so a seek never prepares the ring the render thread is about to play: the ring
// being read and the pending switch live in one atomic word that only the render thread
// flips and only the control thread clears.
//
// Threads: play, stop, seeks, prime settings and burnFrames on the main thread; the rings'
// loaders pull the producer on their own threads; renderFrames() on the device's thread
// reads the current ring and never waits.
//
// Each final player stops the device in its own destructor: once a destructor further down
// has begun, the render would call into a half-destroyed object (the rings and the final
// class's overrides gone), and the base class stops the device only after that.

#include "audio/engine/ZEPAudioPlayer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

template <class Ring, class RingSource>
class ZEPBufferedPullPlayer : public ZEPAudioPlayer, public RingSource {
public:
    Ring* currentRingBuffer() const { return mPullBuffers[mRingState.load() & kCurrentRing].get(); }

    // The loader's pull: the player's producer, own flags, the player as sender. A producer
    // that ends makes the player stop once its ring has played out: every answer on which
    // the loader ends (666, with or without last frames, or success with nothing) counts,
    // whatever byte sizes the producer left, or the player would wait for frames that no
    // loader brings and play silence for ever.
    OSStatus pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp* timeStamp) override
    {
        ZEPAudioSource* source = audioSource();
        if (!source) {
            *frames = 0;
            return kZEPAudioSourceEndOfData;
        }
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = source->renderFrames(frames, bufferList, &flags, timeStamp, this);
        const bool nothing = *frames == 0;
        if (status == kZEPAudioSourceEndOfData || (nothing && status == noErr) ||
            (nothing && bufferList->mBuffers[0].mDataByteSize == 0))
            setStopWhenEmpty(true);
        return status;
    }

    void setPrimeAmountDuration(double seconds) { mPrimeFrames = UInt32(mSampleRate * seconds); }
    void setPrimeAmountFrames(UInt32 frames) { mPrimeFrames = frames; }
    UInt32 primeAmountFrames() const { return mPrimeFrames; }

    OSStatus play() override
    {
        AudioStreamBasicDescription format;
        if (const OSStatus status = getInputDescription(&format))
            return status;
        for (auto& ring : mPullBuffers) {
            ring->stop();
            ring->reset();
        }
        mRingState = 0;
        mPendingConsume = 0;
        mWillSwitch = false;
        currentRingBuffer()->prime(mPrimeFrames);
        currentRingBuffer()->start();
        const OSStatus status = ZEPAudioPlayer::play();
        if (status != noErr)
            stopRings(); // a player whose device did not start pulls nothing
        return status;
    }

    OSStatus stop() override
    {
        const OSStatus status = ZEPAudioPlayer::stop();
        stopRings();
        return status;
    }

    void reset() override { setFramesPlayed(0); }

    bool stopWhenEmpty() const { return mStopWhenEmpty.load(); }
    void setStopWhenEmpty(bool stopWhenEmpty) { mStopWhenEmpty.store(stopWhenEmpty); }
    // 0: no stop time.
    void setStopSampleTime(double sampleTime) { mStopSampleTime.store(sampleTime); }
    double stopSampleTime() const { return mStopSampleTime.load(); }

    void beginSwitch()
    {
        if (!isPlaying())
            return;
        Ring* ring = mPullBuffers[takeBackPendingSwitch()].get();
        mTimeAfterSwitch = -1.0; // a time given to a seek taken back is void
        lockRing(ring);
        mWillSwitch = true;
        mSwitchSampleTime = sampleTime();
        unlockRing(ring);
        ring->stop();
    }

    void finishSwitch()
    {
        if (!isPlaying())
            return;
        finishSwitchFrom(takeBackPendingSwitch());
    }

    void finishSwitchWithTime(double sampleTime)
    {
        if (!isPlaying())
            return;
        // Taken back first, so the render cannot hand this time to the switch taken back.
        const unsigned current = takeBackPendingSwitch();
        mTimeAfterSwitch = sampleTime;
        finishSwitchFrom(current);
    }

    bool isSwitching() const { return mWillSwitch.load(); }
    // The player's sample time when the last seek began.
    double switchSampleTime() const { return mSwitchSampleTime.load(); }
    double timeAfterSwitch() const { return mTimeAfterSwitch.load(); }

    // The effect chain is bypassed once what is buffered now has played.
    void bypassGraphAfterCurrentFrames() { setFramesUntilBypass(currentRingBuffer()->amountFrames()); }

    void burnFrames(UInt32 frames) override
    {
        setGraphInput(audioSource());
        ZEPAudioPlayer::burnFrames(frames);
        setGraphInput(this);
    }

protected:
    // The rings' loaders call into this player: each final player's destructor stops them
    // (with the device, when it runs) before anything of it goes, also when the device did
    // not start or has gone away.
    void stopRings()
    {
        for (auto& ring : mPullBuffers)
            ring->stop();
    }

    ZEPBufferedPullPlayer() = default;

    OSStatus initRings(AudioObjectID device, ZEPAudioSource* audioSource,
                       const AudioStreamBasicDescription& inputDescription, UInt32 capacityFrames, UInt32 pullFrames,
                       UInt32 primeFrames)
    {
        if (const OSStatus status = initWithDevice(device, audioSource, inputDescription))
            return status;
        AudioStreamBasicDescription format;
        getInputDescription(&format);
        try {
            for (auto& ring : mPullBuffers) {
                ring = std::make_unique<Ring>(format, capacityFrames);
                ring->setAudioSource(this);
                ring->setPullFrames(pullFrames);
            }
        } catch (const std::bad_alloc&) {
            return kRingBufferMemoryError;
        }
        mPrimeFrames = primeFrames;
        mSampleRate = format.mSampleRate;
        return noErr;
    }

    // Swaps rings when a finished seek asks for it (render thread): the new ring either
    // sets the time given, or drops the frames played since the seek began. False while
    // those frames could not be dropped yet (the ring stayed busy): the slice must not read
    // from the new ring, or it would play frames the seek skips.
    bool switchRingsIfAsked()
    {
        unsigned state = mRingState.load(std::memory_order_acquire);
        // One try: a seek that takes the switch back meanwhile wins, and this slice plays on.
        if ((state & kSwitchPending) &&
            mRingState.compare_exchange_strong(state, 1 - (state & kCurrentRing), std::memory_order_acq_rel)) {
            mWillSwitch = false;
            const double after = mTimeAfterSwitch.exchange(-1.0);
            if (after >= 0) {
                setSampleTime(after);
            } else {
                const double played = sampleTime() - mSwitchSampleTime.load();
                mPendingConsume = played > 0 ? UInt32(played) : 0;
            }
        }
        if (mPendingConsume.load(std::memory_order_relaxed) == 0)
            return true;
        if (!consumeOnRenderThread(mPendingConsume.load()))
            return false;
        mPendingConsume = 0;
        return true;
    }

    // The end of a render: the stop time, and the result of a slice that read nothing.
    // framesRead frames were read in this slice (the sample time already counts them).
    OSStatus finishRender(UInt32 framesRead, UInt32* frames, AudioBufferList* ioData,
                          AudioUnitRenderActionFlags* flags)
    {
        const bool readFrames = framesRead > 0;
        const double stopTime = mStopSampleTime.load(std::memory_order_relaxed);
        if (stopTime > 0 && sampleTime() >= stopTime) {
            // Play up to the stop time exactly: only the frames of this slice that lie at or
            // past it are silenced.
            const double sliceStart = sampleTime() - framesRead;
            const UInt32 keep = sliceStart < stopTime ? UInt32(stopTime - sliceStart) : 0;
            silenceFrom(readFrames ? keep : 0, ioData);
            if (keep == 0 && flags)
                *flags |= kAudioUnitRenderAction_OutputIsSilence;
            stopPlaybackOnMainThread();
            return noErr;
        }
        if (readFrames || mWillSwitch.load(std::memory_order_relaxed))
            return noErr;
        // A dry ring plays silence until the player is told to stop when empty; only then
        // does it answer the end.
        if (!mStopWhenEmpty.load(std::memory_order_relaxed))
            return noErr;
        *frames = 0;
        return kZEPAudioSourceEndOfData;
    }

    static void silenceFrom(UInt32 frame, AudioBufferList* ioData)
    {
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            AudioBuffer& buffer = ioData->mBuffers[b];
            const UInt32 bytesPerFrame = 4 * std::max<UInt32>(buffer.mNumberChannels, 1);
            const UInt32 from = std::min(frame * bytesPerFrame, buffer.mDataByteSize);
            if (buffer.mData)
                std::memset(static_cast<char*>(buffer.mData) + from, 0, buffer.mDataByteSize - from);
        }
    }

    // Drops frames from the ring just made current; false when it must be tried again later.
    virtual bool consumeOnRenderThread(UInt32 frames) = 0;
    virtual void lockRing(Ring*) {}
    virtual void unlockRing(Ring*) {}

    // Prepares the ring the render thread does not read, from the producer's new position,
    // and asks for the switch.
    void finishSwitchFrom(unsigned current)
    {
        Ring* next = mPullBuffers[1 - current].get();
        next->stop();
        next->reset();
        next->prime(mPrimeFrames);
        next->start();
        mRingState.fetch_or(kSwitchPending, std::memory_order_acq_rel);
    }

    // Takes back a switch the render thread has not taken (its ring's loader stops, the ring
    // is given up) and answers the ring the render thread reads, which stays so until the
    // next switch is asked for.
    unsigned takeBackPendingSwitch()
    {
        const unsigned state = mRingState.fetch_and(kCurrentRing, std::memory_order_acq_rel);
        const unsigned current = state & kCurrentRing;
        if (state & kSwitchPending)
            mPullBuffers[1 - current]->stop();
        return current;
    }

    // Bit 0: the ring the render thread reads; bit 1: a switch to the other ring is asked for.
    static constexpr unsigned kCurrentRing = 1;
    static constexpr unsigned kSwitchPending = 2;

    std::array<std::unique_ptr<Ring>, 2> mPullBuffers;
    std::atomic<unsigned> mRingState{0};
    UInt32 mPrimeFrames = 0;
    double mSampleRate = 44100.0;
    std::atomic<bool> mStopWhenEmpty{false};
    std::atomic<double> mStopSampleTime{0};
    std::atomic<double> mSwitchSampleTime{0};
    std::atomic<bool> mWillSwitch{false};
    std::atomic<double> mTimeAfterSwitch{-1.0};
    std::atomic<UInt32> mPendingConsume{0};
};
