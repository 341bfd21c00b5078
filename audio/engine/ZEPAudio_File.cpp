#include "audio/engine/ZEPAudio_File.h"

#include "audio/engine/ZEPCanonicalFormats.h"
#include "platform/codecs/AudioFileReader.h"

#include <algorithm>
#include <cstring>

ZEPAudio_File::ZEPAudio_File() = default;
ZEPAudio_File::~ZEPAudio_File() = default;

OSStatus ZEPAudio_File::Open(const QString& path) { return AudioFileReader::open(path, &mReader); }

OSStatus ZEPAudio_File::GetFileFormat(AudioStreamBasicDescription* outFormat) const
{
    if (!mReader)
        return kAudioFileNotOpenError;
    *outFormat = mReader->dataFormat();
    return noErr;
}

SInt64 ZEPAudio_File::GetLengthFrames() const { return mReader ? mReader->packetTable().mNumberValidFrames : 0; }

OSStatus ZEPAudio_File::Seek(SInt64 frame) { return mReader ? mReader->seek(frame) : kAudioFileNotOpenError; }

SInt64 ZEPAudio_File::Tell() const { return mReader ? mReader->position() : 0; }

OSStatus ZEPAudio_File::Read(UInt32* ioFrames, AudioBufferList* list)
{
    if (!mReader)
        return kAudioFileNotOpenError;
    if (list->mNumberBuffers < 2)
        return kAudio_ParamError;
    *ioFrames = std::min(*ioFrames, std::min(list->mBuffers[0].mDataByteSize, list->mBuffers[1].mDataByteSize) / 4);
    const OSStatus status = mReader->read(ioFrames, static_cast<float*>(list->mBuffers[0].mData),
                                          static_cast<float*>(list->mBuffers[1].mData));
    list->mBuffers[0].mDataByteSize = list->mBuffers[1].mDataByteSize = *ioFrames * 4;
    return status;
}

OSStatus ZEPAudio_File::GetDescription(AudioStreamBasicDescription* outDescription)
{
    if (!mReader)
        return kAudioFileNotOpenError;
    ZEPCanonicalFloatASBD(outDescription, 2, true);
    outDescription->mSampleRate = mReader->dataFormat().mSampleRate;
    return noErr;
}

OSStatus ZEPAudio_File::GetMaxRequestFrames(UInt32* outFrames)
{
    if (!outFrames)
        return kAudio_ParamError;
    *outFrames = 0xFFFFFFFF;
    return noErr;
}

OSStatus ZEPAudio_File::Render(AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                               AudioBufferList* ioData)
{
    UInt32 read = frames;
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b)
        ioData->mBuffers[b].mDataByteSize = frames * 4;
    const OSStatus status = Read(&read, ioData);
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
        if (ioData->mBuffers[b].mData)
            std::memset(static_cast<float*>(ioData->mBuffers[b].mData) + read, 0, (frames - read) * 4);
        ioData->mBuffers[b].mDataByteSize = frames * 4;
    }
    return status;
}
