#pragma once
// Reads the audio of a sound or movie file, in place of the audio toolbox's file reading
// with its decoding converter and of the movie toolbox's audio extraction: opens any
// container FFmpeg reads that holds an audio stream, tells its file type, data format,
// magic cookie, bit rate, packet and byte counts, channel layout and tags, and hands out
// its sound as two channels of 32-bit float at the file's own rate.
//
// Frames. A reader counts only the valid frames of the stream: the priming frames an
// encoder put in front and the remainder it padded at the end are dropped, as the file's
// gapless information says (the CAF packet table, an "iTunSMPB" tag, an MPEG-4 edit list,
// the LAME tag of an MP3). AAC that carries none of these is taken to start with 2112
// priming frames. Every packet is counted at open, so the frame count is exact, and a seek
// is exact to the frame: the reader goes back far enough for the codec to settle, decodes
// and discards up to the target, so reading after a seek gives the very samples a reading
// from the start gives there.
//
// Channels. One channel goes to both sides; more than two are mixed down with channel i
// adding into side i modulo 2 at unity gain.
//
// Refused: files without an audio stream, streams without a decoder here, and protected
// (encrypted) media (kAudioFileProtectedMediaError).
//
// One thread at a time; no locks. Opening counts packets (a full pass over files without
// an index, such as MP3 and ADTS), so it is not for a render thread; nor are reads.

#include "platform/codecs/AudioCodecTypes.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <vector>

class AudioFileReader {
public:
    // Opens the audio stream numbered audioTrack (counting audio streams only, from 0).
    static OSStatus open(const QString& path, std::unique_ptr<AudioFileReader>* reader, int audioTrack = 0);
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    // The number of audio streams in the file.
    int audioTrackCount() const { return mAudioTrackCount; }

    AudioFileTypeID fileType() const { return mFileType; }
    const AudioStreamBasicDescription& dataFormat() const { return mDataFormat; }
    QByteArray magicCookie() const;
    UInt32 bitRate() const { return mBitRate; }
    SInt64 packetCount() const { return mPacketCount; }
    SInt64 byteCount() const { return mByteCount; }
    UInt32 maximumPacketSize() const { return mMaximumPacketSize; }
    // The valid, priming and remainder frames; valid frames are the frame count.
    const AudioFilePacketTableInfo& packetTable() const { return mPacketTable; }
    // Whether the file itself said how many frames are valid.
    bool hasGaplessInformation() const { return mHasGaplessInformation; }
    // The file's channel layout (a whole AudioChannelLayout with its descriptions).
    QByteArray channelLayout() const { return mChannelLayout; }
    // The file's tags: name to text.
    QVariantMap infoDictionary() const { return mInfo; }

    // Property reads by the codes of AudioCodecTypes.h: 'ffmt', 'dfmt', 'mgic', 'bcnt',
    // 'pcnt', 'psze', 'pkub', 'pnfo', 'cmap', 'brat'. getPropertyInfo gives the size;
    // getProperty copies into data, whose size *ioSize must be at least that.
    OSStatus getPropertyInfo(AudioFilePropertyID property, UInt32* size) const;
    OSStatus getProperty(AudioFilePropertyID property, UInt32* ioSize, void* data) const;

    // The valid frame read next.
    SInt64 position() const { return mPosition; }
    // Moves to a valid frame (clipped into 0 ... frame count).
    OSStatus seek(SInt64 frame);
    // Reads up to *ioFrames frames into left and right; *ioFrames comes back as the frames
    // delivered, 0 at the end. An error (for example a file that ends before the frames it
    // promised) comes back with *ioFrames set to the frames really delivered before it.
    OSStatus read(UInt32* ioFrames, float* left, float* right);

private:
    struct Demuxer;
    AudioFileReader();
    OSStatus openStream(const QString& path, int audioTrack);
    OSStatus countPackets();
    OSStatus determineGaplessInformation(const QString& path);
    OSStatus decodeMore();
    SInt64 inspectLastPacket(SInt64 lastPacketTimeline);
    SInt64 packetTimeline(SInt64 pts, SInt64 position) const;

    std::unique_ptr<Demuxer> mDemuxer;
    int mAudioTrackCount = 0;
    AudioFileTypeID mFileType = 0;
    AudioStreamBasicDescription mDataFormat;
    UInt32 mBitRate = 0;
    SInt64 mPacketCount = 0;
    SInt64 mByteCount = 0;
    UInt32 mMaximumPacketSize = 0;
    AudioFilePacketTableInfo mPacketTable;
    bool mHasGaplessInformation = false;
    QByteArray mChannelLayout;
    QVariantMap mInfo;

    // The decoded timeline counts every frame the decoder gives from the first packet on;
    // valid frame f is timeline frame f + priming.
    SInt64 mTotalFrames = 0;
    SInt64 mPosition = 0;
    SInt64 mNextPacketTimeline = 0;
    UInt32 mPrerollFrames = 0;
    bool mInputEnded = false;
    bool mDecoderDrained = false;
    std::vector<float> mPendingLeft, mPendingRight;
    size_t mPendingOffset = 0;
    SInt64 mPendingStart = 0;
    std::vector<std::vector<float>> mScratch;
};
