// The optional per-sample tables: shadow sync 'stsh', degradation priority 'stdp', padding bits 'padb'.
#include "isomedia/MP4SampleTableAtoms.h"

MP4ShadowSyncAtom::MP4ShadowSyncAtom()
    : MP4PairTableAtom(MP4FourCC("stsh"), "shadow sync", "shadowedSampleNumber", "syncSampleNumber")
{
}

MP4DegradationPriorityAtom::MP4DegradationPriorityAtom()
{
    type = MP4FourCC("stdp");
    name = "degradation priority";
}

MP4Err MP4DegradationPriorityAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(MP4Resize(priorities, (size - bytesRead) / 2));
    for (uint32_t& priority : priorities)
        MP4_TRY(get16(stream, &priority, "priority"));
    return MP4Success;
}

MP4Err MP4DegradationPriorityAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 2 * uint32_t(priorities.size());
    return MP4Success;
}

MP4Err MP4DegradationPriorityAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    for (uint32_t priority : priorities)
        MP4_TRY(put16(buffer, priority));
    return finishWriting();
}

MP4PaddingBitsAtom::MP4PaddingBitsAtom()
{
    type = MP4FourCC("padb");
    name = "padding bits";
}

MP4Err MP4PaddingBitsAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    uint32_t sampleCount = 0;
    MP4_TRY(get32(stream, &sampleCount, "sampleCount"));
    if ((uint64_t(sampleCount) + 1) / 2 > stream->available)
        return MP4BadData;
    MP4_TRY(MP4Resize(padding, sampleCount));
    for (uint32_t i = 0; i < sampleCount; i += 2) {
        uint32_t byte = 0;
        MP4_TRY(get8(stream, &byte, nullptr));
        padding[i] = uint8_t((byte >> 4) & 7);
        if (i + 1 < sampleCount)
            padding[i + 1] = uint8_t(byte & 7);
    }
    return MP4Success;
}

MP4Err MP4PaddingBitsAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4 + (uint32_t(padding.size()) + 1) / 2;
    return MP4Success;
}

MP4Err MP4PaddingBitsAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    uint32_t count = uint32_t(padding.size());
    MP4_TRY(put32(buffer, count));
    for (uint32_t i = 0; i < count; i += 2)
        MP4_TRY(put8(buffer, ((padding[i] & 7) << 4) | (i + 1 < count ? padding[i + 1] & 7 : 0)));
    return finishWriting();
}

MP4Err MP4PaddingBitsAtom::getPaddingBits(uint32_t sampleNumber, uint8_t* outBits)
{
    if (outBits == nullptr || sampleNumber == 0 || sampleNumber > padding.size())
        return MP4BadParameter;
    *outBits = padding[sampleNumber - 1];
    return MP4Success;
}

MP4Err MP4PaddingBitsAtom::addSamplePaddingBits(uint32_t sampleCount, MP4Handle paddingHandle)
{
    uint32_t given = paddingHandle != nullptr ? paddingHandle->size : 0;
    if (given > 1 && given != sampleCount)
        return MP4BadParameter;
    size_t old = padding.size();
    MP4_TRY(MP4Resize(padding, old + sampleCount));
    for (uint32_t i = 0; i < sampleCount; i++)
        padding[old + i] = given == 0 ? 0 : uint8_t(paddingHandle->data[given == 1 ? 0 : i]);
    return MP4Success;
}

MP4Err MP4CreateShadowSyncAtom(MP4ShadowSyncAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateDegradationPriorityAtom(MP4DegradationPriorityAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreatePaddingBitsAtom(MP4PaddingBitsAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
