#pragma once
// Data handlers copy sample bytes for the media API: out of a file-mapping object (the movie's
// own file, or an external file a data entry names) or out of a new movie's 'mdat' in memory.
// Every copy is checked against the bytes the source holds (-2 when it would pass them).

#include "isomedia/MP4InputStream.h"

struct MP4DataEntryAtom;
struct MP4MediaDataAtom;

struct MP4DataHandlerRecord {
    virtual ~MP4DataHandlerRecord() = default;
    virtual MP4Err open() = 0;
    virtual MP4Err close() = 0;
    virtual MP4Err copyData(uint64_t offset, char* destination, uint32_t count) = 0;
    // Whether the source holds count bytes from offset on (asked before a buffer is made for them).
    virtual bool holds(uint64_t offset, uint32_t count) const = 0;
};
using MP4DataHandler = MP4DataHandlerRecord*;

MP4Err MP4CreateMediaDataHandler(MP4MediaDataAtom* mdat, MP4DataHandler* outHandler);
MP4Err MP4CreateFileDataHandler(MP4InputStream stream, MP4DataEntryAtom* entry, MP4DataHandler* outHandler);
// A media-data handler for a self-contained entry with an attached 'mdat', else a file handler.
MP4Err MP4CreateDataHandler(MP4InputStream stream, MP4DataEntryAtom* entry, MP4DataHandler* outHandler);
MP4Err MP4DisposeDataHandler(MP4DataHandler handler, MP4DataEntryAtom* entry);
// 0 for a self-contained entry; else whether the file the entry names exists (-1 when not).
MP4Err MP4PreflightDataHandler(MP4InputStream stream, MP4DataEntryAtom* entry);
