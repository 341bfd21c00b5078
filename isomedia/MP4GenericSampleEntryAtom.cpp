#include "isomedia/MP4SampleEntryAtoms.h"

MP4GenericSampleEntryAtom::MP4GenericSampleEntryAtom()
{
    type = kMP4GenericSampleEntryType;
    name = "generic sample entry";
}

MP4Err MP4GenericSampleEntryAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    MP4_TRY(getData(stream, sizeof reserved1, reserved1, "reserved"));
    MP4_TRY(get16(stream, &dataReferenceIndex, "dataReferenceIndex"));
    return getRest(stream, data, "data");
}

MP4Err MP4GenericSampleEntryAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 8 + uint32_t(data.size());
    return MP4Success;
}

MP4Err MP4GenericSampleEntryAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, reserved1, sizeof reserved1));
    MP4_TRY(put16(buffer, dataReferenceIndex));
    MP4_TRY(putData(buffer, data.data(), uint32_t(data.size())));
    return finishWriting();
}

MP4Err MP4CreateGenericSampleEntryAtom(MP4GenericSampleEntryAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
