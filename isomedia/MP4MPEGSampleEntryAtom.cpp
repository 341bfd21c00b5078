#include "isomedia/MP4SampleEntryAtoms.h"

MP4MPEGSampleEntryAtom::MP4MPEGSampleEntryAtom()
{
    type = MP4FourCC("mp4s");
    name = "MPEG sample entry";
}

MP4Err MP4MPEGSampleEntryAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    MP4_TRY(getData(stream, sizeof reserved1, reserved1, "reserved"));
    MP4_TRY(get16(stream, &dataReferenceIndex, "dataReferenceIndex"));
    return readChildAtoms(stream);
}

MP4Err MP4MPEGSampleEntryAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 8;
    return addChildSizes();
}

MP4Err MP4MPEGSampleEntryAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, reserved1, sizeof reserved1));
    MP4_TRY(put16(buffer, dataReferenceIndex));
    MP4_TRY(putAtoms(buffer, atomList));
    return finishWriting();
}

MP4Err MP4CreateMPEGSampleEntryAtom(MP4MPEGSampleEntryAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
