#pragma once
// What this machine can write, in place of the audio toolbox's format and file-type
// queries: the writable file types with their names, extensions and formats, the stream
// descriptions each type holds, the formats there is an encoder for, and per format the
// encode sample rates, bit rates and channel counts, its name, whether its packets vary in
// size, and the completion of a partly filled stream description.
//
// The table is built once, on first use, from the file types and formats this layer knows,
// keeping only what the linked FFmpeg really has a muxer and an encoder for. Types and
// formats it can never write (Sound Designer II, HE-AAC, AMR, QCELP, QDesign) are not in it.
// Thread-safe: built under a once-only guard, then read only.

#include "platform/codecs/AudioCodecTypes.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace AudioFormatCatalog {

// The standard writable types, in catalogue order ('afwf'). MP3 and QuickTime movies are
// written too (canWriteFileType) but, as types of their own writers, are not in this list.
const std::vector<AudioFileTypeID>& writableFileTypes();
// Whether a muxer for the type exists here.
bool canWriteFileType(AudioFileTypeID fileType);

// A type's display name ('ftnm'); kAudioFileUnsupportedFileTypeError for unknown types.
OSStatus fileTypeName(AudioFileTypeID fileType, QString* name);
// A type's file name extensions, the preferred first ('fext').
OSStatus extensionsForFileType(AudioFileTypeID fileType, QStringList* extensions);
// The formats a type holds ('fmid'), written or not.
OSStatus formatIDsForFileType(AudioFileTypeID fileType, std::vector<AudioFormatID>* formats);
// The stream descriptions a type holds for a format ('sdid'): sample rate and channels 0,
// the rest filled. kAudioFileUnsupportedDataFormatError when the type does not hold it.
OSStatus availableStreamDescriptions(AudioFileTypeID fileType, AudioFormatID formatID,
                                     std::vector<AudioStreamBasicDescription>* descriptions);

// The formats there is an encoder for ('acof'), in catalogue order.
const std::vector<AudioFormatID>& encodeFormatIDs();
// An encoder of a format ('aven'): the component class description.
struct EncoderDescription {
    UInt32 type = FourCC("aenc");
    UInt32 subtype = 0;
    UInt32 manufacturer = FourCC("ffmp");
};
OSStatus encodersForFormat(AudioFormatID formatID, std::vector<EncoderDescription>* encoders);

// Display name of a format ('fnam').
OSStatus formatName(const AudioStreamBasicDescription& description, QString* name);
// Encode sample rates ('aesr'): single rates as ranges of one value, one range for a span,
// or the range 0 to 0 for any rate. kAudioFormatUnsupportedPropertyError without encoder.
OSStatus availableEncodeSampleRates(AudioFormatID formatID, std::vector<AudioValueRange>* rates);
// Encode bit rates ('aebr'), one range per rate; kAudioFormatUnsupportedPropertyError for
// formats without a bit rate (linear PCM, Apple Lossless, IMA 4:1).
OSStatus availableEncodeBitRates(AudioFormatID formatID, std::vector<AudioValueRange>* rates);
// The bit rates an encoder takes at a sample rate and channel count.
OSStatus applicableEncodeBitRates(AudioFormatID formatID, Float64 sampleRate, UInt32 channels,
                                  std::vector<AudioValueRange>* rates);
// Encode channel counts ('avnc'); kAudioAnyChannelCount for any.
OSStatus availableEncodeNumberChannels(const AudioStreamBasicDescription& description, std::vector<UInt32>* counts);

// Completes a description ('fmti'): fills the framing fields a format fixes (frames and
// bytes per packet, bytes per frame, bits) from those given. Sample rate and channel count
// stay as given (0 stays 0). kAudioFormatUnsupportedDataFormatError when the format is
// unknown or a linear PCM description lacks its bits or channels.
OSStatus completeDescription(AudioStreamBasicDescription* description);
// Whether packets of the format vary in size ('fvbr') or need descriptions ('fexf').
OSStatus isVariableBitRate(const AudioStreamBasicDescription& description, bool* variable);
OSStatus isExternallyFramed(const AudioStreamBasicDescription& description, bool* framed);

} // namespace AudioFormatCatalog
