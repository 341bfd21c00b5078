// The two update commands of object-descriptor streams.
#include "isomedia/MP4Descriptors.h"

MP4ObjectDescriptorUpdate::MP4ObjectDescriptorUpdate(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4ObjectDescriptorUpdate")
{
}

MP4ObjectDescriptorUpdate::~MP4ObjectDescriptorUpdate()
{
    MP4DestroyDescriptors(objectDescriptors);
    MP4DestroyDescriptors(otherDescriptors);
}

MP4Err MP4ObjectDescriptorUpdate::addDescriptor(MP4Descriptor* descriptor)
{
    if (descriptor == nullptr)
        return MP4BadParameter;
    return MP4AppendDescriptor(descriptor->tag == 1 ? objectDescriptors : otherDescriptors, descriptor);
}

MP4Err MP4ObjectDescriptorUpdate::createFromInputStream(MP4InputStream stream)
{
    return readDescriptors(stream, [this](MP4Descriptor* descriptor) { return addDescriptor(descriptor); });
}

MP4Err MP4ObjectDescriptorUpdate::calculateSize()
{
    size = 5;
    MP4_TRY(addSizesOf(objectDescriptors));
    return addSizesOf(otherDescriptors);
}

MP4Err MP4ObjectDescriptorUpdate::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(putDescriptors(buffer, objectDescriptors));
    MP4_TRY(putDescriptors(buffer, otherDescriptors));
    return finishWriting();
}

MP4ESDescriptorUpdate::MP4ESDescriptorUpdate(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4ESDescriptorUpdate")
{
}

MP4ESDescriptorUpdate::~MP4ESDescriptorUpdate()
{
    MP4DestroyDescriptors(ES_ID_RefDescriptors);
    MP4DestroyDescriptors(ESDescriptors);
    MP4DestroyDescriptors(otherDescriptors);
}

MP4Err MP4ESDescriptorUpdate::addDescriptor(MP4Descriptor* descriptor)
{
    if (descriptor == nullptr)
        return MP4BadParameter;
    if (descriptor->tag == 15)
        return MP4AppendDescriptor(ES_ID_RefDescriptors, descriptor);
    if (descriptor->tag == 3)
        return MP4AppendDescriptor(ESDescriptors, descriptor);
    return MP4AppendDescriptor(otherDescriptors, descriptor);
}

MP4Err MP4ESDescriptorUpdate::removeESDescriptors()
{
    MP4DestroyDescriptors(ESDescriptors);
    return MP4Success;
}

MP4Err MP4ESDescriptorUpdate::createFromInputStream(MP4InputStream stream)
{
    uint32_t word = 0;
    MP4_TRY(get16(stream, &word, "val"));
    objectDescriptorID = word >> 6;
    return readDescriptors(stream, [this](MP4Descriptor* descriptor) { return addDescriptor(descriptor); });
}

MP4Err MP4ESDescriptorUpdate::calculateSize()
{
    size = 7;
    MP4_TRY(addSizesOf(ESDescriptors));
    MP4_TRY(addSizesOf(ES_ID_RefDescriptors));
    return addSizesOf(otherDescriptors);
}

MP4Err MP4ESDescriptorUpdate::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(put8(buffer, objectDescriptorID >> 2));
    MP4_TRY(put8(buffer, (objectDescriptorID << 6) & 0xFF));
    MP4_TRY(putDescriptors(buffer, ESDescriptors));
    MP4_TRY(putDescriptors(buffer, ES_ID_RefDescriptors));
    MP4_TRY(putDescriptors(buffer, otherDescriptors));
    return finishWriting();
}

MP4Err MP4CreateObjectDescriptorUpdate(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4ObjectDescriptorUpdate(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}

MP4Err MP4CreateESDescriptorUpdate(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4ESDescriptorUpdate(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}
