#pragma once
// A lock-free ring buffer whose reader may choose to wait for its frames: with readsBlock()
// set, a read waits on a guard until the writer has stored at least the frames asked. Such
// reads block and are not for a render thread; with readsBlock() off the reader reads like
// ZEPAudioLocklessRingBuffer, lock-free. The writer stays lock-free while no reader waits:
// it takes the guard, to wake the reader, only when one is waiting.
//
// Threads: one writer and one reader, as the base class; setReadsBlock from any thread (it
// wakes a waiting reader, which then reads what is there).

#include "audio/engine/CAGuard.h"
#include "audio/engine/ZEPAudioLocklessRingBuffer.h"

class ZEPAudioLocklessPushRingBuffer : public ZEPAudioLocklessRingBuffer {
public:
    ZEPAudioLocklessPushRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames);

    // Stores, then wakes the reader if it waits.
    OSStatus writeFrames(UInt32 frames, const AudioBufferList* bufferList) override;
    // Waits while readsBlock() is set and fewer frames than asked are stored, then reads.
    OSStatus readFrames(UInt32* ioFrames, AudioBufferList* bufferList) override;

    void setReadsBlock(bool readsBlock);
    bool readsBlock() const { return mReadsBlock.load(); }

private:
    char mGuardName[40];
    CAGuard mIOGuard;
    std::atomic<bool> mReadsBlock{false};
    std::atomic<bool> mReaderWaits{false};
};
