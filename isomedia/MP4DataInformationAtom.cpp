#include "isomedia/MP4MovieAtoms.h"

MP4DataInformationAtom::MP4DataInformationAtom()
{
    type = MP4FourCC("dinf");
    name = "data information";
}

MP4Err MP4DataInformationAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    if (atom->type == MP4FourCC("dref")) {
        if (dref != nullptr)
            return MP4BadData;
        MP4_TRY(MP4ContainerAtom::addAtom(atom));
        dref = static_cast<MP4DataReferenceAtom*>(atom);
        return MP4Success;
    }
    return MP4ContainerAtom::addAtom(atom);
}

MP4Err MP4DataInformationAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += uint32_t(payload.size());
    return addSizesOf(atomList);
}

MP4Err MP4DataInformationAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, payload.data(), uint32_t(payload.size())));
    MP4_TRY(putAtoms(buffer, atomList));
    return finishWriting();
}

MP4Err MP4DataInformationAtom::getOffset(uint32_t dataEntryIndex, uint32_t* outOffset)
{
    if (dref == nullptr)
        return MP4MissingComponent;
    if (dataEntryIndex == 0)
        return MP4BadParameter;
    return dref->getOffset(dataEntryIndex, outOffset);
}

MP4Err MP4DataInformationAtom::addSampleReference(uint32_t dataEntryIndex)
{
    if (dref == nullptr)
        return MP4MissingComponent;
    if (dataEntryIndex == 0)
        return MP4BadParameter;
    return dref->addSampleReference(dataEntryIndex);
}

MP4Err MP4DataInformationAtom::addSamples(uint32_t dataEntryIndex, MP4Handle sampleData)
{
    if (dref == nullptr)
        return MP4MissingComponent;
    if (dataEntryIndex == 0)
        return MP4BadParameter;
    return dref->addSamples(dataEntryIndex, sampleData);
}

MP4Err MP4CreateDataInformationAtom(MP4DataInformationAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
