#include "isomedia/MP4SampleTableAtoms.h"

#include "isomedia/MP4HandleValues.h"

MP4DecodingOffsetAtom::MP4DecodingOffsetAtom()
    : MP4PairTableAtom(MP4FourCC("ctts"), "decoding offset", "count", "decodingOffset")
{
}

MP4Err MP4DecodingOffsetAtom::addSamples(uint32_t firstSampleNumber, uint32_t sampleCount, MP4Handle offsets)
{
    if (samplesCovered != 0 && firstSampleNumber <= samplesCovered)
        return MP4BadParameter;
    uint32_t values = MP4HandleValueCount(offsets);
    if (offsets != nullptr && values != 1 && values != sampleCount)
        return MP4BadParameter;
    auto addOne = [this](uint32_t offset) {
        if (!entries.empty() && entries.back().decodingOffset == offset)
            entries.back().sampleCount++;
        else
            entries.push_back(Entry{1, offset});
        samplesCovered++;
    };
    try {
        while (samplesCovered + 1 < firstSampleNumber)
            addOne(0);
        for (uint32_t i = 0; i < sampleCount; i++)
            addOne(offsets == nullptr ? 0 : MP4HandleValue(offsets, values == 1 ? 0 : i));
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

MP4Err MP4DecodingOffsetAtom::getOffsetForSampleNumber(uint32_t sampleNumber, uint32_t* outOffset)
{
    if (outOffset == nullptr)
        return MP4BadParameter;
    uint64_t covered = 0;
    for (const Entry& entry : entries) {
        covered += entry.sampleCount;
        if (covered >= sampleNumber) {
            *outOffset = entry.decodingOffset;
            return MP4Success;
        }
    }
    return MP4Success;
}

MP4Err MP4CreateDecodingOffsetAtom(MP4DecodingOffsetAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
