#include "platform/codecs/MuxerSetup.h"

#include "platform/codecs/GaplessInfo.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <cstring>

namespace codecs {

namespace {

// AIFC keeps linear PCM under a compression type of its own, which makes FFmpeg write an
// AIFC rather than an AIFF form.
UInt32 aifcCodecTag(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_PCM_S16BE: return MKTAG('t', 'w', 'o', 's');
    case AV_CODEC_ID_PCM_S24BE: return MKTAG('i', 'n', '2', '4');
    case AV_CODEC_ID_PCM_S32BE: return MKTAG('i', 'n', '3', '2');
    case AV_CODEC_ID_PCM_S16LE: return MKTAG('s', 'o', 'w', 't');
    case AV_CODEC_ID_PCM_F32BE: return MKTAG('f', 'l', '3', '2');
    case AV_CODEC_ID_PCM_F64BE: return MKTAG('f', 'l', '6', '4');
    default: return 0;
    }
}

} // namespace

bool isMPEG4Family(AudioFileTypeID type)
{
    return type == kAudioFileM4AType || type == kAudioFileM4BType || type == kAudioFileMPEG4Type ||
           type == kAudioFileQuickTimeMovieType;
}

AVFormatContext* newMuxer(AudioFileTypeID fileType, const AudioStreamBasicDescription& format, const char* url,
                          OSStatus* status)
{
    const char* muxerName = muxerNameForFileType(fileType);
    const AVOutputFormat* muxer = muxerName ? av_guess_format(muxerName, nullptr, nullptr) : nullptr;
    if (!muxer) {
        *status = kAudioFileUnsupportedFileTypeError;
        return nullptr;
    }
    const AVCodecID codec = codecIDForDescription(format);
    if (codec == AV_CODEC_ID_NONE || format.mSampleRate <= 0 || format.mChannelsPerFrame == 0) {
        *status = kAudioFileUnsupportedDataFormatError;
        return nullptr;
    }
    AVFormatContext* context = nullptr;
    const int error = avformat_alloc_output_context2(&context, muxer, nullptr, url);
    AVStream* stream = error < 0 ? nullptr : avformat_new_stream(context, nullptr);
    if (!stream) {
        avformat_free_context(context);
        *status = error < 0 ? statusFromAVError(error) : kAudio_MemFullError;
        return nullptr;
    }
    AVCodecParameters* p = stream->codecpar;
    p->codec_type = AVMEDIA_TYPE_AUDIO;
    p->codec_id = codec;
    p->sample_rate = int(format.mSampleRate);
    av_channel_layout_default(&p->ch_layout, int(format.mChannelsPerFrame));
    if (format.mFormatID == kAudioFormatLinearPCM) {
        p->bits_per_coded_sample = int(format.mBitsPerChannel);
        p->block_align = int(format.mBytesPerFrame);
        if (fileType == kAudioFileAIFCType)
            p->codec_tag = aifcCodecTag(codec);
    } else {
        p->frame_size = int(format.mFramesPerPacket);
        if (format.mBytesPerPacket)
            p->block_align = int(format.mBytesPerPacket);
        if (format.mFormatID == kAudioFormatAppleIMA4)
            p->bits_per_coded_sample = 4;
    }
    stream->time_base = AVRational{1, p->sample_rate};

    if (isMPEG4Family(fileType))
        av_opt_set_int(context->priv_data, "use_editlist", 1, 0);
    if (fileType == kAudioFileAAC_ADTSType) {
        // The gapless text is written now as a placeholder of its final length, and
        // filled in once the file is complete.
        av_opt_set_int(context->priv_data, "write_id3v2", 1, 0);
        av_dict_set(&context->metadata, "iTunSMPB", formatITunSMPB({}).constData(), 0);
    }
    *status = noErr;
    return context;
}

OSStatus setStreamCookie(AVStream* stream, const QByteArray& cookie)
{
    AVCodecParameters* p = stream->codecpar;
    av_freep(&p->extradata);
    p->extradata_size = 0;
    if (cookie.isEmpty())
        return noErr;
    p->extradata = static_cast<uint8_t*>(av_mallocz(size_t(cookie.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!p->extradata)
        return kAudio_MemFullError;
    std::memcpy(p->extradata, cookie.constData(), size_t(cookie.size()));
    p->extradata_size = int(cookie.size());
    return noErr;
}

} // namespace codecs
