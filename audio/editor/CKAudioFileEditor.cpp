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
    if (mCacheRingBuffer)
        mCacheRingBuffer->stop();
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
        mCacheRingBuffer->stop(); // the loader reaches the ring through this editor
        blockRenders();
        mCurrentlyCaching = false;
        mCacheRingBuffer.reset();
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
        // Asked, not waited for: the loader ends after the pull under way.
        mCacheRingBuffer->requestStop();
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
    // The render reads the head: none may be under way while it changes.
    blockRenders();
    if (!mInitialCachedAudio) {
        mInitialCachedAudio = ZEPCreateAudioBufferList(kHeadBuffers, capacity * bytesPerFrame);
        if (!mInitialCachedAudio || !mInitialCachedAudio->mBuffers[0].mData || !mInitialCachedAudio->mBuffers[1].mData) {
            ZEPDisposeAudioBufferList(mInitialCachedAudio);
            mInitialCachedAudio = nullptr;
            unblockRenders();
            return noErr;
        }
        mInitialCachedAudioMaxSizeFrames = capacity;
    }
    const UInt32 room = std::min(capacity, mInitialCachedAudioMaxSizeFrames);
    // One reader of the file at a time: a loader that is caching pauses, and goes on from
    // its place.
    const bool caching = mCurrentlyCaching.load() && mCacheRingBuffer;
    if (mCacheRingBuffer)
        mCacheRingBuffer->stop();
    const SInt64 loaderLocation = readLocation();

    for (UInt32 b = 0; b < kHeadBuffers; ++b)
        mInitialCachedAudio->mBuffers[b].mDataByteSize = 0;
    // A loader that read to the sound's end left the read out of audio: the head is read
    // from the beginning all the same, not taken for an empty sound.
    resetOutOfAudio();
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
    unblockRenders();

    setReadLocation(loaderLocation);
    resetOutOfAudio();
    if (caching)
        mCacheRingBuffer->start();
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
    // The render plays the whole head from memory, whatever the ring holds: the loader goes
    // on right after it.
    const UInt32 head = mInitialCachedAudio ? mInitialCachedAudioSizeFrames : 0;
    const SInt64 length = totalLengthVisible(false);
    SInt64 next = head;
    if (length != 0 && next > length)
        next %= length; // a sound shorter than the head loops inside it
    mPassReadLocation.store(absoluteIndexWithRelativeIndex(next));
    mPassHeadFrames.store(head);
    mFramesRendered = 0;
    mFramesDelivered = 0;
    mPlaybackFrameCount = forceLoop() ? 0 : length;
    // Published last: whoever sees the new pass sees where it reads from.
    mPass.fetch_add(1);
}

void CKAudioFileEditor::restartPlaybackAtBeginning()
{
    std::lock_guard lock(mWriteLock);
    setCurrentlyCaching(false);
    rewind();
}

void CKAudioFileEditor::restartPlaybackAndContinue()
{
    std::lock_guard lock(mWriteLock);
    rewind();
    if (mCacheRingBuffer) {
        try {
            // A running loader takes up the pass at once; one asked to end goes on instead.
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

OSStatus CKAudioFileEditor::ranOutOfData(OSStatus status, UInt32 pass)
{
    if (mStoppedPass.exchange(pass) == pass)
        return status;
    if (ZEPAudioEditorDelegate* delegate = mDelegate) {
        if (const std::optional<OSStatus> answer = delegate->audioEditorRanOutOfData(this))
            status = *answer;
    }
    return status;
}

UInt32 CKAudioFileEditor::renderHead(UInt32 offset, UInt32 frames, AudioBufferList* ioData)
{
    // The pass's ring goes on after the head it started with: a head read since (a sound
    // pressed before its head was read) is not played into the pass.
    const UInt32 head = std::min(mInitialCachedAudio ? mInitialCachedAudioSizeFrames : 0, mRenderHeadFrames);
    if (mRenderHeadPosition >= head)
        return 0;
    const UInt32 count = std::min(frames, head - mRenderHeadPosition);
    for (UInt32 b = 0; b < std::min<UInt32>(ioData->mNumberBuffers, kHeadBuffers); ++b) {
        if (ioData->mBuffers[b].mData)
            std::memcpy(static_cast<Float32*>(ioData->mBuffers[b].mData) + offset,
                        static_cast<const Float32*>(mInitialCachedAudio->mBuffers[b].mData) + mRenderHeadPosition,
                        size_t(count) * 4);
    }
    mRenderHeadPosition += count;
    return count;
}

UInt32 CKAudioFileEditor::renderRing(UInt32 pass, UInt32 offset, UInt32 frames, AudioBufferList* ioData)
{
    ZEPAudioLocklessPullRingBuffer* ring = mCacheRingBuffer.get();
    // Frames of another pass are never heard: until the loader has started this one, the
    // ring has nothing for it.
    if (!ring || mRingPass.load(std::memory_order_acquire) != pass)
        return 0;
    UInt32 count = std::min(frames, ring->amountFrames());
    if (count == 0)
        return 0;
    StackAudioBufferList<kHeadBuffers> part;
    part.mNumberBuffers = std::min<UInt32>(ioData->mNumberBuffers, kHeadBuffers);
    for (UInt32 b = 0; b < part.mNumberBuffers; ++b)
        part.mBuffers[b] = AudioBuffer{1, count * 4, static_cast<Float32*>(ioData->mBuffers[b].mData) + offset};
    ring->readFrames(&count, part.list());
    return count;
}

OSStatus CKAudioFileEditor::renderFrames(UInt32* frames, AudioBufferList* ioData,
                                         AudioUnitRenderActionFlags* renderFlags, const AudioTimeStamp*, void*)
{
    RenderScope inRender(mRendersInProgress);
    if (mRenderBlocked.load() || !mCacheRingBuffer) {
        // The head or the ring is changing, or there is no feed: this slice is silence, and
        // does not count.
        ZEPRenderSilence(ioData, renderFlags);
        return noErr;
    }
    const UInt32 pass = mPass.load(std::memory_order_acquire);
    if (pass != mRenderPass) {
        mRenderPass = pass;
        mRenderHeadPosition = 0;
        mRenderHeadFrames = mPassHeadFrames.load();
        mFramesRendered.store(0);
        mFramesDelivered.store(0);
    }
    if (mStoppedPass.load() == pass) {
        ZEPRenderSilence(ioData, renderFlags);
        return kZEPAudioSourceEndOfData;
    }
    const UInt32 wanted = *frames;
    UInt32 done = renderHead(0, wanted, ioData);
    if (done < wanted)
        done += renderRing(pass, done, wanted - done, ioData);
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
        AudioBuffer& buffer = ioData->mBuffers[b];
        if (buffer.mData && done < wanted)
            std::memset(static_cast<Float32*>(buffer.mData) + done, 0, size_t(wanted - done) * 4);
        buffer.mDataByteSize = wanted * 4;
    }
    *frames = wanted;
    mFramesDelivered.fetch_add(done);

    OSStatus status = noErr;
    if (done == 0) {
        if (renderFlags)
            *renderFlags |= kAudioUnitRenderAction_OutputIsSilence;
        // Nothing at all is the end once the loader has nothing more to give for this pass;
        // while it still has, it fell behind, and the slice is silence.
        const bool loaderDone = mLoaderEndPass.load() == pass || !mCurrentlyCaching.load();
        if (!forceLoop() && loaderDone)
            status = ranOutOfData(status, pass);
    }
    const SInt64 rendered = mFramesRendered.fetch_add(wanted) + wanted;
    const SInt64 playLength = mPlaybackFrameCount.load();
    if ((status == kZEPAudioSourceEndOfData || (playLength != 0 && rendered > playLength)) && !forceLoop())
        status = ranOutOfData(status, pass);
    return status;
}

OSStatus CKAudioFileEditor::getAudioDescription(AudioStreamBasicDescription* description)
{
    return getExtractionAudioDescription(description);
}

OSStatus CKAudioFileEditor::pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp*)
{
    const UInt32 pass = mPass.load(std::memory_order_acquire);
    if (pass != mLoaderPass.load()) {
        // A new pass: the file from just after the head, and nothing the ring held before
        // is read in it.
        mLoaderPass.store(pass);
        resetOutOfAudio();
        setReadLocation(mPassReadLocation.load());
        if (mCacheRingBuffer)
            mCacheRingBuffer->setReaderFloor(mCacheRingBuffer->framesWritten());
        mRingPass.store(pass, std::memory_order_release);
    }
    const UInt32 wanted = *frames;
    const UInt32 buffers = std::min<UInt32>(bufferList->mNumberBuffers, kHeadBuffers);
    UInt32 capacity[kHeadBuffers] = {};
    for (UInt32 b = 0; b < buffers; ++b)
        capacity[b] = bufferList->mBuffers[b].mDataByteSize;
    OSStatus status = readPackets(frames, bufferList, nullptr, true, true);
    if (status == noErr && *frames == 0 && forceLoop()) {
        // A forced loop whose read stood at its end (a sound no longer than the head starts
        // every pass there) only wrapped to the loop's start: the read from there is the
        // pull. Only a loop with nothing in it delivers nothing again, and ends.
        *frames = wanted;
        for (UInt32 b = 0; b < buffers; ++b)
            bufferList->mBuffers[b].mDataByteSize = capacity[b];
        status = readPackets(frames, bufferList, nullptr, true, true);
    }
    if (status == kZEPAudioSourceEndOfData || (status == noErr && *frames == 0))
        mLoaderEndPass.store(pass);
    if (status != noErr && status != kZEPAudioSourceNoDataYet && status != kZEPAudioSourceEndOfData) {
        // A file that fails (a seek or a read) ends the sound after what came before it,
        // rather than leaving the loader to try again and the sound to play silence.
        mLoaderEndPass.store(pass);
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
    mCacheRingBuffer->stop(); // a loader asked to end may still be in its last pull
    const OSStatus status = pullFrames(frames, bufferList, nullptr);
    if (*frames > 0)
        mCacheRingBuffer->writeFrames(*frames, bufferList);
    return status;
}

SInt64 CKAudioFileEditor::exportPacketsReturned()
{
    if (!mCacheRingBuffer)
        return ZEPAudioFileEditor::exportPacketsReturned();
    SInt64 read = mFramesDelivered.load();
    const SInt64 length = totalLengthVisible(false);
    if (length != 0 && read > length)
        read %= length;
    return read;
}
