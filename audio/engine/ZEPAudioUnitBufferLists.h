#pragma once
// The buffer-list makers under the names the unit utilities use. They make and free the
// same lists as ZEPAudioBufferList.h (one channel per buffer, page-aligned zeroed blocks),
// so a list from either family may be freed by the other. Never on a render thread.

#include "audio/engine/ZEPAudioBufferList.h"

// n buffers of bytes each; a buffer whose block cannot be made stays null with size 0.
inline AudioBufferList* ZEPAudioBufferListAlloc(UInt32 numberBuffers, UInt32 bytes)
{
    return ZEPCreateAudioBufferList(numberBuffers, bytes);
}
inline void ZEPAudioBufferListFree(AudioBufferList* list) { ZEPDisposeAudioBufferList(list); }

// n buffers of one channel, each a zeroed block of bytes.
inline AudioBufferList* ZEPNewAudioBufferList(UInt32 numberBuffers, UInt32 bytes)
{
    return ZEPCreateAudioBufferList(numberBuffers, bytes);
}
inline void ZEPDeleteAudioBufferList(AudioBufferList* list) { ZEPDisposeAudioBufferList(list); }

// A zeroed header for n buffers without data.
inline AudioBufferList* ZEPNewEmptyAudioBufferList(UInt32 numberBuffers)
{
    return ZEPCreateEmptyAudioBufferList(numberBuffers);
}

// Points buffer 0 of *list at data with bytes, making a one-buffer header (free it with
// ZEPFreeEmptyAudioBufferList) when *list is null.
inline OSStatus ZEPSetAudioBufferListData(void* data, UInt32 bytes, AudioBufferList** list)
{
    if (!list)
        return kAudio_ParamError;
    if (!*list) {
        *list = ZEPCreateEmptyAudioBufferList(1);
        if (!*list)
            return kAudio_MemFullError;
        (*list)->mBuffers[0].mNumberChannels = 1;
    }
    (*list)->mBuffers[0].mData = data;
    (*list)->mBuffers[0].mDataByteSize = bytes;
    return noErr;
}
