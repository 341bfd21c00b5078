#include "isomedia/MP4SampleTableAtoms.h"

#include "isomedia/MP4HandleValues.h"
#include "isomedia/MP4SampleEntryAtoms.h"

MP4SampleTableAtom::MP4SampleTableAtom()
{
    type = MP4FourCC("stbl");
    name = "sample table";
}

template <class T>
static MP4Atom** fieldOf(T*& field)
{
    return reinterpret_cast<MP4Atom**>(&field);
}

MP4Err MP4SampleTableAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    MP4Atom** field = nullptr;
    switch (atom->type) {
    case MP4FourCC("stts"): field = fieldOf(TimeToSample); break;
    case MP4FourCC("ctts"): field = fieldOf(CompositionOffset); break;
    case MP4FourCC("stss"): field = fieldOf(SyncSample); break;
    case MP4FourCC("stsd"): field = fieldOf(SampleDescription); break;
    case MP4FourCC("stsz"):
    case MP4FourCC("stz2"): field = fieldOf(SampleSize); break;
    case MP4FourCC("stsc"): field = fieldOf(SampleToChunk); break;
    case MP4FourCC("stco"):
    case MP4FourCC("co64"): field = fieldOf(ChunkOffset); break;
    case MP4FourCC("stsh"): field = fieldOf(ShadowSync); break;
    case MP4FourCC("stdp"): field = fieldOf(DegradationPriority); break;
    case MP4FourCC("padb"): field = fieldOf(PaddingBits); break;
    default: break;
    }
    if (field != nullptr && *field != nullptr)
        return MP4BadData;
    MP4_TRY(MP4ContainerAtom::addAtom(atom));
    if (field != nullptr)
        *field = atom;
    return MP4Success;
}

MP4Err MP4SampleTableAtom::setupNew()
{
    MP4_TRY(MP4AddNewAtom(this, MP4CreateTimeToSampleAtom));
    MP4_TRY(MP4AddNewAtom(this, MP4CreateSampleDescriptionAtom));
    MP4_TRY(MP4AddNewAtom(this, MP4CreateSampleSizeAtom));
    MP4_TRY(MP4AddNewAtom(this, MP4CreateSampleToChunkAtom));
    return MP4AddNewAtom(this, MP4CreateChunkOffsetAtom);
}

MP4Err MP4SampleTableAtom::calculateDuration(uint32_t* outDuration)
{
    if (outDuration == nullptr)
        return MP4BadParameter;
    if (TimeToSample == nullptr)
        return MP4MissingComponent;
    uint64_t total = 0;
    MP4_TRY(TimeToSample->getTotalDuration(&total));
    *outDuration = uint32_t(total);
    return MP4Success;
}

MP4Err MP4SampleTableAtom::setSampleEntry(MP4Atom* entry)
{
    if (entry == nullptr)
        return MP4BadParameter;
    if (SampleDescription == nullptr)
        return MP4MissingComponent;
    MP4_TRY(SampleDescription->addEntry(entry));
    currentSampleEntry = dynamic_cast<MP4SampleEntryAtom*>(entry);
    currentSampleEntryIndex = SampleDescription->getEntryCount();
    return MP4Success;
}

MP4Err MP4SampleTableAtom::getCurrentDataReferenceIndex(uint32_t* outIndex)
{
    if (currentSampleEntry == nullptr)
        return MP4MissingComponent;
    if (outIndex == nullptr)
        return MP4BadParameter;
    *outIndex = currentSampleEntry->dataReferenceIndex;
    return MP4Success;
}

MP4Err MP4SampleTableAtom::setfieldsize(uint32_t fieldSize)
{
    if (SampleSize == nullptr)
        return MP4MissingComponent;
    return SampleSize->setfieldsize(fieldSize);
}

MP4Err MP4SampleTableAtom::setSampleDescriptionIndex(uint32_t index)
{
    if (SampleDescription == nullptr)
        return MP4MissingComponent;
    currentSampleEntryIndex = index;
    MP4Atom* entry = nullptr;
    MP4Err err = SampleDescription->getEntry(index, &entry);
    if (err == MP4Success)
        currentSampleEntry = dynamic_cast<MP4SampleEntryAtom*>(entry);
    return err;
}

MP4Err MP4SampleTableAtom::addSamples(uint32_t sampleCount, uint64_t dataOffset, MP4Handle durations,
    MP4Handle sizes, MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding)
{
    if (SampleDescription == nullptr || TimeToSample == nullptr || SampleSize == nullptr || SampleToChunk == nullptr
        || ChunkOffset == nullptr)
        return MP4MissingComponent;
    // Tables that already disagree on how many samples there are cannot take more: a file whose
    // sample sizes claim millions of samples its times do not know would have every one of them
    // listed when a sample of another size came.
    uint64_t timedSamples = 0;
    for (const auto& entry : TimeToSample->entries)
        timedSamples += entry.sampleCount;
    if (timedSamples != SampleSize->sampleCount)
        return MP4BadData;
    if (decodingOffsets != nullptr && CompositionOffset == nullptr)
        MP4_TRY(MP4AddNewAtom(this, MP4CreateDecodingOffsetAtom));
    if (syncSamples != nullptr && SyncSample == nullptr && MP4HandleValueCount(syncSamples) != sampleCount)
        MP4_TRY(MP4AddNewAtom(this, MP4CreateSyncSampleAtom));
    uint32_t previous = SampleSize->sampleCount;
    MP4_TRY(TimeToSample->addSamples(sampleCount, durations));
    if (decodingOffsets != nullptr)
        MP4_TRY(CompositionOffset->addSamples(previous + 1, sampleCount, decodingOffsets));
    if (syncSamples != nullptr && SyncSample != nullptr)
        MP4_TRY(SyncSample->addSamples(previous + 1, sampleCount, syncSamples));
    uint32_t descriptionIndex = SampleDescription->getEntryCount();
    if (descriptionIndex == 0)
        return MP4MissingComponent;
    if (padding != nullptr) {
        if (PaddingBits == nullptr) {
            MP4_TRY(MP4AddNewAtom(this, MP4CreatePaddingBitsAtom));
            if (previous != 0)
                MP4_TRY(PaddingBits->addSamplePaddingBits(previous, nullptr));
        }
        MP4_TRY(PaddingBits->addSamplePaddingBits(sampleCount, padding));
    } else if (PaddingBits != nullptr) {
        MP4_TRY(PaddingBits->addSamplePaddingBits(sampleCount, nullptr));
    }
    MP4_TRY(SampleSize->addSamples(sampleCount, sizes));
    MP4_TRY(ChunkOffset->addOffset(dataOffset));
    return SampleToChunk->addEntry(ChunkOffset->getEntryCount(), sampleCount, descriptionIndex);
}

MP4Err MP4SampleTableAtom::getSample(uint32_t sampleNumber, MP4SampleRecord* outSample)
{
    if (outSample == nullptr)
        return MP4BadParameter;
    if (TimeToSample == nullptr || SampleSize == nullptr || SampleToChunk == nullptr || ChunkOffset == nullptr)
        return MP4MissingComponent;
    if (sampleNumber == 0 || sampleNumber > SampleSize->sampleCount)
        return MP4BadParameter;
    MP4SampleRecord sample;
    uint32_t chunk = 0, firstInChunk = 0, bytesBefore = 0;
    uint64_t chunkOffset = 0;
    MP4_TRY(SampleToChunk->lookupSample(sampleNumber, &chunk, &sample.sampleDescriptionIndex, &firstInChunk));
    if (chunk == 0 || chunk > ChunkOffset->getEntryCount())
        return MP4BadData;
    MP4_TRY(ChunkOffset->getChunkOffset(chunk, &chunkOffset));
    MP4_TRY(SampleSize->getSampleSizeAndOffset(sampleNumber, &sample.size, firstInChunk, &bytesBefore));
    sample.dataOffset = chunkOffset + bytesBefore;
    MP4_TRY(TimeToSample->getTimeForSampleNumber(sampleNumber, &sample.decodingTime, &sample.duration));
    if (sample.decodingTime < 0)
        return MP4BadData;
    if (CompositionOffset != nullptr) {
        uint32_t offset = 0;
        MP4_TRY(CompositionOffset->getOffsetForSampleNumber(sampleNumber, &offset));
        sample.compositionOffset = int32_t(offset);
    }
    if (SyncSample != nullptr) {
        uint32_t isSync = 0;
        MP4_TRY(SyncSample->isSyncSample(sampleNumber, &isSync));
        sample.isSync = isSync != 0;
    }
    if (PaddingBits != nullptr && sampleNumber <= PaddingBits->padding.size())
        MP4_TRY(PaddingBits->getPaddingBits(sampleNumber, &sample.padding));
    *outSample = sample;
    return MP4Success;
}

MP4Err MP4CreateSampleTableAtom(MP4SampleTableAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
