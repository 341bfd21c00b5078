#include "isomedia/MP4UserDataAPI.h"

#include "isomedia/MP4MovieAtoms.h"

MP4Err MP4NewUserData(MP4UserData* outUserData)
{
    return MP4CreateUserDataAtom(outUserData);
}

MP4Err MP4AddUserData(MP4UserData userData, MP4Handle data, uint32_t userDataType, uint32_t* outIndex)
{
    if (userData == nullptr || data == nullptr)
        return MP4BadParameter;
    return userData->addUserData(data, userDataType, outIndex);
}

MP4Err MP4GetUserDataEntryCount(MP4UserData userData, uint32_t userDataType, uint32_t* outCount)
{
    if (userData == nullptr)
        return MP4BadParameter;
    return userData->getEntryCount(userDataType, outCount);
}

MP4Err MP4GetIndUserDataType(MP4UserData userData, uint32_t typeIndex, uint32_t* outType)
{
    if (userData == nullptr)
        return MP4BadParameter;
    return userData->getIndType(typeIndex, outType);
}

MP4Err MP4GetUserDataTypeCount(MP4UserData userData, uint32_t* outCount)
{
    if (userData == nullptr)
        return MP4BadParameter;
    return userData->getTypeCount(outCount);
}

MP4Err MP4GetUserDataItem(MP4UserData userData, MP4Handle data, uint32_t userDataType, uint32_t itemIndex)
{
    if (userData == nullptr || data == nullptr)
        return MP4BadParameter;
    return userData->getItem(data, userDataType, itemIndex);
}
