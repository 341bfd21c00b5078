#pragma once
// How the codec layer sets up one of FFmpeg's muxers for a file type and a stream
// description: the output context, its single audio stream and the options the layer
// relies on (an edit list in every movie, the gapless tag placeholder of ADTS files).
// Private to platform/codecs; any thread.

#include "platform/codecs/FFmpegFormats.h"

#include <QByteArray>

namespace codecs {

bool isMPEG4Family(AudioFileTypeID fileType);

// A new output context for the type with one audio stream of the format, writing to url
// (null for a context whose I/O the caller provides). Null with *status set on failure.
AVFormatContext* newMuxer(AudioFileTypeID fileType, const AudioStreamBasicDescription& format, const char* url,
                          OSStatus* status);

// Gives the stream its magic cookie (FFmpeg's extradata).
OSStatus setStreamCookie(AVStream* stream, const QByteArray& cookie);

} // namespace codecs
