// The data-reference entries "url " and "urn ".
#include "isomedia/MP4MovieAtoms.h"

#include <cstring>

uint32_t MP4DataEntryAtom::locationLength() const
{
    return location.empty() ? 0 : uint32_t(strnlen(location.data(), location.size()));
}

MP4Err MP4DataEntryAtom::getOffset(uint32_t* outOffset)
{
    if (outOffset == nullptr)
        return MP4BadParameter;
    // Samples added to an attached 'mdat' land at its end, wherever other tracks put theirs.
    *outOffset = mdat != nullptr ? uint32_t(mdat->dataSize) : offset;
    return MP4Success;
}

MP4Err MP4DataEntryAtom::addSampleReference()
{
    return mdat != nullptr ? MP4BadParameter : MP4Success;
}

MP4Err MP4DataEntryAtom::addSamples(MP4Handle sampleData)
{
    if (mdat != nullptr)
        return mdat->addData(sampleData);
    uint32_t count = 0;
    MP4_TRY(MP4GetHandleSize(sampleData, &count));
    offset += count;
    return MP4Success;
}

MP4DataEntryURLAtom::MP4DataEntryURLAtom()
{
    type = MP4FourCC("url ");
    name = "data entry URL";
}

MP4Err MP4DataEntryURLAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(getRest(stream, location, "location"));
    uint32_t length = locationLength();
    if (length >= 1 && length <= 199)
        stream->trace("URL location is \"%.*s\"", int(length), location.data());
    return MP4Success;
}

MP4Err MP4DataEntryURLAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    if ((flags & 1) == 0 && !location.empty())
        size += locationLength() + 1;
    return MP4Success;
}

MP4Err MP4DataEntryURLAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    if ((flags & 1) == 0 && !location.empty()) {
        MP4_TRY(putData(buffer, location.data(), locationLength()));
        MP4_TRY(put8(buffer, 0));
    }
    return finishWriting();
}

MP4DataEntryURNAtom::MP4DataEntryURNAtom()
{
    type = MP4FourCC("urn ");
    name = "data entry URN";
}

uint32_t MP4DataEntryURNAtom::nameLength() const
{
    return nameURN.empty() ? 0 : uint32_t(strnlen(nameURN.data(), nameURN.size()));
}

MP4Err MP4DataEntryURNAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    std::vector<char> payload;
    MP4_TRY(getRest(stream, payload, "nameURN"));
    if (payload.empty())
        return MP4Success;
    auto* zero = static_cast<char*>(std::memchr(payload.data(), 0, payload.size()));
    if (zero == nullptr)
        return MP4BadData;
    try {
        nameURN.assign(payload.data(), zero + 1);
        location.assign(zero + 1, payload.data() + payload.size());
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

MP4Err MP4DataEntryURNAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    if ((flags & 1) == 0)
        size += nameLength() + 1 + locationLength() + 1;
    return MP4Success;
}

MP4Err MP4DataEntryURNAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    if ((flags & 1) == 0) {
        MP4_TRY(putData(buffer, nameURN.data(), nameLength()));
        MP4_TRY(put8(buffer, 0));
        MP4_TRY(putData(buffer, location.data(), locationLength()));
        MP4_TRY(put8(buffer, 0));
    }
    return finishWriting();
}

MP4Err MP4CreateDataEntryURLAtom(MP4DataEntryURLAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateDataEntryURNAtom(MP4DataEntryURNAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
