#pragma once
// The ZEPAudioFile for movies, MP3 files and whatever the plain reader refuses: reads the
// sound tracks of a movie file as 32-bit float, non-interleaved, two channels per track,
// or all tracks mixed into two channels (one track, single-track mode, or tracks that are
// not all stereo). Protected (encrypted) media is refused.
//
// A movie opened asynchronously loads like any ZEPAudioFile (see there): its tracks are
// opened and counted on a loading thread, and the delegate hears movieDidFinishLoading()
// once, on the main thread. A movie's tracks must share the first track's sample rate;
// tracks at another rate are left out.
//
// Positions are frames of the extraction format; the frame count is the longest track's.
// After the end has been read every read answers 666 with nothing until the position is set
// again. A synchronous open is serialised by the shared QTSerializerLock (a background open
// never waits for it, so it never holds up the main thread); reads and the extraction set-up
// are serialised on the reader.

#include "audio/files/ZEPAudioFile.h"

#include <mutex>
#include <vector>

class AudioFileReader;

class ZEPMovie : public ZEPAudioFile {
public:
    // Single-track mode (process-wide, off at start): every movie reads as one stereo track.
    static void setTreatMoviesAsSingleTrack(bool singleTrack);
    static bool treatMoviesAsSingleTrack();
    static bool fileAtPathIsDRMEncrypted(const QString& path);
    static bool movieIsDRMEncrypted(const AudioFileReader* movie);
    // Whether a movie reader can open the file.
    static bool canInitWithPath(const QString& path);

    // Null for no path; opened synchronously, also for a file without a sound track, protected
    // media or a file that does not open (asynchronously, those end their loading with
    // canPlay() NO).
    static std::unique_ptr<ZEPMovie> initWithPath(const QString& path, bool asynchronous = true);
    ~ZEPMovie() override;

    // Opens the extraction again (at the current position).
    OSStatus openFile() override;
    UInt32 fileType() override { return kAudioFileQuickTimeMovieType; }
    AudioStreamBasicDescription fileAudioDescription() override { return mFileAudioStreamDescription; }
    UInt32 fileBitrate() override { return mFileBitrate; }
    // The first sound track's stream description and bit rate.
    OSStatus getFileAudioDescription(AudioStreamBasicDescription* description);
    OSStatus getFileBitrate(UInt32* bitRate);
    // "AAC, Stereo, 44.100 kHz" and the like; nothing without a track.
    std::optional<QString> userReadableDescription();
    OSStatus getSampleRate(Float64* sampleRate);

    // Takes 32-bit float, non-interleaved, at the movie's rate, with two channels per
    // track (kAudioConverterErr_FormatNotSupported otherwise).
    OSStatus setExtractionAudioDescription(const AudioStreamBasicDescription* description) override;
    OSStatus getExtractionAudioDescription(AudioStreamBasicDescription* description) override;

    // A track's channel layout (a whole AudioChannelLayout); empty when it has none.
    OSStatus trackGetLayout(UInt32 track, QByteArray* layout);
    OSStatus trackSetLayout(UInt32 track, const QByteArray& layout);
    static OSStatus getNumberOfChannels(UInt32* count, const AudioChannelLayout* layout, UInt32 size);
    // A zeroed layout of count descriptions, the first two labelled left and right.
    static OSStatus createLayout(QByteArray* layout, UInt32 channelCount);
    static OSStatus createStereoChannelLayout(QByteArray* layout) { return createLayout(layout, 2); }

    // One in single-track mode, else the movie's sound tracks.
    UInt32 trackCount() override;
    UInt32 channelCount() { return 2 * trackCount(); }

    // Sets up the extraction: every sound track, the extraction format, the position.
    OSStatus readyMovieExtraction();
    // Reads one frame (and does not move the position).
    OSStatus readOnePacket();
    OSStatus setExtractionTime(SInt64 time);
    SInt64 extractionTime() const { return mLocation; }
    SInt64 startTime() const { return 0; }
    SInt64 endTime();
    double duration() override;
    SInt64 packetCount() override;
    SInt64 locationPackets() override { return mLocation; }
    // Ignored (answering 0) beyond the last frame and at the current position.
    OSStatus setLocationPackets(SInt64 location) override;
    OSStatus endMovieExtraction();
    OSStatus readPackets(UInt32* packets, AudioBufferList* buffer, AudioStreamPacketDescription* descriptions) override;

protected:
    // Opens every sound track at the first track's rate.
    ReaderOpener readerOpener() const override;
    OSStatus installReaders(Readers readers) override;

private:
    ZEPMovie();
    bool mixesTracks() const;
    // The extraction over the given tracks, from frame `resume`.
    OSStatus setUpExtraction(Readers tracks, SInt64 resume);

    std::vector<std::unique_ptr<AudioFileReader>> mTracks; // the extraction session
    UInt32 mCachedTrackCount = 0;
    bool mExtractionComplete = false;
    AudioStreamBasicDescription mFileAudioStreamDescription;
    UInt32 mFileBitrate = 0;
    SInt64 mPacketCount = 0;
    AudioStreamBasicDescription mSessionFormat;
    AudioStreamBasicDescription mExtractionDesc; // cached; valid while it has channels
    UInt32 mDefaultChannels = 0;                 // the channels of all tracks together
    std::recursive_mutex mLock;
    UInt32 mOverrideTrackCount = 0;
    SInt64 mLocation = 0;
    bool mSeekFailed = false;
    std::vector<QByteArray> mTrackLayouts;
    std::vector<float> mScratchLeft, mScratchRight;
};
