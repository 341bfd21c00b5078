#pragma once
// Helpers over AudioBufferList: making, freeing, measuring, zeroing, mixing, clipping,
// interleaving. Lists made here are heap blocks of ZEPAudioBufferListByteSize(n) bytes;
// their buffers are page-aligned, zeroed blocks owned by the list.
//
// The makers and ZEPDisposeAudioBufferList allocate or free: never on a render thread.
// Every other function is reentrant, allocates nothing and may run on a render thread.

#include "platform/CoreAudioTypes.h"

// Byte size of a list header with n buffers.
size_t ZEPAudioBufferListByteSize(UInt32 numberBuffers);

// n buffers of one channel and byteSize bytes each; null when the header cannot be made
// (a buffer that cannot be made stays null with size 0).
AudioBufferList* ZEPCreateAudioBufferList(UInt32 numberBuffers, UInt32 byteSize);
// A zeroed header for n buffers, without data; free it with ZEPFreeEmptyAudioBufferList.
AudioBufferList* ZEPCreateEmptyAudioBufferList(UInt32 numberBuffers);
void ZEPFreeEmptyAudioBufferList(AudioBufferList* list);
// Buffers for frames of description: one per channel for non-interleaved linear PCM, else
// one buffer of all channels. With frames 0 the buffers have no data.
AudioBufferList* ZEPCreateAudioBufferListForASBD(const AudioStreamBasicDescription& description, UInt32 frames);
// Frees every buffer and then the header; nothing for null.
void ZEPDisposeAudioBufferList(AudioBufferList* list);

// Sum of the buffers' channel counts.
UInt32 ZEPAudioBufferListTotalChannels(const AudioBufferList* list);
// The buffer that holds channel and the channel's place in it; false past the last channel.
bool ZEPAudioBufferListFindChannel(const AudioBufferList* list, UInt32 channel, UInt32& outBufferIndex,
                                   UInt32& outChannelInBuffer);
// Zeroes every buffer with data over its byte size.
void ZEPZeroAudioBufferList(AudioBufferList* list);
// Copies channels from sourceChannel on into destination channels from destinationChannel
// on, as many as both lists still have, 32-bit samples, for the destination's frame count.
void ZEPCopyAudioBufferListChannels(const AudioBufferList* source, UInt32 sourceChannel, AudioBufferList* destination,
                                    UInt32 destinationChannel);
// Per buffer, d = a x scalar + b, over d's byte size / 4 samples.
void ZEPScaleAndAddAudioBufferLists(Float32 scalar, const AudioBufferList* a, const AudioBufferList* b,
                                    AudioBufferList* d);
// Per buffer, d = a + b, over d's byte size / 4 samples.
void ZEPAddAudioBufferLists(const AudioBufferList* a, const AudioBufferList* b, AudioBufferList* d);
// Per buffer with data on both sides, destination += source, over the destination's size.
void ZEPAccumulateAudioBufferList(const AudioBufferList* source, AudioBufferList* destination);
// Per buffer, destination = source clipped into [minimum, maximum].
void ZEPClipAudioBufferList(Float32 minimum, Float32 maximum, const AudioBufferList* source,
                            AudioBufferList* destination);
// Non-interleaved source buffer i goes to every n-th sample of destination buffer 0 from
// sample i (n = the source's buffer count), for source buffer 0's frames.
void ZEPInterleaveAudioBufferList(const AudioBufferList* source, AudioBufferList* destination);
// The reverse: samples i, i + n, ... of source buffer 0 go to destination buffer i, for
// each destination buffer's frames.
void ZEPDeinterleaveAudioBufferList(const AudioBufferList* source, AudioBufferList* destination);
// Deinterleaves samples of bits 8, 16, 32 or 64: sample k of source buffer 0 goes to
// destination buffer k mod n at index k div n. Any other width does nothing.
void ZEPDeinterleaveAudioBufferListWithWidth(const AudioBufferList* source, AudioBufferList* destination, UInt32 bits);
// True when any 32-bit word of any buffer with data is non-zero.
bool ZEPAudioBufferListHasNonSilence(const AudioBufferList* list);
// Prints frames from firstFrame on to standard output, one line per frame (debugging).
void ZEPPrintAudioBufferListSamples(const AudioBufferList* list, UInt32 firstFrame, UInt32 frames);
