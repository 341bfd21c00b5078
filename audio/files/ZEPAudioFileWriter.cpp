#include "audio/files/ZEPAudioFileWriter.h"

#include "audio/files/ZEPMPEG4TagRewrite.h"
#include "audio/files/ZEPQTMovieWriter.h"
#include "platform/Error.h"
#include "platform/codecs/AudioFormatCatalog.h"
#include "platform/codecs/AudioPacketWriter.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <mutex>

namespace {

constexpr UInt32 kAudiobookHFSType = FourCC("M4B ");

QString localized(const char* text) { return QCoreApplication::translate("ZEPAudioFileWriter", text); }

// The name with its extension replaced by wanted (dropped when wanted is empty); the name
// as it is when it has that extension already.
QString nameWithExtension(const QString& name, const QString& wanted)
{
    const QFileInfo info(name);
    if (info.suffix() == wanted)
        return name;
    const QString base = info.suffix().isEmpty() ? name : info.completeBaseName();
    return wanted.isEmpty() ? base : base + QLatin1Char('.') + wanted;
}

QVariantList rangeMaxima(const std::vector<AudioValueRange>& ranges)
{
    QVariantList values;
    for (const AudioValueRange& range : ranges)
        values.append(range.mMaximum);
    return values;
}

bool isExcludedFormat(AudioFormatID format)
{
    return format == kAudioFormatQDesign || format == kAudioFormatQDesign2 || format == kAudioFormatQUALCOMM;
}

} // namespace

ZEPAudioFileWriter::ZEPAudioFileWriter() = default;

ZEPAudioFileWriter::~ZEPAudioFileWriter() = default;

std::unique_ptr<ZEPAudioFileWriting> ZEPAudioFileWriter::initWithPath(const QString& path, UInt32 fileType,
                                                                      const AudioStreamBasicDescription& audioFormat,
                                                                      Error* error)
{
    bool bookmarkable = false;
    if (fileType == kAudioFileM4BType && !builtInSupportForAppleMPEG4AudioBooks()) {
        bookmarkable = true;
        fileType = kAudioFileM4AType;
    }
    if (fileType == kAudioFileQuickTimeMovieType)
        return ZEPQTMovieWriter::initWithPath(path, fileType, audioFormat, error);

    std::unique_ptr<ZEPAudioFileWriter> writer(new ZEPAudioFileWriter);
    writer->mBookmarkable = bookmarkable;
    OSStatus status = noErr;
    const QFileInfo info(path);
    const std::optional<ZEPFileRef> parent = ZEPFileRef::fileRefWithPath(info.absolutePath());
    if (!parent) {
        status = kZEPParameterError;
    } else {
        writer->mFileAudioFormatDesc = audioFormat;
        const QString wanted = pathExtensionForFileType(bookmarkable ? kAudioFileM4BType : fileType);
        const QString name = nameWithExtension(info.fileName(), wanted);
        const QString finalPath = parent->path() + QLatin1Char('/') + name;
        const bool exists = parent->childWithName(name).has_value();
        status = AudioPacketWriter::create(finalPath, fileType, audioFormat, exists, &writer->mAudioFile);
        if (status == noErr)
            writer->mFileRef = ZEPFileRef::fileRefWithPath(finalPath);
        writer->mCachedFileType = fileType;
        if (status == noErr && !writer->mFileRef)
            status = kZEPFileError;
    }
    if (status != noErr) {
        setError(error, Error::fromOSStatus(status));
        return nullptr;
    }
    return writer;
}

OSStatus ZEPAudioFileWriter::writeBytes(const void* bytes, UInt32 size, UInt32 numPackets,
                                        const AudioStreamPacketDescription* packetDescriptions, UInt32)
{
    if (!mAudioFile)
        return kAudioFileNotOpenError;
    UInt32 written = numPackets;
    if (numPackets && packetDescriptions && mCachedFileType != kAudioFileMP3Type) {
        const OSStatus status = mAudioFile->writePackets(size, packetDescriptions, mPacketsWritten, &written, bytes);
        if (status != noErr)
            return status;
        for (UInt32 i = 0; i < written; ++i) {
            const UInt32 frames = packetDescriptions[i].mVariableFramesInPacket;
            mFramesWritten += frames ? frames : mFileAudioFormatDesc.mFramesPerPacket;
        }
    } else if (size) {
        const OSStatus status = mAudioFile->writePackets(size, packetDescriptions, mPacketsWritten, &written, bytes);
        if (status != noErr)
            return status;
    } else {
        written = 0;
    }
    mPacketsWritten += written;
    mBytesWritten += size;
    return noErr;
}

OSStatus ZEPAudioFileWriter::getFileType(UInt32* fileType)
{
    const UInt32 type = mAudioFile ? mAudioFile->fileType() : mCachedFileType;
    *fileType = (type == kAudioFileM4AType && mBookmarkable) ? kAudioFileM4BType : type;
    return noErr;
}

UInt32 ZEPAudioFileWriter::fileType()
{
    UInt32 type = 0;
    return getFileType(&type) == noErr ? type : 0;
}

QString ZEPAudioFileWriter::fileExtension()
{
    UInt32 type = 0;
    return getFileType(&type) == noErr ? pathExtensionForFileType(type) : QString();
}

OSStatus ZEPAudioFileWriter::getHFSType(UInt32* hfsType)
{
    UInt32 type = 0;
    const OSStatus status = getFileType(&type);
    if (status != noErr)
        return status;
    // The platform knows no type codes; only the audiobook fallback remains.
    if (type == kAudioFileM4BType) {
        *hfsType = kAudiobookHFSType;
        return noErr;
    }
    return kAudioFileUnsupportedPropertyError;
}

UInt32 ZEPAudioFileWriter::hfsType()
{
    UInt32 type = 0;
    return getHFSType(&type) == noErr ? type : 0;
}

OSStatus ZEPAudioFileWriter::setMagicCookie(const void* cookie, UInt32 length)
{
    if (!mAudioFile || !mAudioFile->isMagicCookieWritable())
        return noErr;
    return mAudioFile->setMagicCookie(cookie, length);
}

OSStatus ZEPAudioFileWriter::beginWritingSession()
{
    if (!mAudioFile)
        return kAudioFileNotOpenError;
    return mAudioFile->optimize();
}

OSStatus ZEPAudioFileWriter::writePrimeInfo(const AudioConverterPrimeInfo& primeInfo, UInt32)
{
    const SInt32 leading = SInt32(primeInfo.leadingFrames);
    const SInt32 trailing = SInt32(primeInfo.trailingFrames);
    AudioFilePacketTableInfo table;
    OSStatus status = mAudioFile ? mAudioFile->getPacketTableInfo(&table) : kAudioFileNotOpenError;
    if (status == noErr) {
        table.mNumberValidFrames =
            table.mNumberValidFrames + table.mPrimingFrames + table.mRemainderFrames - trailing - leading;
        table.mPrimingFrames = leading;
        table.mRemainderFrames = trailing;
        status = mAudioFile->setPacketTableInfo(table);
        if (status == noErr) {
            mPacketTablePreserved = true;
            mPreservedPacketTable = table;
            return noErr;
        }
    }
    mPacketTablePreserved = true;
    mPreservedPacketTable = {mFramesWritten - leading - trailing, leading, trailing};
    if (mCachedFileType != kAudioFileMP3Type)
        mTags = QVariantMap();
    return status;
}

std::optional<AudioFilePacketTableInfo> ZEPAudioFileWriter::preservedPacketTable() const
{
    if (!mPacketTablePreserved)
        return std::nullopt;
    return mPreservedPacketTable;
}

OSStatus ZEPAudioFileWriter::endWritingSession()
{
    if (!mAudioFile || !mFileRef)
        return kAudioFileNotOpenError;
    const QString wanted = fileExtension();
    const QString name = mFileRef->name();
    UInt32 type = 0;
    getFileType(&type);

    OSStatus status = mAudioFile->optimize();
    if (status == noErr)
        status = mAudioFile->close();
    if (status != noErr)
        return status;

    if (QFileInfo(name).suffix() != wanted)
        mFileRef->renameWithName(nameWithExtension(name, wanted));

    const AudioFormatID format = mFileAudioFormatDesc.mFormatID;
    const bool mpeg4 = type == kAudioFileM4AType || type == kAudioFileM4BType;
    const bool taggable = format == kAudioFormatMPEG4AAC || format == kAudioFormatMPEG4AAC_HE ||
                          format == kAudioFormatMPEG4AAC_HE_V2 || format == kAudioFormatAppleLossless;
    if (!mTags.isEmpty() && mpeg4 && taggable) {
        // The audio is kept without its tags: the rewrite refused or failed, and says why.
        QString reason;
        if (ZEPRewriteMPEG4Tags(mFileRef->path(), mTags, mPacketTablePreserved ? &mPreservedPacketTable : nullptr,
                                &reason) != noErr)
            qWarning("ZEPAudioFileWriter: %s is kept without its tags: %s", qPrintable(mFileRef->path()),
                     qPrintable(reason));
    }
    return noErr;
}

OSStatus ZEPAudioFileWriter::fixFilePacketTable()
{
    throw ZEPUnimplementedException("[ZEPAudioFileWriter fixFilePacketTable] is unimplemented");
}

QVariantMap ZEPAudioFileWriter::losslessSettingsWithSampleRate(double sampleRate)
{
    QVariantMap encoderSettings{
        {"mFormatID", qlonglong(kAudioFormatAppleLossless)},
        {"mFormatFlags", qlonglong(4)},
        {"mFramesPerPacket", qlonglong(4096)},
        {"mChannelsPerFrame", qlonglong(2)},
        {"mBitsPerChannel", qlonglong(0)},
        {"mBytesPerFrame", qlonglong(0)},
        {"mBytesPerPacket", qlonglong(0)},
        {"mReserved", qlonglong(0)},
        {"mSampleRate", sampleRate},
        {"quality", qlonglong(64)},
    };
    return QVariantMap{{"fileType", qlonglong(kAudioFileCAFType)}, {"encoderSettings", encoderSettings}};
}

bool ZEPAudioFileWriter::builtInSupportForAppleMPEG4AudioBooks()
{
    // Audiobooks would be a type of their own only where the platform had type codes for them.
    return false;
}

std::optional<QString> ZEPAudioFileWriter::formatNameForFileType(UInt32 fileType)
{
    if (fileType == kAudioFileQuickTimeMovieType)
        return localized("QuickTime Movie");
    QString name;
    if (AudioFormatCatalog::fileTypeName(fileType, &name) == noErr)
        return name;
    if (fileType == kAudioFileM4BType)
        return localized("MPEG4 Bookmarkable");
    return std::nullopt;
}

QVariantList ZEPAudioFileWriter::writableFileTypes()
{
    static QVariantList types;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::vector<AudioFormatID>& encoders = AudioFormatCatalog::encodeFormatIDs();
        for (AudioFileTypeID type : AudioFormatCatalog::writableFileTypes()) {
            QString name;
            std::vector<AudioFormatID> formats;
            if (AudioFormatCatalog::fileTypeName(type, &name) != noErr ||
                AudioFormatCatalog::formatIDsForFileType(type, &formats) != noErr)
                return; // the list keeps what it has, unsorted
            const bool encodable = std::any_of(formats.begin(), formats.end(), [&](AudioFormatID format) {
                return std::find(encoders.begin(), encoders.end(), format) != encoders.end();
            });
            if (encodable && type != kAudioFileMPEG4Type)
                types.append(QVariantMap{{"value", qlonglong(type)}, {"localizedName", name}});
        }
        // Movies and MP3 have writers of their own; listed when this machine writes them.
        if (AudioFormatCatalog::canWriteFileType(kAudioFileQuickTimeMovieType))
            types.append(QVariantMap{{"value", qlonglong(kAudioFileQuickTimeMovieType)},
                                     {"localizedName", localized("QuickTime Movie")}});
        if (AudioFormatCatalog::canWriteFileType(kAudioFileMP3Type))
            types.append(QVariantMap{{"value", qlonglong(kAudioFileMP3Type)}, {"localizedName", localized("MP3")}});
        const bool hasAudiobooks = std::any_of(types.begin(), types.end(), [](const QVariant& entry) {
            return entry.toMap().value("value").toLongLong() == qlonglong(kAudioFileM4BType);
        });
        if (!hasAudiobooks)
            types.append(QVariantMap{{"value", qlonglong(kAudioFileM4BType)},
                                     {"localizedName", localized("MPEG4 Bookmarkable")}});
        std::sort(types.begin(), types.end(), [](const QVariant& a, const QVariant& b) {
            return a.toMap().value("localizedName").toString().compare(b.toMap().value("localizedName").toString()) < 0;
        });
    });
    return types;
}

OSStatus ZEPAudioFileWriter::availableOutputDescriptions(std::vector<AudioStreamBasicDescription>* descriptions,
                                                        UInt32 fileType, UInt32 formatID)
{
    descriptions->clear();
    return AudioFormatCatalog::availableStreamDescriptions(fileType, formatID, descriptions);
}

std::optional<QVariantList> ZEPAudioFileWriter::availableEncodersForFormat(UInt32 formatID)
{
    std::vector<AudioFormatCatalog::EncoderDescription> encoders;
    if (AudioFormatCatalog::encodersForFormat(formatID, &encoders) != noErr)
        return std::nullopt;
    QVariantList entries;
    for (const auto& encoder : encoders)
        entries.append(QVariantMap{{"type", qlonglong(encoder.type)},
                                   {"subtype", qlonglong(encoder.subtype)},
                                   {"manufacturer", qlonglong(encoder.manufacturer)}});
    return entries;
}

std::optional<QVariantList> ZEPAudioFileWriter::availableSampleRatesForFormatID(UInt32 formatID)
{
    std::vector<AudioValueRange> ranges;
    if (AudioFormatCatalog::availableEncodeSampleRates(formatID, &ranges) != noErr)
        return std::nullopt;
    return rangeMaxima(ranges);
}

std::optional<QVariantList> ZEPAudioFileWriter::availableBitRatesForFormatID(UInt32 formatID)
{
    std::vector<AudioValueRange> ranges;
    if (AudioFormatCatalog::availableEncodeBitRates(formatID, &ranges) != noErr)
        return std::nullopt;
    return rangeMaxima(ranges);
}

std::optional<QVariantList> ZEPAudioFileWriter::availableNumberChannelsForFormatID(UInt32 formatID)
{
    AudioStreamBasicDescription description;
    description.mFormatID = formatID;
    std::vector<UInt32> counts;
    if (AudioFormatCatalog::availableEncodeNumberChannels(description, &counts) != noErr)
        return std::nullopt;
    QVariantList values;
    for (UInt32 count : counts)
        values.append(count == kAudioAnyChannelCount ? qlonglong(-1) : qlonglong(count));
    return values;
}

std::optional<QVariantList> ZEPAudioFileWriter::availableFormatsForFileType(UInt32 fileType)
{
    std::vector<AudioFormatID> held;
    if (AudioFormatCatalog::formatIDsForFileType(fileType, &held) != noErr)
        return std::nullopt;
    QVariantList formats;
    for (AudioFormatID format : AudioFormatCatalog::encodeFormatIDs()) {
        if (std::find(held.begin(), held.end(), format) != held.end() && !isExcludedFormat(format))
            formats.append(qlonglong(format));
    }
    return formats;
}

QStringList ZEPAudioFileWriter::pathExtensionsForFileType(UInt32 fileType)
{
    if (fileType == kAudioFileQuickTimeMovieType)
        return {QStringLiteral("mov")};
    if (fileType == kAudioFileMP3Type)
        return {QStringLiteral("mp3")};
    QStringList extensions;
    if (AudioFormatCatalog::extensionsForFileType(fileType, &extensions) == noErr)
        return extensions;
    if (fileType == kAudioFileM4BType)
        return {QStringLiteral("m4b")};
    return {};
}

QString ZEPAudioFileWriter::pathExtensionForFileType(UInt32 fileType)
{
    const QStringList extensions = pathExtensionsForFileType(fileType);
    return extensions.isEmpty() ? QString() : extensions.first();
}

UInt32 ZEPAudioFileWriter::audioFileTypeForExtension(const QString& extension)
{
    if (extension == QLatin1String("mov"))
        return kAudioFileQuickTimeMovieType;
    for (const QVariant& entry : writableFileTypes()) {
        const UInt32 type = UInt32(entry.toMap().value("value").toLongLong());
        if (pathExtensionsForFileType(type).contains(extension))
            return type;
    }
    return 0;
}
