#include "isomedia/MP4SampleEntryAtoms.h"

MP4AudioSampleEntryAtom::MP4AudioSampleEntryAtom()
{
    type = MP4FourCC("mp4a");
    name = "audio sample entry";
}

MP4Err MP4AudioSampleEntryAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    MP4_TRY(getData(stream, sizeof reserved1, reserved1, "reserved1"));
    MP4_TRY(get16(stream, &dataReferenceIndex, "dataReferenceIndex"));
    MP4_TRY(getData(stream, sizeof reserved2, reserved2, "reserved2"));
    MP4_TRY(get16(stream, &reserved3, "reserved3"));
    MP4_TRY(get16(stream, &reserved4, "reserved4"));
    MP4_TRY(get32(stream, &reserved5, "reserved5"));
    MP4_TRY(get16(stream, &timeScale, "timeScale"));
    MP4_TRY(get16(stream, &reserved6, "reserved6"));
    return readChildAtoms(stream);
}

MP4Err MP4AudioSampleEntryAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 28;
    return addChildSizes();
}

MP4Err MP4AudioSampleEntryAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, reserved1, sizeof reserved1));
    MP4_TRY(put16(buffer, dataReferenceIndex));
    MP4_TRY(putData(buffer, reserved2, sizeof reserved2));
    MP4_TRY(put16(buffer, reserved3));
    MP4_TRY(put16(buffer, reserved4));
    MP4_TRY(put32(buffer, reserved5));
    MP4_TRY(put16(buffer, timeScale));
    MP4_TRY(put16(buffer, reserved6));
    MP4_TRY(putAtoms(buffer, atomList));
    return finishWriting();
}

MP4Err MP4CreateAudioSampleEntryAtom(MP4AudioSampleEntryAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
