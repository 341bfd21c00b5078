#include "audio/files/ZEPAudioFile.h"

#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/files/ZEPMovie.h"

#include <QFileInfo>

#include <vector>

namespace {

constexpr OSStatus kNoPacketSizeError = OSStatus(FourCC("!Siz"));

bool namesAMovie(const QString& path)
{
    const QString extension = QFileInfo(path).suffix();
    return extension == QLatin1String("mov") || extension == QLatin1String("mp3");
}

} // namespace

ZEPAudioFile::ZEPAudioFile() = default;

ZEPAudioFile::~ZEPAudioFile() = default;

std::unique_ptr<ZEPAudioFile> ZEPAudioFile::initWithPath(const QString& path, UInt32 typeHint)
{
    return initWithPath(path, typeHint, true);
}

std::unique_ptr<ZEPAudioFile> ZEPAudioFile::initWithPath(const QString& path, UInt32 typeHint, bool asynchronous)
{
    return initWithPath(path, typeHint, true, asynchronous);
}

std::unique_ptr<ZEPAudioFile> ZEPAudioFile::initWithPath(const QString& path, UInt32, bool allowQuickTime,
                                                         bool asynchronous)
{
    if (allowQuickTime && namesAMovie(path))
        return ZEPMovie::initWithPath(path, asynchronous);
    std::unique_ptr<ZEPAudioFile> file(new ZEPAudioFile);
    file->mFileRef = ZEPFileRef::fileRefWithPath(path);
    if (file->openFile() == noErr)
        return file;
    if (allowQuickTime)
        return ZEPMovie::initWithPath(path, asynchronous);
    return nullptr;
}

bool ZEPAudioFile::canOpenPath(const QString& path) { return ZEPMovie::canInitWithPath(path); }

bool ZEPAudioFile::canOpenPath(const QString& path, bool allowQuickTime)
{
    if (allowQuickTime && canOpenPath(path))
        return true;
    return initWithPath(path, 0, false, false) != nullptr;
}

OSStatus ZEPAudioFile::openFile()
{
    mExtAudioFile = std::make_unique<ZEPAudio_ExtAudioFile>();
    ZEPAudio_ExtAudioFile& record = *mExtAudioFile;
    if (!mFileRef)
        return kAudioFileFileNotFoundError;
    const OSStatus status = AudioFileReader::open(mFileRef->path(), &record.file);
    if (status != noErr)
        return status;
    AudioFileReader& file = *record.file;
    record.fileFormat = file.dataFormat();
    ZEPCanonicalFloatASBD(&record.clientFormat, 2, true);
    record.clientFormat.mSampleRate = record.fileFormat.mSampleRate;
    const QByteArray layout = file.channelLayout();
    if (size_t(layout.size()) >= AudioChannelLayoutByteSize(0))
        record.channelLayout = reinterpret_cast<const AudioChannelLayout*>(layout.constData());
    record.packetTable = file.packetTable();
    record.packetCount = UInt64(file.packetCount());
    record.maximumPacketSize = file.maximumPacketSize();
    if (record.maximumPacketSize == 0)
        record.maximumPacketSize = record.fileFormat.mBytesPerPacket;
    if (record.maximumPacketSize == 0)
        return kNoPacketSizeError;
    record.location = 0; // the reader starts at frame 0
    return noErr;
}

OSStatus ZEPAudioFile::readPackets(UInt32* packets, AudioBufferList* buffer, AudioStreamPacketDescription*)
{
    if (!mExtAudioFile || !mExtAudioFile->file)
        return kAudioFileNotOpenError;
    if (!buffer || buffer->mNumberBuffers < 2 || !buffer->mBuffers[0].mData || !buffer->mBuffers[1].mData)
        return kAudio_ParamError;
    ZEPAudio_ExtAudioFile& record = *mExtAudioFile;
    const UInt32 bytesPerFrame = record.clientFormat.mBytesPerFrame;
    UInt32 frames = std::min(*packets, buffer->mBuffers[0].mDataByteSize / bytesPerFrame);
    frames = std::min(frames, buffer->mBuffers[1].mDataByteSize / bytesPerFrame);
    const OSStatus status = record.file->read(&frames, static_cast<float*>(buffer->mBuffers[0].mData),
                                              static_cast<float*>(buffer->mBuffers[1].mData));
    buffer->mBuffers[0].mDataByteSize = buffer->mBuffers[1].mDataByteSize = frames * bytesPerFrame;
    // Only what was really delivered counts, also when the read failed part way.
    record.location += frames;
    *packets = frames;
    if (status != noErr)
        return status;
    return frames == 0 ? kZEPAudioSourceEndOfData : noErr;
}

void ZEPAudioFile::setLocationPackets(SInt64 location)
{
    if (!mExtAudioFile || !mExtAudioFile->file || location == mExtAudioFile->location)
        return;
    mExtAudioFile->location = location;
    mExtAudioFile->file->seek(location);
}

SInt64 ZEPAudioFile::locationPackets() { return mExtAudioFile ? mExtAudioFile->location : 0; }

SInt64 ZEPAudioFile::packetCount() { return mExtAudioFile ? mExtAudioFile->packetTable.mNumberValidFrames : 0; }

double ZEPAudioFile::duration()
{
    AudioStreamBasicDescription client;
    if (getExtractionAudioDescription(&client) != noErr || client.mFramesPerPacket == 0 || client.mSampleRate <= 0)
        return 0.0;
    return double(packetCount()) * client.mFramesPerPacket / client.mSampleRate;
}

OSStatus ZEPAudioFile::getExtractionAudioDescription(AudioStreamBasicDescription* description)
{
    if (!mExtAudioFile)
        return kAudioFileNotOpenError;
    *description = mExtAudioFile->clientFormat;
    return noErr;
}

OSStatus ZEPAudioFile::setExtractionAudioDescription(const AudioStreamBasicDescription*) { return noErr; }

UInt32 ZEPAudioFile::fileType()
{
    UInt32 type = 0;
    UInt32 size = sizeof(type);
    return getProperty(kAudioFilePropertyFileFormat, &size, &type) == noErr ? type : 0;
}

AudioStreamBasicDescription ZEPAudioFile::fileAudioDescription()
{
    AudioStreamBasicDescription description;
    UInt32 size = sizeof(description);
    getProperty(kAudioFilePropertyDataFormat, &size, &description);
    return description;
}

QString ZEPAudioFile::path() const { return mFileRef ? mFileRef->path() : QString(); }

OSStatus ZEPAudioFile::getProperty(AudioFilePropertyID property, UInt32* size, void* dataNoAlloc)
{
    if (!mExtAudioFile || !mExtAudioFile->file)
        return kAudioFileNotOpenError;
    const OSStatus status = mExtAudioFile->file->getPropertyInfo(property, size);
    if (status != noErr)
        return status;
    return mExtAudioFile->file->getProperty(property, size, dataNoAlloc);
}

OSStatus ZEPAudioFile::getProperty(AudioFilePropertyID property, UInt32* size, QByteArray* data)
{
    if (!mExtAudioFile || !mExtAudioFile->file)
        return kAudioFileNotOpenError;
    OSStatus status = mExtAudioFile->file->getPropertyInfo(property, size);
    if (status != noErr)
        return status;
    QByteArray bytes(qsizetype(*size), '\0');
    status = mExtAudioFile->file->getProperty(property, size, bytes.data());
    if (status == noErr)
        *data = bytes;
    return status;
}

QString ZEPAudioFile::description()
{
    return QStringLiteral("\n filePath: %1").arg(path()) + QStringLiteral("\n fileType: %1").arg(int(fileType())) +
           QString::asprintf("\n duration: %f", duration());
}

std::optional<QByteArray> ZEPAudioFile::cookie()
{
    UInt32 size = 0;
    QByteArray data;
    if (getProperty(kAudioFilePropertyMagicCookieData, &size, &data) != noErr)
        return std::nullopt;
    return data;
}

UInt64 ZEPAudioFile::byteCount()
{
    UInt64 count = 0;
    UInt32 size = sizeof(count);
    return getProperty(kAudioFilePropertyAudioDataByteCount, &size, &count) == noErr ? count : 0;
}

UInt32 ZEPAudioFile::maxPacketSize()
{
    UInt32 packetSize = 0;
    UInt32 size = sizeof(packetSize);
    return getProperty(kAudioFilePropertyMaximumPacketSize, &size, &packetSize) == noErr ? packetSize : 0;
}

std::optional<QVariantMap> ZEPAudioFile::infoDictionary()
{
    if (!mExtAudioFile || !mExtAudioFile->file || mExtAudioFile->file->infoDictionary().isEmpty())
        return std::nullopt;
    return mExtAudioFile->file->infoDictionary();
}

OSStatus ZEPAudioFile::fixFilePacketTable()
{
    if (!mExtAudioFile || !mExtAudioFile->file)
        return kAudioFileNotOpenError;
    if (mExtAudioFile->file->hasGaplessInformation())
        return noErr;
    return kAudioFileOperationNotSupportedError;
}

void ZEPAudioFile::dumpAudio()
{
    setLocationPackets(73990);
    std::vector<float> left(512), right(512);
    StackAudioBufferList<2> list;
    for (;;) {
        list.mBuffers[0] = {1, 512 * 4, left.data()};
        list.mBuffers[1] = {1, 512 * 4, right.data()};
        UInt32 packets = 512;
        if (readPackets(&packets, list.list(), nullptr) != noErr)
            break;
    }
}
