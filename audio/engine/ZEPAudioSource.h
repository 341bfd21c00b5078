#pragma once
// The pull contract every producer and consumer of audio obeys. A consumer owns a buffer
// list and asks a producer to fill it; the producer pulls from its own producer in turn.
//
// Rules of a pull:
//  1. The consumer hands over a list whose buffers can hold the frames wanted (each byte
//     size = the producer's bytes per frame x frames wanted).
//  2. It never asks for more than the producer's maxRequestFrames() (0xFFFFFFFF: no limit);
//     a larger slice is split into several pulls.
//  3. It passes the time stamp of the first wanted frame; for further pulls in the same
//     slice it advances mSampleTime by the frames delivered so far.
//  4. It passes itself as sender.
//  5. The producer writes at most the wanted frames, sets *frames to what it wrote, sets
//     the byte sizes to match and returns a result below. A producer that answers with
//     silence zeroes the buffers and ORs kAudioUnitRenderAction_OutputIsSilence into the
//     flags (ZEPRenderSilence does both).
//  6. Pulls come on a real-time thread (the device's, or the encoder's in an export):
//     getAudioDescription(), maxRequestFrames() and renderFrames() must not block, allocate,
//     log or wait on a lock; where a producer guards state, the render side only tries a
//     lock and answers with silence when it is busy.
//
// Results: 0 (noErr) success, possibly fewer frames than wanted; 666 (end of data, until
// the producer is repositioned); 667 (nothing yet, try again later); anything else is a
// failure, and the consumer delivers silence for what is missing. A success that delivers
// no frames with the first buffer's byte size at 0 also ends playback of a player that
// pulls directly and stops the ring loaders.

#include "platform/CoreAudioTypes.h"

#include <algorithm>
#include <cstring>

class ZEPAudioSource {
public:
    virtual ~ZEPAudioSource() = default;

    virtual OSStatus getAudioDescription(AudioStreamBasicDescription* description) = 0;
    // frames: in, the frames wanted; out, the frames delivered.
    virtual OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                                  const AudioTimeStamp* timeStamp, void* sender) = 0;
    virtual OSStatus setMaxRequestFrames(UInt32 maxRequestFrames) = 0;
    virtual UInt32 maxRequestFrames() = 0;
    virtual SInt64 framesAvailable() = 0;
    virtual bool isFlushing() = 0;
    virtual void flush() = 0;
};

// A producer that the loader thread of a locked pull ring buffer pulls from. timeStamp is
// the ring's write position. Same results as renderFrames().
class ZEPAudioPullRingBufferAudioSource {
public:
    virtual ~ZEPAudioPullRingBufferAudioSource() = default;
    virtual OSStatus pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp* timeStamp) = 0;
};

// A producer that the loader of a lock-free pull ring buffer pulls from.
class ZEPAudioLocklessPullRingBufferAudioSource {
public:
    virtual ~ZEPAudioLocklessPullRingBufferAudioSource() = default;
    virtual OSStatus pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp* timeStamp) = 0;
    // On the loader's thread: true when the next pull starts the stream afresh (the producer
    // was rewound). The loader then pulls even into a full ring, and that pull raises the
    // ring's reader floor to the write position before it delivers (what the ring held for
    // the reader is then never read).
    virtual bool restartsStream() { return false; }
};

// Answers a pull with silence: zeroes every buffer with data and sets the silence flag.
// Render-safe.
inline void ZEPRenderSilence(AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags)
{
    if (ioData) {
        for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
            if (ioData->mBuffers[i].mData)
                std::memset(ioData->mBuffers[i].mData, 0, ioData->mBuffers[i].mDataByteSize);
        }
    }
    if (renderFlags)
        *renderFlags |= kAudioUnitRenderAction_OutputIsSilence;
}

// The byte sizes a caller's list came with, so a slice can be answered with silence of the
// full size even after a ring read set them to 0.
class ListShape {
public:
    explicit ListShape(const AudioBufferList* list)
    {
        mCount = std::min<UInt32>(list->mNumberBuffers, kMaxBuffers);
        for (UInt32 b = 0; b < mCount; ++b)
            mSizes[b] = list->mBuffers[b].mDataByteSize;
    }
    void silence(AudioBufferList* list, AudioUnitRenderActionFlags* flags) const
    {
        for (UInt32 b = 0; b < mCount; ++b)
            list->mBuffers[b].mDataByteSize = mSizes[b];
        ZEPRenderSilence(list, flags);
    }

private:
    static constexpr UInt32 kMaxBuffers = 8;
    UInt32 mCount = 0;
    UInt32 mSizes[kMaxBuffers] = {};
};
