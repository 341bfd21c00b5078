#pragma once
// User data: items of any four-character type kept in a 'udta' atom (the movie's or a track's,
// from MP4GetMovieUserData and MP4GetTrackUserData, or a new one). Each item is a copy of the
// bytes of the handle it was added from; items of one type keep their order. An absent
// argument is -2. Items read from a file are the atom's children and are not listed here.

#include "isomedia/MP4MovieAPI.h"

// A new, empty 'udta' of the caller's own (freed with its destroy()).
MP4Err MP4NewUserData(MP4UserData* outUserData);
// outIndex (may be absent): the new item's index among the items of its type, from 1.
MP4Err MP4AddUserData(MP4UserData userData, MP4Handle data, uint32_t userDataType, uint32_t* outIndex);
MP4Err MP4GetUserDataEntryCount(MP4UserData userData, uint32_t userDataType, uint32_t* outCount);
// The type of the index-th type added (from 1).
MP4Err MP4GetIndUserDataType(MP4UserData userData, uint32_t typeIndex, uint32_t* outType);
MP4Err MP4GetUserDataTypeCount(MP4UserData userData, uint32_t* outCount);
// Copies the item's bytes into the handle; -2 for a type never added or an index of 0 or above
// the type's count.
MP4Err MP4GetUserDataItem(MP4UserData userData, MP4Handle data, uint32_t userDataType, uint32_t itemIndex);
