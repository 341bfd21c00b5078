// The two ES ID descriptors: an increment (a track ID) and a reference (an index).
#include "isomedia/MP4Descriptors.h"

MP4ES_ID_IncDescriptor::MP4ES_ID_IncDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4ES_ID_IncDescriptor")
{
}

MP4Err MP4ES_ID_IncDescriptor::createFromInputStream(MP4InputStream stream)
{
    return get32(stream, &trackID, "trackID");
}

MP4Err MP4ES_ID_IncDescriptor::calculateSize()
{
    size = 9;
    return MP4Success;
}

MP4Err MP4ES_ID_IncDescriptor::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(put32(buffer, trackID));
    return finishWriting();
}

MP4ES_ID_RefDescriptor::MP4ES_ID_RefDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4ES_ID_RefDescriptor")
{
}

MP4Err MP4ES_ID_RefDescriptor::createFromInputStream(MP4InputStream stream)
{
    return get16(stream, &refIndex, "refIndex");
}

MP4Err MP4ES_ID_RefDescriptor::calculateSize()
{
    size = 7;
    return MP4Success;
}

MP4Err MP4ES_ID_RefDescriptor::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(put16(buffer, refIndex));
    return finishWriting();
}

MP4Err MP4CreateES_ID_IncDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4ES_ID_IncDescriptor(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}

MP4Err MP4CreateES_ID_RefDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4ES_ID_RefDescriptor(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}
