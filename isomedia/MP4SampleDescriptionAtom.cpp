#include "isomedia/MP4SampleTableAtoms.h"

#include "isomedia/MP4SampleEntryAtoms.h"

MP4SampleDescriptionAtom::MP4SampleDescriptionAtom()
{
    type = MP4FourCC("stsd");
    name = "sample description";
    MP4MakeLinkedList(&atomList);
}

MP4SampleDescriptionAtom::~MP4SampleDescriptionAtom()
{
    if (atomList == nullptr)
        return;
    for (void* item : *atomList)
        static_cast<MP4Atom*>(item)->destroy();
    MP4DeleteLinkedList(atomList);
}

MP4Err MP4SampleDescriptionAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    uint32_t entryCount = 0;
    MP4_TRY(get32(stream, &entryCount, "entryCount"));
    for (uint32_t i = 0; i < entryCount; i++) {
        MP4Atom* entry = nullptr;
        MP4_TRY(MP4ParseAtomUsingProtoList(stream, kMP4SampleEntryProtoList, kMP4GenericSampleEntryType, &entry));
        bytesRead += entry->size;
        MP4Err err = addEntry(entry);
        if (err != MP4Success) {
            entry->destroy();
            return err;
        }
    }
    return bytesRead == size ? MP4Success : MP4BadData;
}

MP4Err MP4SampleDescriptionAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4;
    return addSizesOf(atomList);
}

MP4Err MP4SampleDescriptionAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, getEntryCount()));
    MP4_TRY(putAtoms(buffer, atomList));
    return finishWriting();
}

MP4Err MP4SampleDescriptionAtom::addEntry(MP4Atom* entry)
{
    if (entry == nullptr)
        return MP4BadParameter;
    if (atomList == nullptr)
        return MP4OutOfMemory;
    return MP4AddListEntry(entry, atomList);
}

MP4Err MP4SampleDescriptionAtom::getEntry(uint32_t index, MP4Atom** outEntry)
{
    if (outEntry == nullptr || index == 0 || index > getEntryCount())
        return MP4BadParameter;
    *outEntry = MP4ListItem<MP4Atom>(atomList, index - 1);
    return MP4Success;
}

MP4Err MP4CreateSampleDescriptionAtom(MP4SampleDescriptionAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
