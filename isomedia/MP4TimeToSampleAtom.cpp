#include "isomedia/MP4SampleTableAtoms.h"

#include "isomedia/MP4HandleValues.h"

MP4TimeToSampleAtom::MP4TimeToSampleAtom() : MP4PairTableAtom(MP4FourCC("stts"), "time to sample", "count", "duration")
{
}

MP4Err MP4TimeToSampleAtom::addSamples(uint32_t sampleCount, MP4Handle durations)
{
    if (durations == nullptr || durations->size < 4)
        return MP4BadParameter;
    bool perSample = durations->size > 4;
    if (perSample && MP4HandleValueCount(durations) < sampleCount)
        return MP4BadParameter;
    try {
        for (uint32_t i = 0; i < sampleCount; i++) {
            uint32_t duration = MP4HandleValue(durations, perSample ? i : 0);
            if (!entries.empty() && entries.back().sampleDuration == duration)
                entries.back().sampleCount++;
            else
                entries.push_back(Entry{1, duration});
        }
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

MP4Err MP4TimeToSampleAtom::getTotalDuration(uint64_t* outDuration)
{
    if (outDuration == nullptr)
        return MP4BadParameter;
    uint32_t total = 0;
    for (const Entry& entry : entries)
        total += entry.sampleCount * entry.sampleDuration;
    *outDuration = total;
    return MP4Success;
}

MP4Err MP4TimeToSampleAtom::getTimeForSampleNumber(uint32_t sampleNumber, int64_t* outTime, uint32_t* outDuration)
{
    uint32_t index = 0;
    uint64_t first = 1;
    int64_t time = 0;
    if (cacheValid && cacheFirstSample < sampleNumber) {
        index = cacheEntryIndex;
        first = cacheFirstSample;
        time = int64_t(cacheStartTime);
    }
    int64_t foundTime = -1;
    uint32_t foundDuration = 0;
    for (; index < entries.size(); index++) {
        const Entry& entry = entries[index];
        if (first + entry.sampleCount > sampleNumber) {
            foundTime = time + int64_t(uint32_t(uint32_t(sampleNumber - first) * entry.sampleDuration));
            foundDuration = entry.sampleDuration;
            break;
        }
        time += uint32_t(entry.sampleCount * entry.sampleDuration);
        first += entry.sampleCount;
    }
    if (outTime != nullptr)
        *outTime = foundTime;
    if (outDuration != nullptr)
        *outDuration = foundDuration;
    cacheValid = true;
    cacheEntryIndex = index;
    cacheFirstSample = uint32_t(first);
    cacheStartTime = uint64_t(time);
    return MP4Success;
}

MP4Err MP4TimeToSampleAtom::findSamples(int64_t mediaTime, int64_t* outPriorTime, int64_t* outExactTime,
    int64_t* outNextTime, uint32_t* outSampleNumber, uint32_t* outDuration)
{
    if (outPriorTime == nullptr || outExactTime == nullptr || outNextTime == nullptr || outSampleNumber == nullptr
        || outDuration == nullptr)
        return MP4BadParameter;
    *outPriorTime = *outExactTime = *outNextTime = -1;
    *outSampleNumber = 0xFFFFFFFF;
    int64_t start = 0;
    uint32_t first = 1;
    bool found = false;
    const int64_t T = mediaTime;
    for (const Entry& entry : entries) {
        const int64_t d = entry.sampleDuration;
        const int64_t end = start + int64_t(uint32_t(entry.sampleCount * entry.sampleDuration));
        if (start == T) {
            *outExactTime = T;
            *outSampleNumber = first;
            *outDuration = entry.sampleDuration;
            found = true;
            if (end >= T + d) {
                *outNextTime = T + d;
                return MP4Success;
            }
        } else if (start > T) {
            *outNextTime = start;
            return MP4Success;
        } else {
            *outPriorTime = start;
        }
        if (T > end) {
            *outPriorTime = end;
        } else if (T == end) {
            *outPriorTime = T - d;
            *outExactTime = T;
            *outSampleNumber = first + entry.sampleCount;
            *outDuration = entry.sampleDuration;
            found = true;
        } else if (d != 0) {
            int64_t k = (T - start) / d;
            if (!found) {
                *outSampleNumber = first + uint32_t(k);
                *outDuration = entry.sampleDuration;
                *outPriorTime = start + k * d;
                found = true;
            }
            int64_t next = start + k * d + d;
            if (next <= end) {
                *outNextTime = next;
                return MP4Success;
            }
        }
        start = end;
        first += entry.sampleCount;
    }
    return MP4Success;
}

MP4Err MP4CreateTimeToSampleAtom(MP4TimeToSampleAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
