#pragma once
// Big-endian readers over a block of bytes, with the parse trace.
//
// A stream walks either a file-mapping object's bytes or a caller's memory block. Readers
// never pass the bytes left: a read that would returns -4 and consumes nothing. The parser
// narrows the stream to the extent of the atom or descriptor it reads (pushLimit/popLimit),
// so a body never reads its siblings' bytes, and whatever a body leaves unread is skipped.

#include "isomedia/MP4FileMappingObject.h"

struct MP4InputStreamRecord {
    uint32_t available = 0;  // bytes left
    uint32_t debugging = 0;  // the trace switch: non-zero prints the parse trace on stdout
    uint32_t indent = 0;     // the trace depth

    char* base = nullptr;
    char* current = nullptr;
    MP4FileMappingObject mapping = nullptr;
    bool isFileStream = false;   // file streams also dump the bytes that readData traces
    bool ownsMapping = false;    // memory streams destroy the mapping they made

    void msg(const char* text);
    MP4FileMappingObject getFileMappingObject() { return mapping; }
    void destroy();
    MP4Err read8(uint32_t* outValue, const char* label);
    MP4Err read16(uint32_t* outValue, const char* label);
    MP4Err read32(uint32_t* outValue, const char* label);
    MP4Err readData(uint32_t count, char* buffer, const char* label);
    uint32_t getStreamOffset() const { return uint32_t(current - base); }

    // Narrows the bytes left to `length` (which must not exceed them); `outSaved` keeps what
    // lies beyond. popLimit skips what the extent left unread and restores the rest.
    MP4Err pushLimit(uint32_t length, uint32_t* outSaved);
    void popLimit(uint32_t saved);

    // Prints one trace line at the current indent (only when tracing).
    void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));
};
using MP4InputStream = MP4InputStreamRecord*;

// A stream over the bytes of a file-mapping object (which the stream does not own).
MP4Err MP4CreateFileMappingInputStream(MP4FileMappingObject mapping, MP4InputStream* outStream);
// A stream over caller-owned bytes (not copied).
MP4Err MP4CreateMemoryInputStream(char* bytes, uint32_t length, MP4InputStream* outStream);
