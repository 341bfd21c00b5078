// Silence detection of ZEPAudioFileEditor over the reduced picture of a sound that the
// waveform display holds, and the edits built on it.
#include "audio/editor/ZEPAudioFileEditor.h"

#include <cmath>

ZEPAudioRegionList ZEPAudioFileEditor::silentRegionsWithLevel(Float32 level, double minDuration, const Float32* samples,
                                                              UInt32 count)
{
    ZEPAudioRegionList silent;
    const SInt64 minLength = SInt64(samplesPerSecond() * minDuration);
    if (!samples || count == 0)
        return silent;
    const double packetsPerSample = double(totalSampleCount()) / double(count);
    const auto keep = [&](SInt64 index, SInt64 end) {
        ZEPAudioRegionRef region = mAudioRegionClass.regionAtIndex(index, end);
        if (region->length() > minLength)
            silent.append(region);
    };
    SInt64 start = -1;
    for (UInt32 i = 0; i < count; ++i) {
        // The value itself is compared, not its magnitude: the picture holds peak levels.
        if (start < 0) {
            if (samples[i] <= level)
                start = i;
        } else if (samples[i] >= level) {
            keep(SInt64(double(start) * packetsPerSample), SInt64(double(i) * packetsPerSample));
            start = -1;
        }
    }
    if (start >= 0)
        keep(SInt64(double(start) * packetsPerSample), absoluteTotalRegion()->end());
    return silent;
}

ZEPAudioMarkerList ZEPAudioFileEditor::markSilenceWithLevel(Float32 level, double minDuration, const Float32* samples,
                                                            UInt32 count)
{
    ZEPAudioMarkerList markers;
    for (const ZEPAudioRegionRef& region : silentRegionsWithLevel(level, minDuration, samples, count))
        markers.append(markLocation(region->midPoint()));
    return markers;
}

ZEPAudioRegionList ZEPAudioFileEditor::removeSilenceWithLevel(Float32 level, double minDuration, const Float32* samples,
                                                              UInt32 count)
{
    ZEPAudioRegionList cuts;
    for (const ZEPAudioRegionRef& region : silentRegionsWithLevel(level, minDuration, samples, count))
        cuts.append(removeRegion(region));
    return cuts;
}

void ZEPAudioFileEditor::cropSilenceWithLevel(Float32 level, const Float32* samples, UInt32 count)
{
    if (!samples || count == 0)
        return;
    SInt64 first = -1;
    SInt64 last = -1;
    for (UInt32 i = 0; i < count; ++i) {
        if (std::fabs(samples[i]) > level) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return;
    // Keep the loud spans themselves: from the start of the first to the end of the last.
    const double packetsPerSample = double(totalSampleCount()) / double(count);
    cropToRegion(*ZEPAudioRegion::regionAtIndex(SInt64(double(first) * packetsPerSample),
                                                SInt64(double(last + 1) * packetsPerSample) - 1));
}
