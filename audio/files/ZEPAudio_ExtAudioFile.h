#pragma once
// The open state of a ZEPAudioFile: the platform reader of the file (which decodes,
// drops priming and remainder and mixes to two channels), the file's and the extraction's
// stream descriptions, its packet table and channel layout, and the position of the next
// frame to deliver. Made zeroed by ZEPAudioFile::openFile(), filled by its open steps.

#include "audio/engine/CAAudioChannelLayout.h"
#include "platform/codecs/AudioCodecTypes.h"
#include "platform/codecs/AudioFileReader.h"

#include <memory>

struct ZEPAudio_ExtAudioFile {
    std::unique_ptr<AudioFileReader> file;
    UInt64 packetCount = 0; // packets of audio data in the file
    AudioFilePacketTableInfo packetTable;
    UInt32 maximumPacketSize = 0;
    AudioStreamBasicDescription fileFormat;
    AudioStreamBasicDescription clientFormat; // the extraction format
    SInt64 location = 0;                      // frame position of the next frame to deliver
    CAAudioChannelLayout channelLayout;

    const AudioStreamBasicDescription& getFileFormat() const { return fileFormat; }
    const AudioStreamBasicDescription& getClientFormat() const { return clientFormat; }
};
