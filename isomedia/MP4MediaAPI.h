#pragma once
// The media interface: the media header and handler, handler-specific settings, data
// references, sample descriptions, adding samples and reading them back by time or number.
//
// Every operation returns a status code; an absent media or required out pointer is -2, and an
// operation that needs an atom the media lacks (header, handler, media information, data
// information, data reference, sample table and its tables) is -8. Sample numbers and indexes
// count from 1. Handles handed in are the caller's; out handles are resized to what they get.

#include "isomedia/MP4MovieAPI.h"

struct MP4ES_Descriptor;

// Flags of a sample read back.
constexpr uint32_t MP4MediaSampleNotSync = 1;      // not a sync (random access) sample
constexpr uint32_t MP4MediaSampleHasCTSOffset = 2;  // its composition time differs from its decoding time

// MP4GetMediaNextInterestingTime: the sample found at the time asked is itself the answer.
constexpr uint32_t MP4NextTimeEdgeOK = 1u << 4;

// Three lower-case ISO 639-2 letters ("und", "eng"), packed into the media header.
// -2 for letters outside 'a' to 'z'. The getter writes the letters and a terminating zero.
MP4Err MP4SetMediaLanguage(MP4Media media, const char* language);
MP4Err MP4GetMediaLanguage(MP4Media media, char outLanguage[4]);
MP4Err MP4GetMediaTimeScale(MP4Media media, uint32_t* outTimeScale);
// Recomputed from the sample table first.
MP4Err MP4GetMediaDuration(MP4Media media, uint64_t* outDuration);
MP4Err MP4GetMediaTrack(MP4Media media, MP4Track* outTrack);
MP4Err MP4GetMediaSampleCount(MP4Media media, uint32_t* outCount);
// The handler type, and a new handle (the caller disposes it) holding the handler's name bytes
// without a terminator; either out may be absent, not both.
MP4Err MP4GetMediaHandlerDescription(MP4Media media, uint32_t* outType, MP4Handle* outName);

// Video media only (-1000 for another handler).
MP4Err MP4SetMediaGraphicsMode(MP4Media media, uint32_t mode, uint16_t opColorRed, uint16_t opColorGreen,
    uint16_t opColorBlue);
MP4Err MP4GetMediaGraphicsMode(MP4Media media, uint32_t* outMode, uint16_t* outOpColorRed, uint16_t* outOpColorGreen,
    uint16_t* outOpColorBlue);
// Sound media only (-1000 for another handler); 8.8, 0 is the centre.
MP4Err MP4SetMediaSoundBalance(MP4Media media, int16_t balance);
MP4Err MP4GetMediaSoundBalance(MP4Media media, int16_t* outBalance);

// Data references (where samples lie). Without a URL the entry is the movie's own file; with
// a URL and a URN a "urn " entry, with a URL only a "url " entry, naming the handles' bytes.
MP4Err MP4AddMediaDataReference(MP4Media media, uint32_t* outReferenceIndex, MP4Handle urlHandle, MP4Handle urnHandle);
// Any out may be absent. -8 for an entry that is neither "url " nor "urn " (its type and flags
// are still handed out).
MP4Err MP4GetMediaDataReference(MP4Media media, uint32_t index, MP4Handle outURL, MP4Handle outURN,
    uint32_t* outReferenceType, uint32_t* outReferenceFlags);
MP4Err MP4CountMediaDataReferences(MP4Media media, uint32_t* outCount);
// 0 when the entry is the movie's own file or the one already open; else whether the file it
// names exists (-1 when not).
MP4Err MP4CheckMediaDataReference(MP4Media media, uint32_t index);
// Every entry in turn, up to the first failure.
MP4Err MP4CheckMediaDataReferences(MP4Media media);

// A sample entry for an MPEG-4 stream, serialised into outSampleEntry: 'mp4v' for a visual
// track, 'mp4a' (sample rate = the media time scale; -2 above 65535, which the entry cannot
// hold) for an audio track, else 'mp4s', holding an
// 'esds' with an ES descriptor, its decoder configuration (the values given, and the decoder
// specific information parsed from its handle when given) and a predefined SL configuration.
// With a dependsOnESID the track gets a 'sync' reference to that stream (its clock reference).
MP4Err MP4NewSampleDescription(MP4Track track, MP4Handle outSampleEntry, uint32_t dataReferenceIndex,
    uint32_t objectTypeIndication, uint32_t streamType, uint32_t decoderBufferSize, uint32_t maxBitrate,
    uint32_t avgBitrate, MP4Handle decoderSpecificInfo, uint32_t dependsOnESID = 0);
// A sample entry of the type whose body (after the data reference index 1) is the bytes given.
MP4Err MP4NewGenericSampleDescription(MP4Track track, MP4Handle outSampleEntry, const char* bytes, uint32_t length,
    uint32_t sampleEntryType);
// The sample description's entry, serialised; either out may be absent.
MP4Err MP4GetMediaSampleDescription(MP4Media media, uint32_t index, MP4Handle outSampleEntry,
    uint32_t* outDataReferenceIndex);
// The entry's decoder configuration descriptor, serialised.
MP4Err MP4GetMediaDecoderConfig(MP4Media media, uint32_t index, MP4Handle outDecoderConfig);
// The entry's decoder specific information descriptor, serialised (empty when it has none).
MP4Err MP4GetMediaDecoderSpecificInfo(MP4Media media, uint32_t index, MP4Handle outDecoderSpecificInfo);
// The decoder configuration's values; any out may be absent.
MP4Err MP4GetMediaDecoderInformation(MP4Media media, uint32_t index, uint32_t* outObjectType, uint32_t* outStreamType,
    uint32_t* outBufferSize, uint32_t* outUpstream, uint32_t* outMaxBitrate, uint32_t* outAvgBitrate,
    MP4Handle outDecoderSpecificInfo);
// A copy of the entry's ES descriptor (the caller destroys it); -8 when the entry has no 'esds'.
MP4Err MP4GetMediaESD(MP4Media media, uint32_t index, MP4ES_Descriptor** outESD, uint32_t* outDataReferenceIndex);

// Editors of a serialised sample entry: the entry is read from the handle, changed, and written
// back into it. -8 when the change needs an 'esds' the entry lacks.
MP4Err MP4SetSampleDescriptionPriority(MP4Handle sampleEntry, uint32_t streamPriority);
MP4Err MP4SetSampleDescriptionDecoderSpecificInfo(MP4Handle sampleEntry, MP4Handle decoderSpecificInfo);
// Visual entries only (-2 for another kind).
MP4Err MP4SetSampleDescriptionDimensions(MP4Handle sampleEntry, uint16_t width, uint16_t height);
// A type that does not begin with "mp4" loses the entry's 'esds'.
MP4Err MP4SetSampleDescriptionType(MP4Handle sampleEntry, uint32_t sampleEntryType);

// Edits. Ending them recomputes the media duration into the media header.
MP4Err MP4BeginMediaEdits(MP4Media media);
MP4Err MP4EndMediaEdits(MP4Media media);

// Adds sampleCount samples as one chunk. durations and sizes hold one 32-bit value (host byte
// order) for every sample or one per sample; compositionOffsets likewise (or none: all 0);
// syncSamples lists the sync samples by number within this call (none: every sample is one);
// padding holds one byte for every sample or one per sample (none: 0). A sample entry, when
// given, becomes the media's current sample description; a count of 0 adds only that (-2
// without one). Every handle is checked before anything is added (-2); the sample bytes must be
// exactly the sum of the sizes. While a fragment is being built the samples go into it.
MP4Err MP4AddMediaSamples(MP4Media media, MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations,
    MP4Handle sizes, MP4Handle sampleEntry, MP4Handle compositionOffsets, MP4Handle syncSamples);
MP4Err MP4AddMediaSamplesPad(MP4Media media, MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations,
    MP4Handle sizes, MP4Handle sampleEntry, MP4Handle compositionOffsets, MP4Handle syncSamples, MP4Handle padding);
// The same for samples that already lie at dataOffset of the current sample entry's data
// reference (-2 for a count of 0, or when that reference is the new movie's own 'mdat').
MP4Err MP4AddMediaSampleReference(MP4Media media, uint64_t dataOffset, uint32_t sampleCount, MP4Handle durations,
    MP4Handle sizes, MP4Handle sampleEntry, MP4Handle compositionOffsets, MP4Handle syncSamples);
MP4Err MP4AddMediaSampleReferencePad(MP4Media media, uint64_t dataOffset, uint32_t sampleCount,
    MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle compositionOffsets, MP4Handle syncSamples,
    MP4Handle padding);
// 4, 8, 16 or 32 bits per sample size in the file (-2 otherwise).
MP4Err MP4SetMediaSampleSizeFieldSize(MP4Media media, uint32_t fieldSize);

// Times. A composition time is the decoding time plus the sample's composition offset.
// The sample description index of the sample that is being decoded at the time; -2 when no
// sample is.
MP4Err MP4GetMediaSampleDescIndex(MP4Media media, uint64_t decodingTime, uint32_t* outIndex);
// From searchTime, the next sample boundary in the direction of the rate's sign, or, with
// MP4NextTimeEdgeOK, the start of the sample decoded at searchTime; -1 when there is none.
// outDuration (may be absent) is the duration of the sample found.
MP4Err MP4GetMediaNextInterestingTime(MP4Media media, uint32_t flags, uint64_t searchTime, int32_t rate,
    int64_t* outInterestingTime, uint64_t* outDuration);
// Any out may be absent; -2 when no sample is decoded at the time.
MP4Err MP4MediaTimeToSampleNum(MP4Media media, uint64_t decodingTime, uint32_t* outSampleNumber,
    uint64_t* outCompositionTime, uint64_t* outDecodingTime, uint32_t* outDuration);
MP4Err MP4SampleNumberToMediaTime(MP4Media media, uint32_t sampleNumber, uint64_t* outCompositionTime,
    uint64_t* outDecodingTime, uint32_t* outDuration);

// One sample: its bytes (copied through the media's data handler) or where they lie, its
// timing, description and flags. Every out but the sample handle or offset may be absent. -6
// when the tables place the sample outside the data they refer to (nothing is allocated).
MP4Err MP4GetMediaSample(MP4Media media, MP4Handle outSample, uint32_t* outSize, uint64_t decodingTime,
    uint64_t* outDecodingTime, int32_t* outCompositionOffset, uint32_t* outDuration, MP4Handle outSampleEntry,
    uint32_t* outSampleDescriptionIndex, uint32_t* outSampleFlags);
MP4Err MP4GetIndMediaSample(MP4Media media, uint32_t sampleNumber, MP4Handle outSample, uint32_t* outSize,
    uint64_t* outDecodingTime, int32_t* outCompositionOffset, uint32_t* outDuration, uint32_t* outSampleFlags,
    uint32_t* outSampleDescriptionIndex);
MP4Err MP4GetIndMediaSampleWithPad(MP4Media media, uint32_t sampleNumber, MP4Handle outSample, uint32_t* outSize,
    uint64_t* outDecodingTime, int32_t* outCompositionOffset, uint32_t* outDuration, uint32_t* outSampleFlags,
    uint32_t* outSampleDescriptionIndex, uint8_t* outPadding);
MP4Err MP4GetIndMediaSampleReference(MP4Media media, uint32_t sampleNumber, uint64_t* outOffset, uint32_t* outSize,
    uint32_t* outDuration, uint32_t* outSampleFlags, uint32_t* outSampleDescriptionIndex, MP4Handle outSampleEntry);
