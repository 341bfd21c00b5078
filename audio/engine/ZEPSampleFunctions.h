#pragma once
// Small helpers over raw samples and stream descriptions: stereo interleaving, clipping,
// clip and peak tests, and printouts for debugging. The sample helpers allocate nothing and
// may run on a render thread; the printouts write to the standard streams and may not.

#include "platform/CoreAudioTypes.h"

// out[2i] = left[i], out[2i+1] = right[i] for each 4-byte sample of bytes; nothing when
// bytes < 4.
void ZEPInterleaveStereo(const Float32* left, const Float32* right, UInt32 bytes, Float32* out);
// Splits samples interleaved floats into left and right; 1 (and nothing split) when the
// sample count is odd.
OSStatus ZEPDeinterleaveStereo(const Float32* in, UInt32 samples, Float32* left, Float32* right);
// The same, each value multiplied by 32768.0.
OSStatus ZEPDeinterleaveStereoScaled(const Float32* in, UInt32 samples, Float32* left, Float32* right);
// Clamps each value into [-limit, limit]; 1 (and nothing clamped) when count is not a
// multiple of 4.
OSStatus ZEPClipSamples(Float32* samples, UInt32 count, Float32 limit);
// 1 when any float sample of any buffer lies outside [-1.0, 1.0], else 0.
UInt32 ZEPBufferListClips(const AudioBufferList* list);
// The largest absolute float sample of one buffer; 0.0 when empty.
Float32 ZEPBufferPeak(const AudioBuffer* buffer);

// Prints the description to standard error, one field a line between dashed lines;
// "Can't print a NULL desc!" for null.
void ZEPPrintASBD(const AudioStreamBasicDescription* description);
// "%d, %f\n" for each index in [first, end), to standard output.
void ZEPPrintFloatSamples(const Float32* samples, UInt32 first, UInt32 end);
// "%d, %d\n" for count samples from first, to standard output.
void ZEPPrintShortSamples(const SInt16* samples, UInt32 first, UInt32 count);
