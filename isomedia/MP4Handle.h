#pragma once
// Sized, growable memory blocks ("handles") that carry variable-length bytes across the API.

#include "isomedia/MP4Base.h"

struct MP4HandleRecord {
    char* data = nullptr;        // absent while nothing was ever allocated
    uint32_t signature = 0;      // always kMP4HandleSignature for a live handle
    uint32_t size = 0;           // the logical length
    uint32_t allocatedSize = 0;  // never below size
};
using MP4Handle = MP4HandleRecord*;

constexpr uint32_t kMP4HandleSignature = 0x1234;

// A handle of `size` zero bytes (no block for size 0). -2 for a null out pointer, -3 on no memory.
MP4Err MP4NewHandle(uint32_t size, MP4Handle* outHandle);
MP4Err MP4GetHandleSize(MP4Handle handle, uint32_t* outSize);
// Grows the block to exactly `size` when it is too small (new bytes are not cleared); shrinking
// keeps the allocation. -3 when growing fails, the handle then unchanged.
MP4Err MP4SetHandleSize(MP4Handle handle, uint32_t size);
MP4Err MP4DisposeHandle(MP4Handle handle);
