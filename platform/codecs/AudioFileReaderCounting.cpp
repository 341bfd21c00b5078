// Counting a stream's frames at open, by the way its packets are addressed: flat PCM by its
// size, an indexed container by its index, raw streams by one pass over their packets, and
// every other container by decoding each packet once.
#include "platform/codecs/AudioFileReader.h"

#include "platform/codecs/AudioStreamDemuxer.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>

using codecs::PacketAddressing;
using codecs::PacketEntry;

namespace {

// A raw stream whose packets do not tell their frames is counted by decoding instead.
constexpr OSStatus kCountByDecoding = 1;
// How many packets pass between two looks at the cancel flag.
constexpr size_t kCancelCheckInterval = 256;

bool isCancelled(const std::atomic<bool>* cancelled)
{
    return cancelled && cancelled->load(std::memory_order_relaxed);
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

SInt64 timestampOf(const AVPacket* packet) { return packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts; }

} // namespace

OSStatus AudioFileReader::countFrames(const std::atomic<bool>* cancelled)
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    switch (d.addressing) {
    case PacketAddressing::FlatPCM:
        return countFlatPCM();
    case PacketAddressing::ContainerIndex:
        return countIndexedPackets();
    case PacketAddressing::PacketScan: {
        const OSStatus status = scanPackets(cancelled);
        if (status != kCountByDecoding)
            return status;
        d.addressing = PacketAddressing::DecodedScan;
        mEntries.clear();
        mByteCount = 0;
        mMaximumPacketSize = 0;
        mEndDiscard = 0;
        if (const OSStatus reopened = d.reopen(); reopened != noErr)
            return reopened;
        return decodeAllPackets(cancelled);
    }
    case PacketAddressing::DecodedScan:
        return decodeAllPackets(cancelled);
    }
    return kAudioFileInvalidFileError;
}

// The first packet: where the data starts, its time stamp, and what it says about skipping.
OSStatus AudioFileReader::readFirstPacket()
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    const int error = d.readPacket();
    if (error < 0)
        return error == AVERROR_EOF ? kAudioFileInvalidFileError : codecs::statusFromAVError(error);
    const AVPacket* packet = d.packet.get();
    mFirstPacketPosition = packet->pos;
    const SInt64 timestamp = timestampOf(packet);
    mOriginFrames = timestamp != AV_NOPTS_VALUE ? d.toFrames(timestamp) : 0;
    mStartSkip = startSkipOf(packet);
    mIsProtected = mIsProtected || hasEncryptionInfo(packet);
    av_packet_unref(d.packet.get());
    return noErr;
}

OSStatus AudioFileReader::countFlatPCM()
{
    const OSStatus status = readFirstPacket();
    if (status != noErr)
        return status;
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    if (mFirstPacketPosition < 0)
        return kAudioFileInvalidFileError;
    const UInt32 bytesPerPacket = mDataFormat.mBytesPerPacket;
    const UInt32 framesPerPacket = mDataFormat.mFramesPerPacket;
    SInt64 frames = d.stream->duration > 0 ? d.toFrames(d.stream->duration) : 0;
    // A header may promise more than the file holds: what is there counts.
    const SInt64 fileSize = d.fileSize();
    if (fileSize > 0) {
        const SInt64 present = (fileSize - mFirstPacketPosition) / bytesPerPacket * framesPerPacket;
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

// A container index of every packet (MPEG-4, CAF). An index that places packets beyond the
// end of the file is a damaged (or cut-short) file, refused here rather than read short.
OSStatus AudioFileReader::countIndexedPackets()
{
    const OSStatus status = readFirstPacket();
    if (status != noErr)
        return status;
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    const int indexEntries = avformat_index_get_entries_count(d.stream);
    const SInt64 fileSize = d.fileSize();
    for (int i = 0; i < indexEntries; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(d.stream, i);
        SInt64 size = entry->size;
        if (size <= 0) {
            const AVIndexEntry* next = i + 1 < indexEntries ? avformat_index_get_entry(d.stream, i + 1) : nullptr;
            size = next ? next->pos - entry->pos : 0;
        }
        size = std::max<SInt64>(size, 0);
        if (fileSize > 0 && entry->pos + size > fileSize)
            return kAudioFileInvalidFileError;
        mByteCount += size;
        mMaximumPacketSize = std::max(mMaximumPacketSize, UInt32(size));
    }
    mPacketCount = indexEntries;
    const AVIndexEntry* last = avformat_index_get_entry(d.stream, indexEntries - 1);
    const SInt64 lastTimeline = d.toFrames(last->timestamp) - mOriginFrames;
    mTotalFrames = lastTimeline + inspectLastPacket(lastTimeline);
    return mTotalFrames > 0 ? noErr : kAudioFileInvalidFileError;
}

// The frames the last packet decodes to: the codec's fixed frame size, or what decoding it
// alone gives (Apple Lossless ends on a short packet). Also notes where the container says
// the last packet ends. A last packet that cannot be read counts as a whole one.
SInt64 AudioFileReader::inspectLastPacket(SInt64 lastPacketTimeline)
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    const int frameSize = d.stream->codecpar->frame_size;
    const SInt64 nominal = frameSize > 0 ? frameSize : SInt64(mDataFormat.mFramesPerPacket);
    if (d.seekToTimestamp(d.toTimestamp(lastPacketTimeline + mOriginFrames)) != noErr)
        return nominal;
    AVPacket* packet = d.packet.get();
    bool found = false;
    while (!found) {
        if (d.readPacket() < 0)
            break;
        const SInt64 timestamp = timestampOf(packet);
        if (d.toFrames(timestamp) - mOriginFrames >= lastPacketTimeline) {
            found = true;
            if (packet->duration > 0)
                mLastPacketEnd = d.toFrames(timestamp + packet->duration) - mOriginFrames;
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

// Lists a packet met in a pass over the stream, with what it tells of the whole.
void AudioFileReader::listPacket(const AVPacket* packet, SInt64 timeline, SInt64 timestamp)
{
    if (mEntries.empty()) {
        mFirstPacketPosition = packet->pos;
        mStartSkip = startSkipOf(packet);
    }
    mIsProtected = mIsProtected || hasEncryptionInfo(packet);
    mEndDiscard += endDiscardOf(packet);
    PacketEntry entry;
    entry.position = packet->pos;
    entry.timestamp = timestamp;
    entry.timeline = timeline;
    entry.size = packet->size;
    mEntries.push_back(entry);
    mByteCount += packet->size;
    mMaximumPacketSize = std::max(mMaximumPacketSize, UInt32(packet->size));
}

// A raw stream (MP3, ADTS, FLAC): every packet, read once: where it lies and its frames.
OSStatus AudioFileReader::scanPackets(const std::atomic<bool>* cancelled)
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    AVPacket* packet = d.packet.get();
    const SInt64 frameSize = d.stream->codecpar->frame_size;
    SInt64 frames = 0;
    for (size_t n = 0;; ++n) {
        if (n % kCancelCheckInterval == 0 && isCancelled(cancelled))
            return kAudioFileCancelledError;
        if (d.readPacket() < 0)
            break; // the end, or a broken tail: what came before counts
        const SInt64 packetFrames = packet->duration > 0 ? d.toFrames(packet->duration) : frameSize;
        if (packetFrames <= 0 || packet->pos < 0) {
            av_packet_unref(packet);
            return kCountByDecoding;
        }
        listPacket(packet, frames, AV_NOPTS_VALUE);
        frames += packetFrames;
        av_packet_unref(packet);
    }
    if (mEntries.empty())
        return kAudioFileInvalidFileError;
    mPacketCount = SInt64(mEntries.size());
    mTotalFrames = frames;
    return noErr;
}

// Every other container: every packet decoded once. Each packet's output begins where the
// frames decoded before it end, which is what the decoder gives after a seek too (a codec
// whose first packet gives nothing, as Vorbis, gives nothing after a seek either). The
// decoder tells which packet a frame came from by the packet's number, sent as its time stamp.
OSStatus AudioFileReader::decodeAllPackets(const std::atomic<bool>* cancelled)
{
    codecs::AudioStreamDemuxer& d = *mDemuxer;
    AVPacket* packet = d.packet.get();
    AVFrame* frame = d.frame.get();
    SInt64 total = 0;
    size_t producer = 0;
    auto receiveFrames = [&]() -> OSStatus {
        for (;;) {
            const int received = avcodec_receive_frame(d.decoder.get(), frame);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
                return noErr;
            if (received == AVERROR_INVALIDDATA)
                continue; // a broken packet gives nothing
            if (received < 0)
                return codecs::statusFromAVError(received);
            if (frame->pts != AV_NOPTS_VALUE && frame->pts >= 0 && size_t(frame->pts) < mEntries.size())
                producer = size_t(frame->pts);
            if (mEntries[producer].timeline < 0)
                mEntries[producer].timeline = total;
            total += frame->nb_samples;
            av_frame_unref(frame);
        }
    };

    for (size_t n = 0;; ++n) {
        if (n % kCancelCheckInterval == 0 && isCancelled(cancelled))
            return kAudioFileCancelledError;
        if (d.readPacket() < 0)
            break; // the end, or a broken tail: what came before counts
        const SInt64 timestamp = timestampOf(packet);
        if (mEntries.empty())
            mStampedStart = timestamp != AV_NOPTS_VALUE ? d.toFrames(timestamp) : 0;
        if (timestamp != AV_NOPTS_VALUE && packet->duration > 0)
            mStampedEnd = d.toFrames(timestamp + packet->duration);
        listPacket(packet, -1, timestamp); // its place is set by its first frame, or after the pass

        packet->pts = packet->dts = SInt64(mEntries.size() - 1);
        packet->flags &= ~AV_PKT_FLAG_DISCARD;
        av_packet_free_side_data(packet);
        const int sent = avcodec_send_packet(d.decoder.get(), packet);
        av_packet_unref(packet);
        if (sent < 0 && sent != AVERROR_INVALIDDATA)
            return codecs::statusFromAVError(sent);
        if (const OSStatus status = receiveFrames(); status != noErr)
            return status;
    }
    if (mEntries.empty())
        return kAudioFileInvalidFileError;
    avcodec_send_packet(d.decoder.get(), nullptr);
    const OSStatus status = receiveFrames();
    avcodec_flush_buffers(d.decoder.get());
    if (status != noErr)
        return status;
    // A packet that gave nothing begins where the next one does.
    SInt64 next = total;
    for (auto entry = mEntries.rbegin(); entry != mEntries.rend(); ++entry) {
        if (entry->timeline < 0)
            entry->timeline = next;
        next = entry->timeline;
    }
    // Packets are recognised after a seek by their byte offsets, which must be known and in order.
    mEntriesRecognisable = std::is_sorted(mEntries.begin(), mEntries.end(), [](const PacketEntry& a, const PacketEntry& b) {
        return a.position < b.position;
    }) && mEntries.front().position >= 0;
    mPacketCount = SInt64(mEntries.size());
    mTotalFrames = total;
    return total > 0 ? noErr : kAudioFileInvalidFileError;
}
