// The two atoms that carry one descriptor each: 'esds' and 'iods'.
#include "isomedia/MP4SampleEntryAtoms.h"

MP4ESDAtom::MP4ESDAtom()
{
    type = MP4FourCC("esds");
    name = "ESD";
}

MP4ESDAtom::~MP4ESDAtom()
{
    if (descriptor != nullptr)
        descriptor->destroy();
}

MP4Err MP4ESDAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    descriptorLength = size - bytesRead;
    if (descriptorLength == 0) {
        stream->msg("Warning: ESD size is zero");
        return MP4Success;
    }
    MP4_TRY(MP4ParseDescriptor(stream, &descriptor));
    bytesRead += descriptor->size;
    return MP4Success;
}

MP4Err MP4ESDAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    if (descriptor != nullptr) {
        MP4_TRY(descriptor->calculateSize());
        size += descriptor->size;
    }
    return MP4Success;
}

MP4Err MP4ESDAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(putHeld(buffer, descriptor));
    return finishWriting();
}

MP4ObjectDescriptorAtom::MP4ObjectDescriptorAtom()
{
    type = MP4FourCC("iods");
    name = "object descriptor";
}

MP4ObjectDescriptorAtom::~MP4ObjectDescriptorAtom()
{
    if (descriptor != nullptr)
        descriptor->destroy();
}

MP4Err MP4ObjectDescriptorAtom::setDescriptor(MP4Descriptor* newDescriptor)
{
    if (descriptor != nullptr || newDescriptor == nullptr)
        return MP4BadParameter;
    MP4_TRY(newDescriptor->calculateSize());
    descriptor = newDescriptor;
    ODSize = descriptor->size;
    return MP4Success;
}

MP4Err MP4ObjectDescriptorAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(MP4ParseDescriptor(stream, &descriptor));
    ODSize = descriptor->size;
    bytesRead += descriptor->size;
    return MP4Success;
}

MP4Err MP4ObjectDescriptorAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    if (descriptor != nullptr) {
        MP4_TRY(descriptor->calculateSize());
        size += descriptor->size;
    }
    return MP4Success;
}

MP4Err MP4ObjectDescriptorAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(putHeld(buffer, descriptor));
    return finishWriting();
}

MP4Err MP4CreateESDAtom(MP4ESDAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateObjectDescriptorAtom(MP4ObjectDescriptorAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
