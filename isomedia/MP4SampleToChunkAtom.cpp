#include "isomedia/MP4SampleTableAtoms.h"

#include "isomedia/MP4MovieAtoms.h"
#include "isomedia/MP4SampleEntryAtoms.h"

MP4SampleToChunkAtom::MP4SampleToChunkAtom()
{
    type = MP4FourCC("stsc");
    name = "sample to chunk";
}

MP4Err MP4SampleToChunkAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    uint32_t entryCount = 0;
    MP4_TRY(get32(stream, &entryCount, "entryCount"));
    if (entryCount > stream->available / 12)
        return MP4BadData;
    try {
        entries.reserve(entryCount);
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    for (uint32_t i = 0; i < entryCount; i++) {
        Entry entry{};
        MP4_TRY(get32(stream, &entry.firstChunk, "firstChunk"));
        MP4_TRY(get32(stream, &entry.samplesPerChunk, "samplesPerChunk"));
        MP4_TRY(get32(stream, &entry.sampleDescriptionIndex, "sampleDescriptionIndex"));
        // Runs start at chunk 1 and go up; anything else would index chunks that are not there.
        if (entry.firstChunk == 0 || (!entries.empty() && entry.firstChunk <= entries.back().firstChunk))
            return MP4BadData;
        MP4_TRY(addEntry(entry.firstChunk, entry.samplesPerChunk, entry.sampleDescriptionIndex));
    }
    return MP4Success;
}

MP4Err MP4SampleToChunkAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4 + 12 * uint32_t(entries.size());
    return MP4Success;
}

MP4Err MP4SampleToChunkAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, uint32_t(entries.size())));
    for (const Entry& entry : entries) {
        MP4_TRY(put32(buffer, entry.firstChunk));
        MP4_TRY(put32(buffer, entry.samplesPerChunk));
        MP4_TRY(put32(buffer, entry.sampleDescriptionIndex));
    }
    return finishWriting();
}

MP4Err MP4SampleToChunkAtom::addEntry(uint32_t firstChunk, uint32_t samplesPerChunk, uint32_t sampleDescriptionIndex)
{
    if (!entries.empty() && entries.back().samplesPerChunk == samplesPerChunk
        && entries.back().sampleDescriptionIndex == sampleDescriptionIndex)
        return MP4Success;
    try {
        entries.push_back(Entry{firstChunk, samplesPerChunk, sampleDescriptionIndex});
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

MP4Err MP4SampleToChunkAtom::lookupSample(uint32_t sampleNumber, uint32_t* outChunk,
    uint32_t* outSampleDescriptionIndex, uint32_t* outFirstSampleInChunk)
{
    if (sampleNumber == 0 || outChunk == nullptr || outSampleDescriptionIndex == nullptr
        || outFirstSampleInChunk == nullptr)
        return MP4BadParameter;
    *outChunk = 0;
    *outSampleDescriptionIndex = 0;
    uint32_t index = 0;
    uint64_t first = 1;
    if (cacheFirstSample != 0 && cacheFirstSample < sampleNumber && cacheEntryIndex < entries.size()) {
        index = cacheEntryIndex;
        first = cacheFirstSample;
    }
    for (; index < entries.size(); index++) {
        const Entry& entry = entries[index];
        // A run of empty chunks holds no sample: a table that needs one to hold it lies.
        if (entry.samplesPerChunk == 0)
            return MP4BadData;
        bool last = index + 1 == entries.size();
        uint64_t runEnd = last ? UINT64_MAX
                               : first + uint64_t(entries[index + 1].firstChunk - entry.firstChunk) * entry.samplesPerChunk;
        if (sampleNumber < runEnd) {
            uint64_t chunk = entry.firstChunk + (sampleNumber - first) / entry.samplesPerChunk;
            if (chunk > UINT32_MAX)
                return MP4BadData;
            *outChunk = uint32_t(chunk);
            *outSampleDescriptionIndex = entry.sampleDescriptionIndex;
            *outFirstSampleInChunk = uint32_t((chunk - entry.firstChunk) * entry.samplesPerChunk + first);
            cacheEntryIndex = index;
            cacheFirstSample = uint32_t(first);
            return MP4Success;
        }
        first = runEnd;
    }
    return MP4Success;
}

MP4Err MP4SampleToChunkAtom::mdatMoved(uint64_t start, uint64_t end, int64_t delta, MP4SampleDescriptionAtom* stsd,
    MP4DataReferenceAtom* dref, MP4ChunkOffsetAtom* stco)
{
    if (stsd == nullptr || dref == nullptr || stco == nullptr)
        return MP4MissingComponent;
    uint32_t lookedUp = 0;
    bool selfContained = false;
    const uint32_t chunkCount = stco->getEntryCount();
    for (size_t i = 0; i < entries.size(); i++) {
        const Entry& entry = entries[i];
        if (i == 0 || entry.sampleDescriptionIndex != lookedUp) {
            MP4Atom* found = nullptr;
            MP4_TRY(stsd->getEntry(entry.sampleDescriptionIndex, &found));
            auto* sampleEntry = dynamic_cast<MP4SampleEntryAtom*>(found);
            if (sampleEntry == nullptr)
                return MP4MissingComponent;
            MP4Atom* dataEntry = nullptr;
            MP4_TRY(dref->getEntry(sampleEntry->dataReferenceIndex, &dataEntry));
            uint32_t flags = 0;
            MP4_TRY(MP4GetDataEntryFlags(dataEntry, &flags));
            selfContained = flags & 1;
            lookedUp = entry.sampleDescriptionIndex;
        }
        if (!selfContained)
            continue;
        uint64_t lastChunk = i + 1 < entries.size() ? uint64_t(entries[i + 1].firstChunk) - 1 : chunkCount;
        // Chunk numbers past the offsets the table holds name nothing that could be moved.
        if (lastChunk > chunkCount)
            return MP4BadData;
        for (uint64_t chunk = entry.firstChunk; chunk <= lastChunk; chunk++) {
            uint64_t& offset = stco->offsets[chunk - 1];
            if (start <= offset && offset < end)
                offset = uint64_t(int64_t(offset) + delta);
        }
    }
    return MP4Success;
}

MP4Err MP4CreateSampleToChunkAtom(MP4SampleToChunkAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
