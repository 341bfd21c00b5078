#pragma once
// A single-writer, single-reader frame buffer whose reader may run on the device's render
// thread: frames are stored into a time-stamped sample ring (CASampleRing) at the write
// position and fetched at the read position, without any lock. Frames are kept interleaved
// whatever the callers' format; non-interleaved callers (32-bit samples) are interleaved on
// write, through a scratch list made at construction, and read straight out of the ring into
// their channels.
//
// Writes, and interleaved reads, of any length are served in chunks of at most
// maxReadWriteFrames.
// A read first checks its whole window against the frames the ring holds:
//  - inside: the frames are copied (and checked again after the copy) and the read position
//    advances;
//  - the reader fell behind (the writer overwrote frames it had not read): the caller gets
//    silence and the read position jumps to the write position minus the frames asked, so
//    the next read plays the newest frames instead of stalling;
//  - the window reaches past the written end (read more than amountFrames()) or the writer
//    was publishing: the caller gets silence and the read position stays, so nothing is
//    skipped or played twice.
// Either way the caller's buffers hold the frames asked with byte sizes to match. A list
// without a buffer for each buffer of the callers' format is not written, and read as silence.
//
// The writer may also raise the reader's floor (setReaderFloor): frames before it will never
// be read, so the next read starts there at the earliest and the space counts from there. A
// writer that starts the stream afresh (a rewound producer) thus needs no reset while the
// reader runs.
//
// Threads: writeFrames and setReaderFloor on the writer's thread, readFrames and
// consumeFrames on the reader's; the counts may be read from either. reset() only while
// neither side runs. Reads and writes allocate nothing, lock nothing and never log.

#include "audio/engine/CASampleRing.h"

#include <atomic>

class ZEPAudioLocklessRingBuffer {
public:
    static constexpr UInt32 kDefaultMaxReadWriteFrames = 2048;

    // Throws std::bad_alloc when the ring or its lists cannot be made.
    ZEPAudioLocklessRingBuffer(const AudioStreamBasicDescription& asbd, UInt32 capacityFrames,
                               UInt32 maxReadWriteFrames = kDefaultMaxReadWriteFrames);
    virtual ~ZEPAudioLocklessRingBuffer();
    ZEPAudioLocklessRingBuffer(const ZEPAudioLocklessRingBuffer&) = delete;
    ZEPAudioLocklessRingBuffer& operator=(const ZEPAudioLocklessRingBuffer&) = delete;

    AudioStreamBasicDescription audioDescription() const { return mASBD; }
    const AudioStreamBasicDescription* asbd() const { return &mASBD; }

    // Stores frames at the write position, which advances by each chunk stored; a chunk the
    // ring refuses is dropped. Always 0.
    virtual OSStatus writeFrames(UInt32 frames, const AudioBufferList* bufferList);
    // Fills bufferList with *ioFrames frames (see above); *ioFrames is left as asked. Always 0.
    virtual OSStatus readFrames(UInt32* ioFrames, AudioBufferList* bufferList);
    // Skips frames at the read position.
    void consumeFrames(UInt32 frames);
    // Writer's side: no frame before time (a write position) will be read.
    void setReaderFloor(SInt64 time) { mReaderFloor.store(time, std::memory_order_release); }
    SInt64 readerFloor() const { return mReaderFloor.load(std::memory_order_acquire); }

    UInt32 capacityFrames() const { return mCapacityFrames; }
    // Frames that can be written without overtaking the reader: the capacity asked minus what
    // is held; 0 when the ring cannot report its bounds.
    UInt32 spaceFrames() const;
    // Frames written and not yet read (nor below the floor).
    UInt32 amountFrames() const;
    // The reader's position (the floor, once the reader is below it).
    SInt64 framesRead() const;
    SInt64 framesWritten() const { return mWriteSampleTime.load(std::memory_order_acquire); }
    // Both positions and the floor back to 0 (the stored frames stay until overwritten).
    virtual void reset();
    bool isRestrictive() const { return true; }

protected:
    // Zeroes frames of every buffer of list and sets the byte sizes to match.
    void silence(AudioBufferList* list, UInt32 frames) const;
    // Whether list has a buffer with data for each buffer of the callers' format.
    bool fitsFormat(const AudioBufferList* list) const;

    CASampleRing mRingBuffer;
    std::atomic<SInt64> mWriteSampleTime{0};
    std::atomic<SInt64> mReadSampleTime{0};
    std::atomic<SInt64> mReaderFloor{0};
    AudioBufferList* mWriteBufferList = nullptr;
    UInt32 mBufferListSizeFrames;
    AudioBufferList* mWriteTempBufferList = nullptr;
    AudioBufferList* mReadTempBufferList = nullptr;
    UInt32 mCapacityFrames;
    AudioStreamBasicDescription mASBD;
    AudioStreamBasicDescription mInterleavedASBD;
    bool mNonInterleaved;
};
