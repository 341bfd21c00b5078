#include "isomedia/MP4MovieAtoms.h"

MP4FreeSpaceAtom::MP4FreeSpaceAtom()
{
    type = MP4FourCC("free");
    name = "free space";
}

MP4Err MP4FreeSpaceAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    return getRest(stream, data, "data");
}

MP4Err MP4FreeSpaceAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += uint32_t(data.size());
    return MP4Success;
}

MP4Err MP4FreeSpaceAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, data.data(), uint32_t(data.size())));
    return finishWriting();
}

MP4Err MP4CreateFreeSpaceAtom(MP4FreeSpaceAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
