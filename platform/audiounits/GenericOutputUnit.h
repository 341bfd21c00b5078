#pragma once
// The generic output unit ('auou' 'genr'), in place of the system's generic output: the
// head of a graph that whoever pulls the graph renders, with no device of its own. It
// converts from its input bus's format to its output bus's format like the format
// converter; with equal formats its input passes through untouched.
//
// start() and stop() only mark it running (kAudioOutputUnitProperty_IsRunning); rendering
// works either way. Threads: as AudioUnit.h.

#include "platform/audiounits/FormatConverterUnit.h"

#include <atomic>

class GenericOutputUnit : public FormatConverterUnit {
public:
    GenericOutputUnit();

    OSStatus start() override;
    OSStatus stop() override;
    bool isRunning() const override { return mRunning.load(); }

    OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                         UInt32* ioDataSize) const override;

private:
    std::atomic<bool> mRunning{false};
};
