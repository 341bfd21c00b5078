#include "isomedia/MP4InputStream.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

void MP4InputStreamRecord::trace(const char* format, ...)
{
    if (!debugging)
        return;
    for (uint32_t i = 0; i < indent; i++)
        std::fputs("    ", stdout);
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fputc('\n', stdout);
}

void MP4InputStreamRecord::msg(const char* text)
{
    trace("%s", text);
}

void MP4InputStreamRecord::destroy()
{
    if (ownsMapping && mapping != nullptr)
        mapping->destroy();
    delete this;
}

MP4Err MP4InputStreamRecord::read8(uint32_t* outValue, const char* label)
{
    if (outValue == nullptr)
        return MP4BadParameter;
    if (available < 1) {
        *outValue = 0;
        return MP4InputOutputError;
    }
    *outValue = uint8_t(*current);
    current++;
    available--;
    if (label != nullptr)
        trace("%s = %d", label, int(*outValue));
    return MP4Success;
}

MP4Err MP4InputStreamRecord::read16(uint32_t* outValue, const char* label)
{
    if (outValue == nullptr)
        return MP4BadParameter;
    if (available < 2)
        return MP4InputOutputError;
    auto* bytes = reinterpret_cast<const uint8_t*>(current);
    *outValue = (uint32_t(bytes[0]) << 8) | bytes[1];
    current += 2;
    available -= 2;
    if (label != nullptr)
        trace("%s = %d", label, int(*outValue));
    return MP4Success;
}

MP4Err MP4InputStreamRecord::read32(uint32_t* outValue, const char* label)
{
    if (outValue == nullptr)
        return MP4BadParameter;
    if (available < 4)
        return MP4InputOutputError;
    uint32_t high = 0;
    uint32_t low = 0;
    read16(&high, nullptr);
    read16(&low, nullptr);
    *outValue = (high << 16) | low;
    if (label != nullptr)
        trace("%s = %d", label, int32_t(*outValue));
    return MP4Success;
}

MP4Err MP4InputStreamRecord::readData(uint32_t count, char* buffer, const char* label)
{
    if (available < count)
        return MP4InputOutputError;
    if (count != 0) {
        if (buffer == nullptr)
            return MP4BadParameter;
        std::memcpy(buffer, current, count);
    }
    current += count;
    available -= count;
    if (label == nullptr || !debugging)
        return MP4Success;
    trace("%s = [%d bytes of data]", label, int(count));
    if (!isFileStream)
        return MP4Success;
    auto* bytes = reinterpret_cast<const uint8_t*>(buffer);
    uint32_t row = 0;
    for (; row <= 1024 && row < count; row += 16) {
        for (uint32_t i = 0; i < indent; i++)
            std::fputs("    ", stdout);
        for (uint32_t i = row; i < row + 16; i++) {
            if (i < count)
                std::printf("%02X ", bytes[i]);
            else
                std::fputs("   ", stdout);
        }
        std::fputs("| ", stdout);
        for (uint32_t i = row; i < row + 16 && i < count; i++)
            std::fputc(bytes[i] < 32 || bytes[i] > 127 ? '.' : char(bytes[i]), stdout);
        std::fputc('\n', stdout);
    }
    if (row < count)
        std::fputs("\n...\n", stdout);
    return MP4Success;
}

MP4Err MP4InputStreamRecord::pushLimit(uint32_t length, uint32_t* outSaved)
{
    if (length > available)
        return MP4BadData;
    *outSaved = available - length;
    available = length;
    return MP4Success;
}

void MP4InputStreamRecord::popLimit(uint32_t saved)
{
    current += available;
    available = saved;
}

MP4Err MP4CreateFileMappingInputStream(MP4FileMappingObject mapping, MP4InputStream* outStream)
{
    if (mapping == nullptr || outStream == nullptr)
        return MP4BadParameter;
    auto* stream = new (std::nothrow) MP4InputStreamRecord;
    if (stream == nullptr)
        return MP4OutOfMemory;
    stream->available = mapping->size;
    stream->base = stream->current = mapping->data;
    stream->mapping = mapping;
    stream->isFileStream = true;
    *outStream = stream;
    return MP4Success;
}

MP4Err MP4CreateMemoryInputStream(char* bytes, uint32_t length, MP4InputStream* outStream)
{
    if (outStream == nullptr || (bytes == nullptr && length != 0))
        return MP4BadParameter;
    auto* stream = new (std::nothrow) MP4InputStreamRecord;
    if (stream == nullptr)
        return MP4OutOfMemory;
    MP4Err err = MP4CreateMemoryFileMappingObject(bytes, length, &stream->mapping);
    if (err != MP4Success) {
        delete stream;
        return err;
    }
    stream->ownsMapping = true;
    stream->available = length;
    stream->base = stream->current = bytes;
    *outStream = stream;
    return MP4Success;
}
