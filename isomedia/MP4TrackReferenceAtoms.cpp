// The track reference container and its reference-type atoms ('dpnd', 'hint', 'mpod', 'sync').
#include "isomedia/MP4TrackAtoms.h"

MP4TrackReferenceAtom::MP4TrackReferenceAtom()
{
    type = MP4FourCC("tref");
    name = "track reference";
}

// A reference type the factory does not know ('chap', 'cdsc', ...) is read as an unknown atom;
// its body is a list of track IDs all the same, and it is taken in as one.
static MP4Err asReferenceType(MP4Atom* child, MP4Atom** outAtom)
{
    auto* unknown = dynamic_cast<MP4UnknownAtom*>(child);
    *outAtom = child;
    if (unknown == nullptr || unknown->type == MP4FourCC("uuid") || unknown->data.size() % 4 != 0)
        return MP4Success;
    MP4TrackReferenceTypeAtom* reference = nullptr;
    MP4_TRY(MP4CreateTrackReferenceTypeAtom(unknown->type, &reference));
    MP4Err err = MP4Resize(reference->trackIDs, unknown->data.size() / 4);
    if (err != MP4Success) {
        reference->destroy();
        return err;
    }
    auto* bytes = reinterpret_cast<const uint8_t*>(unknown->data.data());
    for (uint32_t& trackID : reference->trackIDs) {
        trackID = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
        bytes += 4;
    }
    reference->size = unknown->size;
    reference->streamOffset = unknown->streamOffset;
    *outAtom = reference;
    return MP4Success;
}

MP4Err MP4TrackReferenceAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    return readChildren(stream, [this](MP4Atom* child) -> MP4Err {
        MP4Atom* reference = nullptr;
        MP4_TRY(asReferenceType(child, &reference));
        MP4Err err = MP4ContainerAtom::addAtom(reference);
        if (err != MP4Success) {
            if (reference != child)
                reference->destroy();
            return err;
        }
        if (reference != child)
            child->destroy();
        return MP4Success;
    });
}

MP4Err MP4TrackReferenceAtom::findAtomOfType(uint32_t referenceType, MP4Atom** outAtom)
{
    if (outAtom == nullptr)
        return MP4BadParameter;
    *outAtom = findChild(referenceType);
    return MP4Success;
}

MP4Err MP4TrackReferenceAtom::typeAtom(uint32_t referenceType, MP4TrackReferenceTypeAtom** outAtom)
{
    if (outAtom == nullptr)
        return MP4BadParameter;
    MP4Atom* found = findChild(referenceType);
    if (found != nullptr) {
        // Every child read is a list of track IDs, but for a 'uuid' one.
        *outAtom = dynamic_cast<MP4TrackReferenceTypeAtom*>(found);
        return *outAtom != nullptr ? MP4Success : MP4BadData;
    }
    MP4TrackReferenceTypeAtom* made = nullptr;
    MP4_TRY(MP4CreateTrackReferenceTypeAtom(referenceType, &made));
    MP4Err err = addAtom(made);
    if (err != MP4Success) {
        made->destroy();
        return err;
    }
    *outAtom = made;
    return MP4Success;
}

MP4TrackReferenceTypeAtom::MP4TrackReferenceTypeAtom(uint32_t referenceType)
{
    type = referenceType;
    name = "track reference type";
}

MP4Err MP4TrackReferenceTypeAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    if (bytesRead > size)
        return MP4BadData;
    MP4_TRY(MP4Resize(trackIDs, (size - bytesRead) / 4));
    for (uint32_t& trackID : trackIDs)
        MP4_TRY(get32(stream, &trackID, "trackIDs[i]"));
    return MP4Success;
}

MP4Err MP4TrackReferenceTypeAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 4 * uint32_t(trackIDs.size());
    return MP4Success;
}

MP4Err MP4TrackReferenceTypeAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    for (uint32_t trackID : trackIDs)
        MP4_TRY(put32(buffer, trackID));
    return finishWriting();
}

MP4Err MP4TrackReferenceTypeAtom::addTrackID(uint32_t trackID)
{
    if (trackID == 0)
        return MP4BadParameter;
    for (uint32_t held : trackIDs) {
        if (held == trackID)
            return MP4Success;
    }
    MP4_TRY(MP4Resize(trackIDs, trackIDs.size() + 1));
    trackIDs.back() = trackID;
    return MP4Success;
}

MP4Err MP4CreateTrackReferenceAtom(MP4TrackReferenceAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateTrackReferenceTypeAtom(uint32_t referenceType, MP4TrackReferenceTypeAtom** outAtom)
{
    if (outAtom == nullptr)
        return MP4BadParameter;
    *outAtom = new (std::nothrow) MP4TrackReferenceTypeAtom(referenceType);
    return *outAtom != nullptr ? MP4Success : MP4OutOfMemory;
}
