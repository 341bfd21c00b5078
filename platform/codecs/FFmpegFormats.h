#pragma once
// The codec layer's map between the audio code's names and FFmpeg's: stream descriptions
// and codec IDs, file types and muxers, FFmpeg errors and status codes, plus owners for
// FFmpeg's objects. Private to platform/codecs; any thread.

#include "platform/codecs/AudioCodecTypes.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace codecs {

// Sets FFmpeg's log level once per process: errors only, the layer reports through its
// status codes.
void initializeLibraries();

// The status code for an FFmpeg error (AVERROR_*).
OSStatus statusFromAVError(int error);

// The FFmpeg codec that stores a description's data in a file: linear PCM by its sample
// layout (interleaved only), the compressed formats by their format ID. AV_CODEC_ID_NONE
// when there is none.
AVCodecID codecIDForDescription(const AudioStreamBasicDescription& description);

// The stream description of a stream's coded data, as the file's data format.
AudioStreamBasicDescription descriptionForCodecParameters(const AVCodecParameters* parameters);

// The frames in one packet of an Apple Lossless stream, from its magic cookie; 0 when the
// cookie does not say.
UInt32 appleLosslessFramesPerPacket(const UInt8* cookie, size_t size);

// The encoder this layer uses for a format (linear PCM is packed by the layer itself);
// null when this FFmpeg has none.
const AVCodec* encoderForFormat(AudioFormatID formatID);
// The muxer name for a file type; null for types this layer does not write.
const char* muxerNameForFileType(AudioFileTypeID fileType);

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

using InputFormatContext = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFreer>;

} // namespace codecs
