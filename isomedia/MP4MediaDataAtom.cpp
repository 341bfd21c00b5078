#include "isomedia/MP4MovieAtoms.h"

#include <cstdio>
#include <cstring>

MP4MediaDataAtom::MP4MediaDataAtom()
{
    type = MP4FourCC("mdat");
    name = "media data";
}

MP4Err MP4MediaDataAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    if (bytesRead >= size)
        return MP4Success;
    dataOffset = uint64_t(streamOffset) + bytesRead;
    MP4_TRY(getRest(stream, data, "data"));
    dataSize = data.size();
    return MP4Success;
}

MP4Err MP4MediaDataAtom::calculateSize()
{
    if (dataSize == 0) {
        size = 0;
        return MP4Success;
    }
    if (dataSize > 0xFFFFFFFFu - 8)
        return MP4InputOutputError;
    size = 8 + uint32_t(dataSize);
    return MP4Success;
}

MP4Err MP4MediaDataAtom::serialize(char* buffer)
{
    bytesWritten = 0;
    if (dataSize == 0)
        return MP4Success;
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, data.data(), uint32_t(dataSize)));
    return finishWriting();
}

MP4Err MP4MediaDataAtom::addData(MP4Handle handle)
{
    uint32_t count = 0;
    MP4_TRY(MP4GetHandleSize(handle, &count));
    if (count == 0)
        return MP4Success;
    if (dataSize + count > 0xFFFFFFFFu - 8)
        return MP4OutOfMemory;
    MP4_TRY(MP4Resize(data, dataSize + count));
    std::memcpy(data.data() + dataSize, handle->data, count);
    dataSize += count;
    return MP4Success;
}

MP4Err MP4MediaDataAtom::addMdat(MP4MediaDataAtom* other)
{
    if (other == nullptr)
        return MP4BadParameter;
    if (other->dataSize == 0)
        return MP4Success;
    if (dataSize + other->dataSize > 0xFFFFFFFFu - 8)
        return MP4OutOfMemory;
    MP4_TRY(MP4Resize(data, dataSize + other->dataSize));
    std::memcpy(data.data() + dataSize, other->data.data(), other->dataSize);
    dataSize += other->dataSize;
    return MP4Success;
}

MP4Err MP4MediaDataAtom::writeToFile(std::FILE* file)
{
    if (file == nullptr)
        return MP4BadParameter;
    if (dataSize == 0)
        return MP4Success;
    if (dataSize > 0xFFFFFFFFu - 8)
        return MP4InputOutputError;
    MP4_TRY(calculateSize());
    uint8_t header[8] = {uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size),
        uint8_t(type >> 24), uint8_t(type >> 16), uint8_t(type >> 8), uint8_t(type)};
    if (std::fwrite(header, 1, 8, file) != 8 || std::fwrite(data.data(), 1, dataSize, file) != dataSize)
        return MP4InputOutputError;
    return MP4Success;
}

MP4Err MP4CreateMediaDataAtom(MP4MediaDataAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
