#include "audio/engine/ZEPRealtimeAudioCopy.h"

#include "audio/engine/ZEPAudioBufferList.h"

#include <algorithm>
#include <cstring>

ZEPRealtimeAudioCopy::ZEPRealtimeAudioCopy(UInt32 buffers, UInt32 bytesPerBuffer) : mBytesPerBuffer(bytesPerBuffer)
{
    for (AudioBufferList*& list : mLists)
        list = ZEPCreateAudioBufferList(buffers, bytesPerBuffer);
}

ZEPRealtimeAudioCopy::~ZEPRealtimeAudioCopy()
{
    for (AudioBufferList* list : mLists)
        ZEPDisposeAudioBufferList(list);
}

void ZEPRealtimeAudioCopy::write(const AudioBufferList* list)
{
    AudioBufferList* copy = mLists[mWriting];
    if (!copy || !list)
        return;
    const UInt32 buffers = std::min(list->mNumberBuffers, copy->mNumberBuffers);
    for (UInt32 i = 0; i < buffers; ++i) {
        const AudioBuffer& from = list->mBuffers[i];
        AudioBuffer& to = copy->mBuffers[i];
        const UInt32 bytes = std::min(from.mDataByteSize, mBytesPerBuffer);
        if (from.mData && to.mData)
            std::memcpy(to.mData, from.mData, bytes);
        to.mDataByteSize = bytes;
    }
    mWriting = mMiddle.exchange(mWriting | kFresh, std::memory_order_acq_rel) & ~kFresh;
}

const AudioBufferList* ZEPRealtimeAudioCopy::latest()
{
    if (mMiddle.load(std::memory_order_relaxed) & kFresh)
        mReading = mMiddle.exchange(mReading, std::memory_order_acq_rel) & ~kFresh;
    return mLists[mReading];
}
