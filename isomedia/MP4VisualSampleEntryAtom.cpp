#include "isomedia/MP4SampleEntryAtoms.h"

MP4VisualSampleEntryAtom::MP4VisualSampleEntryAtom()
{
    type = MP4FourCC("mp4v");
    name = "visual sample entry";
}

MP4Err MP4VisualSampleEntryAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    MP4_TRY(getData(stream, sizeof reserved1, reserved1, "reserved1"));
    MP4_TRY(get16(stream, &dataReferenceIndex, "dataReferenceIndex"));
    MP4_TRY(getData(stream, sizeof reserved2, reserved2, "reserved2"));
    MP4_TRY(get16(stream, &width, "width"));
    MP4_TRY(get16(stream, &height, "height"));
    MP4_TRY(get32(stream, &reserved4, "reserved4"));
    MP4_TRY(get32(stream, &reserved5, "reserved5"));
    MP4_TRY(get32(stream, &reserved6, "reserved6"));
    MP4_TRY(get16(stream, &reserved7, "reserved7"));
    MP4_TRY(get8(stream, &nameLength, "nameLength"));
    MP4_TRY(getData(stream, sizeof name31, name31, "name31"));
    MP4_TRY(get16(stream, &reserved8, "reserved8"));
    MP4_TRY(get16(stream, &reserved9, "reserved9"));
    return readChildAtoms(stream);
}

MP4Err MP4VisualSampleEntryAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 78;
    return addChildSizes();
}

MP4Err MP4VisualSampleEntryAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, reserved1, sizeof reserved1));
    MP4_TRY(put16(buffer, dataReferenceIndex));
    MP4_TRY(putData(buffer, reserved2, sizeof reserved2));
    MP4_TRY(put16(buffer, width));
    MP4_TRY(put16(buffer, height));
    MP4_TRY(put32(buffer, reserved4));
    MP4_TRY(put32(buffer, reserved5));
    MP4_TRY(put32(buffer, reserved6));
    MP4_TRY(put16(buffer, reserved7));
    MP4_TRY(put8(buffer, nameLength));
    MP4_TRY(putData(buffer, name31, sizeof name31));
    MP4_TRY(put16(buffer, reserved8));
    MP4_TRY(put16(buffer, reserved9));
    MP4_TRY(putAtoms(buffer, atomList));
    return finishWriting();
}

MP4Err MP4CreateVisualSampleEntryAtom(MP4VisualSampleEntryAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
