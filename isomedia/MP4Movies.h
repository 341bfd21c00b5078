#pragma once
// The movie record and the movie file operations: open a whole file into a tree of atoms,
// change the tree, write the whole file again in one piece, dispose.
//
// The tag rewrite's road through the library: MP4OpenMovieFile, replace the movie atom's
// 'udta' (MP4DeleteListEntryByItem on its child list, then its addAtom), MP4WriteMovieToFile,
// MP4DisposeMovie.

#include "isomedia/MP4Atoms.h"

struct MP4MovieAtom;
struct MP4MediaDataAtom;
struct MP4FileTypeAtom;
struct MP4JPEG2000HeaderAtom;
struct MP4JPEG2000SignatureAtom;
struct MP4DataHandlerRecord;

struct MP4MovieRecord {
    uint32_t referenceCount = 1;
    MP4FileMappingObject fileMappingObject = nullptr;  // the input file (absent for new movies)
    MP4InputStream inputStream = nullptr;
    MP4Atom* moovAtomPtr = nullptr;       // the 'moov' after an open; the current 'moof' while fragments are written
    MP4MovieAtom* true_moov = nullptr;    // the movie atom proper while moovAtomPtr holds a fragment
    MP4MediaDataAtom* mdat = nullptr;
    MP4LinkedList mdatList = nullptr;     // further 'mdat' atoms (only during the open)
    uint32_t movieKind = 0;               // 1 for a movie made in memory
    MP4FileTypeAtom* ftyp = nullptr;
    MP4JPEG2000HeaderAtom* jp2h = nullptr;
    MP4JPEG2000SignatureAtom* sgnt = nullptr;
    MP4DataHandlerRecord* inMemoryDataHandler = nullptr;
    MP4Handle prepend_handle = nullptr;   // bytes written in front of the movie (fragments)
    MP4LinkedList movieFragments = nullptr;  // 'moof' atoms read (only during the open)
};
using MP4Movie = MP4MovieRecord*;

// Open flags.
constexpr uint32_t kMP4OpenTrace = 1;            // print the parse trace on stdout
constexpr uint32_t kMP4OpenDropMediaData = 2;    // free every 'mdat' as it is read

// Reads a whole file ("file://" or "file|//" may lead the path). On failure after parsing began
// the movie is freed and its status returned.
MP4Err MP4OpenMovieFile(MP4Movie* outMovie, const char* path, uint32_t flags);
// The same over the bytes of a handle, which must outlive the movie (they are not copied).
MP4Err MP4NewMovieFromHandle(MP4Movie* outMovie, MP4Handle handle, uint32_t flags);
// Serialises the movie into the handle, or, with none, appends it to the movie's output handle.
MP4Err MP4PutMovieIntoHandle(MP4Movie movie, MP4Handle handle);
// Serialises the whole movie first, then writes it to a temporary file beside path and renames
// it over path: a failure leaves whatever was at path untouched, and path may be the file the
// movie was opened from.
MP4Err MP4WriteMovieToFile(MP4Movie movie, const char* path);
MP4Err MP4DisposeMovie(MP4Movie movie);

// The movie atom proper ('moov'), or none.
MP4MovieAtom* MP4GetMovieAtom(MP4Movie movie);
