// Chunk offsets: 'stco' holds them in 32 bits, 'co64' in 64 bits; both move with the media data.
#include "isomedia/MP4SampleTableAtoms.h"

MP4ChunkOffsetAtom::MP4ChunkOffsetAtom(uint32_t atomType)
{
    type = atomType;
    name = atomType == MP4FourCC("co64") ? "chunk large offset" : "chunk offset";
}

MP4Err MP4ChunkOffsetAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    uint32_t entryCount = 0;
    MP4_TRY(get32(stream, &entryCount, "entryCount"));
    const uint32_t width = isLarge() ? 8 : 4;
    if (entryCount > stream->available / width)
        return MP4BadData;
    MP4_TRY(MP4Resize(offsets, entryCount));
    for (uint64_t& offset : offsets) {
        if (isLarge()) {
            MP4_TRY(get64(stream, &offset, "offset"));
        } else {
            uint32_t value = 0;
            MP4_TRY(get32(stream, &value, "offset"));
            offset = value;
        }
    }
    return MP4Success;
}

MP4Err MP4ChunkOffsetAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4 + (isLarge() ? 8 : 4) * uint32_t(offsets.size());
    return MP4Success;
}

MP4Err MP4ChunkOffsetAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, uint32_t(offsets.size())));
    for (uint64_t offset : offsets) {
        if (isLarge()) {
            MP4_TRY(put64(buffer, offset));
        } else {
            // A 32-bit table cannot hold an offset past 4 GiB.
            if (offset > UINT32_MAX)
                return MP4InputOutputError;
            MP4_TRY(put32(buffer, uint32_t(offset)));
        }
    }
    return finishWriting();
}

MP4Err MP4ChunkOffsetAtom::getChunkOffset(uint32_t chunkNumber, uint64_t* outOffset)
{
    if (outOffset == nullptr || chunkNumber == 0 || chunkNumber > offsets.size())
        return MP4BadParameter;
    *outOffset = offsets[chunkNumber - 1];
    return MP4Success;
}

MP4Err MP4ChunkOffsetAtom::addOffset(uint64_t offset)
{
    MP4_TRY(MP4Resize(offsets, offsets.size() + 1));
    offsets.back() = isLarge() ? offset : uint32_t(offset);
    return MP4Success;
}

MP4Err MP4CreateChunkOffsetAtom(MP4ChunkOffsetAtom** outAtom)
{
    if (outAtom == nullptr)
        return MP4BadParameter;
    *outAtom = new (std::nothrow) MP4ChunkOffsetAtom(MP4FourCC("stco"));
    return *outAtom != nullptr ? MP4Success : MP4OutOfMemory;
}

MP4Err MP4CreateChunkLargeOffsetAtom(MP4ChunkOffsetAtom** outAtom)
{
    if (outAtom == nullptr)
        return MP4BadParameter;
    *outAtom = new (std::nothrow) MP4ChunkOffsetAtom(MP4FourCC("co64"));
    return *outAtom != nullptr ? MP4Success : MP4OutOfMemory;
}
