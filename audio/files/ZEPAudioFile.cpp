#include "audio/files/ZEPAudioFile.h"

#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/files/ZEPMovie.h"
#include "audio/files/ZEPMovieDelegate.h"
#include "platform/MainThread.h"

#include <QFileInfo>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

constexpr OSStatus kNoPacketSizeError = OSStatus(FourCC("!Siz"));

bool namesAMovie(const QString& path)
{
    const QString extension = QFileInfo(path).suffix();
    return extension == QLatin1String("mov") || extension == QLatin1String("mp3");
}

} // namespace

// A background open: its result, handed from the loading thread to the owner. The lock is
// recursive because the delegate, told under it, may ask the reader to wait for its load.
struct ZEPAudioFile::LoadTask {
    std::recursive_mutex lock;
    std::condition_variable_any finished;
    std::atomic<bool> cancelled{false};
    bool done = false;
    bool installed = false;
    bool told = false;
    OSStatus status = noErr;
    Readers readers;
    ZEPAudioFile* owner = nullptr; // cleared when the owner goes
};

ZEPAudioFile::ZEPAudioFile() = default;

ZEPAudioFile::~ZEPAudioFile() { stopLoading(); }

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
    if (asynchronous && !path.isEmpty()) {
        // The movie reader reads what the plain reader reads: there is nothing to fall back to.
        file->beginLoading();
        return file;
    }
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
    Readers readers;
    const OSStatus status = readerOpener()(nullptr, &readers);
    if (status != noErr) {
        mExtAudioFile = std::make_unique<ZEPAudio_ExtAudioFile>();
        return status;
    }
    return installReaders(std::move(readers));
}

ZEPAudioFile::ReaderOpener ZEPAudioFile::readerOpener() const
{
    const QString path = mFileRef ? mFileRef->path() : QString();
    return [path](const std::atomic<bool>* cancelled, Readers* readers) -> OSStatus {
        if (path.isEmpty())
            return kAudioFileFileNotFoundError;
        std::unique_ptr<AudioFileReader> reader;
        const OSStatus status = AudioFileReader::open(path, &reader, 0, cancelled);
        if (status == noErr)
            readers->push_back(std::move(reader));
        return status;
    };
}

OSStatus ZEPAudioFile::installReaders(Readers readers)
{
    mExtAudioFile = std::make_unique<ZEPAudio_ExtAudioFile>();
    ZEPAudio_ExtAudioFile& record = *mExtAudioFile;
    if (readers.empty())
        return kAudioFileNotOpenError;
    record.file = std::move(readers.front());
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
    if (record.maximumPacketSize == 0) {
        record.file.reset();
        return kNoPacketSizeError;
    }
    record.location = 0; // the reader starts at frame 0
    return noErr;
}

void ZEPAudioFile::beginLoading()
{
    stopLoading();
    auto task = std::make_shared<LoadTask>();
    task->owner = this;
    mLoadTask = task;
    mLoading.store(true, std::memory_order_release);
    mLoadThread = std::thread([task, opener = readerOpener()] {
        Readers readers;
        const OSStatus status = opener(&task->cancelled, &readers);
        {
            std::lock_guard<std::recursive_mutex> locked(task->lock);
            task->status = status;
            task->readers = std::move(readers);
            task->done = true;
        }
        task->finished.notify_all();
        mainthread::post([task] {
            std::lock_guard<std::recursive_mutex> locked(task->lock);
            if (task->owner)
                task->owner->completeLoading();
        });
    });
}

void ZEPAudioFile::stopLoading()
{
    if (!mLoadTask)
        return;
    {
        std::lock_guard<std::recursive_mutex> locked(mLoadTask->lock);
        mLoadTask->owner = nullptr;
        mLoadTask->cancelled.store(true);
    }
    if (mLoadThread.joinable())
        mLoadThread.join();
    mLoadTask.reset();
}

void ZEPAudioFile::installLoaded()
{
    LoadTask& task = *mLoadTask;
    if (task.installed)
        return;
    task.installed = true;
    OSStatus status = task.status;
    if (status == noErr)
        status = installReaders(std::move(task.readers));
    mLoadStatus = status;
    mLoading.store(false, std::memory_order_release);
}

void ZEPAudioFile::completeLoading()
{
    installLoaded();
    if (mLoadTask->told)
        return;
    mLoadTask->told = true;
    if (mDelegate)
        mDelegate->movieDidFinishLoading(this);
}

OSStatus ZEPAudioFile::waitUntilLoaded()
{
    if (const std::shared_ptr<LoadTask> task = mLoadTask) {
        std::unique_lock<std::recursive_mutex> locked(task->lock);
        task->finished.wait(locked, [&] { return task->done; });
        installLoaded();
    }
    return loadStatus();
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

OSStatus ZEPAudioFile::setLocationPackets(SInt64 location)
{
    if (!mExtAudioFile || !mExtAudioFile->file)
        return kAudioFileNotOpenError;
    if (location == mExtAudioFile->location)
        return noErr;
    const OSStatus status = mExtAudioFile->file->seek(location);
    // After a failed seek no place is known: the next seek goes there, wherever it is.
    mExtAudioFile->location = status == noErr ? location : -1;
    return status;
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
