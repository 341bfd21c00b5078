#pragma once
// Reading the values that sample handles carry: arrays of 32-bit values in the host's byte order.

#include "isomedia/MP4Handle.h"

#include <cstring>

inline uint32_t MP4HandleValueCount(MP4Handle handle)
{
    return handle != nullptr ? handle->size / 4 : 0;
}

inline uint32_t MP4HandleValue(MP4Handle handle, uint32_t index)
{
    uint32_t value = 0;
    std::memcpy(&value, handle->data + 4 * size_t(index), 4);
    return value;
}

inline void MP4SetHandleValue(MP4Handle handle, uint32_t index, uint32_t value)
{
    std::memcpy(handle->data + 4 * size_t(index), &value, 4);
}
