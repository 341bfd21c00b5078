#pragma once
// Writes encoded packets into a new sound file, and is the program's catalogue of file
// types and encoders: which types can be written, their names and extensions, the formats,
// sample rates, bit rates and channel counts each encoder offers, and the lossless
// settings of the board cache.
//
// Creating a writer for 'MooV' answers a ZEPQTMovieWriter. 'm4bf' is written as an MPEG-4
// audio file with the extension "m4b" (the writer then reports the type 'm4bf'). At the
// end of a session an MPEG-4 audio file with tags is handed to the MPEG-4 tag rewrite
// (audio/files/ZEPMPEG4TagRewrite.h) with its gapless values.
//
// Old Mac file type and creator codes have no equivalent here: hfsType() still answers the
// code a type would have had ('M4B ' for audiobooks, else 0), but no file gets one.
//
// A writer is used by one thread at a time (the conversion thread); the catalogue is built
// once under a once-only guard and then only read, from any thread.

#include "audio/files/ZEPAudioFileWriting.h"

#include <QStringList>
#include <QVariantList>

#include <memory>
#include <stdexcept>
#include <vector>

class AudioPacketWriter;
struct Error;

// Raised by operations a writer does not have; name "Unimplemented".
class ZEPUnimplementedException : public std::logic_error {
public:
    explicit ZEPUnimplementedException(const std::string& reason) : std::logic_error(reason) {}
    static const char* name() { return "Unimplemented"; }
};

class ZEPAudioFileWriter : public ZEPAudioFileWriting {
public:
    // Creates the file at path (its extension replaced by the type's) for packets of format;
    // an existing file is replaced. Null, with *error in the OSStatus domain, on failure:
    // '!Par' (no folder), '!Fil' (no reference to the created file) or the platform status.
    static std::unique_ptr<ZEPAudioFileWriting> initWithPath(const QString& path, UInt32 fileType,
                                                             const AudioStreamBasicDescription& audioFormat,
                                                             Error* error = nullptr);
    ~ZEPAudioFileWriter() override;

    OSStatus writeBytes(const void* bytes, UInt32 size, UInt32 numPackets,
                        const AudioStreamPacketDescription* packetDescriptions, UInt32 track) override;
    std::optional<ZEPFileRef> file() const override { return mFileRef; }
    OSStatus getFileType(UInt32* fileType);
    UInt32 fileType() override;
    QString fileExtension() override;
    OSStatus getHFSType(UInt32* hfsType);
    UInt32 hfsType() override;
    std::optional<UInt32> addTrack() override { return std::nullopt; }
    UInt32 trackCount() const override { return 1; }
    void setTags(const QVariantMap& tags) override { mTags = tags; }
    std::optional<QVariantMap> tags() const override { return mTags; }
    OSStatus setMagicCookie(const void* cookie, UInt32 length) override;
    OSStatus enterThread() override { return noErr; }
    OSStatus exitThread() override { return noErr; }
    OSStatus beginWritingSession() override;
    OSStatus endWritingSession() override;
    SInt64 amountWritten() const override { return mBytesWritten; }
    OSStatus writePrimeInfo(const AudioConverterPrimeInfo& primeInfo, UInt32 primeMethod) override;
    // Throws ZEPUnimplementedException.
    OSStatus fixFilePacketTable() override;

    SInt64 framesWritten() const { return mFramesWritten; }
    // The packet table kept for the tag rewrite, when there is one.
    std::optional<AudioFilePacketTableInfo> preservedPacketTable() const;

    // The catalogue.
    // {"fileType": 'caff', "encoderSettings": Apple Lossless of 16-bit sources at the rate,
    // 4096 frames per packet, two channels, quality 64}.
    static QVariantMap losslessSettingsWithSampleRate(double sampleRate);
    static QVariantMap losslessSettings() { return losslessSettingsWithSampleRate(44100.0); }
    static bool isFormatValid(const AudioStreamBasicDescription&) { return true; }
    // Whether the platform knows audiobooks as a type of their own (it does not here).
    static bool builtInSupportForAppleMPEG4AudioBooks();
    static std::optional<QString> formatNameForFileType(UInt32 fileType);
    // Entries {"value": type, "localizedName": name}, sorted by name; built once.
    static QVariantList writableFileTypes();
    static OSStatus availableOutputDescriptions(std::vector<AudioStreamBasicDescription>* descriptions,
                                               UInt32 fileType, UInt32 formatID);
    // Entries {"type", "subtype", "manufacturer"}.
    static std::optional<QVariantList> availableEncodersForFormat(UInt32 formatID);
    static std::optional<QVariantList> availableSampleRatesForFormatID(UInt32 formatID);
    static std::optional<QVariantList> availableBitRatesForFormatID(UInt32 formatID);
    // Counts as numbers, "any" as -1.
    static std::optional<QVariantList> availableNumberChannelsForFormatID(UInt32 formatID);
    // Formats the type holds that an encoder produces, in encoder order.
    static std::optional<QVariantList> availableFormatsForFileType(UInt32 fileType);
    static QStringList pathExtensionsForFileType(UInt32 fileType);
    static QString pathExtensionForFileType(UInt32 fileType);
    static UInt32 audioFileTypeForExtension(const QString& extension);

private:
    ZEPAudioFileWriter();

    std::optional<ZEPFileRef> mFileRef;
    AudioStreamBasicDescription mFileAudioFormatDesc;
    std::unique_ptr<AudioPacketWriter> mAudioFile;
    SInt64 mPacketsWritten = 0;
    SInt64 mBytesWritten = 0;
    SInt64 mFramesWritten = 0;
    QVariantMap mTags;
    bool mBookmarkable = false;
    UInt32 mCachedFileType = 0;
    bool mPacketTablePreserved = false;
    AudioFilePacketTableInfo mPreservedPacketTable;
};
