// Sample sizes: 'stsz' (a constant or 32-bit sizes) and 'stz2' (4-, 8- or 16-bit sizes).
#include "isomedia/MP4SampleTableAtoms.h"

#include "isomedia/MP4HandleValues.h"

static constexpr uint32_t kSTSZ = MP4FourCC("stsz");
static constexpr uint32_t kSTZ2 = MP4FourCC("stz2");

MP4SampleSizeAtom::MP4SampleSizeAtom()
{
    type = kSTSZ;
    name = "sample size";
}

// Bytes the table of sizes takes in the file.
static uint64_t tableBytes(uint32_t fieldSize, uint32_t count)
{
    switch (fieldSize) {
    case 4: return (uint64_t(count) + 1) / 2;
    case 8: return count;
    case 16: return 2 * uint64_t(count);
    case 32: return 4 * uint64_t(count);
    default: return 0;
    }
}

MP4Err MP4SampleSizeAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    if (type == kSTZ2) {
        MP4_TRY(get32(stream, &fieldSize, nullptr));
        fieldSize &= 0xFF;
        sampleSize = 0;
    } else {
        MP4_TRY(get32(stream, &sampleSize, "sampleSize"));
        fieldSize = 32;
    }
    MP4_TRY(get32(stream, &sampleCount, "sampleCount"));
    if (sampleSize != 0)
        return MP4Success;
    if (tableBytes(fieldSize, sampleCount) > stream->available)
        return MP4BadData;
    // Sizes of any other width are not read: the atom's remaining bytes are skipped.
    if (fieldSize != 4 && fieldSize != 8 && fieldSize != 16 && fieldSize != 32)
        return MP4Success;
    MP4_TRY(MP4Resize(sizes, sampleCount + size_t(1)));
    for (uint32_t i = 0; i < sampleCount; i++) {
        uint32_t value = 0;
        if (fieldSize == 4) {
            if (i % 2 == 0) {
                MP4_TRY(get8(stream, &value, nullptr));
                sizes[i] = value >> 4;
                if (i + 1 < sampleCount)
                    sizes[i + 1] = value & 0xF;
            }
            continue;
        }
        if (fieldSize == 8)
            MP4_TRY(get8(stream, &value, nullptr));
        else if (fieldSize == 16)
            MP4_TRY(get16(stream, &value, nullptr));
        else
            MP4_TRY(get32(stream, &value, nullptr));
        sizes[i] = value;
    }
    return MP4Success;
}

MP4Err MP4SampleSizeAtom::calculateSize()
{
    type = (fieldSize == 32 || sampleSize != 0) ? kSTSZ : kSTZ2;
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    uint64_t total = uint64_t(size) + 8 + (sampleSize == 0 ? tableBytes(fieldSize, sampleCount) : 0);
    if (total > 0xFFFFFFFFu)
        return MP4InputOutputError;
    size = uint32_t(total);
    return MP4Success;
}

MP4Err MP4SampleSizeAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, type == kSTZ2 ? fieldSize & 0xFF : sampleSize));
    MP4_TRY(put32(buffer, sampleCount));
    if (sampleSize == 0 && sizes.size() >= sampleCount) {
        for (uint32_t i = 0; i < sampleCount; i++) {
            switch (fieldSize) {
            case 4:
                if (i % 2 == 0)
                    MP4_TRY(put8(buffer, ((sizes[i] & 0xF) << 4) | (i + 1 < sampleCount ? sizes[i + 1] & 0xF : 0)));
                break;
            case 8: MP4_TRY(put8(buffer, sizes[i])); break;
            case 16: MP4_TRY(put16(buffer, sizes[i])); break;
            case 32: MP4_TRY(put32(buffer, sizes[i])); break;
            default: break;
            }
        }
    }
    return finishWriting();
}

MP4Err MP4SampleSizeAtom::getSampleSize(uint32_t sampleNumber, uint32_t* outSize)
{
    if (outSize == nullptr || sampleNumber == 0 || sampleNumber > sampleCount)
        return MP4BadParameter;
    if (sampleSize != 0) {
        *outSize = sampleSize;
        return MP4Success;
    }
    if (sampleNumber > sizes.size())
        return MP4BadParameter;
    *outSize = sizes[sampleNumber - 1];
    return MP4Success;
}

MP4Err MP4SampleSizeAtom::getSampleSizeAndOffset(uint32_t sampleNumber, uint32_t* outSize,
    uint32_t firstSampleInChunk, uint32_t* outBytesBefore)
{
    if (outSize == nullptr || outBytesBefore == nullptr || firstSampleInChunk == 0
        || firstSampleInChunk > sampleNumber || sampleNumber > sampleCount)
        return MP4BadParameter;
    if (sampleSize != 0) {
        *outSize = sampleSize;
        *outBytesBefore = (sampleNumber - firstSampleInChunk) * sampleSize;
        return MP4Success;
    }
    if (sampleNumber > sizes.size())
        return MP4BadParameter;
    uint32_t before = 0;
    for (uint32_t i = firstSampleInChunk; i < sampleNumber; i++)
        before += sizes[i - 1];
    *outSize = sizes[sampleNumber - 1];
    *outBytesBefore = before;
    return MP4Success;
}

MP4Err MP4SampleSizeAtom::addSamples(uint32_t count, MP4Handle sizesHandle)
{
    if (sizesHandle == nullptr || sizesHandle->size < 4)
        return MP4BadParameter;
    uint32_t first = MP4HandleValue(sizesHandle, 0);
    bool perSample = sizesHandle->size >= 8;
    if (!perSample && first != 0 && (sampleCount == 0 || first == sampleSize)) {
        sampleSize = first;
        sampleCount += count;
        return MP4Success;
    }
    if (perSample && MP4HandleValueCount(sizesHandle) < count)
        return MP4BadParameter;
    if (uint64_t(sampleCount) + count >= UINT32_MAX)
        return MP4OutOfMemory;
    if (sampleSize != 0 || sizes.size() < sampleCount) {
        std::vector<uint32_t> table;
        MP4_TRY(MP4Resize(table, sampleCount + size_t(1)));
        for (uint32_t i = 0; i < sampleCount; i++)
            table[i] = sampleSize;
        sizes.swap(table);
    }
    MP4_TRY(MP4Resize(sizes, size_t(sampleCount) + count + 1));
    for (uint32_t i = 0; i < count; i++)
        sizes[sampleCount + i] = perSample ? MP4HandleValue(sizesHandle, i) : first;
    sampleSize = 0;
    sampleCount += count;
    return MP4Success;
}

MP4Err MP4SampleSizeAtom::setfieldsize(uint32_t newFieldSize)
{
    fieldSize = newFieldSize;
    type = (fieldSize != 32 && sampleSize == 0) ? kSTZ2 : kSTSZ;
    return MP4Success;
}

MP4Err MP4CreateSampleSizeAtom(MP4SampleSizeAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
