#include "isomedia/MP4MovieAtoms.h"

static const char* const kMatrixLabels[9] = {"qt_matrixA", "qt_matrixB", "qt_matrixU", "qt_matrixC", "qt_matrixD",
    "qt_matrixV", "qt_matrixX", "qt_matrixY", "qt_matrixW"};

MP4MovieHeaderAtom::MP4MovieHeaderAtom()
{
    type = MP4FourCC("mvhd");
    name = "movie header";
}

MP4Err MP4MovieHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(getVersioned(stream, &creationTime, "creationTime"));
    MP4_TRY(getVersioned(stream, &modificationTime, "modificationTime"));
    MP4_TRY(get32(stream, &timeScale, "timeScale"));
    MP4_TRY(getVersioned(stream, &duration, "duration"));
    MP4_TRY(get32(stream, &qt_preferredRate, "qt_preferredRate"));
    MP4_TRY(get16(stream, &qt_preferredVolume, "qt_preferredVolume"));
    MP4_TRY(getData(stream, sizeof qt_reserved, qt_reserved, "qt_reserved"));
    for (int i = 0; i < 9; i++)
        MP4_TRY(get32(stream, &matrix[i], kMatrixLabels[i]));
    MP4_TRY(get32(stream, &qt_previewTime, "qt_previewTime"));
    MP4_TRY(get32(stream, &qt_previewDuration, "qt_previewDuration"));
    MP4_TRY(get32(stream, &qt_posterTime, "qt_posterTime"));
    MP4_TRY(get32(stream, &qt_selectionTime, "qt_selectionTime"));
    MP4_TRY(get32(stream, &qt_selectionDuration, "qt_selectionDuration"));
    MP4_TRY(get32(stream, &qt_currentTime, "qt_currentTime"));
    return get32(stream, &nextTrackID, "nextTrackID");
}

MP4Err MP4MovieHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 3 * versionedSize() + 4 + 80;
    return MP4Success;
}

MP4Err MP4MovieHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(putVersioned(buffer, creationTime));
    MP4_TRY(putVersioned(buffer, modificationTime));
    MP4_TRY(put32(buffer, timeScale));
    MP4_TRY(putVersioned(buffer, duration));
    MP4_TRY(put32(buffer, qt_preferredRate));
    MP4_TRY(put16(buffer, qt_preferredVolume));
    MP4_TRY(putData(buffer, qt_reserved, sizeof qt_reserved));
    for (uint32_t word : matrix)
        MP4_TRY(put32(buffer, word));
    for (uint32_t value : {qt_previewTime, qt_previewDuration, qt_posterTime, qt_selectionTime, qt_selectionDuration,
             qt_currentTime, nextTrackID})
        MP4_TRY(put32(buffer, value));
    return finishWriting();
}

MP4Err MP4CreateMovieHeaderAtom(MP4MovieHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
