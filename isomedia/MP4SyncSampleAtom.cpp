#include "isomedia/MP4SampleTableAtoms.h"

#include "isomedia/MP4HandleValues.h"

MP4SyncSampleAtom::MP4SyncSampleAtom()
{
    type = MP4FourCC("stss");
    name = "sync sample";
}

MP4Err MP4SyncSampleAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    uint32_t entryCount = 0;
    MP4_TRY(get32(stream, &entryCount, "entryCount"));
    if (entryCount > stream->available / 4)
        return MP4BadData;
    MP4_TRY(MP4Resize(sampleNumbers, entryCount));
    for (uint32_t& number : sampleNumbers)
        MP4_TRY(get32(stream, &number, "sampleNumber"));
    return MP4Success;
}

MP4Err MP4SyncSampleAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4 + 4 * uint32_t(sampleNumbers.size());
    return MP4Success;
}

MP4Err MP4SyncSampleAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, uint32_t(sampleNumbers.size())));
    for (uint32_t number : sampleNumbers)
        MP4_TRY(put32(buffer, number));
    return finishWriting();
}

MP4Err MP4SyncSampleAtom::addSamples(uint32_t firstSampleNumber, uint32_t sampleCount, MP4Handle syncSamples)
{
    if (syncSamples == nullptr || firstSampleNumber == 0)
        return MP4BadParameter;
    uint32_t k = MP4HandleValueCount(syncSamples);
    for (uint32_t i = 0; i < k; i++) {
        uint32_t value = MP4HandleValue(syncSamples, i);
        if (value == 0 || value > sampleCount)
            return MP4BadParameter;
    }
    std::vector<uint32_t> grown;
    try {
        grown = sampleNumbers;
        if (sampleNumbers.empty()) {
            if (startedEmpty) {
                startedEmpty = k == 0;
            } else {
                // Before the table existed every sample was a sync sample.
                startedEmpty = true;
                for (uint32_t n = 1; n < firstSampleNumber; n++)
                    grown.push_back(n);
            }
        }
        for (uint32_t i = 0; i < k; i++)
            grown.push_back(firstSampleNumber - 1 + MP4HandleValue(syncSamples, i));
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    sampleNumbers.swap(grown);
    return MP4Success;
}

MP4Err MP4SyncSampleAtom::isSyncSample(uint32_t sampleNumber, uint32_t* outFlag)
{
    if (outFlag == nullptr || sampleNumber == 0)
        return MP4BadParameter;
    *outFlag = 0;
    for (uint32_t number : sampleNumbers) {
        if (number == sampleNumber) {
            *outFlag = 1;
            break;
        }
        if (number > sampleNumber)
            break;
    }
    return MP4Success;
}

MP4Err MP4CreateSyncSampleAtom(MP4SyncSampleAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
