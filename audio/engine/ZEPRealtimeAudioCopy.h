#pragma once
// A copy of the last audio a render produced, for a display to read while rendering goes
// on: three buffer lists passed round between one writer (the render thread) and one
// reader, so neither waits for the other and a reader never sees a copy being written.
//
// Threads: construction and destruction on the control thread, while nothing writes or
// reads; write() on the render thread (allocation- and lock-free); latest() on one reader
// thread (normally the main thread).

#include "platform/CoreAudioTypes.h"

#include <atomic>

class ZEPRealtimeAudioCopy {
public:
    // Lists of buffers buffers of bytesPerBuffer bytes each (all zeros at first).
    ZEPRealtimeAudioCopy(UInt32 buffers, UInt32 bytesPerBuffer);
    ~ZEPRealtimeAudioCopy();
    ZEPRealtimeAudioCopy(const ZEPRealtimeAudioCopy&) = delete;
    ZEPRealtimeAudioCopy& operator=(const ZEPRealtimeAudioCopy&) = delete;

    UInt32 bytesPerBuffer() const { return mBytesPerBuffer; }

    // Copies each buffer of list (as many as the copy has, at most bytesPerBuffer bytes each)
    // and its byte size, then makes that copy the latest.
    void write(const AudioBufferList* list);
    // The latest copy written; it stays as it is until the next call.
    const AudioBufferList* latest();

private:
    static constexpr UInt32 kFresh = 4; // flag beside a list index: written, not yet read

    UInt32 mBytesPerBuffer;
    AudioBufferList* mLists[3] = {nullptr, nullptr, nullptr};
    std::atomic<UInt32> mMiddle{1}; // the list passed between the two sides
    UInt32 mWriting = 0;            // writer's own
    UInt32 mReading = 2;            // reader's own
};
