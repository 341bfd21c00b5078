#include "isomedia/MP4TrackAtoms.h"

#include <cstring>

MP4HandlerAtom::MP4HandlerAtom()
{
    type = MP4FourCC("hdlr");
    name = "handler reference";
}

MP4Err MP4HandlerAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(get32(stream, &qt_componentType, "qt_componentType"));
    MP4_TRY(get32(stream, &handlerType, "handlerType"));
    char typeText[5];
    MP4TypeToString(handlerType, typeText);
    stream->trace("handler type is '%s'", typeText);
    MP4_TRY(get32(stream, &qt_componentManufacturer, "qt_componentManufacturer"));
    MP4_TRY(get32(stream, &qt_componentFlags, "qt_componentFlags"));
    MP4_TRY(get32(stream, &qt_componentFlagsMask, "qt_componentFlagsMask"));
    std::vector<char> block;
    MP4_TRY(getRest(stream, block, "handler name"));
    uint32_t length = uint32_t(block.size());
    MP4_TRY(MP4Resize(nameUTF8, length + 1));
    if (length != 0)
        std::memcpy(nameUTF8.data(), block.data(), length);
    nameUTF8[length] = 0;
    if (length == 0) {
        nameLength = 0;
    } else if (int32_t(int8_t(block[0])) == int32_t(length) - 1) {
        // A counted string: the first byte is its length.
        nameLength = uint8_t(block[0]);
        std::memmove(nameUTF8.data(), nameUTF8.data() + 1, length - 1);
        nameUTF8[nameLength] = 0;
    } else {
        nameLength = block[length - 1] != 0 ? length : length - 1;
    }
    if (nameLength != 0)
        stream->trace("handler name is '%s'", nameUTF8.data());
    return MP4Success;
}

MP4Err MP4HandlerAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 20 + nameLength + 1;
    return MP4Success;
}

MP4Err MP4HandlerAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    if (is_qt) {
        qt_componentType = MP4FourCC("mhlr");
        if (qt_componentManufacturer != MP4FourCC("app2"))
            qt_componentManufacturer = MP4FourCC("appl");
    }
    for (uint32_t value : {qt_componentType, handlerType, qt_componentManufacturer, qt_componentFlags,
             qt_componentFlagsMask})
        MP4_TRY(put32(buffer, value));
    if (is_qt) {
        MP4_TRY(put8(buffer, nameLength));
        MP4_TRY(putData(buffer, name_(), nameLength));
    } else {
        MP4_TRY(putData(buffer, name_(), nameLength));
        MP4_TRY(put8(buffer, 0));
    }
    return finishWriting();
}

MP4Err MP4HandlerAtom::setName(const char* newName, uint32_t countedName)
{
    if (newName == nullptr)
        return MP4BadParameter;
    size_t length = std::strlen(newName);
    std::vector<char> copy;
    MP4_TRY(MP4Resize(copy, length + 1));
    std::memcpy(copy.data(), newName, length + 1);
    nameUTF8.swap(copy);
    nameLength = uint32_t(length);
    is_qt = countedName;
    return MP4Success;
}

MP4Err MP4CreateHandlerAtom(MP4HandlerAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
