#include "isomedia/MP4FileTypeAtoms.h"

#include <cstring>

MP4CopyrightAtom::MP4CopyrightAtom()
{
    type = MP4FourCC("cprt");
    name = "copyright";
}

MP4Err MP4CopyrightAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(get16(stream, &packedLanguageCode, "packedLanguageCode"));
    std::vector<char> bytes;
    MP4_TRY(getRest(stream, bytes, "notice"));
    // The notice is text up to its first zero; one is added when the file has none.
    try {
        if (bytes.empty())
            notice.clear();
        else
            notice.assign(bytes.data(), strnlen(bytes.data(), bytes.size()));
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

MP4Err MP4CopyrightAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 2 + uint32_t(notice.size()) + 1;
    return MP4Success;
}

MP4Err MP4CopyrightAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put16(buffer, packedLanguageCode));
    MP4_TRY(putData(buffer, notice.c_str(), uint32_t(notice.size()) + 1));
    return finishWriting();
}

MP4Err MP4CreateCprtAtom(MP4CopyrightAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
