// The common atom record: header copy, header writing and the body readers and writers.
#include "isomedia/MP4Atoms.h"

#include <cassert>
#include <cstring>

static constexpr uint32_t kUUIDType = MP4FourCC("uuid");

uint32_t MP4Atom::headerSize() const
{
    return type == kUUIDType ? 24 : 8;
}

MP4Err MP4Atom::createFromInputStream(MP4Atom* proto, MP4InputStream)
{
    if (proto == nullptr)
        return MP4BadParameter;
    type = proto->type;
    std::memcpy(uuid, proto->uuid, sizeof uuid);
    size = proto->size;
    size64 = proto->size64;
    bytesRead = proto->bytesRead;
    streamOffset = proto->streamOffset;
    return MP4Success;
}

MP4Err MP4Atom::serialize(char*)
{
    return MP4Success;
}

MP4Err MP4Atom::calculateSize()
{
    return MP4Success;
}

MP4Err MP4FullAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    uint32_t word = 0;
    MP4_TRY(get32(stream, &word, nullptr));
    version = word >> 24;
    flags = word & 0xFFFFFF;
    stream->trace("atom version = %d", int(version));
    stream->trace("atom flags = 0x%06x", flags);
    return MP4Success;
}

MP4Err MP4FullAtom::getVersioned(MP4InputStream stream, uint64_t* value, const char* label)
{
    if (version == 1)
        return get64(stream, value, label);
    uint32_t low = 0;
    MP4_TRY(get32(stream, &low, label));
    *value = low;
    return MP4Success;
}

MP4Err MP4FullAtom::putVersioned(char* buffer, uint64_t value)
{
    return version == 1 ? put64(buffer, value) : put32(buffer, uint32_t(value));
}

MP4Err MP4Atom::getRest(MP4InputStream stream, std::vector<char>& data, const char* label)
{
    if (bytesRead > size)
        return MP4BadData;
    return getData(stream, size - bytesRead, data, label);
}

// Writers --------------------------------------------------------------------------------

MP4Err MP4Atom::putAtoms(char* buffer, MP4LinkedList atoms)
{
    if (atoms == nullptr)
        return MP4Success;
    for (void* item : *atoms)
        MP4_TRY(putAtom(buffer, static_cast<MP4Atom*>(item)));
    return MP4Success;
}

MP4Err MP4Atom::addSizesOf(MP4LinkedList atoms)
{
    if (atoms == nullptr)
        return MP4Success;
    for (void* item : *atoms)
        MP4_TRY(addSizeOfHeld(static_cast<MP4Atom*>(item), 0xFFFFFFFFu));
    return MP4Success;
}

// Header ---------------------------------------------------------------------------------

MP4Err MP4CalculateBaseAtomFieldSize(MP4Atom* atom)
{
    atom->size = atom->headerSize();
    return MP4Success;
}

MP4Err MP4CalculateFullAtomFieldSize(MP4FullAtom* atom)
{
    atom->size = atom->headerSize() + 4;
    return MP4Success;
}

MP4Err MP4SerializeCommonBaseAtomFields(MP4Atom* atom, char* buffer)
{
    // calculateSize is always called before serialize (a type of 0 may come from a file).
    assert(atom->size != 0);
    atom->bytesWritten = 0;
    if (atom->size < atom->headerSize())
        return MP4InputOutputError;
    MP4_TRY(atom->put32(buffer, atom->size));
    MP4_TRY(atom->put32(buffer, atom->type));
    // The extended type of a 'uuid' atom is part of its identity: it is written back.
    if (atom->type == kUUIDType)
        MP4_TRY(atom->putData(buffer, atom->uuid, sizeof atom->uuid));
    return MP4Success;
}

MP4Err MP4SerializeCommonFullAtomFields(MP4FullAtom* atom, char* buffer)
{
    if (atom->size < atom->headerSize() + 4) {
        atom->bytesWritten = 0;
        return MP4InputOutputError;
    }
    MP4_TRY(MP4SerializeCommonBaseAtomFields(atom, buffer));
    MP4_TRY(atom->put8(buffer, atom->version));
    uint8_t flags[3] = {uint8_t(atom->flags >> 16), uint8_t(atom->flags >> 8), uint8_t(atom->flags)};
    return atom->putData(buffer, flags, 3);
}

void MP4TypeToString(uint32_t type, char* outText)
{
    for (int i = 0; i < 4; i++) {
        char c = char(type >> (24 - 8 * i));
        outText[i] = (c >= 32 && c < 127) ? c : '.';
    }
    outText[4] = 0;
}

MP4Err MP4CreateBaseAtom(MP4Atom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateFullAtom(MP4FullAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

// Containers -----------------------------------------------------------------------------

MP4ContainerAtom::MP4ContainerAtom()
{
    // A list that cannot be made shows up as -3 at the first addAtom.
    MP4MakeLinkedList(&atomList);
}

MP4ContainerAtom::~MP4ContainerAtom()
{
    if (atomList == nullptr)
        return;
    for (void* item : *atomList)
        static_cast<MP4Atom*>(item)->destroy();
    MP4DeleteLinkedList(atomList);
}

MP4Err MP4ContainerAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    return readChildren(stream, [this](MP4Atom* child) { return addAtom(child); });
}

MP4Err MP4ContainerAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    if (atomList == nullptr)
        return MP4OutOfMemory;
    return MP4AddListEntry(atom, atomList);
}

MP4Atom* MP4ContainerAtom::findChild(uint32_t childType) const
{
    if (atomList == nullptr)
        return nullptr;
    for (void* item : *atomList) {
        if (static_cast<MP4Atom*>(item)->type == childType)
            return static_cast<MP4Atom*>(item);
    }
    return nullptr;
}

MP4Err MP4ContainerAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    return addSizesOf(atomList);
}

MP4Err MP4ContainerAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putAtoms(buffer, atomList));
    return finishWriting();
}

// Unknown atoms --------------------------------------------------------------------------

MP4Err MP4UnknownAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    return getRest(stream, data, "data");
}

MP4Err MP4UnknownAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    if (uint64_t(size) + data.size() > 0xFFFFFFFFu)
        return MP4InputOutputError;
    size += uint32_t(data.size());
    return MP4Success;
}

MP4Err MP4UnknownAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, data.data(), uint32_t(data.size())));
    return finishWriting();
}

MP4Err MP4CreateUnknownAtom(MP4UnknownAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateUnknownAtomWithData(uint32_t type, const char* bytes, uint32_t length, MP4Atom** outAtom)
{
    if (bytes == nullptr || length == 0 || outAtom == nullptr)
        return MP4BadParameter;
    MP4UnknownAtom* atom = nullptr;
    MP4_TRY(MP4CreateUnknownAtom(&atom));
    atom->type = type;
    MP4Err err = MP4Resize(atom->data, length);
    if (err != MP4Success) {
        atom->destroy();
        return err;
    }
    std::memcpy(atom->data.data(), bytes, length);
    *outAtom = atom;
    return MP4Success;
}
