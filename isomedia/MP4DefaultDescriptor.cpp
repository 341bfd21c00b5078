// Descriptors and commands of tags without a class of their own: kept byte for byte.
#include "isomedia/MP4Descriptors.h"

#include <cstdio>

MP4DefaultDescriptor::MP4DefaultDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, bool isCommand)
    : MP4Descriptor(tag, size, headerLength, "MP4DefaultDescriptor")
{
    char text[80];
    std::snprintf(text, sizeof text,
        isCommand ? "(some command with tag 0x%02x and size %d)" : "(some descriptor with tag 0x%02x and size %d)",
        tag, int(size));
    name = text;
}

MP4Err MP4DefaultDescriptor::createFromInputStream(MP4InputStream stream)
{
    if (bytesRead > size)
        return MP4BadData;
    dataLength = size - bytesRead;
    return getData(stream, dataLength, data, "data");
}

MP4Err MP4DefaultDescriptor::calculateSize()
{
    if (dataLength > 0x0FFFFFFF)
        return MP4InputOutputError;
    size = dataLength + 5;
    return MP4Success;
}

MP4Err MP4DefaultDescriptor::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(putData(buffer, data.data(), dataLength));
    return finishWriting();
}

MP4Err MP4CreateDefaultDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4DefaultDescriptor(tag, size, headerLength, false);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}

MP4Err MP4CreateDefaultCommand(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4DefaultDescriptor(tag, size, headerLength, true);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}
