#include "audio/files/ZEPQTMovieWriter.h"

#include "audio/files/QTSerializerLock.h"
#include "platform/Error.h"
#include "platform/codecs/AudioPacketWriter.h"

#include <QFileInfo>

namespace {

constexpr OSStatus kMovieFileError = OSStatus(FourCC("!Qtf"));
constexpr OSStatus kAddTrackError = OSStatus(FourCC("!Adt"));
// Media time past the limit of a movie's 32-bit sample times.
constexpr OSStatus kMediaTimeOverflowError = -2015;
constexpr SInt64 kMediaTimeLimit = SInt64(1) << 31;

} // namespace

ZEPQTMovieWriter::ZEPQTMovieWriter() = default;

ZEPQTMovieWriter::~ZEPQTMovieWriter() = default;

std::unique_ptr<ZEPAudioFileWriting> ZEPQTMovieWriter::initWithPath(const QString& path, UInt32 fileType,
                                                                    const AudioStreamBasicDescription& audioFormat,
                                                                    Error* error)
{
    AudioStreamBasicDescription format = audioFormat;
    if (format.mFormatID == kAudioFormatAppleLossless)
        format.mFormatFlags = kAppleLosslessFormatFlag_32BitSourceData;
    std::unique_ptr<ZEPQTMovieWriter> writer(new ZEPQTMovieWriter);
    writer->mFileType = fileType;
    OSStatus status = noErr;
    const QFileInfo info(path);
    const std::optional<ZEPFileRef> folder = ZEPFileRef::fileRefWithPath(info.absolutePath());
    if (!folder) {
        status = kZEPParameterError;
    } else {
        QString name = info.completeBaseName() + QStringLiteral(".") + writer->fileExtension();
        name.remove(QLatin1Char(':'));
        const QString moviePath = folder->path() + QLatin1Char('/') + name;
        std::lock_guard<std::recursive_mutex> serialized(QTSerializerLock::sharedSerializer());
        status = AudioPacketWriter::create(moviePath, kAudioFileQuickTimeMovieType, format, true, &writer->mMovie);
        if (status == noErr) {
            writer->mFileRef = ZEPFileRef::fileRefWithPath(moviePath);
            if (!writer->mFileRef)
                status = kMovieFileError;
        }
        if (status == noErr) {
            writer->mMediaASBD = format;
            if (!writer->addTrack())
                status = kAddTrackError;
        }
    }
    if (status != noErr) {
        setError(error, Error::fromOSStatus(status));
        return nullptr;
    }
    return writer;
}

std::optional<UInt32> ZEPQTMovieWriter::addTrack()
{
    // The movie holds one sound track.
    if (!mMovie || mTracks > 0)
        return std::nullopt;
    return mTracks++;
}

OSStatus ZEPQTMovieWriter::beginWritingSession()
{
    std::lock_guard<std::recursive_mutex> serialized(QTSerializerLock::sharedSerializer());
    mCachedTracks = mTracks;
    if (!mMovie)
        return kAudioFileNotOpenError;
    if (mCookie.isEmpty() || !mMovie->isMagicCookieWritable())
        return noErr;
    return mMovie->setMagicCookie(mCookie.constData(), UInt32(mCookie.size()));
}

OSStatus ZEPQTMovieWriter::setMagicCookie(const void* cookie, UInt32 length)
{
    std::lock_guard<std::recursive_mutex> serialized(QTSerializerLock::sharedSerializer());
    mCookie = QByteArray(static_cast<const char*>(cookie), qsizetype(length));
    return noErr;
}

OSStatus ZEPQTMovieWriter::addSamples(const UInt8* bytes, UInt32 size, UInt32 samples, UInt32 duration,
                                      const AudioStreamPacketDescription* description)
{
    if (mSamplesWritten + SInt64(samples) * duration >= kMediaTimeLimit)
        return kMediaTimeOverflowError;
    UInt32 packets = samples;
    OSStatus status;
    if (description) {
        AudioStreamPacketDescription one = *description;
        one.mStartOffset = 0;
        one.mVariableFramesInPacket = duration;
        status = mMovie->writePackets(size, &one, mMovie->packetCount(), &packets, bytes);
    } else {
        status = mMovie->writePackets(size, nullptr, mMovie->packetCount(), &packets, bytes);
    }
    if (status != noErr)
        return status;
    mBytesWritten += size;
    mSamplesWritten += SInt64(samples) * duration;
    return noErr;
}

OSStatus ZEPQTMovieWriter::writeBytes(const void* bytes, UInt32 size, UInt32 numPackets,
                                      const AudioStreamPacketDescription* packetDescriptions, UInt32 track)
{
    if (!mMovie || track >= mCachedTracks)
        return kAudio_ParamError;
    const UInt8* data = static_cast<const UInt8*>(bytes);
    const UInt32 framesPerPacket = mMediaASBD.mFramesPerPacket;
    if (mMediaASBD.mBytesPerPacket != 0)
        return addSamples(data, size, size / mMediaASBD.mBytesPerPacket, framesPerPacket, nullptr);
    if (!packetDescriptions)
        return 1;
    const UInt32 packets = numPackets ? numPackets : 1;
    for (UInt32 i = 0; i < packets; ++i) {
        const AudioStreamPacketDescription& d = packetDescriptions[i];
        const UInt32 duration = d.mVariableFramesInPacket ? d.mVariableFramesInPacket : framesPerPacket;
        const OSStatus status = addSamples(data, d.mDataByteSize, 1, duration, &d);
        if (status != noErr)
            return status;
        data += d.mDataByteSize; // packets are taken as contiguous
    }
    return noErr;
}

OSStatus ZEPQTMovieWriter::writePrimeInfo(const AudioConverterPrimeInfo& primeInfo, UInt32)
{
    // Kept in the edit list, so the movie plays exactly the frames that went in.
    if (!mMovie)
        return kAudioFileNotOpenError;
    AudioFilePacketTableInfo table;
    mMovie->getPacketTableInfo(&table);
    const SInt64 total = table.mNumberValidFrames + table.mPrimingFrames + table.mRemainderFrames;
    table.mPrimingFrames = SInt32(primeInfo.leadingFrames);
    table.mRemainderFrames = SInt32(primeInfo.trailingFrames);
    table.mNumberValidFrames = total - table.mPrimingFrames - table.mRemainderFrames;
    return mMovie->setPacketTableInfo(table);
}

OSStatus ZEPQTMovieWriter::endWritingSession()
{
    std::lock_guard<std::recursive_mutex> serialized(QTSerializerLock::sharedSerializer());
    if (!mMovie)
        return kAudioFileNotOpenError;
    const OSStatus status = mMovie->close();
    mCachedTracks = 0;
    if (status != noErr)
        return status;
    if (mFileRef && QFileInfo(mFileRef->name()).suffix() != fileExtension())
        mFileRef->renameWithName(mFileRef->baseName() + QStringLiteral(".") + fileExtension());
    return noErr;
}
