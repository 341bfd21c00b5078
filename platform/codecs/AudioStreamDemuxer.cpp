#include "platform/codecs/AudioStreamDemuxer.h"

#include <QFile>

namespace codecs {

namespace {

// Containers that keep linear PCM as one run of bytes from the first frame on.
bool storesFlatPCM(const QByteArray& demuxer)
{
    return demuxer == "wav" || demuxer == "w64" || demuxer == "aiff" || demuxer == "au" || demuxer == "caf";
}

} // namespace

OSStatus AudioStreamDemuxer::open(const QString& path, int audioTrack, int* audioTrackCount)
{
    nativePath = QFile::encodeName(path);
    OSStatus status = openContainer();
    if (status != noErr)
        return status;

    int audioStreams = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (audioStreams++ == audioTrack)
            mStreamIndex = int(i);
    }
    *audioTrackCount = audioStreams;
    if (mStreamIndex < 0)
        return kAudioFileUnsupportedDataFormatError;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == mStreamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    stream = format->streams[mStreamIndex];

    const AVCodecParameters* p = stream->codecpar;
    if (p->sample_rate < kMinimumSampleRate || p->sample_rate > kMaximumSampleRate || p->ch_layout.nb_channels <= 0 ||
        p->ch_layout.nb_channels > kMaximumChannels)
        return kAudioFileInvalidFileError;
    frameBase = AVRational{1, p->sample_rate};
    if ((status = openDecoder()) != noErr)
        return status;
    // A decoder that reads its own rate from the stream's set-up data must agree with the header.
    if (decoder->sample_rate > kMaximumSampleRate || decoder->ch_layout.nb_channels > kMaximumChannels)
        return kAudioFileInvalidFileError;
    chooseAddressing();
    // Frames of flat PCM are found by the stream's own frame size; a header whose block
    // alignment says otherwise would have the demuxer cut packets through frames.
    const AudioStreamBasicDescription description = descriptionForCodecParameters(p);
    if (addressing == PacketAddressing::FlatPCM && p->block_align > 0 &&
        UInt32(p->block_align) != description.mBytesPerPacket)
        return kAudioFileInvalidFileError;
    return noErr;
}

OSStatus AudioStreamDemuxer::openContainer()
{
    AVFormatContext* context = nullptr;
    int error = avformat_open_input(&context, nativePath.constData(), nullptr, nullptr);
    if (error < 0)
        return statusFromAVError(error);
    format.reset(context);
    error = avformat_find_stream_info(context, nullptr);
    return error < 0 ? statusFromAVError(error) : noErr;
}

OSStatus AudioStreamDemuxer::openDecoder()
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return kAudioFileUnsupportedDataFormatError;
    decoder.reset(avcodec_alloc_context3(codec));
    if (!decoder)
        return kAudio_MemFullError;
    int error = avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    if (error < 0)
        return statusFromAVError(error);
    decoder->pkt_timebase = frameBase;
    // The reader drops priming and remainder itself, by the file's own numbers.
    decoder->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    error = avcodec_open2(decoder.get(), codec, nullptr);
    if (error < 0)
        return error == AVERROR(ENOMEM) ? kAudio_MemFullError : kAudioFileUnsupportedDataFormatError;
    packet.reset(av_packet_alloc());
    frame.reset(av_frame_alloc());
    return (packet && frame) ? noErr : kAudio_MemFullError;
}

void AudioStreamDemuxer::chooseAddressing()
{
    const QByteArray demuxer = demuxerName();
    const AudioStreamBasicDescription description = descriptionForCodecParameters(stream->codecpar);
    const bool constantFraming = description.mBytesPerPacket > 0 && description.mFramesPerPacket > 0;
    const int indexEntries = avformat_index_get_entries_count(stream);
    if (constantFraming && storesFlatPCM(demuxer)) {
        addressing = PacketAddressing::FlatPCM;
    } else if (indexEntries > 0 && ((demuxer.contains("mov") && stream->nb_frames == indexEntries) ||
                                    (demuxer == "caf" && !constantFraming))) {
        // A movie's index lists every sample only when it is not fragmented and not chunked
        // linear PCM; then it has as many entries as the stream has samples.
        addressing = PacketAddressing::ContainerIndex;
    } else if (demuxer == "mp3" || demuxer == "aac" || demuxer == "flac") {
        addressing = PacketAddressing::PacketScan;
    } else {
        addressing = PacketAddressing::DecodedScan;
    }
}

int AudioStreamDemuxer::readPacket()
{
    if (held) {
        held = false;
        return 0;
    }
    for (;;) {
        const int error = av_read_frame(format.get(), packet.get());
        if (error < 0)
            return error;
        if (packet->stream_index == mStreamIndex)
            return 0;
        av_packet_unref(packet.get());
    }
}

OSStatus AudioStreamDemuxer::seekToByte(SInt64 position)
{
    held = false;
    av_packet_unref(packet.get());
    avcodec_flush_buffers(decoder.get());
    return av_seek_frame(format.get(), -1, position, AVSEEK_FLAG_BYTE) < 0 ? kAudioFilePositionError : noErr;
}

OSStatus AudioStreamDemuxer::seekToTimestamp(SInt64 timestamp)
{
    held = false;
    av_packet_unref(packet.get());
    avcodec_flush_buffers(decoder.get());
    return av_seek_frame(format.get(), mStreamIndex, timestamp, AVSEEK_FLAG_BACKWARD) < 0 ? kAudioFilePositionError
                                                                                          : noErr;
}

OSStatus AudioStreamDemuxer::reopen()
{
    held = false;
    av_packet_unref(packet.get());
    avcodec_flush_buffers(decoder.get());
    format.reset();
    stream = nullptr;
    const OSStatus status = openContainer();
    if (status != noErr)
        return status;
    if (unsigned(mStreamIndex) >= format->nb_streams)
        return kAudioFileInvalidFileError;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == mStreamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    stream = format->streams[mStreamIndex];
    return noErr;
}

SInt64 AudioStreamDemuxer::toFrames(SInt64 timestamp) const
{
    return av_rescale_q(timestamp, stream->time_base, frameBase);
}

SInt64 AudioStreamDemuxer::toTimestamp(SInt64 frames) const
{
    return av_rescale_q_rnd(frames, frameBase, stream->time_base, AV_ROUND_DOWN);
}

SInt64 AudioStreamDemuxer::fileSize() const
{
    return format && format->pb ? SInt64(avio_size(format->pb)) : -1;
}

QByteArray AudioStreamDemuxer::demuxerName() const { return QByteArray(format->iformat->name); }

} // namespace codecs
