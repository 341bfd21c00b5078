#pragma once
// The base of the benchmarks' producers: one that takes a slice of any size and never runs
// out or flushes, so that only its render tells it from another.

#include "audio/engine/ZEPAudioSource.h"

namespace enginebench {

class EndlessSource : public ZEPAudioSource {
public:
    OSStatus setMaxRequestFrames(UInt32) override { return noErr; }
    UInt32 maxRequestFrames() override { return 0xFFFFFFFF; }
    SInt64 framesAvailable() override { return -1; }
    bool isFlushing() override { return false; }
    void flush() override {}
};

} // namespace enginebench
