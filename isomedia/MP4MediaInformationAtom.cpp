#include "isomedia/MP4TrackAtoms.h"

#include "isomedia/MP4DataHandler.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4SampleTableAtoms.h"

MP4MediaInformationAtom::MP4MediaInformationAtom()
{
    type = MP4FourCC("minf");
    name = "media information";
}

MP4MediaInformationAtom::~MP4MediaInformationAtom()
{
    if (dataHandler != nullptr)
        closeDataHandler();
}

MP4Err MP4MediaInformationAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4ContainerAtom::createFromInputStream(proto, stream));
    inputStream = stream;
    return MP4Success;
}

MP4Err MP4MediaInformationAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    MP4Atom** field = nullptr;
    switch (atom->type) {
    case MP4FourCC("dinf"): field = reinterpret_cast<MP4Atom**>(&dataInformation); break;
    case MP4FourCC("stbl"): field = reinterpret_cast<MP4Atom**>(&sampleTable); break;
    case MP4FourCC("hmhd"):
    case MP4FourCC("mdhd"):
    case MP4FourCC("smhd"):
    case MP4FourCC("vmhd"): field = &mediaHeader; break;
    default: break;
    }
    if (field != nullptr && *field != nullptr)
        return MP4BadData;
    MP4_TRY(MP4ContainerAtom::addAtom(atom));
    if (field != nullptr)
        *field = atom;
    return MP4Success;
}

MP4Err MP4MediaInformationAtom::calculateDuration(uint64_t* outDuration)
{
    if (sampleTable == nullptr)
        return MP4MissingComponent;
    if (outDuration == nullptr)
        return MP4BadParameter;
    uint32_t duration = 0;
    MP4_TRY(sampleTable->calculateDuration(&duration));
    *outDuration = duration;
    return MP4Success;
}

MP4Err MP4MediaInformationAtom::setfieldsize(uint32_t fieldSize)
{
    if (sampleTable == nullptr)
        return MP4MissingComponent;
    return sampleTable->setfieldsize(fieldSize);
}

MP4Err MP4MediaInformationAtom::mdatMoved(uint64_t start, uint64_t end, int64_t delta)
{
    if (dataInformation == nullptr || sampleTable == nullptr || dataInformation->dref == nullptr
        || sampleTable->SampleToChunk == nullptr || sampleTable->ChunkOffset == nullptr
        || sampleTable->SampleDescription == nullptr)
        return MP4MissingComponent;
    return sampleTable->SampleToChunk->mdatMoved(start, end, delta, sampleTable->SampleDescription,
        dataInformation->dref, sampleTable->ChunkOffset);
}

MP4Err MP4MediaInformationAtom::dataEntryAt(uint32_t index, MP4DataEntryAtom** outEntry)
{
    if (dataInformation == nullptr || dataInformation->dref == nullptr)
        return MP4MissingComponent;
    if (index > MP4ListCount(dataInformation->dref->atomList))
        return MP4BadParameter;
    return dataInformation->dref->getDataEntry(index, outEntry);
}

MP4Err MP4MediaInformationAtom::openDataHandler(uint32_t index)
{
    if (index == 0)
        return MP4BadParameter;
    if (dataHandler != nullptr && dataEntryIndex == index)
        return MP4Success;
    if (dataHandler != nullptr)
        MP4_TRY(closeDataHandler());
    MP4DataEntryAtom* entry = nullptr;
    MP4_TRY(dataEntryAt(index, &entry));
    MP4_TRY(MP4CreateDataHandler(inputStream, entry, &dataHandler));
    dataEntryIndex = index;
    return MP4Success;
}

MP4Err MP4MediaInformationAtom::closeDataHandler()
{
    if (dataInformation == nullptr || dataInformation->dref == nullptr)
        return MP4MissingComponent;
    if (dataHandler == nullptr)
        return MP4Success;
    MP4DataEntryAtom* entry = nullptr;
    MP4Err err = dataInformation->dref->getDataEntry(dataEntryIndex, &entry);
    if (err == MP4Success)
        err = MP4DisposeDataHandler(dataHandler, entry);
    dataHandler = nullptr;
    dataEntryIndex = 0;
    return err;
}

MP4Err MP4MediaInformationAtom::testDataEntry(uint32_t index)
{
    if (index == 0)
        return MP4BadParameter;
    if (dataHandler != nullptr && dataEntryIndex == index)
        return MP4Success;
    MP4DataEntryAtom* entry = nullptr;
    MP4_TRY(dataEntryAt(index, &entry));
    return MP4PreflightDataHandler(inputStream, entry);
}

MP4Err MP4MediaInformationAtom::mdatArrived(MP4MediaDataAtom* mediaData)
{
    if (dataInformation == nullptr || dataInformation->dref == nullptr)
        return MP4MissingComponent;
    if (dataHandler != nullptr)
        MP4_TRY(closeDataHandler());
    for (void* item : *dataInformation->dref->atomList) {
        auto* entry = dynamic_cast<MP4DataEntryAtom*>(static_cast<MP4Atom*>(item));
        if (entry != nullptr && entry->flags == 1)
            entry->mdat = mediaData;
    }
    return MP4Success;
}

// The 'gmhd' header of text media: a 'gmin' atom and a 'text' atom.
static const uint8_t kTextMediaHeader[68] = {0x00, 0x00, 0x00, 0x18, 0x67, 0x6d, 0x69, 0x6e, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x40, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x74, 0x65, 0x78,
    0x74, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00};

MP4Err MP4MediaInformationAtom::setupNew(uint32_t handlerType, MP4Handle dataReference, MP4MediaDataAtom* mediaData)
{
    MP4Atom* header = nullptr;
    MP4Err err = MP4Success;
    switch (handlerType) {
    case MP4FourCC("hint"): err = MP4CreateHintMediaHeaderAtom(reinterpret_cast<MP4HintMediaHeaderAtom**>(&header)); break;
    case MP4FourCC("soun"): err = MP4CreateSoundMediaHeaderAtom(reinterpret_cast<MP4SoundMediaHeaderAtom**>(&header)); break;
    case MP4FourCC("vide"): err = MP4CreateVideoMediaHeaderAtom(reinterpret_cast<MP4VideoMediaHeaderAtom**>(&header)); break;
    case MP4FourCC("text"):
        err = MP4CreateUnknownAtomWithData(MP4FourCC("gmhd"), reinterpret_cast<const char*>(kTextMediaHeader),
            sizeof kTextMediaHeader, &header);
        break;
    default: err = MP4CreateMPEGMediaHeaderAtom(reinterpret_cast<MP4FullAtom**>(&header)); break;
    }
    if (err != MP4Success || header == nullptr)
        return MP4MissingComponent;
    err = addAtom(header);
    if (err != MP4Success) {
        header->destroy();
        return err;
    }
    MP4DataInformationAtom* dinf = nullptr;
    MP4SampleTableAtom* stbl = nullptr;
    MP4_TRY(MP4AddNewAtom(this, MP4CreateDataInformationAtom, &dinf));
    MP4_TRY(MP4AddNewAtom(this, MP4CreateSampleTableAtom, &stbl));
    MP4_TRY(stbl->setupNew());
    MP4DataReferenceAtom* dref = nullptr;
    MP4DataEntryURLAtom* url = nullptr;
    MP4_TRY(MP4CreateDataReferenceAtom(&dref));
    err = MP4CreateDataEntryURLAtom(&url);
    if (err == MP4Success) {
        if (dataReference != nullptr) {
            err = MP4Resize(url->location, dataReference->size);
            if (err == MP4Success && dataReference->size != 0)
                std::copy(dataReference->data, dataReference->data + dataReference->size, url->location.data());
        } else {
            url->flags |= 1;
            url->mdat = mediaData;
        }
    }
    if (err == MP4Success)
        err = dref->addDataEntry(url);
    else if (url != nullptr)
        url->destroy();
    if (err == MP4Success)
        err = dinf->addAtom(dref);
    if (err != MP4Success)
        dref->destroy();
    return err;
}

MP4Err MP4MediaInformationAtom::addSamples(MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations,
    MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding)
{
    if (sampleTable == nullptr || dataInformation == nullptr)
        return MP4MissingComponent;
    if (sampleEntry != nullptr) {
        MP4InputStream stream = nullptr;
        MP4_TRY(MP4CreateMemoryInputStream(sampleEntry->data, sampleEntry->size, &stream));
        MP4Atom* entry = nullptr;
        MP4Err err = MP4ParseAtomUsingProtoList(stream, kMP4SampleEntryProtoList, kMP4GenericSampleEntryType, &entry);
        stream->destroy();
        MP4_TRY(err);
        err = sampleTable->setSampleEntry(entry);
        if (err != MP4Success) {
            entry->destroy();
            return err;
        }
    }
    if (sampleCount == 0)
        return MP4Success;
    uint32_t dataEntry = 0;
    uint32_t offset = 0;
    MP4_TRY(sampleTable->getCurrentDataReferenceIndex(&dataEntry));
    MP4_TRY(dataInformation->getOffset(dataEntry, &offset));
    MP4_TRY(sampleTable->addSamples(sampleCount, offset, durations, sizes, decodingOffsets, syncSamples, padding));
    return dataInformation->addSamples(dataEntry, sampleData);
}

MP4Err MP4MediaInformationAtom::addSampleReference(uint32_t dataOffsetLow, uint32_t, uint32_t sampleCount,
    MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples,
    MP4Handle padding)
{
    if (sampleTable == nullptr || dataInformation == nullptr)
        return MP4MissingComponent;
    MP4Atom* entry = nullptr;
    if (sampleEntry != nullptr) {
        MP4InputStream stream = nullptr;
        MP4_TRY(MP4CreateMemoryInputStream(sampleEntry->data, sampleEntry->size, &stream));
        MP4Err err = MP4ParseAtom(stream, &entry);
        stream->destroy();
        MP4_TRY(err);
    }
    // Whether the data entry takes references is asked before anything is added.
    uint32_t dataEntry = 0;
    MP4Err err = MP4Success;
    if (entry != nullptr) {
        auto* described = dynamic_cast<MP4SampleEntryAtom*>(entry);
        err = described != nullptr ? MP4Success : MP4MissingComponent;
        if (err == MP4Success)
            dataEntry = described->dataReferenceIndex;
    } else {
        err = sampleTable->getCurrentDataReferenceIndex(&dataEntry);
    }
    if (err == MP4Success)
        err = dataInformation->addSampleReference(dataEntry);
    if (err == MP4Success && entry != nullptr)
        err = sampleTable->setSampleEntry(entry);
    if (err != MP4Success) {
        if (entry != nullptr)
            entry->destroy();
        return err;
    }
    return sampleTable->addSamples(sampleCount, dataOffsetLow, durations, sizes, decodingOffsets, syncSamples,
        padding);
}

MP4Err MP4CreateMediaInformationAtom(MP4MediaInformationAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
