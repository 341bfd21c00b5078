// The media headers of sound, video, hint and the header-only kinds.
#include "isomedia/MP4SampleEntryAtoms.h"

MP4SoundMediaHeaderAtom::MP4SoundMediaHeaderAtom()
{
    type = MP4FourCC("smhd");
    name = "sound media header";
}

MP4Err MP4SoundMediaHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(get16(stream, &balance, "balance"));
    return get16(stream, &reserved, "reserved");
}

MP4Err MP4SoundMediaHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4;
    return MP4Success;
}

MP4Err MP4SoundMediaHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put16(buffer, balance));
    MP4_TRY(put16(buffer, reserved));
    return finishWriting();
}

MP4VideoMediaHeaderAtom::MP4VideoMediaHeaderAtom()
{
    type = MP4FourCC("vmhd");
    name = "video media header";
}

MP4Err MP4VideoMediaHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    if (size - bytesRead != 8)
        return MP4Success;
    MP4_TRY(get16(stream, &graphicsMode, "graphicsMode"));
    MP4_TRY(get16(stream, &opColorRed, "opColorRed"));
    MP4_TRY(get16(stream, &opColorGreen, "opColorGreen"));
    return get16(stream, &opColorBlue, "opColorBlue");
}

MP4Err MP4VideoMediaHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 8;
    return MP4Success;
}

MP4Err MP4VideoMediaHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    for (uint32_t value : {graphicsMode, opColorRed, opColorGreen, opColorBlue})
        MP4_TRY(put16(buffer, value));
    return finishWriting();
}

MP4HintMediaHeaderAtom::MP4HintMediaHeaderAtom()
{
    type = MP4FourCC("hmhd");
    name = "hint media header";
}

MP4Err MP4HintMediaHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(get16(stream, &maxPDUSize, "maxPDUSize"));
    MP4_TRY(get16(stream, &avgPDUSize, "avgPDUSize"));
    MP4_TRY(get32(stream, &maxBitrate, "maxBitrate"));
    MP4_TRY(get32(stream, &avgBitrate, "avgBitrate"));
    return get32(stream, &slidingAverageBitrate, "slidingAverageBitrate");
}

MP4Err MP4HintMediaHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 16;
    return MP4Success;
}

MP4Err MP4HintMediaHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put16(buffer, maxPDUSize));
    MP4_TRY(put16(buffer, avgPDUSize));
    MP4_TRY(put32(buffer, maxBitrate));
    MP4_TRY(put32(buffer, avgBitrate));
    MP4_TRY(put32(buffer, slidingAverageBitrate));
    return finishWriting();
}

MP4HeaderOnlyMediaHeaderAtom::MP4HeaderOnlyMediaHeaderAtom(uint32_t atomType, const char* className)
{
    type = atomType;
    name = className;
}

MP4Err MP4HeaderOnlyMediaHeaderAtom::calculateSize()
{
    return MP4CalculateFullAtomFieldSize(this);
}

MP4Err MP4HeaderOnlyMediaHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    return finishWriting();
}

static MP4Err makeHeaderOnly(uint32_t atomType, const char* className, MP4FullAtom** outAtom)
{
    if (outAtom == nullptr)
        return MP4BadParameter;
    *outAtom = new (std::nothrow) MP4HeaderOnlyMediaHeaderAtom(atomType, className);
    return *outAtom != nullptr ? MP4Success : MP4OutOfMemory;
}

MP4Err MP4CreateSoundMediaHeaderAtom(MP4SoundMediaHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateVideoMediaHeaderAtom(MP4VideoMediaHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateHintMediaHeaderAtom(MP4HintMediaHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateMPEGMediaHeaderAtom(MP4FullAtom** outAtom)
{
    return makeHeaderOnly(MP4FourCC("nmhd"), "mpeg media header", outAtom);
}

MP4Err MP4CreateObjectDescriptorMediaHeaderAtom(MP4FullAtom** outAtom)
{
    return makeHeaderOnly(MP4FourCC("odhd"), "object descriptor media header", outAtom);
}

MP4Err MP4CreateSceneDescriptionMediaHeaderAtom(MP4FullAtom** outAtom)
{
    return makeHeaderOnly(MP4FourCC("sdhd"), "scene description media header", outAtom);
}

MP4Err MP4CreateClockReferenceMediaHeaderAtom(MP4FullAtom** outAtom)
{
    return makeHeaderOnly(MP4FourCC("crhd"), "clock reference media header", outAtom);
}
