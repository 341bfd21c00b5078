#include "isomedia/MP4FieldRecord.h"

#include <cassert>
#include <cstring>
#include <new>

MP4Err MP4FieldRecord::get8(MP4InputStream stream, uint32_t* value, const char* label)
{
    MP4_TRY(stream->read8(value, label));
    bytesRead += 1;
    return MP4Success;
}

MP4Err MP4FieldRecord::get16(MP4InputStream stream, uint32_t* value, const char* label)
{
    MP4_TRY(stream->read16(value, label));
    bytesRead += 2;
    return MP4Success;
}

MP4Err MP4FieldRecord::get32(MP4InputStream stream, uint32_t* value, const char* label)
{
    MP4_TRY(stream->read32(value, label));
    bytesRead += 4;
    return MP4Success;
}

MP4Err MP4FieldRecord::get64(MP4InputStream stream, uint64_t* value, const char* label)
{
    uint32_t high = 0;
    uint32_t low = 0;
    MP4_TRY(get32(stream, &high, label));
    MP4_TRY(get32(stream, &low, label));
    *value = (uint64_t(high) << 32) | low;
    return MP4Success;
}

MP4Err MP4FieldRecord::getData(MP4InputStream stream, uint32_t count, void* buffer, const char* label)
{
    MP4_TRY(stream->readData(count, static_cast<char*>(buffer), label));
    bytesRead += count;
    return MP4Success;
}

MP4Err MP4FieldRecord::getData(MP4InputStream stream, uint32_t count, std::vector<char>& block, const char* label)
{
    // Nothing is allocated for bytes the stream does not hold.
    if (count > stream->available)
        return MP4InputOutputError;
    try {
        block.resize(count);
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return getData(stream, count, block.data(), label);
}

MP4Err MP4FieldRecord::putData(char* buffer, const void* data, uint32_t count)
{
    if (uint64_t(bytesWritten) + count > size)
        return MP4InputOutputError;
    if (count != 0)
        std::memcpy(buffer + bytesWritten, data, count);
    bytesWritten += count;
    return MP4Success;
}

MP4Err MP4FieldRecord::put8(char* buffer, uint32_t value)
{
    uint8_t bytes[1] = {uint8_t(value)};
    return putData(buffer, bytes, 1);
}

MP4Err MP4FieldRecord::put16(char* buffer, uint32_t value)
{
    uint8_t bytes[2] = {uint8_t(value >> 8), uint8_t(value)};
    return putData(buffer, bytes, 2);
}

MP4Err MP4FieldRecord::put32(char* buffer, uint32_t value)
{
    uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    return putData(buffer, bytes, 4);
}

MP4Err MP4FieldRecord::put64(char* buffer, uint64_t value)
{
    MP4_TRY(put32(buffer, uint32_t(value >> 32)));
    return put32(buffer, uint32_t(value));
}

MP4Err MP4FieldRecord::finishWriting() const
{
    // calculateSize and serialize of a class agree exactly; anything else is a bug.
    assert(bytesWritten == size);
    return bytesWritten == size ? MP4Success : MP4InputOutputError;
}
