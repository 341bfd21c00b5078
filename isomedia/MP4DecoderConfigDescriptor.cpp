#include "isomedia/MP4Descriptors.h"

MP4DecoderConfigDescriptor::MP4DecoderConfigDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength)
    : MP4Descriptor(tag, size, headerLength, "MP4DecoderConfigDescriptor")
{
}

MP4DecoderConfigDescriptor::~MP4DecoderConfigDescriptor()
{
    if (decoderSpecificInfo != nullptr)
        decoderSpecificInfo->destroy();
}

MP4Err MP4DecoderConfigDescriptor::createFromInputStream(MP4InputStream stream)
{
    MP4_TRY(get8(stream, &objectTypeIndication, "objectTypeIndication"));
    uint32_t byte = 0;
    MP4_TRY(get8(stream, &byte, nullptr));
    upstream = byte & 0x02;
    streamType = byte >> 2;
    stream->trace("upstream = %d", int(upstream));
    stream->trace("streamType = %d", int(streamType));
    stream->trace("reserved = %d", int(byte & 1));
    uint32_t high = 0, low = 0;
    MP4_TRY(get16(stream, &high, nullptr));
    MP4_TRY(get8(stream, &low, nullptr));
    bufferSizeDB = (high << 8) | low;
    stream->trace("bufferSizeDB = %d", int(bufferSizeDB));
    MP4_TRY(get32(stream, &maxBitrate, "maxBitrate"));
    MP4_TRY(get32(stream, &avgBitrate, "avgBitrate"));
    if (bytesRead >= size) {
        stream->msg("(no decoder specific info)");
        return MP4Success;
    }
    MP4Descriptor* descriptor = nullptr;
    MP4_TRY(MP4ParseDescriptor(stream, &descriptor));
    bytesRead += descriptor->size;
    if (descriptor->tag == 5) {
        decoderSpecificInfo = descriptor;
    } else {
        stream->msg("note: got bogus decoderspecific info");
        descriptor->destroy();
    }
    return MP4Success;
}

MP4Err MP4DecoderConfigDescriptor::calculateSize()
{
    size = 18;
    return addSizeOf(decoderSpecificInfo);
}

MP4Err MP4DecoderConfigDescriptor::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeDescriptorHeader(this, buffer));
    MP4_TRY(put8(buffer, objectTypeIndication));
    MP4_TRY(put8(buffer, (streamType << 2) + (upstream != 0 ? 2 : 0) + 1));
    MP4_TRY(put8(buffer, bufferSizeDB >> 16));
    MP4_TRY(put16(buffer, bufferSizeDB & 0xFFFF));
    MP4_TRY(put32(buffer, maxBitrate));
    MP4_TRY(put32(buffer, avgBitrate));
    MP4_TRY(putDescriptor(buffer, decoderSpecificInfo));
    return finishWriting();
}

MP4Err MP4CreateDecoderConfigDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out)
{
    if (out == nullptr)
        return MP4BadParameter;
    *out = new (std::nothrow) MP4DecoderConfigDescriptor(tag, size, headerLength);
    return *out != nullptr ? MP4Success : MP4OutOfMemory;
}
