#pragma once
// What the conversion thread drives to write encoded packets into a file: create, set the
// encoder's magic cookie, begin the session, write packets, hand over the encoder's prime
// information, end the session. ZEPAudioFileWriter writes sound files, ZEPQTMovieWriter
// movies. A writer is used by one thread at a time.

#include "platform/ZEPFileRef.h"
#include "platform/codecs/AudioCodecTypes.h"

#include <QString>
#include <QVariantMap>

#include <optional>

class ZEPAudioFileWriting {
public:
    virtual ~ZEPAudioFileWriting() = default;

    // Writes numPackets packets (bytes, byteSize bytes; descriptions for packets of a
    // variable size) to the track.
    virtual OSStatus writeBytes(const void* bytes, UInt32 size, UInt32 numPackets,
                                const AudioStreamPacketDescription* packetDescriptions, UInt32 track) = 0;
    // The file being written (it follows renames).
    virtual std::optional<ZEPFileRef> file() const = 0;
    virtual UInt32 fileType() = 0;
    virtual QString fileExtension() = 0;
    // The old Mac file type code of the file; these are not written on this platform.
    virtual UInt32 hfsType() = 0;
    // A new track's number; nothing when the writer has one track only.
    virtual std::optional<UInt32> addTrack() = 0;
    virtual UInt32 trackCount() const = 0;
    virtual void setTags(const QVariantMap& tags) = 0;
    virtual std::optional<QVariantMap> tags() const = 0;
    virtual OSStatus setMagicCookie(const void* cookie, UInt32 length) = 0;
    // A writing thread announces itself before and after its work.
    virtual OSStatus enterThread() = 0;
    virtual OSStatus exitThread() = 0;
    virtual OSStatus beginWritingSession() = 0;
    virtual OSStatus endWritingSession() = 0;
    virtual SInt64 amountWritten() const = 0;
    // The encoder's leading and trailing frames, after the last packet.
    virtual OSStatus writePrimeInfo(const AudioConverterPrimeInfo& primeInfo, UInt32 primeMethod) = 0;
    virtual OSStatus fixFilePacketTable() = 0;
};
