#pragma once
// Status codes and basic types shared by every part of the ISO base media file library.
//
// The library is plain C++ (no Qt). Every operation returns an MP4Err; 0 is success and
// results are handed out through pointer arguments. Records belong to one movie and are used
// by one thread at a time: the library takes no lock.

#include <cstdint>

using MP4Err = int32_t;

enum : MP4Err {
    MP4Success = 0,
    MP4EndOfInput = 1,          // a parse result that ends the top-level read loop
    MP4NothingDone = 2,         // the descriptor asked has no such field: nothing was read or set
    MP4FileNotFound = -1,       // a file could not be opened, a data-entry path does not exist
    MP4BadParameter = -2,       // null record, out pointer or handle, bad index, bad signature
    MP4OutOfMemory = -3,
    MP4InputOutputError = -4,   // read past the end, write past a computed size, short write
    MP4ValueTooLarge = -5,      // a 64-bit atom size whose upper half is not zero
    MP4BadData = -6,            // sizes that do not add up, duplicates, fragments out of order
    MP4MissingComponent = -8,   // an operation needs an atom or descriptor the tree lacks
    MP4NoFileType = -500,       // a brand call on a movie without a file-type atom
    MP4NotSupported = -1000,
};

// The four-character code "abcd" as a big-endian number.
constexpr uint32_t MP4FourCC(const char (&code)[5])
{
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16)
        | (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

// Stops the calling function with the status of a failing step.
#define MP4_TRY(expression)                    \
    do {                                       \
        MP4Err mp4TryStatus_ = (expression);   \
        if (mp4TryStatus_ != MP4Success)       \
            return mp4TryStatus_;              \
    } while (0)
