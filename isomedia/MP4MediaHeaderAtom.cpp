#include "isomedia/MP4TrackAtoms.h"

MP4MediaHeaderAtom::MP4MediaHeaderAtom()
{
    type = MP4FourCC("mdhd");
    name = "media header";
}

MP4Err MP4MediaHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(getVersioned(stream, &creationTime, "creationTime"));
    MP4_TRY(getVersioned(stream, &modificationTime, "modificationTime"));
    MP4_TRY(get32(stream, &timeScale, "timeScale"));
    MP4_TRY(getVersioned(stream, &duration, "duration"));
    MP4_TRY(get16(stream, &packedLanguage, "packedLanguage"));
    return get16(stream, &qt_quality, "qt_quality");
}

MP4Err MP4MediaHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 3 * versionedSize() + 4 + 4;
    return MP4Success;
}

MP4Err MP4MediaHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(putVersioned(buffer, creationTime));
    MP4_TRY(putVersioned(buffer, modificationTime));
    MP4_TRY(put32(buffer, timeScale));
    MP4_TRY(putVersioned(buffer, duration));
    MP4_TRY(put16(buffer, packedLanguage));
    MP4_TRY(put16(buffer, qt_quality));
    return finishWriting();
}

MP4Err MP4CreateMediaHeaderAtom(MP4MediaHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
