#pragma once
// The track interface: the track header's properties, the track's media, references to other
// tracks, the edit list and its times, and the defaults of its fragments.
//
// Every operation returns a status code; an absent track or required out pointer is -2, and
// an operation that needs the track header ('tkhd') or the media ('mdia') is -8 without it.

#include "isomedia/MP4MovieAPI.h"

struct MP4TrackReferenceTypeAtom;

MP4Err MP4GetTrackID(MP4Track track, uint32_t* outTrackID);
// Bit 0 of the track header's flags.
MP4Err MP4GetTrackEnabled(MP4Track track, uint32_t* outEnabled);
MP4Err MP4SetTrackEnabled(MP4Track track, uint32_t enabled);
MP4Err MP4GetTrackMovie(MP4Track track, MP4Movie* outMovie);
MP4Err MP4GetTrackMedia(MP4Track track, MP4Media* outMedia);
// In the movie time scale, recomputed first.
MP4Err MP4GetTrackDuration(MP4Track track, uint64_t* outDuration);
// None sets the identity matrix.
MP4Err MP4SetTrackMatrix(MP4Track track, const uint32_t matrix[9]);
MP4Err MP4GetTrackMatrix(MP4Track track, uint32_t outMatrix[9]);
MP4Err MP4SetTrackLayer(MP4Track track, int16_t layer);
MP4Err MP4GetTrackLayer(MP4Track track, int16_t* outLayer);
MP4Err MP4SetTrackDimensions(MP4Track track, uint32_t width, uint32_t height);  // 16.16
MP4Err MP4GetTrackDimensions(MP4Track track, uint32_t* outWidth, uint32_t* outHeight);
MP4Err MP4SetTrackVolume(MP4Track track, int16_t volume);  // 8.8
MP4Err MP4GetTrackVolume(MP4Track track, int16_t* outVolume);

// References to other tracks, by type ('dpnd', 'sync', 'hint', 'mpod', ...). Adding makes the
// 'tref' and the type's atom when absent; an ID the type already lists is not listed twice.
// The index handed out counts from 1. -2 for a track ID of 0.
MP4Err MP4AddTrackReferenceWithID(MP4Track track, uint32_t referencedTrackID, uint32_t referenceType,
    uint32_t* outReferenceIndex);
// The same with the other track's ID; -8 when that track has no ID.
MP4Err MP4AddTrackReference(MP4Track track, MP4Track referencedTrack, uint32_t referenceType,
    uint32_t* outReferenceIndex);
// The referenced track; -2 without 'tref', without the type, for an index of 0 or above the
// count, or when no track of the movie carries the ID referred to.
MP4Err MP4GetTrackReference(MP4Track track, uint32_t referenceType, uint32_t referenceIndex,
    MP4Track* outReferencedTrack);
// 0 when the track has no reference of the type.
MP4Err MP4GetTrackReferenceCount(MP4Track track, uint32_t referenceType, uint32_t* outReferenceCount);
// None when absent.
MP4Err MP4GetTrackReferenceTypeAtom(MP4Track track, uint32_t referenceType, MP4TrackReferenceTypeAtom** outAtom);

// The track's 'udta', made and added when absent (-8 when it is a container of another kind).
MP4Err MP4GetTrackUserData(MP4Track track, MP4UserData* outUserData);

// A new media of the handler type ('soun', 'vide', 'odsm', ...): 'mdia' with its header, its
// handler and a media information whose one data reference is the movie's own file, or the
// location the handle holds. -2 for a time scale of 0; -6 when the track has a media already.
MP4Err MP4NewTrackMedia(MP4Track track, MP4Media* outMedia, uint32_t handlerType, uint32_t timeScale,
    MP4Handle dataReference);

// Places media in the track: segmentDuration (movie time scale) of the media from mediaTime on
// plays from trackStartTime (-1: after what is there) at the media rate (0 or 1; -2 above). The plain
// insert (from the track's start, media time 0, rate 1) needs no edit list; any other makes
// the 'edts' and 'elst' when absent. A non-empty edit list only appends (-1000 otherwise).
MP4Err MP4InsertMediaIntoTrack(MP4Track track, int32_t trackStartTime, uint32_t mediaTime, uint64_t segmentDuration,
    uint32_t mediaRate);
// The duration of the leading empty edit; 0 without an edit list.
MP4Err MP4GetTrackOffset(MP4Track track, uint64_t* outMovieOffsetTime);
// Sets the leading empty edit (making the edit list when absent).
MP4Err MP4SetTrackOffset(MP4Track track, uint64_t movieOffsetTime);
// A track time (movie time scale) as a media time (media time scale): through the edit list
// when there is one (-1 inside an empty edit), else scaled (the product taken first). -8 when
// either time scale is 0.
MP4Err MP4TrackTimeToMediaTime(MP4Track track, int64_t trackTime, int64_t* outMediaTime);

// Adds the track's defaults ('trex') to the movie's 'mvex' (made when absent), the form in
// which its samples will be written in fragments. The default sample flags mark non-sync
// samples (bit 0x10000) unless isSync, and carry the degradation priority in their low 16 bits.
MP4Err MP4SetTrackFragmentDefaults(MP4Track track, uint32_t sampleDuration, uint32_t sampleSize, uint32_t isSync,
    uint32_t degradationPriority);
