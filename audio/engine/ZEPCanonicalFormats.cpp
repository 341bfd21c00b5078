#include "audio/engine/ZEPCanonicalFormats.h"

void ZEPCanonicalFloatASBD(AudioStreamBasicDescription* description, UInt32 channels, bool nonInterleaved)
{
    *description = AudioStreamBasicDescription{};
    description->mSampleRate = kZEPPlaybackSampleRate;
    description->mFormatID = kAudioFormatLinearPCM;
    description->mChannelsPerFrame = channels;
    description->mBitsPerChannel = 32;
    description->mFramesPerPacket = 1;
    if (nonInterleaved) {
        description->mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
        description->mBytesPerPacket = description->mBytesPerFrame = 4;
    } else {
        description->mFormatFlags = kAudioFormatFlagsNativeFloatPacked;
        description->mBytesPerPacket = description->mBytesPerFrame = 4 * channels;
    }
}

AudioStreamBasicDescription ZEPPlaybackFormat()
{
    AudioStreamBasicDescription format;
    ZEPCanonicalFloatASBD(&format, kZEPPlaybackChannels, true);
    return format;
}
