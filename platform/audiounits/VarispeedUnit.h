#pragma once
// The varispeed unit ('aufc' 'vari'), in place of the system's varispeed: a format converter
// that also plays its input faster or slower by a playback rate, so that a producer at
// another sample rate plays at its own pitch (rate = producer rate / input bus rate).
//
// Parameters (global scope, element 0), settable from any thread and followed from the next
// render on: kVarispeedParam_PlaybackRate (1.0 at first, held within [1/16, 16]) and
// kVarispeedParam_PlaybackCents (the same rate in cents, 1200 x log2 rate).
//
// At a rate of exactly 1.0 with equal input and output formats the input passes through
// bit-exact (no resampler). Otherwise the rate is converted by libsamplerate at the render
// quality (FormatConverterUnit.h); the varispeed starts at Low (linear interpolation), which
// keeps 32 varispeeding inputs cheap enough for one render thread. Threads: as AudioUnit.h.

#include "platform/audiounits/FormatConverterUnit.h"

#include <atomic>

class VarispeedUnit : public FormatConverterUnit {
public:
    static constexpr Float64 kMinimumRate = 1.0 / 16.0;
    static constexpr Float64 kMaximumRate = 16.0;

    VarispeedUnit();

    OSStatus getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue* outValue) const override;
    OSStatus setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue value) override;
    std::vector<AudioUnitParameterID> parameterList(AudioUnitScope scope) const override;

protected:
    Float64 playbackRate() const override { return mRate.load(std::memory_order_relaxed); }

private:
    std::atomic<Float64> mRate{1.0};
};
