#include "platform/codecs/AudioPacketWriter.h"

#include "platform/codecs/AudioFormatCatalog.h"
#include "platform/codecs/FFmpegFormats.h"
#include "platform/codecs/GaplessInfo.h"
#include "platform/codecs/MuxerSetup.h"

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

} // namespace

OSStatus AudioPacketWriter::create(const QString& path, AudioFileTypeID fileType,
                                   const AudioStreamBasicDescription& format, bool eraseExisting,
                                   std::unique_ptr<AudioPacketWriter>* writer)
{
    codecs::initializeLibraries();
    writer->reset();
    if (!AudioFormatCatalog::canWriteFileType(fileType))
        return kAudioFileUnsupportedFileTypeError;
    if (!typeHoldsFormat(fileType, format))
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
    OSStatus status = noErr;
    m.context = codecs::newMuxer(fileType, format, nativePath.constData(), &status);
    if (!m.context)
        return status;
    m.stream = m.context->streams[0];
    const int error = avio_open(&m.context->pb, nativePath.constData(), AVIO_FLAG_WRITE);
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
    const OSStatus status = codecs::setStreamCookie(mMuxer->stream, mCookie);
    if (status != noErr)
        return status;
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
        if (mFormat.mFormatID == kAudioFormatLinearPCM) {
            if (packets > 0)
                status = send(bytes, packets * mFormat.mBytesPerPacket, SInt64(packets) * mFormat.mFramesPerPacket);
            if (status == noErr)
                written = packets;
        } else {
            // Compressed blocks go one by one: movies count a sample per block.
            for (UInt32 i = 0; i < packets && status == noErr; ++i) {
                status = send(bytes + size_t(i) * mFormat.mBytesPerPacket, mFormat.mBytesPerPacket,
                              mFormat.mFramesPerPacket);
                if (status == noErr)
                    ++written;
            }
        }
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
    if (codecs::isMPEG4Family(mFileType) || mFileType == kAudioFileAAC_ADTSType || mFileType == kAudioFileMP3Type)
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
    if (codecs::isMPEG4Family(mFileType))
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
