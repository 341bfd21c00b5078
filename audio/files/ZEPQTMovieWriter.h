#pragma once
// The writer for the file type 'MooV': the encoder's packets become the one sound track of
// a new movie file (".mov"), whose time scale is the sample rate. ZEPAudioFileWriter answers
// one whenever it is asked for 'MooV'; the conversion thread drives it like any writer.
//
// Media time is counted in samples and may not reach 2^31 (-2015 beyond). The encoder's
// prime information is kept in the movie's edit list, so the movie reads back at the length
// that went in. Movies carry no tags.
//
// Session start and end take the shared QTSerializerLock; one thread writes at a time.

#include "audio/files/ZEPAudioFileWriting.h"

#include <QByteArray>

#include <memory>

class AudioPacketWriter;
struct Error;

class ZEPQTMovieWriter : public ZEPAudioFileWriting {
public:
    // Creates "<name>.mov" beside path (the name without its extension, every ':' removed).
    // Null, with *error in the OSStatus domain, on failure: '!Par' (no folder), '!Qtf' (no
    // reference to the movie file), '!Adt' (no sound track) or the platform status.
    static std::unique_ptr<ZEPAudioFileWriting> initWithPath(const QString& path, UInt32 fileType,
                                                             const AudioStreamBasicDescription& audioFormat,
                                                             Error* error = nullptr);
    ~ZEPQTMovieWriter() override;

    // The one sound track; nothing once there is one.
    std::optional<UInt32> addTrack() override;
    UInt32 trackCount() const override { return UInt32(mCachedTracks); }
    UInt32 tracks() const { return mTracks; }
    OSStatus beginWritingSession() override;
    OSStatus setMagicCookie(const void* cookie, UInt32 length) override;
    // Constant-size packets go in one sample call, variable ones one call per packet (1
    // without packet descriptions). track: the track's number.
    OSStatus writeBytes(const void* bytes, UInt32 size, UInt32 numPackets,
                        const AudioStreamPacketDescription* packetDescriptions, UInt32 track) override;
    OSStatus writePrimeInfo(const AudioConverterPrimeInfo& primeInfo, UInt32 primeMethod) override;
    OSStatus endWritingSession() override;
    void setTags(const QVariantMap&) override {}
    std::optional<QVariantMap> tags() const override { return std::nullopt; }
    UInt32 fileType() override { return mFileType; }
    UInt32 hfsType() override { return kAudioFileQuickTimeMovieType; }
    QString fileExtension() override { return QStringLiteral("mov"); }
    std::optional<ZEPFileRef> file() const override { return mFileRef; }
    SInt64 amountWritten() const override { return mBytesWritten; }
    SInt64 samplesWritten() const { return mSamplesWritten; }
    OSStatus fixFilePacketTable() override { return noErr; }
    OSStatus enterThread() override { return noErr; }
    OSStatus exitThread() override { return noErr; }

    static bool isFormatValid(const AudioStreamBasicDescription&) { return true; }

private:
    ZEPQTMovieWriter();
    OSStatus addSamples(const UInt8* bytes, UInt32 size, UInt32 samples, UInt32 duration,
                        const AudioStreamPacketDescription* description);

    std::optional<ZEPFileRef> mFileRef;
    UInt32 mFileType = 0;
    AudioStreamBasicDescription mMediaASBD;
    QByteArray mCookie;
    std::unique_ptr<AudioPacketWriter> mMovie;
    SInt64 mBytesWritten = 0;
    SInt64 mSamplesWritten = 0;
    UInt32 mTracks = 0;
    size_t mCachedTracks = 0;
};
