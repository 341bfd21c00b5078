#pragma once
// The stream formats the playback path is built on: 32-bit float linear PCM at 44100 Hz,
// two channels. The board path uses the non-interleaved form from end to end.

#include "platform/CoreAudioTypes.h"

constexpr Float64 kZEPPlaybackSampleRate = 44100.0;
constexpr UInt32 kZEPPlaybackChannels = 2;
// The largest slice the playback mixer renders.
constexpr UInt32 kZEPPlaybackMaxRenderSlice = 32768;

// Fills description with 44100 Hz float linear PCM of the given channel count:
// non-interleaved, flags 41 and 4 bytes per packet and frame; interleaved, flags 9 and
// 4 x channels bytes per packet and frame. One frame per packet, 32 bits, reserved 0.
void ZEPCanonicalFloatASBD(AudioStreamBasicDescription* description, UInt32 channels, bool nonInterleaved);

// The playback format: ZEPCanonicalFloatASBD with 2 channels, non-interleaved.
AudioStreamBasicDescription ZEPPlaybackFormat();
