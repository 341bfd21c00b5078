#pragma once
// Sample conversions of the codec layer: linear PCM of any layout the stream descriptions
// name (8 to 32-bit integers, signed or not, 32 and 64-bit floats, either byte order,
// interleaved or not) to and from planar 32-bit float, and the mix of N channels down to
// two. Pure functions; any thread; allocation-free.
//
// Integers map to floats by 2^(bits-1) (a 16-bit 16384 is 0.5); floats go back to integers
// rounded to the nearest step and clipped, so a float that came from an integer of the same
// width goes back to that integer exactly.

#include "platform/CoreAudioTypes.h"

#include <cstddef>

namespace codecs {

// How one sample of a linear PCM description is stored.
struct SampleEncoding {
    UInt32 bytes = 4;   // size of the sample word
    UInt32 bits = 32;   // significant bits
    bool isFloat = true;
    bool isSigned = true;
    bool bigEndian = false;
    bool alignedHigh = false; // significant bits at the top of an unpacked word

    // The encoding of a linear PCM description; false when it has none (not 'lpcm', or
    // a width this layer does not handle).
    static bool fromDescription(const AudioStreamBasicDescription& description, SampleEncoding* encoding);
};

float readSample(const UInt8* sample, const SampleEncoding& encoding);
void writeSample(UInt8* sample, float value, const SampleEncoding& encoding);

// Reads frames of a linear PCM list (interleaved: one buffer of all channels; otherwise one
// buffer per channel) from frame sourceFrame on into planar floats, channel c into
// destination[c] from destinationFrame on. Channels beyond the list's are left alone.
void unpackPCM(const AudioStreamBasicDescription& format, const AudioBufferList* source, UInt32 sourceFrame,
               UInt32 frames, float* const* destination, UInt32 channels, size_t destinationFrame);

// Writes planar floats into a linear PCM list from frame destinationFrame on.
void packPCM(const AudioStreamBasicDescription& format, const float* const* source, UInt32 channels,
             size_t sourceFrame, UInt32 frames, AudioBufferList* destination, UInt32 destinationFrame);

// Mixes channels down to two: one channel goes to both sides, channel i of more goes into
// output channel i modulo 2 at unity gain.
void mixToStereo(const float* const* source, UInt32 channels, size_t frames, float* left, float* right);

// Integer and float conversions of one value, rounded and clipped as above.
inline float floatFromInt(SInt64 value, UInt32 bits) { return float(double(value) / double(SInt64(1) << (bits - 1))); }
SInt64 intFromFloat(float value, UInt32 bits);

} // namespace codecs
