#pragma once
// Types and codes of the codec layer, in place of the audio toolbox's file, converter and
// format headers: file type codes, packet tables, prime information, value ranges, the
// property codes the audio code names, and the status codes this layer returns.

#include "platform/CoreAudioTypes.h"

using AudioFileTypeID = UInt32;
using AudioFilePropertyID = UInt32;
using AudioConverterPropertyID = UInt32;

// File types, by the four-character codes stored settings use.
constexpr AudioFileTypeID kAudioFileAIFFType = FourCC("AIFF");
constexpr AudioFileTypeID kAudioFileAIFCType = FourCC("AIFC");
constexpr AudioFileTypeID kAudioFileWAVEType = FourCC("WAVE");
constexpr AudioFileTypeID kAudioFileNextType = FourCC("NeXT");
constexpr AudioFileTypeID kAudioFileSoundDesigner2Type = FourCC("Sd2f");
constexpr AudioFileTypeID kAudioFileCAFType = FourCC("caff");
constexpr AudioFileTypeID kAudioFileM4AType = FourCC("m4af");
constexpr AudioFileTypeID kAudioFileM4BType = FourCC("m4bf");
constexpr AudioFileTypeID kAudioFileMPEG4Type = FourCC("mp4f");
constexpr AudioFileTypeID kAudioFileAAC_ADTSType = FourCC("adts");
constexpr AudioFileTypeID kAudioFileMP3Type = FourCC("MPG3");
constexpr AudioFileTypeID kAudioFileQuickTimeMovieType = FourCC("MooV");
constexpr AudioFileTypeID kAudioFileFLACType = FourCC("flac");

// Formats beyond those of platform/CoreAudioTypes.h that the catalogue names.
constexpr AudioFormatID kAudioFormatQDesign = FourCC("QDMC");
constexpr AudioFormatID kAudioFormatQDesign2 = FourCC("QDM2");
constexpr AudioFormatID kAudioFormatQUALCOMM = FourCC("Qclp");
constexpr AudioFormatID kAudioFormatAMR = FourCC("samr");
constexpr AudioFormatID kAudioFormatMPEG4AAC_HE = FourCC("aach");
constexpr AudioFormatID kAudioFormatMPEG4AAC_HE_V2 = FourCC("aacp");
constexpr AudioFormatID kAudioFormatFLAC = FourCC("flac");
// The data format of a protected (encrypted) stream: such streams are refused.
constexpr AudioFormatID kAudioFormatProtected = FourCC("drms");

// Valid frames, and the frames to drop at the start and the end of the decoded audio.
struct AudioFilePacketTableInfo {
    SInt64 mNumberValidFrames = 0;
    SInt32 mPrimingFrames = 0;
    SInt32 mRemainderFrames = 0;
};

// Frames an encoder adds before the first frame of the input and after the last one.
struct AudioConverterPrimeInfo {
    UInt32 leadingFrames = 0;
    UInt32 trailingFrames = 0;
};

struct AudioValueRange {
    Float64 mMinimum = 0;
    Float64 mMaximum = 0;
};

// A frame position and the packet that holds it.
struct AudioFramePacketTranslation {
    SInt64 mFrame = 0;
    SInt64 mPacket = 0;
    UInt32 mFrameOffsetInPacket = 0;
};

// Properties of an open audio file (AudioFileReader::getProperty).
constexpr AudioFilePropertyID kAudioFilePropertyFileFormat = FourCC("ffmt");
constexpr AudioFilePropertyID kAudioFilePropertyDataFormat = FourCC("dfmt");
constexpr AudioFilePropertyID kAudioFilePropertyMagicCookieData = FourCC("mgic");
constexpr AudioFilePropertyID kAudioFilePropertyAudioDataByteCount = FourCC("bcnt");
constexpr AudioFilePropertyID kAudioFilePropertyAudioDataPacketCount = FourCC("pcnt");
constexpr AudioFilePropertyID kAudioFilePropertyMaximumPacketSize = FourCC("psze");
constexpr AudioFilePropertyID kAudioFilePropertyPacketSizeUpperBound = FourCC("pkub");
constexpr AudioFilePropertyID kAudioFilePropertyPacketTableInfo = FourCC("pnfo");
constexpr AudioFilePropertyID kAudioFilePropertyChannelLayout = FourCC("cmap");
constexpr AudioFilePropertyID kAudioFilePropertyBitRate = FourCC("brat");

// Properties of a converter (AudioConverter::getProperty).
constexpr AudioConverterPropertyID kAudioConverterCurrentInputStreamDescription = FourCC("acid");
constexpr AudioConverterPropertyID kAudioConverterCurrentOutputStreamDescription = FourCC("acod");
constexpr AudioConverterPropertyID kAudioConverterEncodeBitRate = FourCC("brat");
constexpr AudioConverterPropertyID kAudioConverterCodecQuality = FourCC("cdqu");
constexpr AudioConverterPropertyID kAudioConverterSampleRateConverterQuality = FourCC("srcq");
constexpr AudioConverterPropertyID kAudioConverterPrimeInfo = FourCC("prim");
constexpr AudioConverterPropertyID kAudioConverterPropertyMinimumInputBufferSize = FourCC("cibs");
constexpr AudioConverterPropertyID kAudioConverterPropertyMinimumOutputBufferSize = FourCC("mobs");
constexpr AudioConverterPropertyID kAudioConverterPropertyMaximumInputPacketSize = FourCC("xips");
constexpr AudioConverterPropertyID kAudioConverterPropertyMaximumOutputPacketSize = FourCC("xops");
constexpr AudioConverterPropertyID kAudioConverterCompressionMagicCookie = FourCC("cmgc");
constexpr AudioConverterPropertyID kAudioConverterDecompressionMagicCookie = FourCC("dmgc");
constexpr AudioConverterPropertyID kAudioConverterChannelMap = FourCC("chmp");
constexpr AudioConverterPropertyID kAudioConverterApplicableEncodeSampleRates = FourCC("vesr");
constexpr AudioConverterPropertyID kAudioConverterAvailableEncodeBitRates = FourCC("vebr");
constexpr AudioConverterPropertyID kAudioConverterApplicableEncodeBitRates = FourCC("aebr");

// Codec quality and sample-rate converter quality values.
constexpr UInt32 kAudioConverterQuality_Max = 0x7F;
constexpr UInt32 kAudioConverterQuality_High = 0x60;
constexpr UInt32 kAudioConverterQuality_Medium = 0x40;
constexpr UInt32 kAudioConverterQuality_Low = 0x20;
constexpr UInt32 kAudioConverterQuality_Min = 0;

// Channel counts answered by the catalogue: any count.
constexpr UInt32 kAudioAnyChannelCount = 0xFFFFFFFF;

// Status codes of the audio file services.
constexpr OSStatus kAudioFileUnspecifiedError = OSStatus(FourCC("wht?"));
constexpr OSStatus kAudioFileUnsupportedFileTypeError = OSStatus(FourCC("typ?"));
constexpr OSStatus kAudioFileUnsupportedDataFormatError = OSStatus(FourCC("fmt?"));
constexpr OSStatus kAudioFileUnsupportedPropertyError = OSStatus(FourCC("pty?"));
constexpr OSStatus kAudioFileBadPropertySizeError = OSStatus(FourCC("!siz"));
constexpr OSStatus kAudioFilePermissionsError = OSStatus(FourCC("prm?"));
constexpr OSStatus kAudioFileInvalidFileError = OSStatus(FourCC("dta?"));
constexpr OSStatus kAudioFileInvalidPacketOffsetError = OSStatus(FourCC("pck?"));
constexpr OSStatus kAudioFileOperationNotSupportedError = 0x6F703F3F; // 'op??'
constexpr OSStatus kAudioFileNotOpenError = -38;
constexpr OSStatus kAudioFileEndOfFileError = -39;
constexpr OSStatus kAudioFilePositionError = -40;
constexpr OSStatus kAudioFileFileNotFoundError = -43;
// The file holds protected (encrypted) media.
constexpr OSStatus kAudioFileProtectedMediaError = OSStatus(FourCC("drms"));
// An open given up before it finished (the file's owner went away).
constexpr OSStatus kAudioFileCancelledError = -128;

// Status codes of converters and codecs.
constexpr OSStatus kAudioConverterErr_FormatNotSupported = OSStatus(FourCC("fmt?"));
constexpr OSStatus kAudioConverterErr_OperationNotSupported = 0x6F703F3F; // 'op??'
constexpr OSStatus kAudioConverterErr_PropertyNotSupported = OSStatus(FourCC("prop"));
constexpr OSStatus kAudioConverterErr_InvalidInputSize = OSStatus(FourCC("insz"));
constexpr OSStatus kAudioConverterErr_InvalidOutputSize = OSStatus(FourCC("otsz"));
constexpr OSStatus kAudioConverterErr_UnspecifiedError = OSStatus(FourCC("what"));
constexpr OSStatus kAudioConverterErr_BadPropertySizeError = OSStatus(FourCC("!siz"));
constexpr OSStatus kAudioConverterErr_InputSampleRateOutOfRange = OSStatus(FourCC("!isr"));
constexpr OSStatus kAudioConverterErr_OutputSampleRateOutOfRange = OSStatus(FourCC("!osr"));
// A setting the codec cannot take (a bit rate it does not offer).
constexpr OSStatus kAudioCodecUnsupportedFormatError = OSStatus(FourCC("!dat"));

// Status codes of the format catalogue.
constexpr OSStatus kAudioFormatUnspecifiedError = OSStatus(FourCC("what"));
constexpr OSStatus kAudioFormatUnsupportedPropertyError = OSStatus(FourCC("prop"));
constexpr OSStatus kAudioFormatUnsupportedDataFormatError = OSStatus(FourCC("fmt?"));
constexpr OSStatus kAudioFormatUnknownFormatError = OSStatus(FourCC("!fmt"));
