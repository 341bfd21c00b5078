#include "platform/codecs/AudioFileReader.h"

#include "platform/codecs/AudioStreamDemuxer.h"
#include "platform/codecs/FrameSamples.h"
#include "platform/codecs/GaplessInfo.h"
#include "platform/codecs/SampleConversion.h"

#include <QFile>

#include <algorithm>
#include <cstring>

using codecs::PacketAddressing;
using codecs::PacketEntry;

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
    case AV_CODEC_ID_OPUS:
        // Its decoder's state converges geometrically: 80 ms (its own advice) leave errors of
        // a few percent, half a second leaves them below 1e-6.
        return UInt32(p->sample_rate / 2);
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

} // namespace

AudioFileReader::AudioFileReader() : mDemuxer(std::make_unique<codecs::AudioStreamDemuxer>()) {}

AudioFileReader::~AudioFileReader() = default;

OSStatus AudioFileReader::open(const QString& path, std::unique_ptr<AudioFileReader>* reader, int audioTrack,
                               const std::atomic<bool>* cancelled)
{
    codecs::initializeLibraries();
    reader->reset();
    std::unique_ptr<AudioFileReader> opened(new AudioFileReader);
    OSStatus status = opened->openStream(path, audioTrack);
    if (status == noErr)
        status = opened->countFrames(cancelled);
    if (status == noErr && opened->mIsProtected)
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
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    const OSStatus status = d.open(path, audioTrack, &mAudioTrackCount);
    if (status != noErr)
        return status;
    const AVCodecParameters* p = d.stream->codecpar;
    if (p->codec_tag == MKTAG('d', 'r', 'm', 's') || p->codec_tag == MKTAG('e', 'n', 'c', 'a'))
        mIsProtected = true;
    mFileType = fileTypeOf(d.format.get(), path);
    mDataFormat = codecs::descriptionForCodecParameters(p);
    mBitRate = UInt32(std::max<int64_t>(0, p->bit_rate > 0 ? p->bit_rate : d.format->bit_rate));
    mChannelLayout = channelLayoutOf(p->ch_layout);
    copyTags(d.format->metadata, &mInfo);
    copyTags(d.stream->metadata, &mInfo);
    mPrerollFrames = prerollFrames(p);
    return noErr;
}

OSStatus AudioFileReader::determineGaplessInformation(const QString& path)
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
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
    } else if (d.addressing == PacketAddressing::DecodedScan) {
        // The pre-skip of Opus or a codec delay comes with the first packet or with the
        // stream; the end is trimmed by discard padding or, in Ogg, by the last granule
        // position, which the time stamps carry. Ogg time stamps count valid frames from 0
        // (a stream cut from a longer one starts later).
        priming = mStartSkip > 0 ? mStartSkip : std::max(0, d.stream->codecpar->initial_padding);
        if (d.demuxerName() == "ogg" && mStampedEnd >= 0)
            valid = mStampedEnd - std::max<SInt64>(0, mStampedStart);
        else
            valid = total - priming - mEndDiscard;
        mHasGaplessInformation = priming > 0 || mEndDiscard > 0 || d.demuxerName() == "ogg";
    } else if (mStartSkip > 0 || mEndDiscard > 0) {
        // FFmpeg's reading of an edit list or a LAME tag.
        priming = mStartSkip;
        valid = total - priming - mEndDiscard;
        mHasGaplessInformation = true;
    }
    const bool movie = d.demuxerName().contains("mov");
    if (movie && d.stream->duration > 0 && !smpb) {
        // The edit list's length. Movies whose time scale is coarser than the audio's round
        // it up to their time scale's step; the track's own samples then say it exactly.
        const SInt64 edited = d.toFrames(d.stream->duration);
        const SInt64 sampled = (mLastPacketEnd > 0 ? mLastPacketEnd : total) - priming;
        const SInt64 step = (SInt64(mDataFormat.mSampleRate) + 999) / 1000;
        valid = (sampled <= edited && edited - sampled <= step) ? sampled : edited;
        mHasGaplessInformation = mHasGaplessInformation || mStartSkip > 0;
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

// The listed frames of a scanned packet: up to the next one's output.
SInt64 AudioFileReader::listedFrames(size_t entry) const
{
    const SInt64 end = entry + 1 < mEntries.size() ? mEntries[entry + 1].timeline : mTotalFrames;
    return end - mEntries[entry].timeline;
}

// Where a packet just read lies on the decoded timeline; the next packet's place when it does
// not say (identified then tells false). Moves mNextPacketTimeline past it.
SInt64 AudioFileReader::packetTimeline(const AVPacket* packet, bool* identified)
{
    const codecs::AudioStreamDemuxer& d = *mDemuxer;
    SInt64 timeline = mNextPacketTimeline;
    if (identified)
        *identified = true;
    SInt64 frames = packet->duration > 0 ? d.toFrames(packet->duration) : d.stream->codecpar->frame_size;
    switch (d.addressing) {
    case PacketAddressing::FlatPCM:
        if (packet->pos >= mFirstPacketPosition) {
            timeline = (packet->pos - mFirstPacketPosition) / mDataFormat.mBytesPerPacket * mDataFormat.mFramesPerPacket;
            frames = SInt64(packet->size) / mDataFormat.mBytesPerPacket * mDataFormat.mFramesPerPacket;
        } else if (identified) {
            *identified = false;
        }
        break;
    case PacketAddressing::ContainerIndex: {
        const SInt64 timestamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (timestamp != AV_NOPTS_VALUE)
            timeline = d.toFrames(timestamp) - mOriginFrames;
        else if (identified)
            *identified = false;
        break;
    }
    case PacketAddressing::PacketScan:
    case PacketAddressing::DecodedScan: {
        // The entry expected next, else the one with this packet's offset and size.
        const auto matches = [&](const PacketEntry& e) { return e.position == packet->pos && e.size == packet->size; };
        if (mEntryCursor >= mEntries.size() || !matches(mEntries[mEntryCursor])) {
            auto found = std::lower_bound(mEntries.begin(), mEntries.end(), packet->pos,
                                          [](const PacketEntry& e, SInt64 position) { return e.position < position; });
            while (found != mEntries.end() && found->position == packet->pos && !matches(*found))
                ++found;
            if (found == mEntries.end() || !matches(*found)) {
                if (identified)
                    *identified = false;
                mNextPacketTimeline = timeline + std::max<SInt64>(frames, 0);
                return timeline;
            }
            mEntryCursor = size_t(found - mEntries.begin());
        }
        timeline = mEntries[mEntryCursor].timeline;
        frames = listedFrames(mEntryCursor);
        ++mEntryCursor;
        break;
    }
    }
    mNextPacketTimeline = timeline + std::max<SInt64>(frames, 0);
    return timeline;
}

// Repositions the stream so that decoding starts at or before timeline frame `start`, reads
// the first packet there to see where it landed and keeps it for decoding. landedInTime
// tells whether that packet begins at or before start.
OSStatus AudioFileReader::positionAt(SInt64 start, bool* landedInTime)
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    *landedInTime = false;
    OSStatus status = noErr;
    SInt64 expected = start; // where the first packet should begin
    switch (d.addressing) {
    case PacketAddressing::FlatPCM: {
        const SInt64 block = start / mDataFormat.mFramesPerPacket;
        expected = block * mDataFormat.mFramesPerPacket;
        status = d.seekToByte(mFirstPacketPosition + block * mDataFormat.mBytesPerPacket);
        break;
    }
    case PacketAddressing::ContainerIndex:
        status = d.seekToTimestamp(d.toTimestamp(start + mOriginFrames));
        break;
    case PacketAddressing::PacketScan:
    case PacketAddressing::DecodedScan: {
        auto entry = std::upper_bound(mEntries.begin(), mEntries.end(), start,
                                      [](SInt64 frame, const PacketEntry& e) { return frame < e.timeline; });
        if (entry != mEntries.begin())
            --entry;
        if (d.addressing == PacketAddressing::PacketScan) {
            expected = entry->timeline;
            status = d.seekToByte(entry->position);
            break;
        }
        // One packet more: a codec may give nothing for the first packet after a seek.
        if (entry != mEntries.begin())
            --entry;
        while (entry != mEntries.begin() && entry->timestamp == AV_NOPTS_VALUE)
            --entry;
        expected = entry->timeline;
        status = d.seekToTimestamp(entry->timestamp != AV_NOPTS_VALUE ? entry->timestamp : INT64_MIN);
        break;
    }
    }
    if (status != noErr)
        return status;
    mEntryCursor = 0;
    mNextPacketTimeline = expected;
    const int read = d.readPacket();
    if (read == AVERROR_EOF) {
        mInputEnded = true;
        *landedInTime = true;
        return noErr;
    }
    if (read < 0)
        return codecs::statusFromAVError(read);
    bool identified = false;
    const SInt64 landed = packetTimeline(d.packet.get(), &identified);
    // Read again, with its place found, when decoding starts.
    if (mEntryCursor > 0)
        --mEntryCursor;
    mNextPacketTimeline = landed;
    d.holdPacket();
    // A packet whose place is not known is no landing to decode from.
    *landedInTime = identified && landed <= start;
    return noErr;
}

// The way back to the first packet when the container's seeks will not land in time.
OSStatus AudioFileReader::positionAtBeginning()
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    OSStatus status = d.reopen();
    if (status != noErr)
        return status;
    mEntryCursor = 0;
    mNextPacketTimeline = 0;
    return noErr;
}

OSStatus AudioFileReader::seek(SInt64 frame)
{
    frame = std::clamp<SInt64>(frame, 0, mPacketTable.mNumberValidFrames);
    mPosition = frame;
    mPendingLeft.clear();
    mPendingRight.clear();
    mPendingOffset = 0;
    mInputEnded = mDecoderDrained = false;
    mSeekStatus = noErr;
    if (frame == mPacketTable.mNumberValidFrames)
        return noErr; // nothing is left to read: no need to go there
    const SInt64 target = mPacketTable.mPrimingFrames + frame;
    // Back far enough for the codec to settle; further back each time the container puts the
    // stream past that point, and from the very first packet at last.
    SInt64 back = mPrerollFrames;
    OSStatus status = noErr;
    const bool recognisable = mDemuxer->addressing != PacketAddressing::DecodedScan || mEntriesRecognisable;
    for (int attempt = 0; attempt < (recognisable ? 4 : 0); ++attempt) {
        const SInt64 start = std::max<SInt64>(0, target - back);
        bool landedInTime = false;
        status = positionAt(start, &landedInTime);
        if (status == noErr && landedInTime)
            break;
        if (start == 0 || attempt == 3) {
            status = positionAtBeginning();
            break;
        }
        back = 2 * back + 8192;
    }
    if (!recognisable)
        status = positionAtBeginning();
    mDecodedEnd = mNextPacketTimeline;
    mSeekStatus = status;
    return status;
}

OSStatus AudioFileReader::decodeMore()
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
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
            } else if (channels > 0 && channels <= codecs::kMaximumChannels) {
                if (mScratch.size() < size_t(channels))
                    mScratch.resize(size_t(channels));
                std::vector<float*> pointers(static_cast<size_t>(channels));
                for (int c = 0; c < channels; ++c) {
                    mScratch[size_t(c)].resize(count);
                    pointers[size_t(c)] = mScratch[size_t(c)].data();
                }
                codecs::unpackFrame(frame, 0, int(count), pointers.data(), channels, 0);
                codecs::mixToStereo(pointers.data(), UInt32(channels), count, mPendingLeft.data(), mPendingRight.data());
            } else {
                std::fill(mPendingLeft.begin(), mPendingLeft.end(), 0.0f);
                std::fill(mPendingRight.begin(), mPendingRight.end(), 0.0f);
            }
            // A packet decoded in several frames stamps only the first.
            mPendingStart = frame->pts != AV_NOPTS_VALUE ? SInt64(frame->pts) : mDecodedEnd;
            mDecodedEnd = mPendingStart + SInt64(count);
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
        const int read = d.readPacket();
        if (read == AVERROR_EOF) {
            mInputEnded = true;
            avcodec_send_packet(d.decoder.get(), nullptr);
            continue;
        }
        if (read < 0)
            return codecs::statusFromAVError(read);
        // The decoder's time stamps run on the decoded timeline, in frames.
        const SInt64 timeline = packetTimeline(packet);
        packet->pts = packet->dts = timeline;
        packet->flags &= ~AV_PKT_FLAG_DISCARD;
        av_packet_free_side_data(packet);
        packet->duration = 0;
        const int sent = avcodec_send_packet(d.decoder.get(), packet);
        av_packet_unref(packet);
        if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN))
            return codecs::statusFromAVError(sent);
    }
}

OSStatus AudioFileReader::read(UInt32* ioFrames, float* left, float* right)
{
    if (mSeekStatus != noErr) {
        *ioFrames = 0;
        return mSeekStatus;
    }
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
