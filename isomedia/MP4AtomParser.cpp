// Reads one atom, header and body, from an input stream.
#include "isomedia/MP4Atoms.h"

MP4Err MP4ParseAtom(MP4InputStream stream, MP4Atom** outAtom)
{
    return MP4ParseAtomUsingProtoList(stream, nullptr, 0, outAtom);
}

static bool isListed(const uint32_t* protoList, uint32_t type)
{
    for (; *protoList != 0; protoList++) {
        if (*protoList == type)
            return true;
    }
    return false;
}

MP4Err MP4ParseAtomUsingProtoList(MP4InputStream stream, const uint32_t* protoList, uint32_t defaultType,
    MP4Atom** outAtom)
{
    if (stream == nullptr || outAtom == nullptr)
        return MP4BadParameter;
    *outAtom = nullptr;
    stream->trace("{");
    stream->indent++;

    MP4Atom proto;
    proto.streamOffset = stream->getStreamOffset();
    uint32_t atomSize = 0;
    MP4_TRY(stream->read32(&atomSize, nullptr));
    if (atomSize == 0) {
        // Size 0: the atom runs to the end of the stream (of its container).
        if (stream->available > 0xFFFFFFFFu - 4)
            return MP4ValueTooLarge;
        atomSize = stream->available + 4;
    } else if (atomSize != 1 && atomSize - 4 > stream->available) {
        return MP4BadData;
    }
    stream->trace("atom size is %d", int(atomSize));
    MP4_TRY(stream->read32(&proto.type, nullptr));
    char typeText[5];
    MP4TypeToString(proto.type, typeText);
    stream->trace("atom type is '%s'", typeText);
    uint32_t headerLength = 8;
    if (proto.type == MP4FourCC("uuid")) {
        MP4_TRY(stream->readData(16, reinterpret_cast<char*>(proto.uuid), nullptr));
        headerLength = 24;
    }
    if (atomSize == 1) {
        uint32_t high = 0;
        MP4_TRY(stream->read32(&high, nullptr));
        if (high != 0)
            return MP4ValueTooLarge;
        MP4_TRY(stream->read32(&atomSize, nullptr));
        headerLength += 8;
        proto.size64 = atomSize;
    }
    proto.size = atomSize;
    proto.bytesRead = headerLength;
    if (atomSize < headerLength)
        return MP4BadData;
    // The body must lie within what is left (a 64-bit size is checked only here).
    uint32_t outside = 0;
    MP4_TRY(stream->pushLimit(atomSize - headerLength, &outside));

    uint32_t typeToMake = proto.type;
    if (protoList != nullptr && !isListed(protoList, proto.type))
        typeToMake = defaultType;
    MP4Atom* atom = nullptr;
    MP4Err err = MP4CreateAtom(typeToMake, &atom);
    if (err == MP4Success) {
        stream->trace("atom name is '%s'", atom->getName());
        err = atom->createFromInputStream(&proto, stream);
    }
    uint32_t unread = stream->available;
    // Whatever the body left unread is skipped, so the atom's siblings still parse.
    stream->popLimit(outside);
    if (err != MP4Success) {
        if (atom != nullptr)
            atom->destroy();
        return err;
    }
    if (unread != 0)
        stream->trace("##### atom size is %d but parse used %d bytes ####", int(atomSize), int(atomSize - unread));
    stream->indent--;
    stream->trace("}");
    *outAtom = atom;
    return MP4Success;
}
