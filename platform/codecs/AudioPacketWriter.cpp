#include "platform/codecs/AudioPacketWriter.h"

#include "platform/codecs/AudioFormatCatalog.h"
#include "platform/codecs/FFmpegFormats.h"
#include "platform/codecs/GaplessInfo.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <vector>

struct AudioPacketWriter::Muxer {
    AVFormatContext* context = nullptr;
    AVStream* stream = nullptr;
    ~Muxer()
    {
        if (context) {
            avio_closep(&context->pb);
            avformat_free_context(context);
        }
    }
};

namespace {

bool sameSampleLayout(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b)
{
    constexpr AudioFormatFlags kLayoutFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian |
                                              kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsNonInterleaved;
    if (a.mFormatID != b.mFormatID)
        return false;
    if (a.mFormatID == kAudioFormatLinearPCM) {
        AudioFormatFlags fa = a.mFormatFlags & kLayoutFlags, fb = b.mFormatFlags & kLayoutFlags;
        if (a.mBitsPerChannel <= 8) // byte order means nothing for single bytes
            fa &= ~kAudioFormatFlagIsBigEndian, fb &= ~kAudioFormatFlagIsBigEndian;
        return fa == fb && a.mBitsPerChannel == b.mBitsPerChannel;
    }
    if (a.mFormatID == kAudioFormatAppleLossless)
        return a.mFormatFlags == b.mFormatFlags;
    return true;
}

// The catalogue holds the format for the type (Apple Lossless of 20 and 32-bit sources is
// kept in 24 bits and so is accepted too).
bool typeHoldsFormat(AudioFileTypeID type, const AudioStreamBasicDescription& format)
{
    std::vector<AudioStreamBasicDescription> descriptions;
    if (AudioFormatCatalog::availableStreamDescriptions(type, format.mFormatID, &descriptions) != noErr)
        return false;
    AudioStreamBasicDescription probe = format;
    if (probe.mFormatID == kAudioFormatAppleLossless && probe.mFormatFlags != kAppleLosslessFormatFlag_16BitSourceData)
        probe.mFormatFlags = kAppleLosslessFormatFlag_24BitSourceData;
    for (const AudioStreamBasicDescription& d : descriptions) {
        if (sameSampleLayout(d, probe))
            return true;
    }
    return false;
}

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

bool isMPEG4Family(AudioFileTypeID type)
{
    return type == kAudioFileM4AType || type == kAudioFileM4BType || type == kAudioFileMPEG4Type ||
           type == kAudioFileQuickTimeMovieType;
}

} // namespace

OSStatus AudioPacketWriter::create(const QString& path, AudioFileTypeID fileType,
                                   const AudioStreamBasicDescription& format, bool eraseExisting,
                                   std::unique_ptr<AudioPacketWriter>* writer)
{
    codecs::initializeLibraries();
    writer->reset();
    const char* muxerName = codecs::muxerNameForFileType(fileType);
    const AVOutputFormat* muxer = muxerName ? av_guess_format(muxerName, nullptr, nullptr) : nullptr;
    if (!muxer || !AudioFormatCatalog::canWriteFileType(fileType))
        return kAudioFileUnsupportedFileTypeError;
    const AVCodecID codec = codecs::codecIDForDescription(format);
    if (codec == AV_CODEC_ID_NONE || format.mSampleRate <= 0 || format.mChannelsPerFrame == 0 ||
        !typeHoldsFormat(fileType, format))
        return kAudioFileUnsupportedDataFormatError;
    if (!eraseExisting && QFileInfo::exists(path))
        return kAudioFilePermissionsError;

    std::unique_ptr<AudioPacketWriter> created(new AudioPacketWriter);
    created->mPath = path;
    created->mFileType = fileType;
    created->mFormat = format;
    created->mMuxer = std::make_unique<Muxer>();
    Muxer& m = *created->mMuxer;
    const QByteArray nativePath = QFile::encodeName(path);
    int error = avformat_alloc_output_context2(&m.context, muxer, nullptr, nativePath.constData());
    if (error < 0)
        return codecs::statusFromAVError(error);
    m.stream = avformat_new_stream(m.context, nullptr);
    if (!m.stream)
        return kAudio_MemFullError;
    AVCodecParameters* p = m.stream->codecpar;
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
    m.stream->time_base = AVRational{1, p->sample_rate};

    if (isMPEG4Family(fileType))
        av_opt_set_int(m.context->priv_data, "use_editlist", 1, 0);
    if (fileType == kAudioFileAAC_ADTSType) {
        // The gapless text is written now as a placeholder of its final length, and
        // filled in at close.
        av_opt_set_int(m.context->priv_data, "write_id3v2", 1, 0);
        av_dict_set(&m.context->metadata, "iTunSMPB", codecs::formatITunSMPB({}).constData(), 0);
    }
    error = avio_open(&m.context->pb, nativePath.constData(), AVIO_FLAG_WRITE);
    if (error < 0)
        return codecs::statusFromAVError(error);
    *writer = std::move(created);
    return noErr;
}

AudioPacketWriter::~AudioPacketWriter() { close(); }

bool AudioPacketWriter::isMagicCookieWritable() const
{
    const AudioFormatID f = mFormat.mFormatID;
    const bool keepsCookie = f == kAudioFormatMPEG4AAC || f == kAudioFormatAppleLossless;
    return keepsCookie && !mHeaderWritten && !mClosed;
}

OSStatus AudioPacketWriter::setMagicCookie(const void* cookie, UInt32 size)
{
    if (!isMagicCookieWritable())
        return kAudioFileUnsupportedPropertyError;
    mCookie = QByteArray(static_cast<const char*>(cookie), qsizetype(size));
    return noErr;
}

OSStatus AudioPacketWriter::writeHeader()
{
    AVCodecParameters* p = mMuxer->stream->codecpar;
    if (!mCookie.isEmpty()) {
        av_freep(&p->extradata);
        p->extradata = static_cast<uint8_t*>(av_mallocz(size_t(mCookie.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!p->extradata)
            return kAudio_MemFullError;
        std::memcpy(p->extradata, mCookie.constData(), size_t(mCookie.size()));
        p->extradata_size = int(mCookie.size());
    }
    const int error = avformat_write_header(mMuxer->context, nullptr);
    if (error < 0)
        return codecs::statusFromAVError(error);
    mHeaderWritten = true;
    return noErr;
}

OSStatus AudioPacketWriter::writePackets(UInt32 numBytes, const AudioStreamPacketDescription* descriptions,
                                         SInt64 startingPacket, UInt32* ioNumPackets, const void* data)
{
    if (mClosed)
        return kAudioFileNotOpenError;
    if (startingPacket != mPacketsWritten)
        return kAudioFileInvalidPacketOffsetError;
    const bool constantSize = mFormat.mBytesPerPacket != 0;
    if (!constantSize && !descriptions && *ioNumPackets > 0)
        return kAudio_ParamError;
    if (!mHeaderWritten) {
        const OSStatus status = writeHeader();
        if (status != noErr)
            return status;
    }
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return kAudio_MemFullError;
    const AVRational timeBase = mMuxer->stream->time_base;
    const AVRational frameBase{1, int(mFormat.mSampleRate)};
    auto send = [&](const UInt8* bytes, UInt32 size, SInt64 frames) -> OSStatus {
        if (av_new_packet(packet, int(size)) < 0)
            return kAudio_MemFullError;
        std::memcpy(packet->data, bytes, size);
        packet->stream_index = mMuxer->stream->index;
        packet->pts = packet->dts = av_rescale_q(mFramesWritten, frameBase, timeBase);
        packet->duration = av_rescale_q(frames, frameBase, timeBase);
        const int error = av_write_frame(mMuxer->context, packet);
        av_packet_unref(packet);
        if (error < 0)
            return codecs::statusFromAVError(error);
        mFramesWritten += frames;
        mBytesWritten += size;
        return noErr;
    };

    OSStatus status = noErr;
    const UInt8* bytes = static_cast<const UInt8*>(data);
    UInt32 written = 0;
    if (constantSize) {
        const UInt32 packets = numBytes / mFormat.mBytesPerPacket;
        if (packets > 0)
            status = send(bytes, packets * mFormat.mBytesPerPacket, SInt64(packets) * mFormat.mFramesPerPacket);
        if (status == noErr)
            written = packets;
    } else {
        for (UInt32 i = 0; i < *ioNumPackets && status == noErr; ++i) {
            const AudioStreamPacketDescription& d = descriptions[i];
            if (d.mStartOffset < 0 || UInt64(d.mStartOffset) + d.mDataByteSize > numBytes) {
                status = kAudio_ParamError;
                break;
            }
            const SInt64 frames = d.mVariableFramesInPacket ? d.mVariableFramesInPacket : mFormat.mFramesPerPacket;
            status = send(bytes + d.mStartOffset, d.mDataByteSize, frames);
            if (status == noErr)
                ++written;
        }
    }
    av_packet_free(&packet);
    mPacketsWritten += written;
    *ioNumPackets = written;
    return status;
}

bool AudioPacketWriter::keepsPacketTable() const
{
    if (isMPEG4Family(mFileType) || mFileType == kAudioFileAAC_ADTSType || mFileType == kAudioFileMP3Type)
        return true;
    return mFileType == kAudioFileCAFType && mFormat.mBytesPerPacket == 0;
}

OSStatus AudioPacketWriter::getPacketTableInfo(AudioFilePacketTableInfo* table) const
{
    if (mTableSet) {
        *table = mTable;
    } else {
        *table = AudioFilePacketTableInfo{};
        table->mNumberValidFrames = mFramesWritten;
    }
    return noErr;
}

OSStatus AudioPacketWriter::setPacketTableInfo(const AudioFilePacketTableInfo& table)
{
    if (table.mNumberValidFrames < 0 || table.mPrimingFrames < 0 || table.mRemainderFrames < 0)
        return kAudio_ParamError;
    const bool trivial = table.mPrimingFrames == 0 && table.mRemainderFrames == 0;
    if (!trivial && !keepsPacketTable())
        return kAudioFileUnsupportedPropertyError;
    mTable = table;
    mTableSet = true;
    return noErr;
}

OSStatus AudioPacketWriter::storePacketTable()
{
    AudioFilePacketTableInfo table;
    getPacketTableInfo(&table);
    // Never more valid frames than were written.
    const SInt64 room = std::max<SInt64>(0, mFramesWritten - table.mPrimingFrames);
    table.mNumberValidFrames = std::min(table.mNumberValidFrames, room);
    table.mRemainderFrames = SInt32(std::max<SInt64>(0, room - table.mNumberValidFrames));
    if (isMPEG4Family(mFileType))
        return codecs::patchMPEG4EditList(mPath, table, mFormat.mSampleRate);
    switch (mFileType) {
    case kAudioFileCAFType:
        return keepsPacketTable() ? codecs::patchCAFPacketTable(mPath, table) : noErr;
    case kAudioFileMP3Type:
        return mPacketsWritten > 0 ? codecs::patchMP3EncoderDelay(mPath, table) : noErr;
    case kAudioFileAAC_ADTSType:
        return codecs::patchITunSMPBText(mPath, table);
    default:
        return noErr;
    }
}

OSStatus AudioPacketWriter::close()
{
    if (mClosed)
        return noErr;
    mClosed = true;
    OSStatus status = mHeaderWritten ? noErr : writeHeader();
    if (status == noErr) {
        const int error = av_write_trailer(mMuxer->context);
        if (error < 0)
            status = codecs::statusFromAVError(error);
    }
    const int closeError = avio_closep(&mMuxer->context->pb);
    if (status == noErr && closeError < 0)
        status = codecs::statusFromAVError(closeError);
    mMuxer.reset();
    if (status == noErr)
        status = storePacketTable();
    return status;
}
