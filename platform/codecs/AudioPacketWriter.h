#pragma once
// Writes encoded packets into a new sound file, in place of the audio toolbox's file
// writing: AIFF, AIFC, WAVE, NeXT/Sun, CAF, MPEG-4 audio (M4A, M4B, MP4), ADTS, MP3 and
// QuickTime movies, one sound track each, through FFmpeg's muxers.
//
// A file is created (empty) at once; its header is written with the first packets, so the
// magic cookie can be set until then. The packet table (valid, priming and remainder
// frames) may be set at any time before close(); close() finishes the file and stores the
// table where the type keeps it (CAF packet table, MPEG-4 edit list, MP3 LAME tag, ADTS
// "iTunSMPB" tag), so a reader of the file gets back exactly the valid frames. Types with
// nowhere to keep it (AIFF, AIFC, WAVE, NeXT/Sun) take only a table without priming and
// remainder.
//
// One thread at a time; no locks.

#include "platform/codecs/AudioCodecTypes.h"

#include <QByteArray>
#include <QString>

#include <memory>

class AudioPacketWriter {
public:
    // Creates the file at path. With eraseExisting an existing file is replaced, without
    // it an existing file makes the call fail (kAudioFilePermissionsError). The format
    // must be one the catalogue lists for the type (interleaved for linear PCM), else
    // kAudioFileUnsupportedFileTypeError or kAudioFileUnsupportedDataFormatError.
    static OSStatus create(const QString& path, AudioFileTypeID fileType, const AudioStreamBasicDescription& format,
                           bool eraseExisting, std::unique_ptr<AudioPacketWriter>* writer);
    // Closes the file when close() was not called.
    ~AudioPacketWriter();
    AudioPacketWriter(const AudioPacketWriter&) = delete;
    AudioPacketWriter& operator=(const AudioPacketWriter&) = delete;

    QString path() const { return mPath; }
    AudioFileTypeID fileType() const { return mFileType; }
    const AudioStreamBasicDescription& dataFormat() const { return mFormat; }

    // Whether the format keeps a magic cookie and the header is not written yet.
    bool isMagicCookieWritable() const;
    OSStatus setMagicCookie(const void* cookie, UInt32 size);

    // Writes packets at startingPacket, which must be the count written so far. Packets of
    // a variable size need their descriptions; constant-size packets are counted from the
    // byte count. *ioNumPackets comes back as the packets written.
    OSStatus writePackets(UInt32 numBytes, const AudioStreamPacketDescription* descriptions, SInt64 startingPacket,
                          UInt32* ioNumPackets, const void* data);

    // The table to store at close: by default every frame written is valid.
    OSStatus getPacketTableInfo(AudioFilePacketTableInfo* table) const;
    OSStatus setPacketTableInfo(const AudioFilePacketTableInfo& table);

    SInt64 packetCount() const { return mPacketsWritten; }
    SInt64 byteCount() const { return mBytesWritten; }
    SInt64 frameCount() const { return mFramesWritten; }

    // Nothing to do: files are written in their final layout.
    OSStatus optimize() { return noErr; }
    // Finishes the file. A second call does nothing.
    OSStatus close();

private:
    AudioPacketWriter() = default;
    OSStatus writeHeader();
    OSStatus storePacketTable();
    bool keepsPacketTable() const;

    struct Muxer;
    std::unique_ptr<Muxer> mMuxer;
    QString mPath;
    AudioFileTypeID mFileType = 0;
    AudioStreamBasicDescription mFormat;
    QByteArray mCookie;
    bool mHeaderWritten = false;
    bool mClosed = false;
    SInt64 mPacketsWritten = 0;
    SInt64 mBytesWritten = 0;
    SInt64 mFramesWritten = 0;
    bool mTableSet = false;
    AudioFilePacketTableInfo mTable;
};
