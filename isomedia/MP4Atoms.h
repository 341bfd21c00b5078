#pragma once
// The atom object model: every box of an ISO base media file is one MP4Atom in memory.
//
// An atom class overrides the five slots (createFromInputStream, getName, serialize,
// calculateSize, destroy) and calls its parent's slot for the parent's part. The life of an
// atom: made empty by its constructor (MP4Create...Atom, or the factory MP4CreateAtom), filled
// by createFromInputStream or by the client, sized by calculateSize, written by serialize (any
// number of times, always after calculateSize) and freed by destroy, which frees its children.
// A container owns its children; a child belongs to one container. addAtom takes the child
// over on success only: on failure the caller still owns it.
//
// Atoms are written with the compact 8-byte header (plus the 16-byte extended type of a
// 'uuid' atom); sizes are 32-bit.

#include "isomedia/MP4FieldRecord.h"
#include "isomedia/MP4Handle.h"
#include "isomedia/MP4LinkedList.h"

#include <new>
#include <stdexcept>
#include <vector>

struct MP4Atom : MP4FieldRecord {
    uint32_t type = 0;
    uint8_t uuid[16] = {};
    uint64_t size64 = 0;         // the size read from a 64-bit size field
    uint32_t streamOffset = 0;   // the stream offset of the atom's first byte
    const char* name = "base";

    MP4Atom() = default;
    MP4Atom(const MP4Atom&) = delete;
    MP4Atom& operator=(const MP4Atom&) = delete;
    virtual ~MP4Atom() = default;

    // Copies the header fields from the prototype, then reads the body.
    virtual MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream);
    virtual const char* getName() const { return name; }
    // Writes the whole atom at buffer, which holds at least `size` bytes.
    virtual MP4Err serialize(char* buffer);
    // Sets `size` from the current contents (recursively for containers).
    virtual MP4Err calculateSize();
    void destroy() { delete this; }

    // Reads every byte left in the atom into data; -6 when the body already passed the size.
    MP4Err getRest(MP4InputStream stream, std::vector<char>& data, const char* label);
    // Reads children until the atom's size is consumed, handing each to take(); -6 when they
    // do not add up to the size. A child that take() refuses is destroyed.
    template <class Take>
    MP4Err readChildren(MP4InputStream stream, Take take);

    // Writes the child, or every atom of the list, at the current position.
    MP4Err putAtom(char* buffer, MP4Atom* child) { return putHeld(buffer, child); }
    MP4Err putAtoms(char* buffer, MP4LinkedList atoms);
    // Sizes every atom of the list and adds their sizes to `size`.
    MP4Err addSizesOf(MP4LinkedList atoms);

    uint32_t headerSize() const;
};

struct MP4FullAtom : MP4Atom {
    uint32_t version = 0;
    uint32_t flags = 0;

    MP4FullAtom() { name = "full"; }
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    // A time or duration field: 64 bits in a version-1 atom, else 32 bits (the low half written).
    MP4Err getVersioned(MP4InputStream stream, uint64_t* value, const char* label);
    MP4Err putVersioned(char* buffer, uint64_t value);
    uint32_t versionedSize() const { return version == 1 ? 8 : 4; }
};

// A container whose body is a list of child atoms in file order (the order of writing).
struct MP4ContainerAtom : MP4Atom {
    MP4LinkedList atomList = nullptr;

    MP4ContainerAtom();
    ~MP4ContainerAtom() override;
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    // Appends the child; classes override it to also keep children of known types.
    virtual MP4Err addAtom(MP4Atom* atom);
    // The first child of the type, or none.
    MP4Atom* findChild(uint32_t childType) const;
};

// Any type the factory does not know: the body is kept byte for byte.
struct MP4UnknownAtom : MP4Atom {
    std::vector<char> data;

    MP4UnknownAtom() { name = "unknown atom"; }
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

// Makes a record of T, whose constructor sets its type, name and defaults.
template <class T>
MP4Err MP4MakeAtom(T** outAtom)
{
    if (outAtom == nullptr)
        return MP4BadParameter;
    *outAtom = new (std::nothrow) T;
    return *outAtom != nullptr ? MP4Success : MP4OutOfMemory;
}

// Makes an atom with its constructor and adds it to the container, which then owns it; on
// failure nothing is kept. outAtom (may be absent) receives the atom added.
template <class Atom>
MP4Err MP4AddNewAtom(MP4ContainerAtom* container, MP4Err (*make)(Atom**), Atom** outAtom = nullptr)
{
    Atom* atom = nullptr;
    MP4_TRY(make(&atom));
    MP4Err err = container->addAtom(atom);
    if (err != MP4Success) {
        atom->destroy();
        return err;
    }
    if (outAtom != nullptr)
        *outAtom = atom;
    return MP4Success;
}

// Files a child in the field kept for its type: -6 when the field holds one already.
template <class T>
MP4Err MP4KeepOnce(T*& field, MP4Atom* atom)
{
    if (field != nullptr)
        return MP4BadData;
    field = static_cast<T*>(atom);
    return MP4Success;
}

MP4Err MP4CreateBaseAtom(MP4Atom** outAtom);
MP4Err MP4CreateFullAtom(MP4FullAtom** outAtom);
MP4Err MP4CreateUnknownAtom(MP4UnknownAtom** outAtom);
// An unknown atom of the type holding a copy of the bytes; -2 for no bytes, a length of 0 or
// no out pointer.
MP4Err MP4CreateUnknownAtomWithData(uint32_t type, const char* bytes, uint32_t length, MP4Atom** outAtom);

// The factory: the empty record of the class that the type maps to.
MP4Err MP4CreateAtom(uint32_t type, MP4Atom** outAtom);
// Reads one atom, header and body, from the stream.
MP4Err MP4ParseAtom(MP4InputStream stream, MP4Atom** outAtom);
// The same, but the class is chosen from protoList (types ending in 0): an atom whose type is
// not listed is made as defaultType's class (keeping its own type).
MP4Err MP4ParseAtomUsingProtoList(MP4InputStream stream, const uint32_t* protoList, uint32_t defaultType,
    MP4Atom** outAtom);

MP4Err MP4CalculateBaseAtomFieldSize(MP4Atom* atom);
MP4Err MP4CalculateFullAtomFieldSize(MP4FullAtom* atom);
MP4Err MP4SerializeCommonBaseAtomFields(MP4Atom* atom, char* buffer);
MP4Err MP4SerializeCommonFullAtomFields(MP4FullAtom* atom, char* buffer);
// The type as four printable characters (others become '.') and a terminating zero.
void MP4TypeToString(uint32_t type, char* outText);

// Resizes a vector, turning an allocation failure into -3.
template <class T>
MP4Err MP4Resize(std::vector<T>& vector, size_t count)
{
    try {
        vector.resize(count);
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    } catch (const std::length_error&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

template <class Take>
MP4Err MP4Atom::readChildren(MP4InputStream stream, Take take)
{
    while (bytesRead < size) {
        MP4Atom* child = nullptr;
        MP4_TRY(MP4ParseAtom(stream, &child));
        bytesRead += child->size;
        MP4Err err = take(child);
        if (err != MP4Success) {
            child->destroy();
            return err;
        }
    }
    return bytesRead == size ? MP4Success : MP4BadData;
}
