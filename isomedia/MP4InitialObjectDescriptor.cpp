#include "isomedia/MP4Descriptors.h"

MP4InitialObjectDescriptor::MP4InitialObjectDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4InitialObjectDescriptor")
{
}

MP4InitialObjectDescriptor::~MP4InitialObjectDescriptor()
{
    for (auto* list : {&ES_ID_IncDescriptors, &ESDescriptors, &OCIDescriptors, &IPMPDescriptorPointers,
             &extensionDescriptors})
        MP4DestroyDescriptors(*list);
}

MP4Err MP4InitialObjectDescriptor::addDescriptor(MP4Descriptor* descriptor)
{
    if (descriptor == nullptr)
        return MP4BadParameter;
    switch (descriptor->tag) {
    case 14: return MP4AppendDescriptor(ES_ID_IncDescriptors, descriptor);
    case 10: return MP4AppendDescriptor(IPMPDescriptorPointers, descriptor);
    case 3: return MP4AppendDescriptor(ESDescriptors, descriptor);
    default: return MP4AppendDescriptor(extensionDescriptors, descriptor);
    }
}

MP4Err MP4InitialObjectDescriptor::removeESDescriptors()
{
    MP4DestroyDescriptors(ESDescriptors);
    return MP4Success;
}

MP4Err MP4InitialObjectDescriptor::createFromInputStream(MP4InputStream stream)
{
    uint32_t word = 0;
    MP4_TRY(get16(stream, &word, nullptr));
    objectDescriptorID = word >> 6;
    bool hasURL = word & 0x20;
    inlineProfileFlag = (word & 0x10) ? 1 : 0;
    stream->trace("objectDescriptorID = %d", int(objectDescriptorID));
    stream->trace("urlflag = %d", int(hasURL));
    stream->trace("inlineProfileFlag = %d", int(inlineProfileFlag));
    if (hasURL) {
        MP4_TRY(get8(stream, &URLStringLength, "URLStringLength"));
        MP4_TRY(getData(stream, URLStringLength, URLString, "URLString"));
    } else {
        MP4_TRY(get8(stream, &OD_profileAndLevel, "OD_profileAndLevel"));
        MP4_TRY(get8(stream, &scene_profileAndLevel, "scene_profileAndLevel"));
        MP4_TRY(get8(stream, &audio_profileAndLevel, "audio_profileAndLevel"));
        MP4_TRY(get8(stream, &visual_profileAndLevel, "visual_profileAndLevel"));
        MP4_TRY(get8(stream, &graphics_profileAndLevel, "graphics_profileAndLevel"));
    }
    return readDescriptors(stream, [this](MP4Descriptor* descriptor) {
        uint32_t t = descriptor->tag;
        if (t >= 64 && t <= 95)
            return MP4AppendDescriptor(OCIDescriptors, descriptor);
        return addDescriptor(descriptor);
    });
}

MP4Err MP4InitialObjectDescriptor::calculateSize()
{
    if (URLStringLength != 0) {
        size = 8 + URLStringLength;
        return addSizesOf(extensionDescriptors);
    }
    size = 12;
    for (auto* list : {&ESDescriptors, &ES_ID_IncDescriptors, &OCIDescriptors, &IPMPDescriptorPointers,
             &extensionDescriptors})
        MP4_TRY(addSizesOf(*list));
    return MP4Success;
}

MP4Err MP4InitialObjectDescriptor::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(put16(buffer, (objectDescriptorID << 6) + (URLStringLength != 0 ? 0x20 : 0)
            + (inlineProfileFlag ? 0x10 : 0) + 0x0F));
    if (URLStringLength != 0) {
        MP4_TRY(put8(buffer, URLStringLength));
        MP4_TRY(putData(buffer, URLString.data(), URLStringLength));
    } else {
        for (uint32_t level : {OD_profileAndLevel, scene_profileAndLevel, audio_profileAndLevel,
                 visual_profileAndLevel, graphics_profileAndLevel})
            MP4_TRY(put8(buffer, level));
        for (auto* list : {&ESDescriptors, &ES_ID_IncDescriptors, &OCIDescriptors, &IPMPDescriptorPointers})
            MP4_TRY(putDescriptors(buffer, *list));
    }
    MP4_TRY(putDescriptors(buffer, extensionDescriptors));
    return finishWriting();
}

MP4Err MP4CreateInitialObjectDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4InitialObjectDescriptor(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}
