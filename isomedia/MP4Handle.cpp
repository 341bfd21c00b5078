#include "isomedia/MP4Handle.h"

#include <cstdlib>
#include <new>

static bool isValid(MP4Handle handle)
{
    return handle != nullptr && handle->signature == kMP4HandleSignature;
}

MP4Err MP4NewHandle(uint32_t size, MP4Handle* outHandle)
{
    if (outHandle == nullptr)
        return MP4BadParameter;
    auto* handle = new (std::nothrow) MP4HandleRecord;
    if (handle == nullptr)
        return MP4OutOfMemory;
    if (size != 0) {
        handle->data = static_cast<char*>(std::calloc(size, 1));
        if (handle->data == nullptr) {
            delete handle;
            return MP4OutOfMemory;
        }
    }
    handle->signature = kMP4HandleSignature;
    handle->size = size;
    handle->allocatedSize = size;
    *outHandle = handle;
    return MP4Success;
}

MP4Err MP4GetHandleSize(MP4Handle handle, uint32_t* outSize)
{
    if (!isValid(handle) || outSize == nullptr)
        return MP4BadParameter;
    *outSize = handle->size;
    return MP4Success;
}

MP4Err MP4SetHandleSize(MP4Handle handle, uint32_t size)
{
    if (!isValid(handle))
        return MP4BadParameter;
    if (handle->allocatedSize < size) {
        auto* grown = static_cast<char*>(std::realloc(handle->data, size));
        if (grown == nullptr)
            return MP4OutOfMemory;
        handle->data = grown;
        handle->allocatedSize = size;
    }
    handle->size = size;
    return MP4Success;
}

MP4Err MP4DisposeHandle(MP4Handle handle)
{
    if (!isValid(handle))
        return MP4BadParameter;
    std::free(handle->data);
    handle->signature = 0;
    delete handle;
    return MP4Success;
}
