#include "audio/editor/CKAudioFileEditor.h"

#include "audio/engine/CAException.h"
#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "platform/UserDefaults.h"
#include "platform/VariantValues.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

const QString kFileTypeKey = QStringLiteral("fileType");
const QString kAudioCacheDurationKey = QStringLiteral("AudioCacheDuration");
constexpr UInt32 kHeadBuffers = 2;

// Counts a render in progress for as long as it lives.
class RenderScope {
public:
    explicit RenderScope(std::atomic<int>& count) : mCount(count) { mCount.fetch_add(1); }
    ~RenderScope() { mCount.fetch_sub(1); }

private:
    std::atomic<int>& mCount;
};

} // namespace

std::unique_ptr<CKAudioFileEditor> CKAudioFileEditor::initWithPath(const QString& path, bool asynchronous)
{
    return initWithAudioFile(ZEPAudioFile::initWithPath(path, 0, asynchronous));
}

std::unique_ptr<CKAudioFileEditor> CKAudioFileEditor::initWithAudioFile(std::unique_ptr<ZEPAudioFile> file)
{
    if (!file)
        return nullptr;
    return std::unique_ptr<CKAudioFileEditor>(new CKAudioFileEditor(std::move(file)));
}

CKAudioFileEditor::CKAudioFileEditor(std::unique_ptr<ZEPAudioFile> file)
    : ZEPAudioFileEditor(std::move(file), false)
{
    mMixerInput = -1;
    mPlaybackVolume = 1.0f;
    const QVariant duration = UserDefaults::standardUserDefaults().objectForKey(kAudioCacheDurationKey);
    mAudioCacheDuration = duration.isValid() ? float(variant::doubleValue(duration)) : 1.0f;
    if (mAudioCacheDuration < 1.0f)
        mAudioCacheDuration = 1.0f;
}

CKAudioFileEditor::~CKAudioFileEditor()
{
    // The loader reads through this editor: it ends before anything here goes.
    mCacheRingBuffer.reset();
    ZEPDisposeAudioBufferList(mInitialCachedAudio);
}

void CKAudioFileEditor::setSettings(const QVariantMap& settings)
{
    ZEPAudioFileEditor::setSettings(settings);
    repairEdits();
}

QVariantMap CKAudioFileEditor::encodeSettings()
{
    double rate = 44100.0;
    if (mPreservesOriginalSamplerate)
        rate = audioFile() ? audioFile()->fileAudioDescription().mSampleRate : 0.0;
    QVariantMap settings = ZEPAudioFileWriter::losslessSettingsWithSampleRate(rate);
    settings.insert(kFileTypeKey, qlonglong(kAudioFileM4AType));
    return settings;
}

void CKAudioFileEditor::setEncodeSettings(const QVariantMap& settings)
{
    QVariantMap m4a = settings;
    m4a.insert(kFileTypeKey, qlonglong(kAudioFileM4AType));
    ZEPAudioFileEditor::setEncodeSettings(m4a);
}

void CKAudioFileEditor::setPlaybackVolume(Float32 volume)
{
    if (volume == mPlaybackVolume)
        return;
    ZEPAudioFileEditor::setPlaybackVolume(volume);
    if (mDelegate)
        mDelegate->editorDidChangePlaybackVolume(this);
}

void CKAudioFileEditor::setPlaybackVolumeNumber(const QVariant& volume)
{
    setPlaybackVolume(Float32(variant::doubleValue(volume)));
}

Float32 CKAudioFileEditor::scaledPlaybackVolume() const
{
    const Float32 volume = mPlaybackVolume < 0 ? 1.0f : mPlaybackVolume;
    return volume * normalizeScaleFactorForTrack(0);
}

// The cache --------------------------------------------------------------------------------

void CKAudioFileEditor::setUseCache(bool useCache)
{
    if (useCache == bool(mCacheRingBuffer))
        return;
    if (!useCache) {
        std::lock_guard lock(mWriteLock);
        blockRenders();
        mCurrentlyCaching = false;
        mCacheRingBuffer.reset(); // its loader ends with it
        unblockRenders();
        return;
    }
    AudioStreamBasicDescription format;
    if (getExtractionAudioDescription(&format) != noErr)
        return;
    try {
        auto ring = std::make_unique<ZEPAudioLocklessPullRingBuffer>(format, UInt32(format.mSampleRate * kRingSeconds));
        ring->setPullFrames(kRingPullFrames);
        ring->setAudioSource(this);
        std::lock_guard lock(mWriteLock);
        blockRenders();
        mCacheRingBuffer = std::move(ring);
        unblockRenders();
    } catch (const std::bad_alloc&) {
        return;
    }
    restartPlaybackAtBeginning();
}

void CKAudioFileEditor::setCurrentlyCaching(bool caching)
{
    if (caching == mCurrentlyCaching.load())
        return;
    mCurrentlyCaching = caching;
    if (!mCacheRingBuffer)
        return;
    if (!caching) {
        mCacheRingBuffer->stop();
        return;
    }
    try {
        mCacheRingBuffer->start();
    } catch (const CAException&) {
        mCurrentlyCaching = false; // no thread: the head is all there is
    }
}

OSStatus CKAudioFileEditor::updateCachedAudio()
{
    if (totalLengthVisible(false) < 0)
        return kZEPLengthError;
    std::lock_guard lock(mWriteLock);
    const UInt32 capacity = UInt32(mAudioCacheDuration * samplesPerSecond());
    AudioStreamBasicDescription format;
    getExtractionAudioDescription(&format);
    const UInt32 bytesPerFrame = std::max<UInt32>(format.mBytesPerFrame, 4);
    if (!mInitialCachedAudio) {
        mInitialCachedAudio = ZEPCreateAudioBufferList(kHeadBuffers, capacity * bytesPerFrame);
        if (!mInitialCachedAudio || !mInitialCachedAudio->mBuffers[0].mData || !mInitialCachedAudio->mBuffers[1].mData) {
            ZEPDisposeAudioBufferList(mInitialCachedAudio);
            mInitialCachedAudio = nullptr;
            return noErr;
        }
        mInitialCachedAudioMaxSizeFrames = capacity;
    }
    const UInt32 room = std::min(capacity, mInitialCachedAudioMaxSizeFrames);
    // One reader at a time: a loader that is caching pauses, and goes on from its place.
    const bool caching = mCurrentlyCaching.load() && mCacheRingBuffer;
    if (caching)
        mCacheRingBuffer->stop();
    const SInt64 loaderLocation = readLocation();

    for (UInt32 b = 0; b < kHeadBuffers; ++b)
        mInitialCachedAudio->mBuffers[b].mDataByteSize = 0;
    setReadLocation(0);
    UInt32 held = 0;
    OSStatus status = noErr;
    int emptyReads = 0;
    while (held < room && emptyReads < 2) {
        StackAudioBufferList<kHeadBuffers> part;
        for (UInt32 b = 0; b < kHeadBuffers; ++b)
            part.mBuffers[b] = AudioBuffer{1, (room - held) * bytesPerFrame,
                                           static_cast<UInt8*>(mInitialCachedAudio->mBuffers[b].mData) +
                                               size_t(held) * bytesPerFrame};
        UInt32 frames = room - held;
        status = readPackets(&frames, part.list(), nullptr, true, true);
        if (status != noErr && status != kZEPAudioSourceNoDataYet)
            break;
        held += std::min(frames, room - held);
        emptyReads = frames == 0 ? emptyReads + 1 : 0;
        for (UInt32 b = 0; b < kHeadBuffers; ++b)
            mInitialCachedAudio->mBuffers[b].mDataByteSize = held * bytesPerFrame;
    }
    mInitialCachedAudioSizeFrames = held;

    if (caching) {
        setReadLocation(loaderLocation);
        resetOutOfAudio();
        mCacheRingBuffer->start();
    }
    return status;
}

void CKAudioFileEditor::blockRenders()
{
    mRenderBlocked.store(true);
    while (mRendersInProgress.load() != 0)
        std::this_thread::yield();
}

void CKAudioFileEditor::rewind()
{
    resetOutOfAudio();
    mIsStopping = false;
    mLoaderReachedEnd = false;
    UInt32 head = mInitialCachedAudio ? mInitialCachedAudioSizeFrames : 0;
    if (mCacheRingBuffer) {
        // Emptied even without a head: what the last play left in it must not play again.
        mCacheRingBuffer->reset();
        // A head larger than the ring is cut to what the ring holds; the reader goes on
        // after what was stored.
        head = std::min(head, mCacheRingBuffer->capacityFrames());
        if (head > 0)
            mCacheRingBuffer->writeFrames(head, mInitialCachedAudio);
    }
    const SInt64 length = totalLengthVisible(false);
    SInt64 next = head;
    if (length != 0 && next > length)
        next %= length; // a sound shorter than the head loops inside it
    setReadLocation(absoluteIndexWithRelativeIndex(next));
    mFramesRendered = 0;
    mPlaybackFrameCount = forceLoop() ? 0 : length;
}

void CKAudioFileEditor::restartPlaybackAtBeginning()
{
    std::lock_guard lock(mWriteLock);
    blockRenders();
    setCurrentlyCaching(false);
    rewind();
    unblockRenders();
}

void CKAudioFileEditor::restartPlaybackAndContinue()
{
    std::lock_guard lock(mWriteLock);
    blockRenders();
    // The ring is refilled from the head: its loader, its only writer, pauses meanwhile.
    if (mCacheRingBuffer)
        mCacheRingBuffer->stop();
    rewind();
    unblockRenders();
    if (mCacheRingBuffer) {
        try {
            mCacheRingBuffer->start();
            mCurrentlyCaching = true;
        } catch (const CAException&) {
            mCurrentlyCaching = false;
        }
    }
}

void CKAudioFileEditor::prepareForPlayback()
{
    mFramesRendered = 0;
    mPlaybackFrameCount = forceLoop() ? 0 : totalLengthVisible(false);
}

// The feed ---------------------------------------------------------------------------------

OSStatus CKAudioFileEditor::ranOutOfData(OSStatus status)
{
    if (mIsStopping.exchange(true))
        return status;
    if (ZEPAudioEditorDelegate* delegate = mDelegate) {
        if (const std::optional<OSStatus> answer = delegate->audioEditorRanOutOfData(this))
            status = *answer;
    }
    return status;
}

OSStatus CKAudioFileEditor::renderFrames(UInt32* frames, AudioBufferList* ioData,
                                         AudioUnitRenderActionFlags* renderFlags, const AudioTimeStamp* timeStamp,
                                         void* sender)
{
    RenderScope inRender(mRendersInProgress);
    if (mRenderBlocked.load()) {
        // A rewind is under way: this slice is silence, and does not count.
        ZEPRenderSilence(ioData, renderFlags);
        return noErr;
    }
    if (mIsStopping.load()) {
        ZEPRenderSilence(ioData, renderFlags);
        return kZEPAudioSourceEndOfData;
    }
    const UInt32 wanted = *frames;
    OSStatus status = noErr;
    ZEPAudioLocklessPullRingBuffer* ring = mCacheRingBuffer.get();
    if (!ring) {
        status = ZEPAudioFileEditor::renderFrames(frames, ioData, renderFlags, timeStamp, sender);
    } else if (const UInt32 held = ring->amountFrames(); held > 0) {
        UInt32 count = std::min(wanted, held);
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b)
            ioData->mBuffers[b].mDataByteSize = count * 4;
        ring->readFrames(&count, ioData);
        if (count < wanted) {
            for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
                AudioBuffer& buffer = ioData->mBuffers[b];
                if (buffer.mData)
                    std::memset(static_cast<Float32*>(buffer.mData) + count, 0, (wanted - count) * 4);
                buffer.mDataByteSize = wanted * 4;
            }
        }
        *frames = wanted;
    } else {
        ZEPRenderSilence(ioData, renderFlags);
        // A dry ring is the end once the loader has nothing more to give; while it still has,
        // it fell behind, and the slice is silence.
        const bool loaderDone = mLoaderReachedEnd.load() || !mCurrentlyCaching.load();
        if (!forceLoop() && loaderDone)
            status = ranOutOfData(status);
    }
    const SInt64 rendered = mFramesRendered.fetch_add(wanted) + wanted;
    const SInt64 playLength = mPlaybackFrameCount.load();
    if ((status == kZEPAudioSourceEndOfData || (playLength != 0 && rendered > playLength)) && !forceLoop())
        status = ranOutOfData(status);
    return status;
}

OSStatus CKAudioFileEditor::getAudioDescription(AudioStreamBasicDescription* description)
{
    return getExtractionAudioDescription(description);
}

OSStatus CKAudioFileEditor::pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp*)
{
    const OSStatus status = readPackets(frames, bufferList, nullptr, true, true);
    if (status == kZEPAudioSourceEndOfData || (status == noErr && *frames == 0))
        mLoaderReachedEnd = true;
    if (status != noErr && status != kZEPAudioSourceNoDataYet && status != kZEPAudioSourceEndOfData) {
        // A file that fails (a seek or a read) ends the sound after what came before it,
        // rather than leaving the loader to try again and the sound to play silence.
        mLoaderReachedEnd = true;
        return *frames > 0 ? noErr : kZEPAudioSourceEndOfData;
    }
    return status;
}

OSStatus CKAudioFileEditor::fillCacheAudioBuffer(AudioBufferList* bufferList, UInt32* frames)
{
    std::lock_guard lock(mWriteLock);
    if (!mCacheRingBuffer)
        return noErr;
    if (mCurrentlyCaching.load() || mCacheRingBuffer->spaceFrames() <= *frames) {
        *frames = 0;
        return noErr;
    }
    const OSStatus status = pullFrames(frames, bufferList, nullptr);
    if (*frames > 0)
        mCacheRingBuffer->writeFrames(*frames, bufferList);
    return status;
}

SInt64 CKAudioFileEditor::exportPacketsReturned()
{
    if (!mCacheRingBuffer)
        return ZEPAudioFileEditor::exportPacketsReturned();
    SInt64 read = mCacheRingBuffer->framesRead();
    const SInt64 length = totalLengthVisible(false);
    if (length != 0 && read > length)
        read %= length;
    return read;
}
