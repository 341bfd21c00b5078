// Samples of a media: adding them, finding them by time and reading them back.
#include "isomedia/MP4MediaAPI.h"

#include "isomedia/MP4APISupport.h"
#include "isomedia/MP4DataHandler.h"
#include "isomedia/MP4HandleValues.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4SampleTableAtoms.h"
#include "isomedia/MP4TrackAtoms.h"

// A handle of 32-bit values holds one value for every sample or one per sample.
static bool holdsValuesFor(MP4Handle values, uint32_t sampleCount)
{
    return values != nullptr && (values->size == 4 || values->size == 4 * uint64_t(sampleCount));
}

// The tables take a call's handles one after another; a handle that does not fit would leave
// them half grown. So every handle is checked before anything is added.
static MP4Err checkSampleHandles(uint32_t sampleCount, MP4Handle durations, MP4Handle sizes,
    MP4Handle compositionOffsets, MP4Handle syncSamples, MP4Handle padding)
{
    if (!holdsValuesFor(durations, sampleCount) || !holdsValuesFor(sizes, sampleCount))
        return MP4BadParameter;
    if (compositionOffsets != nullptr && !holdsValuesFor(compositionOffsets, sampleCount))
        return MP4BadParameter;
    if (syncSamples != nullptr) {
        if (syncSamples->size % 4 != 0)
            return MP4BadParameter;
        for (uint32_t i = 0; i < MP4HandleValueCount(syncSamples); i++) {
            uint32_t number = MP4HandleValue(syncSamples, i);
            if (number == 0 || number > sampleCount)
                return MP4BadParameter;
        }
    }
    if (padding != nullptr) {
        if (padding->size != 1 && padding->size != sampleCount)
            return MP4BadParameter;
        for (uint32_t i = 0; i < padding->size; i++) {
            // Padding is a count of bits in the last byte of a sample: 0 to 7.
            if (uint8_t(padding->data[i]) > 7)
                return MP4BadParameter;
        }
    }
    return MP4Success;
}

static uint64_t totalSize(MP4Handle sizes, uint32_t sampleCount)
{
    if (sizes->size == 4 && sampleCount != 1)
        return uint64_t(MP4HandleValue(sizes, 0)) * sampleCount;
    uint64_t total = 0;
    for (uint32_t i = 0; i < sampleCount; i++)
        total += MP4HandleValue(sizes, i);
    return total;
}

MP4Err MP4AddMediaSamplesPad(MP4Media media, MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations,
    MP4Handle sizes, MP4Handle sampleEntry, MP4Handle compositionOffsets, MP4Handle syncSamples, MP4Handle padding)
{
    if (media == nullptr)
        return MP4BadParameter;
    // A call without samples only sets the sample description.
    if (sampleCount == 0) {
        if (sampleEntry == nullptr)
            return MP4BadParameter;
        return media->addSamples(nullptr, 0, nullptr, nullptr, sampleEntry, nullptr, nullptr, nullptr);
    }
    MP4_TRY(checkSampleHandles(sampleCount, durations, sizes, compositionOffsets, syncSamples, padding));
    if (sampleData == nullptr || sampleData->size != totalSize(sizes, sampleCount))
        return MP4BadParameter;
    return media->addSamples(sampleData, sampleCount, durations, sizes, sampleEntry, compositionOffsets, syncSamples,
        padding);
}

MP4Err MP4AddMediaSamples(MP4Media media, MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations,
    MP4Handle sizes, MP4Handle sampleEntry, MP4Handle compositionOffsets, MP4Handle syncSamples)
{
    return MP4AddMediaSamplesPad(media, sampleData, sampleCount, durations, sizes, sampleEntry, compositionOffsets,
        syncSamples, nullptr);
}

MP4Err MP4AddMediaSampleReferencePad(MP4Media media, uint64_t dataOffset, uint32_t sampleCount,
    MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle compositionOffsets, MP4Handle syncSamples,
    MP4Handle padding)
{
    // A chunk of no samples would be a sample-to-chunk run that holds nothing.
    if (media == nullptr || sampleCount == 0)
        return MP4BadParameter;
    MP4_TRY(checkSampleHandles(sampleCount, durations, sizes, compositionOffsets, syncSamples, padding));
    return media->addSampleReference(uint32_t(dataOffset), uint32_t(dataOffset >> 32), sampleCount, durations, sizes,
        sampleEntry, compositionOffsets, syncSamples, padding);
}

MP4Err MP4AddMediaSampleReference(MP4Media media, uint64_t dataOffset, uint32_t sampleCount, MP4Handle durations,
    MP4Handle sizes, MP4Handle sampleEntry, MP4Handle compositionOffsets, MP4Handle syncSamples)
{
    return MP4AddMediaSampleReferencePad(media, dataOffset, sampleCount, durations, sizes, sampleEntry,
        compositionOffsets, syncSamples, nullptr);
}

// Times ---------------------------------------------------------------------------------------

// The sample being decoded at the time; -2 when there is none.
static MP4Err sampleAtTime(MP4Media media, uint64_t decodingTime, MP4SampleTableAtom** outTable,
    uint32_t* outSampleNumber)
{
    MP4SampleTableAtom* table = nullptr;
    MP4_TRY(MP4SampleTableOf(media, &table));
    if (table->TimeToSample == nullptr || table->SampleSize == nullptr)
        return MP4MissingComponent;
    int64_t prior = 0, exact = 0, next = 0;
    uint32_t sampleNumber = 0, duration = 0;
    if (decodingTime > uint64_t(INT64_MAX))
        return MP4BadParameter;
    MP4_TRY(table->TimeToSample->findSamples(int64_t(decodingTime), &prior, &exact, &next, &sampleNumber, &duration));
    if (sampleNumber == 0 || sampleNumber > table->SampleSize->sampleCount)
        return MP4BadParameter;
    *outTable = table;
    *outSampleNumber = sampleNumber;
    return MP4Success;
}

static MP4Err sampleRecord(MP4Media media, uint32_t sampleNumber, MP4SampleTableAtom** outTable,
    MP4SampleRecord* outSample)
{
    MP4_TRY(MP4SampleTableOf(media, outTable));
    return (*outTable)->getSample(sampleNumber, outSample);
}

template <class T, class V>
static void give(T* out, V value)
{
    if (out != nullptr)
        *out = T(value);
}

MP4Err MP4GetMediaSampleDescIndex(MP4Media media, uint64_t decodingTime, uint32_t* outIndex)
{
    if (outIndex == nullptr)
        return MP4BadParameter;
    MP4SampleTableAtom* table = nullptr;
    uint32_t sampleNumber = 0;
    MP4_TRY(sampleAtTime(media, decodingTime, &table, &sampleNumber));
    MP4SampleRecord sample;
    MP4_TRY(table->getSample(sampleNumber, &sample));
    *outIndex = sample.sampleDescriptionIndex;
    return MP4Success;
}

MP4Err MP4GetMediaNextInterestingTime(MP4Media media, uint32_t flags, uint64_t searchTime, int32_t rate,
    int64_t* outInterestingTime, uint64_t* outDuration)
{
    if (outInterestingTime == nullptr)
        return MP4BadParameter;
    MP4SampleTableAtom* table = nullptr;
    MP4_TRY(MP4SampleTableOf(media, &table));
    if (table->TimeToSample == nullptr)
        return MP4MissingComponent;
    if (searchTime > uint64_t(INT64_MAX))
        return MP4BadParameter;
    int64_t prior = 0, exact = 0, next = 0;
    uint32_t sampleNumber = 0, duration = 0;
    MP4_TRY(table->TimeToSample->findSamples(int64_t(searchTime), &prior, &exact, &next, &sampleNumber, &duration));
    const bool found = sampleNumber != 0xFFFFFFFF;
    *outInterestingTime = rate < 0 ? prior : next;
    if ((flags & MP4NextTimeEdgeOK) && found) {
        uint32_t ignored = 0;
        MP4_TRY(table->TimeToSample->getTimeForSampleNumber(sampleNumber, outInterestingTime, &ignored));
    }
    give(outDuration, found ? duration : 0);
    return MP4Success;
}

MP4Err MP4SampleNumberToMediaTime(MP4Media media, uint32_t sampleNumber, uint64_t* outCompositionTime,
    uint64_t* outDecodingTime, uint32_t* outDuration)
{
    MP4SampleTableAtom* table = nullptr;
    MP4SampleRecord sample;
    MP4_TRY(sampleRecord(media, sampleNumber, &table, &sample));
    give(outDecodingTime, sample.decodingTime);
    give(outCompositionTime, sample.decodingTime + sample.compositionOffset);
    give(outDuration, sample.duration);
    return MP4Success;
}

MP4Err MP4MediaTimeToSampleNum(MP4Media media, uint64_t decodingTime, uint32_t* outSampleNumber,
    uint64_t* outCompositionTime, uint64_t* outDecodingTime, uint32_t* outDuration)
{
    MP4SampleTableAtom* table = nullptr;
    uint32_t sampleNumber = 0;
    MP4_TRY(sampleAtTime(media, decodingTime, &table, &sampleNumber));
    give(outSampleNumber, sampleNumber);
    return MP4SampleNumberToMediaTime(media, sampleNumber, outCompositionTime, outDecodingTime, outDuration);
}

// Reading samples -----------------------------------------------------------------------------

// The sample entry the sample refers to, serialised into the handle when one is given; the
// entry's data reference index.
static MP4Err sampleEntryOf(MP4SampleTableAtom* table, const MP4SampleRecord& sample, MP4Handle outSampleEntry,
    uint32_t* outDataReferenceIndex)
{
    if (table->SampleDescription == nullptr)
        return MP4MissingComponent;
    MP4Atom* found = nullptr;
    if (table->SampleDescription->getEntry(sample.sampleDescriptionIndex, &found) != MP4Success)
        return MP4BadData;
    auto* entry = dynamic_cast<MP4SampleEntryAtom*>(found);
    if (entry == nullptr)
        return MP4BadData;
    if (outSampleEntry != nullptr)
        MP4_TRY(MP4SerializeIntoHandle(entry, outSampleEntry));
    *outDataReferenceIndex = entry->dataReferenceIndex;
    return MP4Success;
}

// Copies the sample's bytes through the data handler of its data reference.
static MP4Err copySampleBytes(MP4Media media, uint32_t dataReferenceIndex, const MP4SampleRecord& sample,
    MP4Handle outSample)
{
    MP4MediaInformationAtom* information = media->mediaInformation();
    MP4_TRY(information->openDataHandler(dataReferenceIndex));
    // Tables that place a sample outside the data lie: nothing is allocated for it.
    if (!information->dataHandler->holds(sample.dataOffset, sample.size))
        return MP4BadData;
    MP4_TRY(MP4SetHandleSize(outSample, sample.size));
    return information->dataHandler->copyData(sample.dataOffset, outSample->data, sample.size);
}

static uint32_t sampleFlags(const MP4SampleRecord& sample)
{
    return (sample.isSync ? 0 : MP4MediaSampleNotSync) | (sample.compositionOffset != 0 ? MP4MediaSampleHasCTSOffset : 0);
}

// One sample's record and bytes (and, when asked, its sample entry).
static MP4Err readSample(MP4Media media, uint32_t sampleNumber, MP4Handle outSample, MP4Handle outSampleEntry,
    MP4SampleRecord* outRecord)
{
    if (outSample == nullptr)
        return MP4BadParameter;
    MP4SampleTableAtom* table = nullptr;
    MP4_TRY(sampleRecord(media, sampleNumber, &table, outRecord));
    uint32_t dataReferenceIndex = 0;
    MP4_TRY(sampleEntryOf(table, *outRecord, outSampleEntry, &dataReferenceIndex));
    return copySampleBytes(media, dataReferenceIndex, *outRecord, outSample);
}

static void giveSample(const MP4SampleRecord& sample, uint32_t* outSize, uint64_t* outDecodingTime,
    int32_t* outCompositionOffset, uint32_t* outDuration, uint32_t* outSampleFlags, uint32_t* outSampleDescriptionIndex)
{
    give(outSize, sample.size);
    give(outDecodingTime, sample.decodingTime);
    give(outCompositionOffset, sample.compositionOffset);
    give(outDuration, sample.duration);
    give(outSampleFlags, sampleFlags(sample));
    give(outSampleDescriptionIndex, sample.sampleDescriptionIndex);
}

MP4Err MP4GetIndMediaSampleWithPad(MP4Media media, uint32_t sampleNumber, MP4Handle outSample, uint32_t* outSize,
    uint64_t* outDecodingTime, int32_t* outCompositionOffset, uint32_t* outDuration, uint32_t* outSampleFlags,
    uint32_t* outSampleDescriptionIndex, uint8_t* outPadding)
{
    MP4SampleRecord sample;
    MP4_TRY(readSample(media, sampleNumber, outSample, nullptr, &sample));
    giveSample(sample, outSize, outDecodingTime, outCompositionOffset, outDuration, outSampleFlags,
        outSampleDescriptionIndex);
    give(outPadding, sample.padding);
    return MP4Success;
}

MP4Err MP4GetIndMediaSample(MP4Media media, uint32_t sampleNumber, MP4Handle outSample, uint32_t* outSize,
    uint64_t* outDecodingTime, int32_t* outCompositionOffset, uint32_t* outDuration, uint32_t* outSampleFlags,
    uint32_t* outSampleDescriptionIndex)
{
    return MP4GetIndMediaSampleWithPad(media, sampleNumber, outSample, outSize, outDecodingTime, outCompositionOffset,
        outDuration, outSampleFlags, outSampleDescriptionIndex, nullptr);
}

MP4Err MP4GetMediaSample(MP4Media media, MP4Handle outSample, uint32_t* outSize, uint64_t decodingTime,
    uint64_t* outDecodingTime, int32_t* outCompositionOffset, uint32_t* outDuration, MP4Handle outSampleEntry,
    uint32_t* outSampleDescriptionIndex, uint32_t* outSampleFlags)
{
    MP4SampleTableAtom* table = nullptr;
    uint32_t sampleNumber = 0;
    MP4_TRY(sampleAtTime(media, decodingTime, &table, &sampleNumber));
    MP4SampleRecord sample;
    MP4_TRY(readSample(media, sampleNumber, outSample, outSampleEntry, &sample));
    giveSample(sample, outSize, outDecodingTime, outCompositionOffset, outDuration, outSampleFlags,
        outSampleDescriptionIndex);
    return MP4Success;
}

MP4Err MP4GetIndMediaSampleReference(MP4Media media, uint32_t sampleNumber, uint64_t* outOffset, uint32_t* outSize,
    uint32_t* outDuration, uint32_t* outSampleFlags, uint32_t* outSampleDescriptionIndex, MP4Handle outSampleEntry)
{
    if (outOffset == nullptr)
        return MP4BadParameter;
    MP4SampleTableAtom* table = nullptr;
    MP4SampleRecord sample;
    MP4_TRY(sampleRecord(media, sampleNumber, &table, &sample));
    uint32_t dataReferenceIndex = 0;
    MP4_TRY(sampleEntryOf(table, sample, outSampleEntry, &dataReferenceIndex));
    *outOffset = sample.dataOffset;
    giveSample(sample, outSize, nullptr, nullptr, outDuration, outSampleFlags, outSampleDescriptionIndex);
    return MP4Success;
}
