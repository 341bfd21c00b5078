#include "isomedia/MP4Descriptors.h"

MP4ObjectDescriptor::MP4ObjectDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4ObjectDescriptor")
{
}

MP4ObjectDescriptor::~MP4ObjectDescriptor()
{
    for (auto* list : {&ES_ID_IncDescriptors, &ES_ID_RefDescriptors, &ESDescriptors, &OCIDescriptors,
             &IPMPDescriptorPointers, &extensionDescriptors})
        MP4DestroyDescriptors(*list);
}

MP4Err MP4ObjectDescriptor::addDescriptor(MP4Descriptor* descriptor)
{
    if (descriptor == nullptr)
        return MP4BadParameter;
    switch (descriptor->tag) {
    case 3: return MP4AppendDescriptor(ESDescriptors, descriptor);
    case 10: return MP4AppendDescriptor(IPMPDescriptorPointers, descriptor);
    case 14: return MP4AppendDescriptor(ES_ID_IncDescriptors, descriptor);
    case 15: return MP4AppendDescriptor(ES_ID_RefDescriptors, descriptor);
    default: return MP4AppendDescriptor(extensionDescriptors, descriptor);
    }
}

MP4Err MP4ObjectDescriptor::removeESDescriptors()
{
    MP4DestroyDescriptors(ESDescriptors);
    return MP4Success;
}

MP4Err MP4ObjectDescriptor::createFromInputStream(MP4InputStream stream)
{
    uint32_t word = 0;
    MP4_TRY(get16(stream, &word, nullptr));
    objectDescriptorID = word >> 6;
    bool hasURL = word & 0x20;
    stream->trace("objectDescriptorID = %d", int(objectDescriptorID));
    stream->trace("urlflag = %d", int(hasURL));
    if (hasURL) {
        MP4_TRY(get8(stream, &URLStringLength, "URLStringLength"));
        MP4_TRY(getData(stream, URLStringLength, URLString, "URLString"));
    }
    return readDescriptors(stream, [this](MP4Descriptor* descriptor) {
        uint32_t t = descriptor->tag;
        if (t >= 64 && t <= 95)
            return MP4AppendDescriptor(OCIDescriptors, descriptor);
        return addDescriptor(descriptor);
    });
}

MP4Err MP4ObjectDescriptor::calculateSize()
{
    size = 7;
    if (URLStringLength != 0)
        size += 1 + URLStringLength;
    for (auto* list : {&ESDescriptors, &ES_ID_IncDescriptors, &ES_ID_RefDescriptors, &OCIDescriptors,
             &IPMPDescriptorPointers, &extensionDescriptors})
        MP4_TRY(addSizesOf(*list));
    return MP4Success;
}

MP4Err MP4ObjectDescriptor::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(put16(buffer, (objectDescriptorID << 6) + (URLStringLength != 0 ? 0x20 : 0) + 0x1F));
    if (URLStringLength != 0) {
        MP4_TRY(put8(buffer, URLStringLength));
        MP4_TRY(putData(buffer, URLString.data(), URLStringLength));
    }
    for (auto* list : {&ESDescriptors, &ES_ID_IncDescriptors, &ES_ID_RefDescriptors, &OCIDescriptors,
             &IPMPDescriptorPointers, &extensionDescriptors})
        MP4_TRY(putDescriptors(buffer, *list));
    return finishWriting();
}

MP4Err MP4CreateObjectDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4ObjectDescriptor(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}
