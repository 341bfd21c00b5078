#pragma once
// Moves frames of any linear PCM format the units accept (8, 16, 24 or 32-bit integers,
// 32 or 64-bit floats, either byte order, interleaved or not) to and from interleaved
// 32-bit floats, the working format of the converters. Integers map to [-1, 1) by their
// full scale; converting back rounds and clips. Render-safe: no allocation, no locks.

#include "platform/CoreAudioTypes.h"

// Reads frames from list (starting frameOffset frames into its buffers) into out, which
// holds frames x channels floats.
void LinearPCMToInterleavedFloat(const AudioStreamBasicDescription& format, const AudioBufferList* list,
                                 UInt32 frameOffset, UInt32 frames, Float32* out);

// Writes frames from in into list, starting frameOffset frames into its buffers. Byte sizes
// are left to the caller.
void LinearPCMFromInterleavedFloat(const AudioStreamBasicDescription& format, const Float32* in, UInt32 frames,
                                   AudioBufferList* list, UInt32 frameOffset);
