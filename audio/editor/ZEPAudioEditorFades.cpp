// The fade curves of the edit model, applied to float samples for playback, export and
// drawing (ZEPAudioEditor::applyFade).
#include "audio/editor/ZEPAudioEditor.h"

#include <algorithm>
#include <cmath>

namespace {

// The gain of a fade type at the relative position x (0 to 1) inside the fade; shapes
// without a curve (and unknown numbers) give 1.
Float32 fadeGain(SInt32 fadeType, Float32 x, Float32 parameter)
{
    switch (fadeType) {
    case kZEPFadeLogIn: return x == 1.0f ? 1.0f : std::log10(10.0f * x + 1.0f);
    case kZEPFadeLogOut: return x == 0.0f ? 1.0f : std::log10(10.0f * (1.0f - x) + 1.0f);
    case kZEPFadeSquareIn: return x * x;
    case kZEPFadeSquareOut: return (1.0f - x) * (1.0f - x);
    case kZEPFadeLinearIn: return x;
    case kZEPFadeLinearOut: return 1.0f - x;
    case kZEPFadeConstantGain: return parameter;
    default: return 1.0f;
    }
}

} // namespace

void ZEPAudioEditor::applyFade(const ZEPAudioRegion& fade, Float32* samples, UInt32 count, UInt32 /*framesPerSample*/,
                               const ZEPAudioRegion& covered)
{
    // The overlap of the fade and the covered region, worked out in place (the reading path
    // allocates nothing): from the later region's index to the smaller end.
    if (count == 0 || !samples || !fade.intersects(&covered))
        return;
    const SInt64 overlapIndex = fade.compare(covered) <= 0 ? covered.index() : fade.index();
    const SInt64 overlapEnd = std::min(fade.end(), covered.end());
    if (overlapEnd < overlapIndex)
        return;

    const double packetsPerSample = double(covered.length()) / double(count);
    const SInt64 first = SInt64(std::floor(double(overlapIndex - covered.index()) / packetsPerSample));
    const SInt64 last =
        std::min<SInt64>(SInt64(std::ceil(double(overlapEnd - covered.index()) / packetsPerSample)), SInt64(count) - 1);
    const SInt32 type = fade.fadeType();
    const Float32 parameter = fade.fadeParameter();
    for (SInt64 i = std::max<SInt64>(first, 0); i <= last; ++i) {
        // The packet inside the fade just after sample i.
        const SInt64 position = SInt64(double(i + 1) * packetsPerSample) + covered.index() - fade.index();
        const Float32 x = std::min(1.0f, Float32(position) / Float32(fade.length()));
        Float32 sample = samples[i];
        if (type >= kZEPFadeLogIn && type <= kZEPFadeConstantGain)
            sample *= fadeGain(type, x, parameter);
        samples[i] = std::clamp(sample, -1.0f, 1.0f);
    }
}
