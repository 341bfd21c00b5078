#pragma once
// One audio stream of a file as FFmpeg demuxes and decodes it, for AudioFileReader: the
// container and the decoder, opened with the checks a damaged header has to pass, the way
// the stream's frames are found again after a seek, and the packet reads and repositioning
// the reader builds on. Private to platform/codecs; one thread at a time.

#include "platform/codecs/FFmpegFormats.h"

#include <QByteArray>
#include <QString>

namespace codecs {

// What a header may claim: a rate or a channel count beyond these is a damaged header, refused
// at open (the mixer folds up to kMaximumChannels channels into two).
constexpr int kMinimumSampleRate = 1;
constexpr int kMaximumSampleRate = 768000;
constexpr int kMaximumChannels = 64;

// How the reader finds a frame of the stream again.
enum class PacketAddressing {
    // Linear PCM (or another constant framing) stored as one run of bytes (WAV, AIFF, NeXT,
    // CAF): a frame's byte offset follows from the stream's own frame size.
    FlatPCM,
    // The container indexes every packet with its time stamp (MPEG-4, QuickTime, CAF).
    ContainerIndex,
    // A raw stream without an index (MP3, ADTS, FLAC): every packet's byte offset and frames
    // are listed at open; seeks go to a listed byte offset.
    PacketScan,
    // Everything else (Ogg, Matroska and WebM, fragmented movies...): every packet is decoded
    // at open, which tells the exact frames of each; seeks go by the container's time stamps,
    // and the packet met there is recognised by its byte offset and size.
    DecodedScan,
};

// One packet as met at open, in stream order (PacketScan and DecodedScan).
struct PacketEntry {
    SInt64 position = -1;              // the byte offset the demuxer tells; -1 when unknown
    SInt64 timestamp = AV_NOPTS_VALUE; // the container's time stamp, in the stream's time base
    SInt64 timeline = 0;               // the decoded frame at which its output begins
    SInt32 size = 0;
};

struct AudioStreamDemuxer {
    // Opens audio stream number audioTrack (audio streams counted from 0) and its decoder,
    // and chooses the addressing. audioTrackCount receives the file's number of audio streams.
    // Refused: no such stream, no decoder, rates or channel counts beyond the limits above,
    // linear PCM whose block alignment is not its frame size.
    OSStatus open(const QString& path, int audioTrack, int* audioTrackCount);

    // Reads the stream's next packet into `packet` (a held packet comes first). Answers 0,
    // AVERROR_EOF at the end, or another FFmpeg error.
    int readPacket();
    // Keeps the packet just read for the next readPacket() (a seek reads one to check it).
    void holdPacket() { held = true; }

    // Repositioning; each drops a held packet and empties the decoder.
    OSStatus seekToByte(SInt64 position);
    OSStatus seekToTimestamp(SInt64 timestamp);
    // Opens the container afresh, at its first packet: the way back when a seek misbehaves.
    OSStatus reopen();

    SInt64 toFrames(SInt64 timestamp) const;
    SInt64 toTimestamp(SInt64 frames) const;
    SInt64 fileSize() const;
    QByteArray demuxerName() const;

    QByteArray nativePath;
    InputFormatContext format;
    AVStream* stream = nullptr;
    CodecContext decoder;
    Packet packet;
    Frame frame;
    AVRational frameBase{1, 1};
    PacketAddressing addressing = PacketAddressing::DecodedScan;

private:
    OSStatus openContainer();
    OSStatus openDecoder();
    void chooseAddressing();

    int mStreamIndex = -1;
    bool held = false;
};

} // namespace codecs
