#include "isomedia/MP4FileTypeAtoms.h"

MP4FileTypeAtom::MP4FileTypeAtom()
{
    type = MP4FourCC("ftyp");
    name = "file type atom";
}

MP4Err MP4FileTypeAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    MP4_TRY(get32(stream, &brand, "brand"));
    MP4_TRY(get32(stream, &minorVersion, "minorVersion"));
    // A file type lists at least one compatible brand, and only whole ones.
    if (size - bytesRead < 4 || (size - bytesRead) % 4 != 0)
        return MP4BadData;
    MP4_TRY(MP4Resize(compatibilityList, (size - bytesRead) / 4));
    for (uint32_t& item : compatibilityList)
        MP4_TRY(get32(stream, &item, "compatibilityList[items]"));
    return MP4Success;
}

MP4Err MP4FileTypeAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 8 + 4 * uint32_t(compatibilityList.size());
    return MP4Success;
}

MP4Err MP4FileTypeAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(put32(buffer, brand));
    MP4_TRY(put32(buffer, minorVersion));
    for (uint32_t item : compatibilityList)
        MP4_TRY(put32(buffer, item));
    return finishWriting();
}

MP4Err MP4FileTypeAtom::addStandard(uint32_t standard)
{
    MP4_TRY(MP4Resize(compatibilityList, compatibilityList.size() + 1));
    compatibilityList.back() = standard;
    return MP4Success;
}

MP4Err MP4FileTypeAtom::setBrand(uint32_t newBrand, uint32_t newMinorVersion)
{
    brand = newBrand;
    minorVersion = newMinorVersion;
    if (compatibilityList.empty())
        return addStandard(newBrand);
    compatibilityList[0] = newBrand;
    return MP4Success;
}

MP4Err MP4FileTypeAtom::getBrand(uint32_t* outBrand, uint32_t* outMinorVersion)
{
    if (outBrand == nullptr || outMinorVersion == nullptr)
        return MP4BadParameter;
    *outBrand = brand;
    *outMinorVersion = minorVersion;
    return MP4Success;
}

uint32_t MP4FileTypeAtom::getStandard(uint32_t standard)
{
    for (uint32_t item : compatibilityList) {
        if (item == standard)
            return standard;
    }
    return 0;
}

MP4Err MP4CreateMJ2FileTypeAtom(MP4FileTypeAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
