#include "isomedia/MP4MovieAtoms.h"

#include <cstring>

MP4UserDataAtom::MP4UserDataAtom()
{
    type = MP4FourCC("udta");
    name = "user data";
}

MP4UserDataAtom::~MP4UserDataAtom()
{
    for (Record& record : recordList) {
        for (MP4Atom* item : record.items)
            item->destroy();
    }
}

MP4Err MP4UserDataAtom::calculateSize()
{
    MP4_TRY(MP4CalculateBaseAtomFieldSize(this));
    for (Record& record : recordList) {
        for (MP4Atom* item : record.items) {
            MP4_TRY(item->calculateSize());
            if (uint64_t(size) + item->size > 0xFFFFFFFFu)
                return MP4InputOutputError;
            size += item->size;
        }
    }
    return addSizesOf(atomList);
}

MP4Err MP4UserDataAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonBaseAtomFields(this, buffer));
    for (Record& record : recordList) {
        for (MP4Atom* item : record.items)
            MP4_TRY(putAtom(buffer, item));
    }
    MP4_TRY(putAtoms(buffer, atomList));
    return finishWriting();
}

MP4Err MP4UserDataAtom::addUserData(MP4Handle handle, uint32_t userDataType, uint32_t* outIndex)
{
    uint32_t length = 0;
    MP4_TRY(MP4GetHandleSize(handle, &length));
    MP4UnknownAtom* item = nullptr;
    MP4_TRY(MP4CreateUnknownAtom(&item));
    item->type = userDataType;
    MP4Err err = MP4Resize(item->data, length);
    try {
        if (err == MP4Success) {
            if (length != 0)
                std::memcpy(item->data.data(), handle->data, length);
            Record* record = nullptr;
            for (Record& candidate : recordList) {
                if (candidate.type == userDataType)
                    record = &candidate;
            }
            if (record == nullptr) {
                recordList.push_back(Record{userDataType, {}});
                record = &recordList.back();
            }
            record->items.push_back(item);
            if (outIndex != nullptr)
                *outIndex = uint32_t(record->items.size());
            return MP4Success;
        }
    } catch (const std::bad_alloc&) {
        err = MP4OutOfMemory;
    }
    item->destroy();
    return err;
}

MP4Err MP4UserDataAtom::getEntryCount(uint32_t userDataType, uint32_t* outCount)
{
    if (outCount == nullptr)
        return MP4BadParameter;
    *outCount = 0;
    for (Record& record : recordList) {
        if (record.type == userDataType)
            *outCount = uint32_t(record.items.size());
    }
    return MP4Success;
}

MP4Err MP4UserDataAtom::getIndType(uint32_t index, uint32_t* outType)
{
    if (outType == nullptr || index == 0 || index > recordList.size())
        return MP4BadParameter;
    *outType = recordList[index - 1].type;
    return MP4Success;
}

MP4Err MP4UserDataAtom::getItem(MP4Handle handle, uint32_t userDataType, uint32_t index)
{
    for (Record& record : recordList) {
        if (record.type != userDataType)
            continue;
        if (index == 0 || index > record.items.size())
            return MP4BadParameter;
        auto* item = static_cast<MP4UnknownAtom*>(record.items[index - 1]);
        MP4_TRY(MP4SetHandleSize(handle, uint32_t(item->data.size())));
        if (!item->data.empty())
            std::memcpy(handle->data, item->data.data(), item->data.size());
        return MP4Success;
    }
    return MP4BadParameter;
}

MP4Err MP4UserDataAtom::getTypeCount(uint32_t* outCount)
{
    if (outCount == nullptr)
        return MP4BadParameter;
    *outCount = uint32_t(recordList.size());
    return MP4Success;
}

MP4Err MP4CreateUserDataAtom(MP4UserDataAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
