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
// the LAME tag of an MP3, Ogg granule positions, the Opus pre-skip, Matroska's codec delay
// and discard padding). AAC that carries none of these is taken to start with 2112 priming
// frames. The count is exact and known at open: linear PCM by its size, an indexed
// container by its index, raw streams (MP3, ADTS, FLAC) by a pass over their packets, and
// every other container (Ogg, Matroska, WebM...) by decoding it once, so the count always
// equals what a full read delivers.
//
// Seeks are exact to the frame: the reader goes back far enough for the codec to settle
// (from a byte offset of its own for PCM and raw streams, by the container's time stamps for
// the rest, checking where it landed and going further back when the container put it past
// the target), decodes and discards up to the target. Reading after a seek gives the very
// samples a reading from the start gives there, with two exceptions that lie in the codecs:
// Opus, whose decoder state settles over the half second of pre-roll to within 1e-4 of full
// scale, and AAC's substituted noise, which no decoder repeats (the noise keeps its energy).
// A seek that cannot be made answers an error, and reads answer it too until the next seek:
// a reader never reads on from a wrong place.
//
// Channels. One channel goes to both sides; more than two are mixed down with channel i
// adding into side i modulo 2 at unity gain.
//
// Refused at open, with a status: files without an audio stream, streams without a decoder
// here, protected (encrypted) media (kAudioFileProtectedMediaError), and damaged headers
// (kAudioFileInvalidFileError): sample rates outside 1 Hz ... 768 kHz, no channels or more
// than 64, linear PCM whose block alignment is not its frame size, an index that places
// packets beyond the end of the file. A header that promises more PCM frames than the file
// holds reads what the file holds.
//
// One thread at a time; no locks. Opening counts frames (a full pass over raw streams, a
// full decode of Ogg and Matroska), so it belongs on a loading thread, never on a render
// thread or the main thread; nor do reads. An open can be given up through `cancelled`.

#include "platform/codecs/AudioCodecTypes.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <memory>
#include <vector>

struct AVPacket;
namespace codecs {
struct AudioStreamDemuxer;
struct PacketEntry;
} // namespace codecs

class AudioFileReader {
public:
    // Opens the audio stream numbered audioTrack (counting audio streams only, from 0). When
    // *cancelled turns true (from any thread) the open stops with kAudioFileCancelledError.
    static OSStatus open(const QString& path, std::unique_ptr<AudioFileReader>* reader, int audioTrack = 0,
                         const std::atomic<bool>* cancelled = nullptr);
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
    // Moves to a valid frame (clipped into 0 ... frame count). An error means the stream could
    // not be put there: reads then deliver nothing and answer that error until a seek succeeds.
    OSStatus seek(SInt64 frame);
    // Reads up to *ioFrames frames into left and right; *ioFrames comes back as the frames
    // delivered, 0 at the end. An error (for example a file that ends before the frames it
    // promised) comes back with *ioFrames set to the frames really delivered before it.
    OSStatus read(UInt32* ioFrames, float* left, float* right);

private:
    AudioFileReader();
    OSStatus openStream(const QString& path, int audioTrack);
    // Counting at open (AudioFileReaderCounting.cpp), by the stream's addressing.
    OSStatus countFrames(const std::atomic<bool>* cancelled);
    OSStatus readFirstPacket();
    OSStatus countFlatPCM();
    OSStatus countIndexedPackets();
    void listPacket(const AVPacket* packet, SInt64 timeline, SInt64 timestamp);
    OSStatus scanPackets(const std::atomic<bool>* cancelled);
    OSStatus decodeAllPackets(const std::atomic<bool>* cancelled);
    SInt64 inspectLastPacket(SInt64 lastPacketTimeline);
    OSStatus determineGaplessInformation(const QString& path);

    // Seeking and decoding.
    OSStatus positionAt(SInt64 start, bool* landedInTime);
    OSStatus positionAtBeginning();
    SInt64 packetTimeline(const AVPacket* packet, bool* identified = nullptr);
    SInt64 listedFrames(size_t entry) const;
    OSStatus decodeMore();

    std::unique_ptr<codecs::AudioStreamDemuxer> mDemuxer;
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

    // What the open learned of the stream. The decoded timeline counts every frame the
    // decoder gives from the first packet on; valid frame f is timeline frame f + priming.
    SInt64 mTotalFrames = 0;
    SInt64 mOriginFrames = 0;       // time stamp of the first packet, in frames
    SInt64 mFirstPacketPosition = -1;
    SInt64 mStartSkip = 0;          // frames the container says to drop at the start
    SInt64 mEndDiscard = 0;         // and at the end
    SInt64 mLastPacketEnd = -1;     // where an index says the last packet ends, in frames
    SInt64 mStampedStart = 0;       // Ogg: the time stamps' first valid frame
    SInt64 mStampedEnd = -1;        // and where the last packet ends
    bool mIsProtected = false;
    std::vector<codecs::PacketEntry> mEntries; // every packet, for the scanned addressings
    size_t mEntryCursor = 0;        // the entry the next packet read should be
    bool mEntriesRecognisable = true; // DecodedScan: else every seek decodes from the start
    UInt32 mPrerollFrames = 0;

    SInt64 mPosition = 0;
    OSStatus mSeekStatus = noErr;   // a failed seek, answered by reads until the next seek
    SInt64 mNextPacketTimeline = 0;
    bool mInputEnded = false;
    bool mDecoderDrained = false;
    std::vector<float> mPendingLeft, mPendingRight;
    size_t mPendingOffset = 0;
    SInt64 mPendingStart = 0;
    SInt64 mDecodedEnd = 0;         // where the last decoded frame ended on the timeline
    std::vector<std::vector<float>> mScratch;
};
