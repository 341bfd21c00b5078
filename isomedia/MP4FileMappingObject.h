#pragma once
// File-mapping objects: a whole input file (or a block of memory) held in memory for the
// parser and the data handlers. The file is read in one read when the object is opened.

#include "isomedia/MP4Base.h"

#include <string>

struct MP4FileMappingObjectRecord {
    char* data = nullptr;
    uint32_t size = 0;
    // The path up to its last separator, "/" appended; empty when the path has none.
    std::string parentPath;

    virtual ~MP4FileMappingObjectRecord() = default;
    virtual MP4Err open(const char* path) = 0;
    virtual MP4Err close() = 0;
    virtual MP4Err destroy() = 0;
    virtual MP4Err isYourFile(const char* path, uint32_t* outFlag) = 0;
};
using MP4FileMappingObject = MP4FileMappingObjectRecord*;

// Loads the file at path (a leading "file://" or "file|//" is dropped first).
// -1 when it cannot be opened, -4 when its status or contents cannot be read, -3 on no memory.
MP4Err MP4CreateFileMappingObjectForURL(const char* path, MP4FileMappingObject* outObject);
MP4Err MP4CreateFileMappingObject(const char* path, MP4FileMappingObject* outObject);
// A mapping over caller-owned bytes (not copied): they must outlive the object.
MP4Err MP4CreateMemoryFileMappingObject(char* bytes, uint32_t length, MP4FileMappingObject* outObject);
// 0 when the file system reports the path, else -1.
MP4Err MP4FileExists(const char* path);

// The path without a leading "file://" or "file|//".
const char* MP4StripFileURLPrefix(const char* path);
