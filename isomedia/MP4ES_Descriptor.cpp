#include "isomedia/MP4Descriptors.h"

MP4ES_Descriptor::MP4ES_Descriptor(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4ES_Descriptor")
{
}

MP4ES_Descriptor::~MP4ES_Descriptor()
{
    for (MP4Descriptor* held : {decoderConfig, slConfig, ipiPtr, qos}) {
        if (held != nullptr)
            held->destroy();
    }
    for (auto* list : {&IPIDataSet, &langDesc, &IPMPDescriptorPointers, &extensionDescriptors})
        MP4DestroyDescriptors(*list);
}

static MP4Err setOnce(MP4Descriptor*& field, MP4Descriptor* descriptor)
{
    if (field != nullptr)
        return MP4MissingComponent;
    field = descriptor;
    return MP4Success;
}

MP4Err MP4ES_Descriptor::addDescriptor(MP4Descriptor* descriptor)
{
    if (descriptor == nullptr)
        return MP4BadParameter;
    uint32_t t = descriptor->tag;
    switch (t) {
    case 4: return setOnce(decoderConfig, descriptor);
    case 6: return setOnce(slConfig, descriptor);
    case 9: return setOnce(ipiPtr, descriptor);
    case 12: return setOnce(qos, descriptor);
    case 7:
    case 8: return MP4AppendDescriptor(IPIDataSet, descriptor);
    case 10: return MP4AppendDescriptor(IPMPDescriptorPointers, descriptor);
    case 67: return MP4AppendDescriptor(langDesc, descriptor);
    default:
        if (t >= 74 && t <= 95)
            return MP4AppendDescriptor(IPIDataSet, descriptor);
        return MP4AppendDescriptor(extensionDescriptors, descriptor);
    }
}

MP4Err MP4ES_Descriptor::createFromInputStream(MP4InputStream stream)
{
    MP4_TRY(get16(stream, &ESID, "ESID"));
    uint32_t flags = 0;
    MP4_TRY(get8(stream, &flags, nullptr));
    streamPriority = flags & 0x1F;
    bool dependent = flags & 0x80, hasURL = flags & 0x40, hasOCR = flags & 0x20;
    stream->trace("streamDependenceFlag = %d", int(dependent));
    stream->trace("urlflag = %d", int(hasURL));
    stream->trace("streamPriority = %d", int(streamPriority));
    stream->trace("OCRStreamFlag = %d", int(hasOCR));
    if (dependent)
        MP4_TRY(get16(stream, &dependsOnES, "dependsOnES"));
    if (hasURL) {
        MP4_TRY(get8(stream, &URLStringLength, "URLStringLength"));
        MP4_TRY(getData(stream, URLStringLength, URLString, "URLString"));
    }
    if (hasOCR)
        MP4_TRY(get16(stream, &OCRESID, "OCRESID"));
    return readDescriptors(stream, [this](MP4Descriptor* descriptor) {
        uint32_t t = descriptor->tag;
        // Inside a stream only the listed tags go to the IPI data set.
        if (t >= 74 && t <= 95)
            return MP4AppendDescriptor(extensionDescriptors, descriptor);
        return addDescriptor(descriptor);
    });
}

MP4Err MP4ES_Descriptor::calculateSize()
{
    size = 8;
    if (dependsOnES != 0)
        size += 2;
    if (OCRESID != 0)
        size += 2;
    if (URLStringLength != 0)
        size += 1 + URLStringLength;
    for (MP4Descriptor* held : {decoderConfig, slConfig, ipiPtr, qos})
        MP4_TRY(addSizeOf(held));
    for (auto* list : {&IPIDataSet, &langDesc, &IPMPDescriptorPointers, &extensionDescriptors})
        MP4_TRY(addSizesOf(*list));
    return MP4Success;
}

MP4Err MP4ES_Descriptor::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(put16(buffer, ESID));
    MP4_TRY(put8(buffer, (streamPriority & 0x1F) + (OCRESID != 0 ? 0x20 : 0) + (URLStringLength != 0 ? 0x40 : 0)
            + (dependsOnES != 0 ? 0x80 : 0)));
    if (dependsOnES != 0)
        MP4_TRY(put16(buffer, dependsOnES));
    if (URLStringLength != 0) {
        MP4_TRY(put8(buffer, URLStringLength));
        MP4_TRY(putData(buffer, URLString.data(), URLStringLength));
    }
    if (OCRESID != 0)
        MP4_TRY(put16(buffer, OCRESID));
    MP4_TRY(putDescriptor(buffer, decoderConfig));
    MP4_TRY(putDescriptor(buffer, slConfig));
    MP4_TRY(putDescriptor(buffer, ipiPtr));
    MP4_TRY(putDescriptors(buffer, IPIDataSet));
    MP4_TRY(putDescriptors(buffer, IPMPDescriptorPointers));
    MP4_TRY(putDescriptors(buffer, langDesc));
    MP4_TRY(putDescriptor(buffer, qos));
    MP4_TRY(putDescriptors(buffer, extensionDescriptors));
    return finishWriting();
}

MP4Err MP4CreateES_Descriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4ES_Descriptor(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}
