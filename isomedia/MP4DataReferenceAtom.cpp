#include "isomedia/MP4MovieAtoms.h"

MP4DataReferenceAtom::MP4DataReferenceAtom()
{
    type = MP4FourCC("dref");
    name = "data reference";
    MP4MakeLinkedList(&atomList);
}

MP4DataReferenceAtom::~MP4DataReferenceAtom()
{
    if (atomList == nullptr)
        return;
    for (void* item : *atomList)
        static_cast<MP4Atom*>(item)->destroy();
    MP4DeleteLinkedList(atomList);
}

MP4Err MP4DataReferenceAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    uint32_t entryCount = 0;
    MP4_TRY(get32(stream, &entryCount, "entryCount"));
    for (uint32_t i = 0; i < entryCount; i++) {
        MP4Atom* entry = nullptr;
        MP4_TRY(MP4ParseAtom(stream, &entry));
        bytesRead += entry->size;
        MP4Err err = addDataEntry(entry);
        if (err != MP4Success) {
            entry->destroy();
            return err;
        }
    }
    return bytesRead == size ? MP4Success : MP4BadData;
}

MP4Err MP4DataReferenceAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4;
    return addSizesOf(atomList);
}

MP4Err MP4DataReferenceAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, MP4ListCount(atomList)));
    MP4_TRY(putAtoms(buffer, atomList));
    return finishWriting();
}

MP4Err MP4DataReferenceAtom::addDataEntry(MP4Atom* entry)
{
    if (entry == nullptr)
        return MP4BadParameter;
    if (atomList == nullptr)
        return MP4OutOfMemory;
    return MP4AddListEntry(entry, atomList);
}

MP4Err MP4DataReferenceAtom::getEntryCount(uint32_t* outCount)
{
    if (outCount == nullptr)
        return MP4BadParameter;
    *outCount = MP4ListCount(atomList);
    return MP4Success;
}

MP4Err MP4DataReferenceAtom::getEntry(uint32_t dataEntryIndex, MP4Atom** outEntry)
{
    if (outEntry == nullptr || dataEntryIndex == 0 || dataEntryIndex > MP4ListCount(atomList))
        return MP4BadParameter;
    *outEntry = MP4ListItem<MP4Atom>(atomList, dataEntryIndex - 1);
    return MP4Success;
}

MP4Err MP4DataReferenceAtom::getDataEntry(uint32_t dataEntryIndex, MP4DataEntryAtom** outEntry)
{
    MP4Atom* entry = nullptr;
    MP4_TRY(getEntry(dataEntryIndex, &entry));
    *outEntry = dynamic_cast<MP4DataEntryAtom*>(entry);
    return *outEntry != nullptr ? MP4Success : MP4MissingComponent;
}

MP4Err MP4DataReferenceAtom::getOffset(uint32_t dataEntryIndex, uint32_t* outOffset)
{
    MP4DataEntryAtom* entry = nullptr;
    MP4_TRY(getDataEntry(dataEntryIndex, &entry));
    return entry->getOffset(outOffset);
}

MP4Err MP4DataReferenceAtom::addSampleReference(uint32_t dataEntryIndex)
{
    MP4DataEntryAtom* entry = nullptr;
    MP4_TRY(getDataEntry(dataEntryIndex, &entry));
    return entry->addSampleReference();
}

MP4Err MP4DataReferenceAtom::addSamples(uint32_t dataEntryIndex, MP4Handle sampleData)
{
    MP4DataEntryAtom* entry = nullptr;
    MP4_TRY(getDataEntry(dataEntryIndex, &entry));
    return entry->addSamples(sampleData);
}

MP4Err MP4GetDataEntryFlags(MP4Atom* entry, uint32_t* outFlags)
{
    if (entry == nullptr || outFlags == nullptr)
        return MP4MissingComponent;
    if (auto* full = dynamic_cast<MP4DataEntryAtom*>(entry)) {
        *outFlags = full->flags;
        return MP4Success;
    }
    // Entries of other kinds ('alis', ...) are full atoms too: their flags lead the body.
    auto* unknown = dynamic_cast<MP4UnknownAtom*>(entry);
    if (unknown == nullptr || unknown->data.size() < 4)
        return MP4MissingComponent;
    auto* bytes = reinterpret_cast<const uint8_t*>(unknown->data.data());
    *outFlags = (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    return MP4Success;
}

MP4Err MP4CreateDataReferenceAtom(MP4DataReferenceAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
