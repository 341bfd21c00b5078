#include "platform/codecs/AudioFileReader.h"

#include "platform/codecs/FFmpegFormats.h"
#include "platform/codecs/FrameSamples.h"
#include "platform/codecs/GaplessInfo.h"
#include "platform/codecs/SampleConversion.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <QFile>

#include <algorithm>
#include <cstring>

struct AudioFileReader::Demuxer {
    codecs::InputFormatContext format;
    AVStream* stream = nullptr;
    codecs::CodecContext decoder;
    codecs::Packet packet;
    codecs::Frame frame;
    AVRational frameBase{1, 1};
    // Raw streams (ADTS, MP3) are repositioned by byte offset, with the packets listed at
    // open; every other container by its timestamps.
    bool byteSeeking = false;
    bool constantFraming = false;
    bool isProtected = false;
    SInt64 originFrames = 0; // timestamp of the first packet, in frames
    SInt64 firstPacketPosition = -1;
    SInt64 startSkip = 0;
    SInt64 endDiscard = 0;
    SInt64 lastPacketEnd = -1; // where the container says the last packet ends, in frames
    struct Entry {
        SInt64 position;
        SInt64 firstFrame;
        SInt64 frames;
    };
    std::vector<Entry> entries;

    SInt64 toFrames(SInt64 timestamp) const { return av_rescale_q(timestamp, stream->time_base, frameBase); }
    SInt64 toTimestamp(SInt64 frames) const
    {
        return av_rescale_q_rnd(frames, frameBase, stream->time_base, AV_ROUND_DOWN);
    }
};

namespace {

AudioFileTypeID fileTypeOf(const AVFormatContext* context, const QString& path)
{
    const QByteArray name(context->iformat->name);
    if (name.contains("mov")) {
        const AVDictionaryEntry* brand = av_dict_get(context->metadata, "major_brand", nullptr, 0);
        const QByteArray major = brand ? QByteArray(brand->value) : QByteArray();
        if (major.startsWith("M4A"))
            return kAudioFileM4AType;
        if (major.startsWith("M4B"))
            return kAudioFileM4BType;
        if (major.startsWith("qt"))
            return kAudioFileQuickTimeMovieType;
        return kAudioFileMPEG4Type;
    }
    if (name == "aiff") {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.read(12).mid(8, 4) == "AIFC")
            return kAudioFileAIFCType;
        return kAudioFileAIFFType;
    }
    if (name == "wav")
        return kAudioFileWAVEType;
    if (name == "au")
        return kAudioFileNextType;
    if (name == "caf")
        return kAudioFileCAFType;
    if (name == "aac")
        return kAudioFileAAC_ADTSType;
    if (name == "mp3")
        return kAudioFileMP3Type;
    if (name == "flac")
        return kAudioFileFLACType;
    return 0;
}

// How far before a target the decoder has to start for its output there to be settled:
// AAC needs the previous frame's overlap, MP3 also its bit reservoir and filter bank.
UInt32 prerollFrames(const AVCodecParameters* p)
{
    switch (p->codec_id) {
    case AV_CODEC_ID_AAC:
        return 2 * 1024;
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP1:
        return 8 * 1152;
    case AV_CODEC_ID_ALAC:
    case AV_CODEC_ID_FLAC:
    case AV_CODEC_ID_ADPCM_IMA_QT:
        return 0;
    default:
        if (codecs::descriptionForCodecParameters(p).mFormatID == kAudioFormatLinearPCM)
            return 0;
        return p->seek_preroll > 0 ? UInt32(p->seek_preroll) : 4096;
    }
}

QByteArray channelLayoutOf(const AVChannelLayout& layout)
{
    const int channels = layout.nb_channels;
    const int descriptions = (channels <= 2 || layout.order == AV_CHANNEL_ORDER_NATIVE) ? 0 : channels;
    QByteArray bytes(int(AudioChannelLayoutByteSize(UInt32(std::max(descriptions, 1)))), '\0');
    auto* l = reinterpret_cast<AudioChannelLayout*>(bytes.data());
    if (channels == 1) {
        l->mChannelLayoutTag = kAudioChannelLayoutTag_Mono;
    } else if (channels == 2) {
        l->mChannelLayoutTag = kAudioChannelLayoutTag_Stereo;
    } else if (layout.order == AV_CHANNEL_ORDER_NATIVE) {
        // The first eighteen channel bits name the same speakers on both sides.
        l->mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelBitmap;
        l->mChannelBitmap = UInt32(layout.u.mask & 0x3FFFF);
    } else {
        l->mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelDescriptions;
        l->mNumberChannelDescriptions = UInt32(channels);
        for (int i = 0; i < channels; ++i)
            l->mChannelDescriptions[i].mChannelLabel = kAudioChannelLabel_Unknown;
    }
    if (descriptions == 0)
        bytes.resize(int(AudioChannelLayoutByteSize(0)));
    return bytes;
}

void copyTags(const AVDictionary* dictionary, QVariantMap* info)
{
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)))
        info->insert(QString::fromUtf8(entry->key), QString::fromUtf8(entry->value));
}

bool hasEncryptionInfo(const AVPacket* packet)
{
    size_t size = 0;
    return av_packet_get_side_data(packet, AV_PKT_DATA_ENCRYPTION_INFO, &size) != nullptr;
}

SInt64 startSkipOf(const AVPacket* packet)
{
    size_t size = 0;
    const uint8_t* data = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    return (data && size >= 10) ? SInt64(AV_RL32(data)) : 0;
}

SInt64 endDiscardOf(const AVPacket* packet)
{
    size_t size = 0;
    const uint8_t* data = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    return (data && size >= 10) ? SInt64(AV_RL32(data + 4)) : 0;
}

} // namespace

AudioFileReader::AudioFileReader() : mDemuxer(std::make_unique<Demuxer>()) {}

AudioFileReader::~AudioFileReader() = default;

OSStatus AudioFileReader::open(const QString& path, std::unique_ptr<AudioFileReader>* reader, int audioTrack)
{
    codecs::initializeLibraries();
    reader->reset();
    std::unique_ptr<AudioFileReader> opened(new AudioFileReader);
    OSStatus status = opened->openStream(path, audioTrack);
    if (status == noErr)
        status = opened->countPackets();
    if (status == noErr && opened->mDemuxer->isProtected)
        status = kAudioFileProtectedMediaError;
    if (status == noErr)
        status = opened->determineGaplessInformation(path);
    if (status == noErr)
        status = opened->seek(0);
    if (status == noErr)
        *reader = std::move(opened);
    return status;
}

OSStatus AudioFileReader::openStream(const QString& path, int audioTrack)
{
    Demuxer& d = *mDemuxer;
    AVFormatContext* context = nullptr;
    const QByteArray nativePath = QFile::encodeName(path);
    int error = avformat_open_input(&context, nativePath.constData(), nullptr, nullptr);
    if (error < 0)
        return codecs::statusFromAVError(error);
    d.format.reset(context);
    error = avformat_find_stream_info(context, nullptr);
    if (error < 0)
        return codecs::statusFromAVError(error);

    for (unsigned i = 0; i < context->nb_streams; ++i) {
        AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            stream->discard = AVDISCARD_ALL;
            continue;
        }
        if (mAudioTrackCount++ == audioTrack)
            d.stream = stream;
        else
            stream->discard = AVDISCARD_ALL;
    }
    if (!d.stream)
        return kAudioFileUnsupportedDataFormatError;
    const AVCodecParameters* p = d.stream->codecpar;
    if (p->sample_rate <= 0 || p->ch_layout.nb_channels <= 0)
        return kAudioFileInvalidFileError;
    if (p->codec_tag == MKTAG('d', 'r', 'm', 's') || p->codec_tag == MKTAG('e', 'n', 'c', 'a'))
        d.isProtected = true;
    d.frameBase = AVRational{1, p->sample_rate};

    const AVCodec* codec = avcodec_find_decoder(p->codec_id);
    if (!codec)
        return kAudioFileUnsupportedDataFormatError;
    d.decoder.reset(avcodec_alloc_context3(codec));
    if (!d.decoder)
        return kAudio_MemFullError;
    error = avcodec_parameters_to_context(d.decoder.get(), p);
    if (error < 0)
        return codecs::statusFromAVError(error);
    d.decoder->pkt_timebase = d.frameBase;
    // The reader drops priming and remainder itself, by the file's own numbers.
    d.decoder->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    error = avcodec_open2(d.decoder.get(), codec, nullptr);
    if (error < 0)
        return error == AVERROR(ENOMEM) ? kAudio_MemFullError : kAudioFileUnsupportedDataFormatError;
    d.packet.reset(av_packet_alloc());
    d.frame.reset(av_frame_alloc());
    if (!d.packet || !d.frame)
        return kAudio_MemFullError;

    mFileType = fileTypeOf(context, path);
    mDataFormat = codecs::descriptionForCodecParameters(p);
    mBitRate = UInt32(std::max<int64_t>(0, p->bit_rate > 0 ? p->bit_rate : context->bit_rate));
    mChannelLayout = channelLayoutOf(p->ch_layout);
    copyTags(context->metadata, &mInfo);
    copyTags(d.stream->metadata, &mInfo);
    mPrerollFrames = prerollFrames(p);
    const QByteArray demuxerName(context->iformat->name);
    d.byteSeeking = demuxerName == "aac" || demuxerName == "mp3";
    d.constantFraming = mDataFormat.mBytesPerPacket > 0 && mDataFormat.mFramesPerPacket > 0;
    return noErr;
}

OSStatus AudioFileReader::countPackets()
{
    Demuxer& d = *mDemuxer;
    AVFormatContext* context = d.format.get();
    AVPacket* packet = d.packet.get();
    const int streamIndex = d.stream->index;
    const UInt32 frameSize = d.stream->codecpar->frame_size > 0 ? UInt32(d.stream->codecpar->frame_size) : 0;
    const int indexEntries = avformat_index_get_entries_count(d.stream);

    // The first packet: where the data starts, its timestamp, and what it says about skipping.
    auto readFirstPacket = [&]() -> OSStatus {
        for (;;) {
            const int error = av_read_frame(context, packet);
            if (error < 0)
                return error == AVERROR_EOF ? kAudioFileInvalidFileError : codecs::statusFromAVError(error);
            if (packet->stream_index == streamIndex)
                break;
            av_packet_unref(packet);
        }
        d.firstPacketPosition = packet->pos;
        const SInt64 pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        d.originFrames = pts != AV_NOPTS_VALUE ? d.toFrames(pts) : 0;
        d.startSkip = startSkipOf(packet);
        d.isProtected = d.isProtected || hasEncryptionInfo(packet);
        av_packet_unref(packet);
        return noErr;
    };

    if (d.byteSeeking || (!d.constantFraming && indexEntries == 0)) {
        // Every packet, read once: the frames of each and where it lies.
        SInt64 frames = 0;
        for (;;) {
            const int error = av_read_frame(context, packet);
            if (error < 0)
                break; // the end, or a broken tail: what came before counts
            if (packet->stream_index != streamIndex) {
                av_packet_unref(packet);
                continue;
            }
            SInt64 packetFrames = packet->duration > 0 ? d.toFrames(packet->duration) : frameSize;
            if (d.entries.empty()) {
                d.firstPacketPosition = packet->pos;
                const SInt64 pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                d.originFrames = (!d.byteSeeking && pts != AV_NOPTS_VALUE) ? d.toFrames(pts) : 0;
                d.startSkip = startSkipOf(packet);
            }
            d.isProtected = d.isProtected || hasEncryptionInfo(packet);
            d.endDiscard += endDiscardOf(packet);
            d.entries.push_back({packet->pos, frames, packetFrames});
            frames += packetFrames;
            mByteCount += packet->size;
            mMaximumPacketSize = std::max(mMaximumPacketSize, UInt32(packet->size));
            av_packet_unref(packet);
        }
        if (d.entries.empty())
            return kAudioFileInvalidFileError;
        mPacketCount = SInt64(d.entries.size());
        mTotalFrames = frames;
        if (!d.byteSeeking)
            d.entries.clear(); // repositioned by timestamps; the list was only for counting
        return noErr;
    }

    const OSStatus status = readFirstPacket();
    if (status != noErr)
        return status;

    if (d.constantFraming) {
        const UInt32 bytesPerPacket = mDataFormat.mBytesPerPacket;
        const UInt32 framesPerPacket = mDataFormat.mFramesPerPacket;
        SInt64 frames = d.stream->duration > 0 ? d.toFrames(d.stream->duration) : 0;
        // A header may promise more than a cut-short file holds.
        const int64_t fileSize = avio_size(context->pb);
        if (fileSize > 0 && d.firstPacketPosition >= 0) {
            const SInt64 present = (fileSize - d.firstPacketPosition) / bytesPerPacket * framesPerPacket;
            frames = frames > 0 ? std::min(frames, present) : present;
        }
        if (frames <= 0)
            return kAudioFileInvalidFileError;
        mTotalFrames = frames;
        mPacketCount = (frames + framesPerPacket - 1) / framesPerPacket;
        mByteCount = mPacketCount * bytesPerPacket;
        mMaximumPacketSize = bytesPerPacket;
        return noErr;
    }

    // A container index of every packet (MPEG-4, CAF).
    const AVIndexEntry* last = avformat_index_get_entry(d.stream, indexEntries - 1);
    for (int i = 0; i < indexEntries; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(d.stream, i);
        SInt64 size = entry->size;
        if (size <= 0) {
            const AVIndexEntry* next = i + 1 < indexEntries ? avformat_index_get_entry(d.stream, i + 1) : nullptr;
            size = next ? next->pos - entry->pos : 0;
        }
        mByteCount += std::max<SInt64>(size, 0);
        mMaximumPacketSize = std::max(mMaximumPacketSize, UInt32(std::max<SInt64>(size, 0)));
    }
    mPacketCount = indexEntries;
    const SInt64 lastTimeline = d.toFrames(last->timestamp) - d.originFrames;
    mTotalFrames = lastTimeline + inspectLastPacket(lastTimeline);
    return noErr;
}

// The frames the last packet decodes to: the codec's fixed frame size, or what decoding it
// alone gives (Apple Lossless ends on a short packet). Also notes where the container says
// the last packet ends. A last packet that cannot be read counts as a whole one.
SInt64 AudioFileReader::inspectLastPacket(SInt64 lastPacketTimeline)
{
    Demuxer& d = *mDemuxer;
    const int frameSize = d.stream->codecpar->frame_size;
    const SInt64 nominal = frameSize > 0 ? frameSize : SInt64(mDataFormat.mFramesPerPacket);
    const SInt64 timestamp = d.toTimestamp(lastPacketTimeline + d.originFrames);
    if (av_seek_frame(d.format.get(), d.stream->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0)
        return nominal;
    avcodec_flush_buffers(d.decoder.get());
    AVPacket* packet = d.packet.get();
    bool found = false;
    while (!found) {
        if (av_read_frame(d.format.get(), packet) < 0)
            break;
        const SInt64 pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (packet->stream_index == d.stream->index && d.toFrames(pts) - d.originFrames >= lastPacketTimeline) {
            found = true;
            if (packet->duration > 0)
                d.lastPacketEnd = d.toFrames(pts + packet->duration) - d.originFrames;
            packet->flags &= ~AV_PKT_FLAG_DISCARD;
            if (frameSize <= 0)
                avcodec_send_packet(d.decoder.get(), packet);
        }
        av_packet_unref(packet);
    }
    SInt64 decoded = 0;
    if (found && frameSize <= 0) {
        avcodec_send_packet(d.decoder.get(), nullptr);
        while (avcodec_receive_frame(d.decoder.get(), d.frame.get()) == 0) {
            decoded += d.frame->nb_samples;
            av_frame_unref(d.frame.get());
        }
    }
    avcodec_flush_buffers(d.decoder.get());
    return (found && frameSize <= 0) ? decoded : nominal;
}

OSStatus AudioFileReader::determineGaplessInformation(const QString& path)
{
    Demuxer& d = *mDemuxer;
    const SInt64 total = mTotalFrames;
    SInt64 priming = 0;
    SInt64 valid = -1;

    AudioFilePacketTableInfo table;
    const AVDictionaryEntry* smpb = av_dict_get(d.format->metadata, "iTunSMPB", nullptr, 0);
    if (!smpb)
        smpb = av_dict_get(d.stream->metadata, "iTunSMPB", nullptr, 0);
    if (mFileType == kAudioFileCAFType && codecs::readCAFPacketTable(path, &table)) {
        priming = table.mPrimingFrames;
        valid = table.mNumberValidFrames;
        mHasGaplessInformation = true;
    } else if (smpb && codecs::parseITunSMPB(QByteArray(smpb->value), &table)) {
        priming = table.mPrimingFrames;
        valid = table.mNumberValidFrames;
        mHasGaplessInformation = true;
    } else if (d.startSkip > 0 || d.endDiscard > 0) {
        // FFmpeg's reading of an edit list or a LAME tag.
        priming = d.startSkip;
        valid = total - priming - d.endDiscard;
        mHasGaplessInformation = true;
    }
    const bool movie = QByteArray(d.format->iformat->name).contains("mov");
    if (movie && d.stream->duration > 0 && !smpb) {
        // The edit list's length. Movies whose time scale is coarser than the audio's round
        // it up to their time scale's step; the track's own samples then say it exactly.
        const SInt64 edited = d.toFrames(d.stream->duration);
        const SInt64 sampled = (d.lastPacketEnd > 0 ? d.lastPacketEnd : total) - priming;
        const SInt64 step = (SInt64(mDataFormat.mSampleRate) + 999) / 1000;
        valid = (sampled <= edited && edited - sampled <= step) ? sampled : edited;
        mHasGaplessInformation = mHasGaplessInformation || d.startSkip > 0;
    }
    if (valid < 0)
        valid = total - priming;
    // AAC that says nothing about its priming starts with the usual encoder delay.
    if (mDataFormat.mFormatID == kAudioFormatMPEG4AAC && priming == 0) {
        priming = 2112;
        valid -= 2112;
    }
    priming = std::clamp<SInt64>(priming, 0, total);
    valid = std::clamp<SInt64>(valid, 0, total - priming);
    mPacketTable.mPrimingFrames = SInt32(priming);
    mPacketTable.mNumberValidFrames = valid;
    mPacketTable.mRemainderFrames = SInt32(total - priming - valid);
    return noErr;
}

QByteArray AudioFileReader::magicCookie() const
{
    const AVCodecParameters* p = mDemuxer->stream->codecpar;
    return QByteArray(reinterpret_cast<const char*>(p->extradata), p->extradata_size);
}

OSStatus AudioFileReader::getPropertyInfo(AudioFilePropertyID property, UInt32* size) const
{
    switch (property) {
    case kAudioFilePropertyFileFormat:
    case kAudioFilePropertyMaximumPacketSize:
    case kAudioFilePropertyPacketSizeUpperBound:
    case kAudioFilePropertyBitRate:
        *size = sizeof(UInt32);
        return noErr;
    case kAudioFilePropertyDataFormat:
        *size = sizeof(AudioStreamBasicDescription);
        return noErr;
    case kAudioFilePropertyAudioDataByteCount:
    case kAudioFilePropertyAudioDataPacketCount:
        *size = sizeof(UInt64);
        return noErr;
    case kAudioFilePropertyPacketTableInfo:
        *size = sizeof(AudioFilePacketTableInfo);
        return noErr;
    case kAudioFilePropertyMagicCookieData:
        *size = UInt32(mDemuxer->stream->codecpar->extradata_size);
        return noErr;
    case kAudioFilePropertyChannelLayout:
        *size = UInt32(mChannelLayout.size());
        return noErr;
    default:
        return kAudioFileUnsupportedPropertyError;
    }
}

OSStatus AudioFileReader::getProperty(AudioFilePropertyID property, UInt32* ioSize, void* data) const
{
    UInt32 size = 0;
    const OSStatus status = getPropertyInfo(property, &size);
    if (status != noErr)
        return status;
    if (*ioSize < size || (!data && size > 0))
        return kAudioFileBadPropertySizeError;
    auto put = [&](const void* value) {
        std::memcpy(data, value, size);
        *ioSize = size;
        return noErr;
    };
    switch (property) {
    case kAudioFilePropertyFileFormat: return put(&mFileType);
    case kAudioFilePropertyDataFormat: return put(&mDataFormat);
    case kAudioFilePropertyMaximumPacketSize:
    case kAudioFilePropertyPacketSizeUpperBound: return put(&mMaximumPacketSize);
    case kAudioFilePropertyBitRate: return put(&mBitRate);
    case kAudioFilePropertyAudioDataByteCount: return put(&mByteCount);
    case kAudioFilePropertyAudioDataPacketCount: return put(&mPacketCount);
    case kAudioFilePropertyPacketTableInfo: return put(&mPacketTable);
    case kAudioFilePropertyMagicCookieData: return put(mDemuxer->stream->codecpar->extradata);
    case kAudioFilePropertyChannelLayout: return put(mChannelLayout.constData());
    default: return kAudioFileUnsupportedPropertyError;
    }
}

SInt64 AudioFileReader::packetTimeline(SInt64 pts, SInt64 position) const
{
    const Demuxer& d = *mDemuxer;
    if (d.byteSeeking) {
        const auto found = std::lower_bound(d.entries.begin(), d.entries.end(), position,
                                            [](const Demuxer::Entry& e, SInt64 pos) { return e.position < pos; });
        if (found != d.entries.end() && found->position == position)
            return found->firstFrame;
        return mNextPacketTimeline;
    }
    if (pts == AV_NOPTS_VALUE)
        return mNextPacketTimeline;
    return d.toFrames(pts) - d.originFrames;
}

OSStatus AudioFileReader::seek(SInt64 frame)
{
    Demuxer& d = *mDemuxer;
    frame = std::clamp<SInt64>(frame, 0, mPacketTable.mNumberValidFrames);
    mPosition = frame;
    mPendingLeft.clear();
    mPendingRight.clear();
    mPendingOffset = 0;
    mInputEnded = mDecoderDrained = false;
    avcodec_flush_buffers(d.decoder.get());
    const SInt64 start = std::max<SInt64>(0, mPacketTable.mPrimingFrames + frame - SInt64(mPrerollFrames));
    int error;
    if (d.byteSeeking) {
        auto found = std::upper_bound(d.entries.begin(), d.entries.end(), start,
                                      [](SInt64 value, const Demuxer::Entry& e) { return value < e.firstFrame; });
        if (found != d.entries.begin())
            --found;
        mNextPacketTimeline = found->firstFrame;
        error = av_seek_frame(d.format.get(), -1, found->position, AVSEEK_FLAG_BYTE);
    } else {
        mNextPacketTimeline = start;
        error = av_seek_frame(d.format.get(), d.stream->index, d.toTimestamp(start + d.originFrames),
                              AVSEEK_FLAG_BACKWARD);
    }
    return error < 0 ? codecs::statusFromAVError(error) : noErr;
}

OSStatus AudioFileReader::decodeMore()
{
    Demuxer& d = *mDemuxer;
    AVPacket* packet = d.packet.get();
    AVFrame* frame = d.frame.get();
    for (;;) {
        const int received = avcodec_receive_frame(d.decoder.get(), frame);
        if (received == 0) {
            const int channels = frame->ch_layout.nb_channels;
            const size_t count = size_t(frame->nb_samples);
            mPendingLeft.resize(count);
            mPendingRight.resize(count);
            if (channels == 2) {
                float* sides[2] = {mPendingLeft.data(), mPendingRight.data()};
                codecs::unpackFrame(frame, 0, int(count), sides, 2, 0);
            } else {
                if (mScratch.size() < size_t(channels))
                    mScratch.resize(size_t(channels));
                std::vector<float*> pointers(static_cast<size_t>(channels));
                for (int c = 0; c < channels; ++c) {
                    mScratch[size_t(c)].resize(count);
                    pointers[size_t(c)] = mScratch[size_t(c)].data();
                }
                codecs::unpackFrame(frame, 0, int(count), pointers.data(), channels, 0);
                codecs::mixToStereo(pointers.data(), UInt32(channels), count, mPendingLeft.data(), mPendingRight.data());
            }
            mPendingStart = frame->pts != AV_NOPTS_VALUE ? SInt64(frame->pts) : mNextPacketTimeline;
            mPendingOffset = 0;
            av_frame_unref(frame);
            return noErr;
        }
        if (received == AVERROR_EOF) {
            mDecoderDrained = true;
            return noErr;
        }
        if (received == AVERROR_INVALIDDATA)
            continue; // a broken packet: its frames are missing and read as silence
        if (received != AVERROR(EAGAIN))
            return codecs::statusFromAVError(received);
        if (mInputEnded) {
            mDecoderDrained = true;
            return noErr;
        }
        const int read = av_read_frame(d.format.get(), packet);
        if (read == AVERROR_EOF) {
            mInputEnded = true;
            avcodec_send_packet(d.decoder.get(), nullptr);
            continue;
        }
        if (read < 0)
            return codecs::statusFromAVError(read);
        if (packet->stream_index != d.stream->index) {
            av_packet_unref(packet);
            continue;
        }
        const SInt64 pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        const SInt64 timeline = packetTimeline(pts, packet->pos);
        // The decoder's timestamps run on the decoded timeline, in frames.
        packet->pts = packet->dts = timeline;
        packet->flags &= ~AV_PKT_FLAG_DISCARD;
        av_packet_free_side_data(packet);
        const SInt64 frames = packet->duration > 0 ? d.toFrames(packet->duration) : d.stream->codecpar->frame_size;
        packet->duration = 0;
        mNextPacketTimeline = timeline + std::max<SInt64>(frames, 0);
        const int sent = avcodec_send_packet(d.decoder.get(), packet);
        av_packet_unref(packet);
        if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN))
            return codecs::statusFromAVError(sent);
    }
}

OSStatus AudioFileReader::read(UInt32* ioFrames, float* left, float* right)
{
    const UInt32 wanted = *ioFrames;
    const SInt64 validEnd = mPacketTable.mNumberValidFrames;
    UInt32 delivered = 0;
    while (delivered < wanted && mPosition < validEnd) {
        if (mPendingOffset >= mPendingLeft.size()) {
            if (mDecoderDrained) {
                // The file ends before the frames it promised.
                *ioFrames = delivered;
                return kAudioFileInvalidFileError;
            }
            const OSStatus status = decodeMore();
            if (status != noErr) {
                *ioFrames = delivered;
                return status;
            }
            continue;
        }
        const SInt64 target = mPacketTable.mPrimingFrames + mPosition;
        const SInt64 pendingTimeline = mPendingStart + SInt64(mPendingOffset);
        const SInt64 available = SInt64(mPendingLeft.size() - mPendingOffset);
        if (pendingTimeline < target) {
            mPendingOffset += size_t(std::min(target - pendingTimeline, available));
            continue;
        }
        const SInt64 room = std::min<SInt64>(wanted - delivered, validEnd - mPosition);
        if (pendingTimeline > target) {
            // Frames a broken packet did not give: silence in their place.
            const SInt64 gap = std::min(pendingTimeline - target, room);
            std::fill(left + delivered, left + delivered + gap, 0.0f);
            std::fill(right + delivered, right + delivered + gap, 0.0f);
            delivered += UInt32(gap);
            mPosition += gap;
            continue;
        }
        const SInt64 count = std::min(available, room);
        std::memcpy(left + delivered, mPendingLeft.data() + mPendingOffset, size_t(count) * sizeof(float));
        std::memcpy(right + delivered, mPendingRight.data() + mPendingOffset, size_t(count) * sizeof(float));
        mPendingOffset += size_t(count);
        delivered += UInt32(count);
        mPosition += count;
    }
    *ioFrames = delivered;
    return noErr;
}
