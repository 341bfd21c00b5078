#pragma once
// What atoms and descriptors share: a total size, the bytes read and written so far, and the
// big-endian field readers and writers that advance them.
//
// Readers never pass the stream's bytes (-4). Writers check that every field fits in `size`,
// the size calculateSize computed (-4), so a serialiser can never write past its buffer.

#include "isomedia/MP4InputStream.h"

#include <vector>

struct MP4FieldRecord {
    uint32_t size = 0;          // total size, header included
    uint32_t bytesRead = 0;     // consumed while parsing, header included
    uint32_t bytesWritten = 0;  // written while serialising, header included

    MP4Err get8(MP4InputStream stream, uint32_t* value, const char* label);
    MP4Err get16(MP4InputStream stream, uint32_t* value, const char* label);
    MP4Err get32(MP4InputStream stream, uint32_t* value, const char* label);
    // Two 32-bit reads, the more significant first, both traced under the label.
    MP4Err get64(MP4InputStream stream, uint64_t* value, const char* label);
    MP4Err getData(MP4InputStream stream, uint32_t count, void* buffer, const char* label);
    // The same into a block made for them (-3 when it cannot be).
    MP4Err getData(MP4InputStream stream, uint32_t count, std::vector<char>& block, const char* label);

    MP4Err put8(char* buffer, uint32_t value);
    MP4Err put16(char* buffer, uint32_t value);
    MP4Err put32(char* buffer, uint32_t value);
    MP4Err put64(char* buffer, uint64_t value);
    MP4Err putData(char* buffer, const void* data, uint32_t count);
    // Writes a held atom or descriptor (sized already) at the current position; none is nothing.
    template <class Held>
    MP4Err putHeld(char* buffer, Held* held);
    // Sizes a held atom or descriptor and adds its size; -4 when the total would pass limit.
    template <class Held>
    MP4Err addSizeOfHeld(Held* held, uint64_t limit);
    // The common end of serialize: bytesWritten must equal size.
    MP4Err finishWriting() const;
};

template <class Held>
MP4Err MP4FieldRecord::putHeld(char* buffer, Held* held)
{
    if (held == nullptr)
        return MP4Success;
    if (held->size > size - bytesWritten)
        return MP4InputOutputError;
    MP4_TRY(held->serialize(buffer + bytesWritten));
    bytesWritten += held->bytesWritten;
    return MP4Success;
}

template <class Held>
MP4Err MP4FieldRecord::addSizeOfHeld(Held* held, uint64_t limit)
{
    if (held == nullptr)
        return MP4Success;
    MP4_TRY(held->calculateSize());
    if (uint64_t(size) + held->size > limit)
        return MP4InputOutputError;
    size += held->size;
    return MP4Success;
}
