// The common descriptor record: readers, writers, the two parsers and the copy.
#include "isomedia/MP4Descriptors.h"

#include <cassert>
#include <cstring>
#include <new>

MP4Descriptor::MP4Descriptor(uint32_t tag, uint32_t size, uint32_t headerLength, const char* name)
    : tag(tag), size(size), name(name), bytesRead(headerLength)
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

MP4Err MP4Descriptor::get8(MP4InputStream stream, uint32_t* value, const char* label)
{
    MP4_TRY(stream->read8(value, label));
    bytesRead += 1;
    return MP4Success;
}

MP4Err MP4Descriptor::get16(MP4InputStream stream, uint32_t* value, const char* label)
{
    MP4_TRY(stream->read16(value, label));
    bytesRead += 2;
    return MP4Success;
}

MP4Err MP4Descriptor::get32(MP4InputStream stream, uint32_t* value, const char* label)
{
    MP4_TRY(stream->read32(value, label));
    bytesRead += 4;
    return MP4Success;
}

MP4Err MP4Descriptor::getData(MP4InputStream stream, uint32_t count, std::vector<char>& data, const char* label)
{
    if (count > stream->available)
        return MP4InputOutputError;
    try {
        data.resize(count);
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    MP4_TRY(stream->readData(count, data.data(), label));
    bytesRead += count;
    return MP4Success;
}

MP4Err MP4Descriptor::putData(char* buffer, const void* data, uint32_t count)
{
    if (uint64_t(bytesWritten) + count > size)
        return MP4InputOutputError;
    if (count != 0)
        std::memcpy(buffer + bytesWritten, data, count);
    bytesWritten += count;
    return MP4Success;
}

MP4Err MP4Descriptor::put8(char* buffer, uint32_t value)
{
    uint8_t bytes[1] = {uint8_t(value)};
    return putData(buffer, bytes, 1);
}

MP4Err MP4Descriptor::put16(char* buffer, uint32_t value)
{
    uint8_t bytes[2] = {uint8_t(value >> 8), uint8_t(value)};
    return putData(buffer, bytes, 2);
}

MP4Err MP4Descriptor::put32(char* buffer, uint32_t value)
{
    uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    return putData(buffer, bytes, 4);
}

MP4Err MP4Descriptor::putDescriptor(char* buffer, MP4Descriptor* descriptor)
{
    if (descriptor == nullptr)
        return MP4Success;
    if (descriptor->size > size - bytesWritten)
        return MP4InputOutputError;
    MP4_TRY(descriptor->serialize(buffer + bytesWritten));
    bytesWritten += descriptor->bytesWritten;
    return MP4Success;
}

MP4Err MP4Descriptor::putDescriptors(char* buffer, const MP4DescriptorList& list)
{
    for (MP4Descriptor* descriptor : list)
        MP4_TRY(putDescriptor(buffer, descriptor));
    return MP4Success;
}

MP4Err MP4Descriptor::addSizeOf(MP4Descriptor* descriptor)
{
    if (descriptor == nullptr)
        return MP4Success;
    MP4_TRY(descriptor->calculateSize());
    if (uint64_t(size) + descriptor->size > 0xFFFFFFFu)
        return MP4InputOutputError;
    size += descriptor->size;
    return MP4Success;
}

MP4Err MP4Descriptor::addSizesOf(const MP4DescriptorList& list)
{
    for (MP4Descriptor* descriptor : list)
        MP4_TRY(addSizeOf(descriptor));
    return MP4Success;
}

MP4Err MP4Descriptor::finishWriting() const
{
    assert(bytesWritten == size);
    return bytesWritten == size ? MP4Success : MP4InputOutputError;
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
