#pragma once
// Plain audio types in place of the system audio headers: stream descriptions, buffer
// lists, time stamps, status codes and four-character codes. Field names follow the
// names the audio code uses everywhere; sizes are this platform's own.

#include <cstddef>
#include <cstdint>

using UInt8 = uint8_t;
using SInt8 = int8_t;
using UInt16 = uint16_t;
using SInt16 = int16_t;
using UInt32 = uint32_t;
using SInt32 = int32_t;
using UInt64 = uint64_t;
using SInt64 = int64_t;
using Float32 = float;
using Float64 = double;
using OSStatus = int32_t;
using AudioFormatID = UInt32;
using AudioFormatFlags = UInt32;
using AudioUnitRenderActionFlags = UInt32;

// The big-endian value of four characters: FourCC("lpcm") == 'lpcm'.
constexpr UInt32 FourCC(const char (&code)[5])
{
    return (UInt32(UInt8(code[0])) << 24) | (UInt32(UInt8(code[1])) << 16) |
           (UInt32(UInt8(code[2])) << 8) | UInt32(UInt8(code[3]));
}

constexpr OSStatus noErr = 0;

// Results of a pull (see audio/engine/ZEPAudioSource.h).
constexpr OSStatus kZEPAudioSourceEndOfData = 666;
constexpr OSStatus kZEPAudioSourceNoDataYet = 667;

// Status codes of the engine and the playback controller.
constexpr OSStatus kZEPNoMatrixMixerError = OSStatus(FourCC("!Mtx"));
constexpr OSStatus kZEPSourceLockError = OSStatus(FourCC("!LOC"));
constexpr OSStatus kZEPParameterListError = OSStatus(FourCC("!Prm"));
constexpr OSStatus kZEPUnitsFailedToLoadError = OSStatus(FourCC("!lod"));
constexpr OSStatus kZEPMissingKeyError = OSStatus(FourCC("!Key"));
constexpr OSStatus kZEPNotANumberError = OSStatus(FourCC("!Num"));
constexpr OSStatus kZEPMovieError = OSStatus(FourCC("!Mov"));
constexpr OSStatus kZEPParameterError = OSStatus(FourCC("!Par"));
constexpr OSStatus kZEPFileError = OSStatus(FourCC("!Fil"));
constexpr OSStatus kZEPLengthError = OSStatus(FourCC("!Len"));
constexpr OSStatus kZEPOutputNotRunningError = OSStatus(FourCC("!Run"));

// General status codes of the platform that the audio code passes on.
constexpr OSStatus kAudio_ParamError = -50;
constexpr OSStatus kAudio_MemFullError = -108;
constexpr OSStatus kAudioUnitErr_InvalidProperty = -10879;
constexpr OSStatus kAudioUnitErr_InvalidParameter = -10878;
constexpr OSStatus kAudioUnitErr_InvalidElement = -10877;
constexpr OSStatus kAudioUnitErr_NoConnection = -10876;
constexpr OSStatus kAudioUnitErr_FailedInitialization = -10875;
constexpr OSStatus kAudioUnitErr_TooManyFramesToProcess = -10874;
constexpr OSStatus kAudioUnitErr_FormatNotSupported = -10868;
constexpr OSStatus kAudioUnitErr_Uninitialized = -10867;
constexpr OSStatus kAudioUnitErr_InvalidScope = -10866;
constexpr OSStatus kAudioUnitErr_CannotDoInCurrentContext = -10863;
constexpr OSStatus kAudioUnitErr_InvalidPropertyValue = -10851;
constexpr OSStatus kAUGraphErr_NodeNotFound = -10860;
constexpr OSStatus kAUGraphErr_InvalidConnection = -10861;
constexpr OSStatus kAUGraphErr_OutputNodeErr = -10862;
constexpr OSStatus kAUGraphErr_InvalidAudioUnit = -10864;
constexpr OSStatus kRingBufferMemoryError = -7004;
constexpr OSStatus kAudioHardwareNotRunningError = OSStatus(FourCC("stop"));
constexpr OSStatus kAudioHardwareUnspecifiedError = OSStatus(FourCC("what"));
constexpr OSStatus kAudioHardwareBadDeviceError = OSStatus(FourCC("!dev"));
constexpr OSStatus kAudioHardwareIllegalOperationError = OSStatus(FourCC("nope"));
constexpr OSStatus kAudioDeviceUnsupportedFormatError = OSStatus(FourCC("!dat"));
// Reported by an output whose device ran short of audio (an underrun).
constexpr OSStatus kAudioDeviceProcessorOverloadError = OSStatus(FourCC("ovrl"));

// Audio formats and their flags.
constexpr AudioFormatID kAudioFormatLinearPCM = FourCC("lpcm");
constexpr AudioFormatID kAudioFormatAppleLossless = FourCC("alac");
constexpr AudioFormatID kAudioFormatMPEG4AAC = FourCC("aac ");
constexpr AudioFormatID kAudioFormatMPEGLayer3 = FourCC(".mp3");
constexpr AudioFormatID kAudioFormatAppleIMA4 = FourCC("ima4");
constexpr AudioFormatID kAudioFormatULaw = FourCC("ulaw");
constexpr AudioFormatID kAudioFormatALaw = FourCC("alaw");
constexpr AudioFormatID kAudioFormatAC3 = FourCC("ac-3");
constexpr AudioFormatID kAudioFormat60958AC3 = FourCC("cac3");

constexpr AudioFormatFlags kAudioFormatFlagIsFloat = 1u << 0;
constexpr AudioFormatFlags kAudioFormatFlagIsBigEndian = 1u << 1;
constexpr AudioFormatFlags kAudioFormatFlagIsSignedInteger = 1u << 2;
constexpr AudioFormatFlags kAudioFormatFlagIsPacked = 1u << 3;
constexpr AudioFormatFlags kAudioFormatFlagIsAlignedHigh = 1u << 4;
constexpr AudioFormatFlags kAudioFormatFlagIsNonInterleaved = 1u << 5;
constexpr AudioFormatFlags kAudioFormatFlagIsNonMixable = 1u << 6;
constexpr AudioFormatFlags kAudioFormatFlagsAreAllClear = 1u << 31;
constexpr AudioFormatFlags kLinearPCMFormatFlagsSampleFractionShift = 7;
constexpr AudioFormatFlags kLinearPCMFormatFlagsSampleFractionMask = 0x3Fu << 7;
constexpr AudioFormatFlags kAudioFormatFlagsNativeFloatPacked = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;

// Apple Lossless source bit depths, stored in the flags of an 'alac' description.
constexpr AudioFormatFlags kAppleLosslessFormatFlag_16BitSourceData = 1;
constexpr AudioFormatFlags kAppleLosslessFormatFlag_20BitSourceData = 2;
constexpr AudioFormatFlags kAppleLosslessFormatFlag_24BitSourceData = 3;
constexpr AudioFormatFlags kAppleLosslessFormatFlag_32BitSourceData = 4;

// Render flag set by whoever answers a pull with silence.
constexpr AudioUnitRenderActionFlags kAudioUnitRenderAction_OutputIsSilence = 1u << 4;

struct AudioStreamBasicDescription {
    Float64 mSampleRate = 0;
    AudioFormatID mFormatID = 0;
    AudioFormatFlags mFormatFlags = 0;
    UInt32 mBytesPerPacket = 0;
    UInt32 mFramesPerPacket = 0;
    UInt32 mBytesPerFrame = 0;
    UInt32 mChannelsPerFrame = 0;
    UInt32 mBitsPerChannel = 0;
    UInt32 mReserved = 0;
};

struct AudioBuffer {
    UInt32 mNumberChannels = 0;
    UInt32 mDataByteSize = 0;
    void* mData = nullptr;
};

// A count of buffers followed by that many buffers. Lists with more than one buffer are
// heap blocks of ZEPAudioBufferListByteSize(n) bytes (audio/engine/ZEPAudioBufferList.h).
struct AudioBufferList {
    UInt32 mNumberBuffers = 0;
    AudioBuffer mBuffers[1];
};

// A list header with room for N buffers on the stack.
template <UInt32 N>
struct StackAudioBufferList {
    UInt32 mNumberBuffers = N;
    AudioBuffer mBuffers[N];
    AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(this); }
};

struct SMPTETime {
    SInt16 mSubframes = 0;
    SInt16 mSubframeDivisor = 0;
    UInt32 mCounter = 0;
    UInt32 mType = 0;
    UInt32 mFlags = 0;
    SInt16 mHours = 0;
    SInt16 mMinutes = 0;
    SInt16 mSeconds = 0;
    SInt16 mFrames = 0;
};

constexpr UInt32 kAudioTimeStampSampleTimeValid = 1u << 0;
constexpr UInt32 kAudioTimeStampHostTimeValid = 1u << 1;
constexpr UInt32 kAudioTimeStampRateScalarValid = 1u << 2;

struct AudioTimeStamp {
    Float64 mSampleTime = 0;
    UInt64 mHostTime = 0;
    Float64 mRateScalar = 0;
    UInt64 mWordClockTime = 0;
    SMPTETime mSMPTETime;
    UInt32 mFlags = 0;
    UInt32 mReserved = 0;
};

struct AudioStreamPacketDescription {
    SInt64 mStartOffset = 0;
    UInt32 mVariableFramesInPacket = 0;
    UInt32 mDataByteSize = 0;
};

// Channel layouts.
using AudioChannelLayoutTag = UInt32;
using AudioChannelLabel = UInt32;
constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_UseChannelDescriptions = 0;
constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_UseChannelBitmap = 1u << 16;
constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Mono = (100u << 16) | 1;
constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Stereo = (101u << 16) | 2;
constexpr AudioChannelLabel kAudioChannelLabel_Unknown = 0xFFFFFFFF;

struct AudioChannelDescription {
    AudioChannelLabel mChannelLabel = 0;
    UInt32 mChannelFlags = 0;
    Float32 mCoordinates[3] = {0, 0, 0};
};

// A tag, a bitmap and a variable number of channel descriptions (at least the one here).
struct AudioChannelLayout {
    AudioChannelLayoutTag mChannelLayoutTag = 0;
    UInt32 mChannelBitmap = 0;
    UInt32 mNumberChannelDescriptions = 0;
    AudioChannelDescription mChannelDescriptions[1];
};

// Byte size of a channel layout with n descriptions.
constexpr size_t AudioChannelLayoutByteSize(UInt32 n)
{
    return offsetof(AudioChannelLayout, mChannelDescriptions) + sizeof(AudioChannelDescription) * n;
}
