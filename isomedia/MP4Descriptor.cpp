// The common descriptor record: its lists of held descriptors, the two parsers and the copy.
#include "isomedia/MP4Descriptors.h"

#include <cstring>
#include <new>

MP4Descriptor::MP4Descriptor(uint32_t tag, uint32_t size, uint32_t headerLength, const char* name)
    : MP4FieldRecord{size, headerLength, 0}, tag(tag), name(name)
{
}

MP4Err MP4Descriptor::addDescriptor(MP4Descriptor*)
{
    return MP4BadParameter;
}

MP4Err MP4Descriptor::removeESDescriptors()
{
    return MP4BadParameter;
}

MP4Err MP4Descriptor::putDescriptors(char* buffer, const MP4DescriptorList& list)
{
    for (MP4Descriptor* descriptor : list)
        MP4_TRY(putDescriptor(buffer, descriptor));
    return MP4Success;
}

MP4Err MP4Descriptor::addSizesOf(const MP4DescriptorList& list)
{
    for (MP4Descriptor* descriptor : list)
        MP4_TRY(addSizeOf(descriptor));
    return MP4Success;
}

void MP4DestroyDescriptors(MP4DescriptorList& list)
{
    for (MP4Descriptor* descriptor : list)
        descriptor->destroy();
    list.clear();
}

MP4Err MP4AppendDescriptor(MP4DescriptorList& list, MP4Descriptor* descriptor)
{
    try {
        list.push_back(descriptor);
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

MP4Err MP4SerializeDescriptorHeader(MP4Descriptor* descriptor, char* buffer)
{
    descriptor->bytesWritten = 0;
    // The body length must fit four 7-bit groups.
    if (descriptor->size < 5 || descriptor->size - 5 > 0x0FFFFFFF)
        return MP4InputOutputError;
    uint32_t length = descriptor->size - 5;
    uint8_t header[5] = {uint8_t(descriptor->tag), uint8_t(((length >> 21) & 0x7F) | 0x80),
        uint8_t(((length >> 14) & 0x7F) | 0x80), uint8_t(((length >> 7) & 0x7F) | 0x80), uint8_t(length & 0x7F)};
    return descriptor->putData(buffer, header, 5);
}

// Reads the tag and the size, whose bytes carry 7 bits each while bit 0x80 is set.
static MP4Err readDescriptorHeader(MP4InputStream stream, uint32_t* outTag, uint32_t* outBodySize,
    uint32_t* outHeaderLength)
{
    MP4_TRY(stream->read8(outTag, "class tag"));
    uint32_t bodySize = 0;
    uint32_t headerLength = 1;
    uint32_t byte = 0x80;
    while (byte & 0x80) {
        MP4_TRY(stream->read8(&byte, "size byte"));
        headerLength++;
        if (bodySize > (0xFFFFFFFFu >> 7))
            return MP4BadData;
        bodySize = (bodySize << 7) | (byte & 0x7F);
    }
    // A descriptor never reaches beyond what holds it.
    if (bodySize > stream->available)
        return MP4BadData;
    *outBodySize = bodySize;
    *outHeaderLength = headerLength;
    return MP4Success;
}

using DescriptorConstructor = MP4Err (*)(uint32_t, uint32_t, uint32_t, MP4Descriptor**);

static MP4Err readBody(MP4InputStream stream, DescriptorConstructor make, uint32_t tag, uint32_t bodySize,
    uint32_t headerLength, const char* traceFormat, MP4Descriptor** outDescriptor)
{
    MP4Descriptor* descriptor = nullptr;
    MP4_TRY(make(tag, bodySize + headerLength, headerLength, &descriptor));
    stream->trace(traceFormat, descriptor->name.c_str());
    uint32_t outside = 0;
    MP4Err err = stream->pushLimit(bodySize, &outside);
    if (err == MP4Success) {
        err = descriptor->createFromInputStream(stream);
        // Bytes of the body that its class did not read are skipped.
        stream->popLimit(outside);
    }
    if (err != MP4Success) {
        descriptor->destroy();
        return err;
    }
    *outDescriptor = descriptor;
    return MP4Success;
}

MP4Err MP4ParseDescriptor(MP4InputStream stream, MP4Descriptor** outDescriptor)
{
    if (stream == nullptr || outDescriptor == nullptr)
        return MP4BadParameter;
    stream->trace("{");
    stream->indent++;
    uint32_t tag = 0, bodySize = 0, headerLength = 0;
    MP4_TRY(readDescriptorHeader(stream, &tag, &bodySize, &headerLength));
    DescriptorConstructor make = MP4CreateDefaultDescriptor;
    switch (tag) {
    case 1:
    case 17:
        make = MP4CreateObjectDescriptor;
        tag = 1;
        break;
    case 2:
    case 16:
        make = MP4CreateInitialObjectDescriptor;
        tag = 16;
        break;
    case 3: make = MP4CreateES_Descriptor; break;
    case 4: make = MP4CreateDecoderConfigDescriptor; break;
    case 6: make = MP4CreateSLConfigDescriptor; break;
    case 14: make = MP4CreateES_ID_IncDescriptor; break;
    case 15: make = MP4CreateES_ID_RefDescriptor; break;
    default: break;
    }
    MP4_TRY(readBody(stream, make, tag, bodySize, headerLength, "descriptor is %s", outDescriptor));
    stream->indent--;
    stream->trace("}");
    return MP4Success;
}

MP4Err MP4ParseCommand(MP4InputStream stream, MP4Descriptor** outCommand)
{
    if (stream == nullptr || outCommand == nullptr)
        return MP4BadParameter;
    uint32_t tag = 0, bodySize = 0, headerLength = 0;
    MP4_TRY(readDescriptorHeader(stream, &tag, &bodySize, &headerLength));
    DescriptorConstructor make = MP4CreateDefaultCommand;
    if (tag == 1)
        make = MP4CreateObjectDescriptorUpdate;
    else if (tag == 3)
        make = MP4CreateESDescriptorUpdate;
    return readBody(stream, make, tag, bodySize, headerLength, "command is %s", outCommand);
}

MP4Err MP4CopyDescriptor(MP4Descriptor* descriptor, MP4Descriptor** outCopy)
{
    if (descriptor == nullptr || outCopy == nullptr)
        return MP4BadParameter;
    MP4_TRY(descriptor->calculateSize());
    MP4Handle bytes = nullptr;
    MP4_TRY(MP4NewHandle(descriptor->size, &bytes));
    MP4Err err = descriptor->serialize(bytes->data);
    MP4InputStream stream = nullptr;
    if (err == MP4Success)
        err = MP4CreateMemoryInputStream(bytes->data, bytes->size, &stream);
    if (err == MP4Success) {
        stream->debugging = 0;
        err = MP4ParseDescriptor(stream, outCopy);
        stream->destroy();
    }
    MP4DisposeHandle(bytes);
    return err;
}
