#include "isomedia/MP4TrackAtoms.h"

MP4TrackHeaderAtom::MP4TrackHeaderAtom()
{
    type = MP4FourCC("tkhd");
    name = "track header";
    flags = 7;
}

static const char* const kMatrixLabels[9] = {"qt_matrixA", "qt_matrixB", "qt_matrixU", "qt_matrixC", "qt_matrixD",
    "qt_matrixV", "qt_matrixX", "qt_matrixY", "qt_matrixW"};

MP4Err MP4TrackHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(getVersioned(stream, &creationTime, "creationTime"));
    MP4_TRY(getVersioned(stream, &modificationTime, "modificationTime"));
    MP4_TRY(get32(stream, &trackID, "trackID"));
    MP4_TRY(get32(stream, &qt_reserved1, "qt_reserved1"));
    MP4_TRY(getVersioned(stream, &duration, "duration"));
    MP4_TRY(getData(stream, sizeof qt_reserved2, qt_reserved2, "qt_reserved2"));
    MP4_TRY(get16(stream, &qt_layer, "qt_layer"));
    MP4_TRY(get16(stream, &qt_alternateGroup, "qt_alternateGroup"));
    MP4_TRY(get16(stream, &qt_volume, "qt_volume"));
    MP4_TRY(get16(stream, &qt_reserved3, "qt_reserved3"));
    for (int i = 0; i < 9; i++)
        MP4_TRY(get32(stream, &matrix[i], kMatrixLabels[i]));
    MP4_TRY(get32(stream, &qt_trackWidth, "qt_trackWidth"));
    return get32(stream, &qt_trackHeight, "qt_trackHeight");
}

MP4Err MP4TrackHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 3 * versionedSize() + 8 + 60;
    return MP4Success;
}

MP4Err MP4TrackHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(putVersioned(buffer, creationTime));
    MP4_TRY(putVersioned(buffer, modificationTime));
    MP4_TRY(put32(buffer, trackID));
    MP4_TRY(put32(buffer, qt_reserved1));
    MP4_TRY(putVersioned(buffer, duration));
    MP4_TRY(putData(buffer, qt_reserved2, sizeof qt_reserved2));
    for (uint32_t value : {qt_layer, qt_alternateGroup, qt_volume, qt_reserved3})
        MP4_TRY(put16(buffer, value & 0xFFFF));
    for (uint32_t word : matrix)
        MP4_TRY(put32(buffer, word));
    MP4_TRY(put32(buffer, qt_trackWidth));
    MP4_TRY(put32(buffer, qt_trackHeight));
    return finishWriting();
}

MP4Err MP4CreateTrackHeaderAtom(MP4TrackHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
