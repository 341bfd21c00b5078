// The JPEG 2000 file-level atoms: signature, header and the header's three children.
#include "isomedia/MP4FileTypeAtoms.h"

MP4JPEG2000SignatureAtom::MP4JPEG2000SignatureAtom()
{
    type = MP4FourCC("jP  ");
    name = "JPEG 2000 signature atom";
}

MP4Err MP4JPEG2000SignatureAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    return get32(stream, &signature, "signature");
}

MP4Err MP4JPEG2000SignatureAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 4;
    return MP4Success;
}

MP4Err MP4JPEG2000SignatureAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(put32(buffer, signature));
    return finishWriting();
}

MP4JPEG2000HeaderAtom::MP4JPEG2000HeaderAtom()
{
    type = MP4FourCC("jp2h");
    name = "JPEG 2000 header atom";
}

MP4Err MP4JPEG2000HeaderAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    MP4Err err = MP4Success;
    if (atom->type == MP4FourCC("ihdr"))
        err = MP4KeepOnce(imageHeader, atom);
    else if (atom->type == MP4FourCC("bpcc"))
        err = MP4KeepOnce(bitsPerComponent, atom);
    else if (atom->type == MP4FourCC("colr"))
        err = MP4KeepOnce(colorSpecification, atom);
    if (err != MP4Success)
        return err;
    return MP4ContainerAtom::addAtom(atom);
}

MP4JPEG2000ImageHeaderAtom::MP4JPEG2000ImageHeaderAtom()
{
    type = MP4FourCC("ihdr");
    name = "JPEG 2000 image header atom";
}

MP4Err MP4JPEG2000ImageHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    MP4_TRY(get32(stream, &height, "height"));
    MP4_TRY(get32(stream, &width, "width"));
    MP4_TRY(get16(stream, &compCount, "compCount"));
    MP4_TRY(get8(stream, &compBits, "compBits"));
    MP4_TRY(get8(stream, &compressionType, "compressionType"));
    MP4_TRY(get8(stream, &colorspaceKnown, "colorspaceKnown"));
    return get8(stream, &ip, "ip");
}

MP4Err MP4JPEG2000ImageHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 14;
    return MP4Success;
}

MP4Err MP4JPEG2000ImageHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(put32(buffer, height));
    MP4_TRY(put32(buffer, width));
    MP4_TRY(put16(buffer, compCount));
    MP4_TRY(put8(buffer, compBits));
    MP4_TRY(put8(buffer, compressionType));
    MP4_TRY(put8(buffer, colorspaceKnown));
    MP4_TRY(put8(buffer, ip));
    return finishWriting();
}

MP4JPEG2000BitsPerComponentAtom::MP4JPEG2000BitsPerComponentAtom()
{
    type = MP4FourCC("bpcc");
    name = "JPEG 2000 bits-per-component atom";
}

MP4Err MP4JPEG2000BitsPerComponentAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    if (bytesRead >= size)
        return MP4BadData;
    MP4_TRY(MP4Resize(bitsPerComponent, size - bytesRead));
    for (uint8_t& bits : bitsPerComponent) {
        uint32_t value = 0;
        MP4_TRY(get8(stream, &value, "bitsPerComponent[items]"));
        bits = uint8_t(value);
    }
    return MP4Success;
}

MP4Err MP4JPEG2000BitsPerComponentAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += uint32_t(bitsPerComponent.size());
    return MP4Success;
}

MP4Err MP4JPEG2000BitsPerComponentAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(putData(buffer, bitsPerComponent.data(), uint32_t(bitsPerComponent.size())));
    return finishWriting();
}

MP4Err MP4JPEG2000BitsPerComponentAtom::addComponent(uint8_t value)
{
    MP4_TRY(MP4Resize(bitsPerComponent, bitsPerComponent.size() + 1));
    bitsPerComponent.back() = value;
    return MP4Success;
}

MP4JPEG2000ColorSpecificationAtom::MP4JPEG2000ColorSpecificationAtom()
{
    type = MP4FourCC("colr");
    name = "JPEG 2000 color specification atom";
}

MP4Err MP4JPEG2000ColorSpecificationAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4Atom::createFromInputStream(proto, stream));
    MP4_TRY(get8(stream, &method, "method"));
    MP4_TRY(get8(stream, &precedence, "precedence"));
    MP4_TRY(get8(stream, &approx, "approx"));
    if (method == 1)
        return get32(stream, &enumCS, "enumCS");
    // A profile (method 2), or the body of a method this library does not know, kept as read.
    return getRest(stream, profile, "profile");
}

MP4Err MP4JPEG2000ColorSpecificationAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    size += 3;
    size += method == 1 ? 4 : uint32_t(profile.size());
    return MP4Success;
}

MP4Err MP4JPEG2000ColorSpecificationAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    MP4_TRY(put8(buffer, method));
    MP4_TRY(put8(buffer, precedence));
    MP4_TRY(put8(buffer, approx));
    if (method == 1)
        MP4_TRY(put32(buffer, enumCS));
    else
        MP4_TRY(putData(buffer, profile.data(), uint32_t(profile.size())));
    return finishWriting();
}

MP4Err MP4CreateMJ2SignatureAtom(MP4JPEG2000SignatureAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateMJ2HeaderAtom(MP4JPEG2000HeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateMJ2ImageHeaderAtom(MP4JPEG2000ImageHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateMJ2BitsPerComponentAtom(MP4JPEG2000BitsPerComponentAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateMJ2ColorSpecificationAtom(MP4JPEG2000ColorSpecificationAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
