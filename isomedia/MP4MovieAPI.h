#pragma once
// The movie interface: new movies in memory, the movie header's properties, the file type,
// the tracks of a movie, its initial object descriptor and fragmented writing.
//
// Every operation returns a status code and hands results out through pointer arguments; an
// absent movie, track or required out pointer is -2 unless said otherwise. A movie and all it
// holds are used by one thread at a time (the library takes no lock). Handles handed in are
// the caller's; handles, descriptors and atoms handed out for the caller to keep say so.

#include "isomedia/MP4Movies.h"

struct MP4TrackAtom;
struct MP4MediaAtom;
struct MP4UserDataAtom;

// A track is its 'trak' atom, a media its 'mdia' atom, user data its 'udta' atom: all belong
// to their movie and go with it at MP4DisposeMovie.
using MP4Track = MP4TrackAtom*;
using MP4Media = MP4MediaAtom*;
using MP4UserData = MP4UserDataAtom*;

// Flags given when a track is made (MP4NewMovieTrack).
constexpr uint32_t MP4NewTrackIsVisual = 2;  // visual sample entries, a 320 x 240 track header
constexpr uint32_t MP4NewTrackIsAudio = 4;   // audio sample entries, track volume 1.0

// Seconds since 1904-01-01 00:00 UTC, the epoch of every time field of the format.
MP4Err MP4GetCurrentTime(uint64_t* outTime);

// A movie in memory: 'ftyp' (major brand "mp42"), 'moov' with 'mvhd' (time scale 600, next
// track ID 1) and 'iods' (an initial object descriptor with the ID and the five profile
// levels), and an empty 'mdat' that the samples added to new media go to.
MP4Err MP4NewMovie(MP4Movie* outMovie, uint32_t initialObjectDescriptorID, uint8_t OD_profileAndLevel,
    uint8_t scene_profileAndLevel, uint8_t audio_profileAndLevel, uint8_t visual_profileAndLevel,
    uint8_t graphics_profileAndLevel);
// The same with a URL in the initial object descriptor. With includeOnlyURL set the descriptor
// holds only the ID and the URL (an MPEG-4 object descriptor, tag 17); otherwise it is tag 16
// with the profiles and the URL. The URL is at most 255 bytes (-2 otherwise).
MP4Err MP4NewMovieExt(MP4Movie* outMovie, uint32_t initialObjectDescriptorID, uint8_t OD_profileAndLevel,
    uint8_t scene_profileAndLevel, uint8_t audio_profileAndLevel, uint8_t visual_profileAndLevel,
    uint8_t graphics_profileAndLevel, const char* url, uint8_t includeOnlyURL);

// Movie header properties; -8 when the movie has no 'mvhd'.
MP4Err MP4GetMovieTrackCount(MP4Movie movie, uint32_t* outTrackCount);
// Recomputes the duration (the longest track, in the movie time scale) first.
MP4Err MP4GetMovieDuration(MP4Movie movie, uint64_t* outDuration);
MP4Err MP4GetMovieTimeScale(MP4Movie movie, uint32_t* outTimeScale);
// -2 for a time scale of 0.
MP4Err MP4SetMovieTimeScale(MP4Movie movie, uint32_t timeScale);
// Nine 16.16 (and 2.30) words a, b, u, c, d, v, x, y, w; none sets the identity matrix.
MP4Err MP4SetMovieMatrix(MP4Movie movie, const uint32_t matrix[9]);
MP4Err MP4GetMovieMatrix(MP4Movie movie, uint32_t outMatrix[9]);
MP4Err MP4SetMoviePreferredRate(MP4Movie movie, uint32_t rate);  // 16.16
MP4Err MP4GetMoviePreferredRate(MP4Movie movie, uint32_t* outRate);
MP4Err MP4SetMoviePreferredVolume(MP4Movie movie, int16_t volume);  // 8.8
MP4Err MP4GetMoviePreferredVolume(MP4Movie movie, int16_t* outVolume);
// The movie's 'udta', made empty and added to the movie atom when there is none; -8 when the
// movie's user data is a container of another kind (one a client put there).
MP4Err MP4GetMovieUserData(MP4Movie movie, MP4UserData* outUserData);

// File type ('ftyp'); -500 when the movie has none. Setting the brand also makes it the first
// compatible brand.
MP4Err MP4SetMovieBrand(MP4Movie movie, uint32_t brand, uint32_t minorVersion);
MP4Err MP4AddMovieCompatibleBrand(MP4Movie movie, uint32_t brand);
MP4Err MP4GetMovieBrand(MP4Movie movie, uint32_t* outBrand, uint32_t* outMinorVersion);
// The brand when it is among the compatible brands, else 0 (also without a movie or 'ftyp').
uint32_t MP4IsMovieCompatibleBrand(MP4Movie movie, uint32_t brand);

// Tracks. A new track gets the next free track ID (or the one given: -2 when a track already
// carries it), a track header, the movie's 'mdat' and the movie record.
MP4Err MP4NewMovieTrack(MP4Movie movie, uint32_t newTrackFlags, MP4Track* outTrack);
MP4Err MP4NewMovieTrackWithID(MP4Movie movie, uint32_t newTrackFlags, uint32_t trackID, MP4Track* outTrack);
// index counts from 1; -2 for 0 or above the count.
MP4Err MP4GetMovieIndTrack(MP4Movie movie, uint32_t trackIndex, MP4Track* outTrack);
// The first track whose header carries the ID; -2 when none does.
MP4Err MP4GetMovieTrack(MP4Movie movie, uint32_t trackID, MP4Track* outTrack);

// The initial object descriptor ('iods'); -8 when the movie has none.
// Lists the track (an ES ID increment descriptor with its ID) in the descriptor.
MP4Err MP4AddTrackToMovieIOD(MP4Track track);
// 2 (MP4NothingDone) when the descriptor carries no profiles (one of tag 17, or read as tag 1).
MP4Err MP4GetMovieIODInlineProfileFlag(MP4Movie movie, uint8_t* outFlag);
MP4Err MP4SetMovieIODInlineProfileFlag(MP4Movie movie, uint8_t flag);
// Any out pointer may be absent.
MP4Err MP4GetMovieProfilesAndLevels(MP4Movie movie, uint8_t* outOD, uint8_t* outScene, uint8_t* outAudio,
    uint8_t* outVisual, uint8_t* outGraphics);
// The descriptor as a stream carries it: each track it lists is given as that track's full ES
// descriptor (from its first sample description, with the IDs of its 'dpnd' and 'sync' track
// references as dependency and clock reference) in place of the ES ID increment. A descriptor
// without profiles is given as it stands.
MP4Err MP4GetMovieInitialObjectDescriptor(MP4Movie movie, MP4Handle outDescriptorHandle);
// Parses one descriptor from the handle and adds it to the initial object descriptor; -2 for
// the tags that may not be added (0-6, 11, 12, 14-17), -8 when the movie's descriptor is not
// one of tag 16 or 17.
MP4Err MP4SetMovieInitialObjectDescriptor(MP4Movie movie, MP4Handle descriptorHandle);

// Fragmented writing. The movie needs an 'mvex' (MP4SetTrackFragmentDefaults makes it; -2
// without one). Each call appends what was built so far (first the movie itself, then each
// fragment with its media data) to the movie's output and starts the next fragment: samples
// added to the tracks from then on go into it. MP4WriteMovieToFile writes the output followed
// by the last fragment.
MP4Err MP4WriteMovieFragment(MP4Movie movie);
