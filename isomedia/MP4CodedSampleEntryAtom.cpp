// What the coded sample entries share: their child atoms, and the prototype list of entries.
#include "isomedia/MP4SampleEntryAtoms.h"

const uint32_t kMP4SampleEntryProtoList[] = {MP4FourCC("mp4s"), MP4FourCC("mp4v"), MP4FourCC("mp4a"), 0};

MP4CodedSampleEntryAtom::MP4CodedSampleEntryAtom()
{
    MP4MakeLinkedList(&atomList);
}

MP4CodedSampleEntryAtom::~MP4CodedSampleEntryAtom()
{
    if (atomList == nullptr)
        return;
    for (void* item : *atomList)
        static_cast<MP4Atom*>(item)->destroy();
    MP4DeleteLinkedList(atomList);
}

MP4Atom* MP4CodedSampleEntryAtom::child() const
{
    return MP4ListCount(atomList) != 0 ? static_cast<MP4Atom*>(atomList->head->item) : nullptr;
}

MP4ESDAtom* MP4CodedSampleEntryAtom::ESDAtom() const
{
    if (atomList == nullptr)
        return nullptr;
    for (void* item : *atomList) {
        if (auto* esds = dynamic_cast<MP4ESDAtom*>(static_cast<MP4Atom*>(item)))
            return esds;
    }
    return nullptr;
}

MP4Err MP4CodedSampleEntryAtom::setChild(MP4Atom* atom)
{
    if (atomList == nullptr)
        return MP4OutOfMemory;
    MP4LinkedList fresh = nullptr;
    MP4_TRY(MP4MakeLinkedList(&fresh));
    if (atom != nullptr) {
        MP4Err err = MP4AddListEntry(atom, fresh);
        if (err != MP4Success) {
            MP4DeleteLinkedList(fresh);
            return err;
        }
    }
    for (void* item : *atomList)
        static_cast<MP4Atom*>(item)->destroy();
    MP4DeleteLinkedList(atomList);
    atomList = fresh;
    return MP4Success;
}

MP4Err MP4CodedSampleEntryAtom::readChildAtoms(MP4InputStream stream)
{
    if (atomList == nullptr)
        return MP4OutOfMemory;
    // Every child is read: some muxers put more than the 'esds' here.
    return readChildren(stream, [this](MP4Atom* child) { return MP4AddListEntry(child, atomList); });
}

MP4Err MP4CodedSampleEntryAtom::addChildSizes()
{
    return addSizesOf(atomList);
}
