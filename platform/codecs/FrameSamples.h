#pragma once
// Moves samples between FFmpeg's frames and planar 32-bit floats, with the same scaling,
// rounding and clipping as platform/codecs/SampleConversion.h. Private to platform/codecs;
// any thread; allocation-free.

#include "platform/codecs/FFmpegFormats.h"

namespace codecs {

// Converts frames [first, first + count) of a decoded frame, channel c into
// destination[c] from destinationFrame on, for the frame's first `channels` channels.
void unpackFrame(const AVFrame* frame, int first, int count, float* const* destination, int channels,
                 size_t destinationFrame);

// Fills an encoder's frame (its format, channel count and nb_samples set, buffers
// allocated) from planar floats starting at sourceFrame. bitsPerSample tells how many bits
// of a 32-bit integer sample carry the value (24 for a 24-bit encoder, else 32).
void packFrame(const float* const* source, size_t sourceFrame, AVFrame* frame, int bitsPerSample);

} // namespace codecs
