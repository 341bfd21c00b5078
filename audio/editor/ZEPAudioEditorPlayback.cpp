// The edit model's own playback: the chain of mixers, per-track rings and preview
// converters, the pull player, and the position and loop control of ZEPAudioEditor.
#include "audio/editor/ZEPAudioEditor.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioDevice.h"
#include "audio/engine/ZEPAudioPullRingBuffer.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "audio/engine/ZEPPullAudioPlayer.h"
#include "audio/engine/ZEPSlamAudioPlayer.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPPreviewConverter.h"
#include "platform/audiounits/AudioComponentRegistry.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

const AudioComponentDescription kMatrixMixer{kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer,
                                             kAudioUnitManufacturer_System, 0, 0};
constexpr UInt32 kMaxChannels = 8;
// How long a preview converter's read waits for a track ring whose loader runs but has
// not caught up: it runs on the player's loader thread, and a read that comes back empty
// leaves a gap in what is heard.
constexpr auto kTrackRingWait = std::chrono::milliseconds(50);

OSStatus inputMixerProc(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 bus,
                        UInt32 frames, AudioBufferList* ioData)
{
    return static_cast<ZEPAudioEditor*>(refCon)->inputMixerCallbackWithFlags(flags, timeStamp, bus, frames, ioData);
}

OSStatus outputMixerProc(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 bus,
                         UInt32 frames, AudioBufferList* ioData)
{
    return static_cast<ZEPAudioEditor*>(refCon)->outputMixerCallbackWithFlags(flags, timeStamp, bus, frames, ioData);
}

// The first track ring's producer. A separate object, so that a subclass's own pullFrames()
// for another kind of ring (the board feed's) never takes this one's place.
class TrackRingSource : public ZEPAudioPullRingBufferAudioSource {
public:
    explicit TrackRingSource(ZEPAudioEditor* editor) : mEditor(editor) {}
    OSStatus pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp* timeStamp) override
    {
        return mEditor->ZEPAudioEditor::pullFrames(frames, bufferList, timeStamp);
    }

private:
    ZEPAudioEditor* mEditor;
};

// A header over list's buffers from frame offset on, for frames frames (no allocation).
StackAudioBufferList<kMaxChannels> window(const AudioBufferList* list, UInt32 offset, UInt32 frames)
{
    StackAudioBufferList<kMaxChannels> part;
    part.mNumberBuffers = std::min(list->mNumberBuffers, kMaxChannels);
    for (UInt32 b = 0; b < part.mNumberBuffers; ++b)
        part.mBuffers[b] = AudioBuffer{1, frames * 4, static_cast<Float32*>(list->mBuffers[b].mData) + offset};
    return part;
}

// Zeroes every buffer from frame `from` up to `frames` and sets the sizes to frames.
void padWithSilence(AudioBufferList* list, UInt32 from, UInt32 frames)
{
    for (UInt32 b = 0; b < list->mNumberBuffers; ++b) {
        AudioBuffer& buffer = list->mBuffers[b];
        if (buffer.mData && from < frames)
            std::memset(static_cast<Float32*>(buffer.mData) + from, 0, (frames - from) * 4);
        buffer.mDataByteSize = frames * 4;
    }
}

void setByteSizes(AudioBufferList* list, UInt32 bytes)
{
    for (UInt32 b = 0; b < list->mNumberBuffers; ++b)
        list->mBuffers[b].mDataByteSize = bytes;
}

} // namespace

// Building ---------------------------------------------------------------------------------

OSStatus ZEPAudioEditor::setupInputMixer()
{
    OSStatus status = noErr;
    mInputMixer = AudioComponentRegistry::instantiate(kMatrixMixer, &status);
    if (!mInputMixer)
        return kZEPNoMatrixMixerError;
    AudioUnit* mixer = mInputMixer.get();
    AudioStreamBasicDescription extraction;
    if ((status = getExtractionAudioDescription(&extraction)))
        return status;
    const UInt32 tracks = trackCount();
    if ((status = ZEPAudioUnitUtils::setUpMatrixMixer(mixer, 1, tracks)))
        return status;
    if ((status = mixer->setRenderCallback(0, {&inputMixerProc, this})))
        return status;
    if ((status = mixer->setStreamFormat(kAudioUnitScope_Input, 0, extraction)))
        return status;
    AudioStreamBasicDescription track = extraction;
    track.mChannelsPerFrame = 2;
    for (UInt32 t = 0; t < tracks; ++t) {
        if ((status = mixer->setStreamFormat(kAudioUnitScope_Output, t, track)))
            return status;
    }
    if ((status = mixer->initialize()))
        return status;
    return ZEPAudioUnitUtils::resetVolumesForMatrixMixer(mixer);
}

OSStatus ZEPAudioEditor::setupOutputMixer()
{
    OSStatus status = noErr;
    mOutputMixer = AudioComponentRegistry::instantiate(kMatrixMixer, &status);
    if (!mOutputMixer)
        return kZEPNoMatrixMixerError;
    AudioUnit* mixer = mOutputMixer.get();
    const UInt32 tracks = trackCount();
    if ((status = ZEPAudioUnitUtils::setUpMatrixMixer(mixer, tracks, 1)))
        return status;
    for (UInt32 t = 0; t < tracks; ++t) {
        AudioStreamBasicDescription track;
        if ((status = mInputMixer->getStreamFormat(kAudioUnitScope_Output, t, &track)) ||
            (status = mixer->setStreamFormat(kAudioUnitScope_Input, t, track)) ||
            (status = mixer->setRenderCallback(t, {&outputMixerProc, this})))
            return status;
    }
    AudioStreamBasicDescription all;
    if ((status = mInputMixer->getStreamFormat(kAudioUnitScope_Input, 0, &all)) ||
        (status = mixer->setStreamFormat(kAudioUnitScope_Output, 0, all)) ||
        (status = ZEPAudioUnitUtils::setMaxRenderSlice(kOutputMixerMaxFrames, mixer)) ||
        (status = mixer->initialize()))
        return status;
    return ZEPAudioUnitUtils::resetVolumesForMatrixMixer(mixer);
}

OSStatus ZEPAudioEditor::setupInputRingBuffers()
{
    if (!mTrackRingSource)
        mTrackRingSource = std::make_unique<TrackRingSource>(this);
    std::vector<std::unique_ptr<ZEPAudioPullRingBuffer>> rings;
    for (UInt32 t = 0; t < trackCount(); ++t) {
        AudioStreamBasicDescription track;
        if (const OSStatus status = mInputMixer->getStreamFormat(kAudioUnitScope_Output, t, &track))
            return status;
        try {
            rings.push_back(std::make_unique<ZEPAudioPullRingBuffer>(track, UInt32(track.mSampleRate * 1.25)));
            if (t == 0) {
                rings[0]->setAudioSource(mTrackRingSource.get());
                rings[0]->setPullFrames(kTrackRingPullFrames);
            }
        } catch (const std::bad_alloc&) {
            return kRingBufferMemoryError;
        }
    }
    mTrackRingBuffers = std::move(rings);
    return noErr;
}

ZEPAudioPullRingBuffer* ZEPAudioEditor::firstTrackRing() const
{
    return mTrackRingBuffers.empty() ? nullptr : mTrackRingBuffers[0].get();
}

void ZEPAudioEditor::stopTrackRings()
{
    for (const auto& ring : mTrackRingBuffers)
        ring->stop();
}

void ZEPAudioEditor::resetTrackRings()
{
    for (const auto& ring : mTrackRingBuffers)
        ring->reset();
    for (AudioTimeStamp& time : mInputMixerTimeStamps) {
        time = AudioTimeStamp();
        time.mFlags = kAudioTimeStampSampleTimeValid;
    }
}

void ZEPAudioEditor::primeAndStartTrackRings()
{
    ZEPAudioPullRingBuffer* first = firstTrackRing();
    if (!first)
        return;
    first->prime(UInt32(samplesPerSecond()));
    first->start();
}

// Encode settings and live preview --------------------------------------------------------

void ZEPAudioEditor::rebuildPreviewConverters(const AudioStreamBasicDescription& previewFormat, UInt32 bitRate,
                                              UInt32 quality, UInt32 fileType)
{
    AudioStreamBasicDescription track;
    if (!mInputMixer || mInputMixer->getStreamFormat(kAudioUnitScope_Output, 0, &track) != noErr)
        return;
    std::vector<std::unique_ptr<ZEPPreviewConverter>> previewers;
    if (livePreviewEnabled()) {
        for (UInt32 t = 0; t < trackCount() && t < mTrackRingBuffers.size(); ++t) {
            mTrackRingBuffers[t]->stop();
            mTrackRingBuffers[t]->reset();
            auto previewer = ZEPPreviewConverter::initWithPreviewAudioDescription(previewFormat, bitRate, quality, track);
            AudioStreamBasicDescription fallback;
            if (!previewer && ZEPAudioConverter::defaultOutputDescription(&fallback, fileType) == noErr)
                previewer = ZEPPreviewConverter::initWithPreviewAudioDescription(fallback, bitRate, quality, track);
            if (!previewer)
                break;
            previewer->setDataSource(this);
            previewers.push_back(std::move(previewer));
        }
        // A track without a preview converter would be silent: then none previews.
        if (previewers.size() != trackCount())
            previewers.clear();
    }
    mTrackPreviewers = std::move(previewers);
}

// Playing ----------------------------------------------------------------------------------

namespace {

// The edit model's own render, reached past any subclass's renderFrames().
class OwnRenderSource final : public ZEPAudioSource {
public:
    explicit OwnRenderSource(ZEPAudioEditor& editor) : mEditor(editor) {}
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        return mEditor.ZEPAudioEditor::getAudioDescription(description);
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override
    {
        return mEditor.ZEPAudioEditor::renderFrames(frames, ioData, renderFlags, timeStamp, sender);
    }
    OSStatus setMaxRequestFrames(UInt32 frames) override { return mEditor.setMaxRequestFrames(frames); }
    UInt32 maxRequestFrames() override { return mEditor.chainMaxRequestFrames(); }
    SInt64 framesAvailable() override { return mEditor.framesAvailable(); }
    bool isFlushing() override { return mEditor.isFlushing(); }
    void flush() override { mEditor.flush(); }

private:
    ZEPAudioEditor& mEditor;
};

} // namespace

ZEPAudioSource* ZEPAudioEditor::ownRender()
{
    if (!mOwnRender)
        mOwnRender = std::make_unique<OwnRenderSource>(*this);
    return mOwnRender.get();
}

ZEPAudioSource* ZEPAudioEditor::playerSource()
{
    if (!mEffectsGraph)
        return ownRender();
    // An export may have left the chain pulling its extraction source.
    mEffectsGraph->setInputSource(ownRender());
    mEffectsGraph->setBypassesGraphs(!mEffectsGraphEnabled);
    return mEffectsGraph.get();
}

void ZEPAudioEditor::releasePlayer()
{
    if (!mPlayer)
        return;
    mPlayer->stop();
    mPlayer->setDelegate(nullptr);
    mPlayer.reset();
}

OSStatus ZEPAudioEditor::playRegion(const ZEPAudioRegionRef& region, bool ignoreLoop)
{
    const bool loop = mLoop;
    if (ignoreLoop)
        mLoop = false;
    const OSStatus status = playRegion(region);
    mLoop = loop;
    return status;
}

OSStatus ZEPAudioEditor::playRegion(const ZEPAudioRegionRef& region)
{
    ZEPAudioRegionRef r = region ? region->copy() : absoluteTotalRegion();
    for (const ZEPAudioRegionRef& skipped : mSkippedRegions) {
        if (skipped->containsLocation(r->index()))
            r->setIndex(skipped->end() + 1);
        if (skipped->containsLocation(r->end()))
            r->setEnd(skipped->index() - 1);
    }
    endScrub();
    if (isPlaying())
        stopPlayback();
    if (r->length() <= 0)
        return kEmptyRegionError;
    if (!mInputMixer || !mOutputMixer)
        return kAudioUnitErr_Uninitialized;

    const SInt64 location = playbackLocation();
    const SInt64 relativeLocation = relativePlaybackLocation();
    AudioStreamBasicDescription format;
    if (OSStatus status = getExtractionAudioDescription(&format))
        return status;
    if (OSStatus status = getReadyForExtraction())
        return status;
    mOperationMode = kPlaybackMode;
    mInputMixer->reset();
    mOutputMixer->reset();

    releasePlayer();
    AudioStreamBasicDescription playerFormat = format;
    playerFormat.mChannelsPerFrame /= std::max<UInt32>(trackCount(), 1);
    OSStatus status = noErr;
    mPlayer = ZEPPullAudioPlayer::create(0, playerSource(), playerFormat, kPlayerRingFrames, &status);
    if (!mPlayer)
        return status;
    if (!mOutputDeviceUID.isNull())
        mPlayer->setDeviceUID(mOutputDeviceUID);
    mPlayer->setDelegate(this);

    mTrackInputBufferListSize = kTrackInputBufferListSize;
    OSStatus gainStatus = noErr;
    for (UInt32 t = 0; t < trackCount() && validTrack(t); ++t) {
        if (!mTrackInputBufferLists[t])
            mTrackInputBufferLists[t] = ZEPCreateAudioBufferList(2, mTrackInputBufferListSize);
        const Float32 scale = normalizeScaleFactorForTrack(t);
        if (mEffectsGraph)
            mEffectsGraph->setVolume(scale, t);
        if (mStereoMixerSetUp) {
            if (OSStatus s = ZEPAudioUnitUtils::matrixMixerUnit(mStereoMatrixMixer.get(), scale, 2 * t, 0))
                gainStatus = s;
            if (OSStatus s = ZEPAudioUnitUtils::matrixMixerUnit(mStereoMatrixMixer.get(), scale, 2 * t + 1, 1))
                gainStatus = s;
        }
    }
    stopTrackRings();
    resetTrackRings();

    mPlaybackRegion = r;
    mRelativePlaybackRegion = relativeRegionWithAbsoluteRegion(*r);
    // The stop time is the first frame after the region: its last frame still plays.
    if (!mLoop)
        mPlayer->setStopSampleTime(double(mRelativePlaybackRegion->index() + mRelativePlaybackRegion->length()));
    mPlayer->setSampleTime(double(mRelativePlaybackRegion->index()));
    if (mPlaybackLocationModified && r->containsLocation(location)) {
        setReadLocation(location);
        mPlayer->setSampleTime(double(relativeLocation));
        mPlaybackLocationModified = false;
    } else {
        setReadLocation(r->index());
    }

    mPlayer->setVolume(mPlaybackVolume);
    for (const auto& previewer : mTrackPreviewers) {
        // A converter whose input once ended gives nothing more until it is reset.
        previewer->reset();
        if (OSStatus s = previewer->getReadyToEncode())
            return s;
    }
    mInputError = noErr;
    mInputEnded = false;
    mInputReadStatus = noErr;
    {
        std::lock_guard lock(mLock);
        mPlayingThroughPreview = !mTrackPreviewers.empty();
    }
    if (mPlayingThroughPreview)
        primeAndStartTrackRings();
    status = mPlayer->play();
    return status ? status : gainStatus;
}

void ZEPAudioEditor::stopPlayback()
{
    stopTrackRings();
    releasePlayer();
    mPlaybackLocation = mSkippedRegions.isEmpty() ? 0 : mSkippedRegions.first()->end() + 1;
    mPlaybackRegion.reset();
    mRelativePlaybackRegion.reset();
    // A reader that comes later (export, the board's feed) must not wrap at a region that
    // is gone.
    if (mOperationMode == kPlaybackMode)
        mOperationMode = kIdleMode;
    didChangeValueForKey(QStringLiteral("playing"), true, false);
    setReadLocation(0);
}

bool ZEPAudioEditor::isPlaying() const
{
    return mPlayer && mPlayer->isPlaying();
}

void ZEPAudioEditor::pausePlayback()
{
    if (mEffectsGraph)
        mEffectsGraph->stop();
    if (mPlayer)
        mPlayer->pause();
}

void ZEPAudioEditor::resumePlayback()
{
    if (mEffectsGraph)
        mEffectsGraph->start();
    if (mPlayer)
        mPlayer->resume();
}

bool ZEPAudioEditor::isPaused() const
{
    return mPlayer && mPlayer->isPaused();
}

SInt64 ZEPAudioEditor::playbackLocation()
{
    return absoluteIndexWithRelativeIndex(relativePlaybackLocation());
}

SInt64 ZEPAudioEditor::relativePlaybackLocation()
{
    if (!isPlaying())
        return relativeIndexWithAbsoluteIndex(mPlaybackLocation);
    return relativeLocationAtSampleTime(mPlayer->sampleTime());
}

SInt64 ZEPAudioEditor::relativeLocationAtSampleTime(double sampleTime) const
{
    SInt64 t = SInt64(sampleTime);
    if (mRelativePlaybackRegion && mRelativePlaybackRegion->length() > 0) {
        const SInt64 index = mRelativePlaybackRegion->index();
        t = index + (t - index) % mRelativePlaybackRegion->length();
    }
    return t;
}

void ZEPAudioEditor::setRelativePlaybackLocation(SInt64 location)
{
    setPlaybackLocation(absoluteIndexWithRelativeIndex(location));
}

void ZEPAudioEditor::setPlaybackLocation(SInt64 location, bool allowWrap)
{
    if (!isPlaying() || isPaused()) {
        stopTrackRings();
        releasePlayer();
        if (allowWrap) {
            location = absoluteIndexWithRelativeIndex(relativeIndexWithAbsoluteIndex(location));
            if (location >= absoluteTotalRegion()->end())
                location = absoluteIndexWithRelativeIndex(0);
        }
        mPlaybackLocation = location;
        mPlaybackLocationModified = true;
        return;
    }
    if (!mPlaybackRegion || !mPlaybackRegion->containsLocation(location))
        return;
    if (ZEPAudioPullRingBuffer* first = firstTrackRing())
        first->stop();
    mPlayer->beginSwitch();
    setReadLocation(location);
    if (mPlayingThroughPreview) {
        stopTrackRings();
        resetTrackRings();
        // What the converters still hold belongs to the old position.
        for (const auto& previewer : mTrackPreviewers)
            previewer->reset();
        primeAndStartTrackRings();
    }
    mPlayer->finishSwitchWithTime(double(relativeIndexWithAbsoluteIndex(location)));
}

void ZEPAudioEditor::setLoop(bool loop)
{
    const bool old = mLoop;
    mLoop = loop;
    if (mPlayer) {
        if (loop) {
            mPlayer->setStopSampleTime(0.0);
        } else if (mRelativePlaybackRegion && mRelativePlaybackRegion->length() > 0) {
            const SInt64 index = mRelativePlaybackRegion->index();
            const SInt64 length = mRelativePlaybackRegion->length();
            const UInt64 pass = UInt64(std::max<SInt64>(SInt64(mPlayer->sampleTime()) - index, 0)) / UInt64(length);
            mPlayer->setStopSampleTime(double(index + SInt64(pass + 1) * length));
        }
    }
    if (old != loop)
        didChangeValueForKey(QStringLiteral("loop"), old, loop);
}

double ZEPAudioEditor::relativePlaybackTime()
{
    const SInt64 packets = exportPacketsReturned();
    const double rate = samplesPerSecond();
    if (packets <= 0 || rate <= 0)
        return 0.0;
    return double(packets) / rate;
}

float ZEPAudioEditor::playbackPercentage()
{
    const double seconds = duration();
    return seconds > 0 ? float(relativePlaybackTime() / seconds) : 0.0f;
}

void ZEPAudioEditor::setBuffersRealtimeAudio(bool buffersRealtimeAudio)
{
    if (mEffectsGraph)
        mEffectsGraph->setBuffersRealtimeAudio(buffersRealtimeAudio);
}

bool ZEPAudioEditor::buffersRealtimeAudio() const
{
    return mEffectsGraph && mEffectsGraph->buffersRealtimeAudio();
}

void ZEPAudioEditor::playerStatusChanged(ZEPAudioPlayer* player)
{
    if (!player || player != mPlayer.get())
        return;
    didChangeValueForKey(QStringLiteral("playing"), QVariant(), player->isPlaying());
    didChangeValueForKey(QStringLiteral("paused"), QVariant(), player->isPaused());
    if (!player->isPlaying() && mPlaybackRegion)
        mPlaybackLocation = mPlaybackRegion->index();
}

void ZEPAudioEditor::setOutputDevice(const ZEPAudioDevice* device)
{
    mOutputDeviceUID = device ? device->uid() : QString();
    if (mPlayer)
        mPlayer->setDeviceUID(mOutputDeviceUID);
}

void ZEPAudioEditor::setPlaybackVolume(Float32 volume)
{
    mPlaybackVolume = volume;
    if (mPlayer)
        mPlayer->setVolume(volume);
}

Float32 ZEPAudioEditor::playbackVolume()
{
    return mPlayer ? mPlayer->volume() : mPlaybackVolume;
}

// The pull chain -------------------------------------------------------------------------

OSStatus ZEPAudioEditor::getAudioDescription(AudioStreamBasicDescription* description)
{
    if (mEffectsGraph)
        return mEffectsGraph->getAudioDescription(description);
    return getExtractionAudioDescription(description);
}

OSStatus ZEPAudioEditor::renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                                      const AudioTimeStamp* timeStamp, void* sender)
{
    if (mOperationMode == kExtractionMode)
        return renderExtractionFrames(frames, ioData, renderFlags, timeStamp, sender);
    if (mOperationMode != kPlaybackMode || !mOutputMixer) {
        ZEPRenderSilence(ioData, renderFlags);
        return noErr;
    }
    std::lock_guard lock(mLock);
    AudioUnitRenderActionFlags localFlags = 0;
    if (!renderFlags)
        renderFlags = &localFlags;
    AudioTimeStamp time;
    if (timeStamp && (timeStamp->mFlags & kAudioTimeStampSampleTimeValid)) {
        time = *timeStamp;
    } else {
        time.mSampleTime = mOwnRenderSampleTime;
        time.mFlags = kAudioTimeStampSampleTimeValid;
    }
    const UInt32 wanted = *frames;
    mOwnRenderSampleTime += wanted;
    OSStatus status = noErr;
    for (UInt32 done = 0; done < wanted && status == noErr;) {
        const UInt32 chunk = std::min(wanted - done, kOutputMixerMaxFrames);
        auto part = window(ioData, done, chunk);
        status = mOutputMixer->render(renderFlags, &time, 0, chunk, part.list());
        time.mSampleTime += chunk;
        done += chunk;
    }
    setByteSizes(ioData, wanted * 4);
    return status;
}

OSStatus ZEPAudioEditor::inputMixerCallbackWithFlags(AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                                                     UInt32 frames, AudioBufferList* ioData)
{
    // Reading the region's last frame wraps the read to the region's start: the slice goes on
    // from there, so a loop has no gap.
    UInt32 filled = 0;
    OSStatus status = noErr;
    int emptyReads = 0;
    while (filled < frames) {
        auto part = window(ioData, filled, frames - filled);
        UInt32 read = frames - filled;
        status = readPackets(&read, part.list(), nullptr, true, true);
        filled += std::min(read, frames - filled);
        if (status != noErr && status != kZEPAudioSourceNoDataYet)
            break;
        emptyReads = read == 0 ? emptyReads + 1 : 0;
        if (emptyReads == 2)
            break;
    }
    mInputFramesRead = filled;
    mInputEnded = status == kZEPAudioSourceEndOfData || (status == noErr && filled == 0);
    mInputReadStatus = (status == noErr || status == kZEPAudioSourceNoDataYet || status == kZEPAudioSourceEndOfData)
                           ? noErr
                           : status;
    padWithSilence(ioData, filled, frames);
    if (filled == 0 && mInputEnded)
        return kZEPAudioSourceEndOfData;
    return mInputReadStatus;
}

OSStatus ZEPAudioEditor::outputMixerCallbackWithFlags(AudioUnitRenderActionFlags* flags,
                                                      const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                                      AudioBufferList* ioData)
{
    if (!mPlayingThroughPreview || bus >= mTrackPreviewers.size()) {
        const OSStatus status = mInputMixer->render(flags, timeStamp, bus, frames, ioData);
        if (mInputEnded && mInputFramesRead == 0) {
            if (mPlayer)
                mPlayer->setStopWhenEmpty(true);
            padWithSilence(ioData, 0, frames);
            return kZEPAudioSourceEndOfData;
        }
        return status;
    }
    UInt32 delivered = frames;
    const OSStatus status = mTrackPreviewers[bus]->renderFrames(&delivered, ioData, flags, timeStamp, this);
    delivered = std::min(delivered, frames);
    if (status == noErr && delivered == 0 && ioData->mBuffers[0].mDataByteSize == 0) {
        if (mPlayer)
            mPlayer->setStopWhenEmpty(true);
        padWithSilence(ioData, 0, frames);
        return kZEPAudioSourceEndOfData;
    }
    padWithSilence(ioData, delivered, frames);
    return status == kZEPAudioSourceNoDataYet ? noErr : status;
}

OSStatus ZEPAudioEditor::pullFrames(UInt32* frames, AudioBufferList* bufferList, const AudioTimeStamp*)
{
    const auto answerNothing = [&](OSStatus status) {
        *frames = 0;
        setByteSizes(bufferList, 0);
        return status;
    };
    if (const OSStatus error = mInputError.load()) {
        for (size_t t = 1; t < mTrackRingBuffers.size(); ++t)
            mTrackRingBuffers[t]->stop();
        return answerNothing(error);
    }
    UInt32 count = *frames;
    for (size_t t = 1; t < mTrackRingBuffers.size(); ++t)
        count = std::min(count, mTrackRingBuffers[t]->spaceFrames());
    if (count == 0 || !mInputMixer)
        return answerNothing(kZEPAudioSourceNoDataYet);

    AudioUnitRenderActionFlags flags = 0;
    OSStatus status = noErr;
    for (UInt32 t = 1; t < mTrackRingBuffers.size() && validTrack(t) && status == noErr; ++t) {
        setByteSizes(bufferList, count * 4);
        status = mInputMixer->render(&flags, &mInputMixerTimeStamps[t], t, count, bufferList);
        if (status == noErr)
            mTrackRingBuffers[t]->writeFrames(mInputEnded ? mInputFramesRead : count, bufferList);
        mInputMixerTimeStamps[t].mSampleTime += count;
    }
    if (status == noErr) {
        setByteSizes(bufferList, count * 4);
        status = mInputMixer->render(&flags, &mInputMixerTimeStamps[0], 0, count, bufferList);
        mInputMixerTimeStamps[0].mSampleTime += count;
    }
    if (status == noErr)
        status = mInputReadStatus;
    if (status != noErr && status != kZEPAudioSourceNoDataYet) {
        OSStatus expected = noErr;
        mInputError.compare_exchange_strong(expected, status);
        for (size_t t = 1; t < mTrackRingBuffers.size(); ++t)
            mTrackRingBuffers[t]->stop();
        return answerNothing(mInputError.load());
    }
    const UInt32 delivered = mInputEnded ? std::min(mInputFramesRead, count) : count;
    *frames = delivered;
    setByteSizes(bufferList, delivered * 4);
    return mInputEnded && delivered == 0 ? kZEPAudioSourceEndOfData : noErr;
}

OSStatus ZEPAudioEditor::converter(ZEPAudioConverter* converter, UInt32* readPackets, AudioBufferList* bufferList,
                                   AudioStreamPacketDescription**)
{
    size_t track = 0;
    while (track < mTrackPreviewers.size() && mTrackPreviewers[track]->encoder() != converter)
        ++track;
    AudioBufferList* own = track < kMaxTracks ? mTrackInputBufferLists[track] : nullptr;
    if (track == mTrackPreviewers.size() || track >= mTrackRingBuffers.size() || !own) {
        *readPackets = 0;
        return noErr;
    }
    for (UInt32 b = 0; b < bufferList->mNumberBuffers && b < own->mNumberBuffers; ++b) {
        bufferList->mBuffers[b].mData = own->mBuffers[b].mData;
        bufferList->mBuffers[b].mDataByteSize = mTrackInputBufferListSize;
    }
    const UInt32 count = std::min(*readPackets, mTrackInputBufferListSize / 4);
    ZEPAudioPullRingBuffer* ring = mTrackRingBuffers[track].get();
    ZEPAudioPullRingBuffer* first = firstTrackRing();
    const auto deadline = std::chrono::steady_clock::now() + kTrackRingWait;
    while (ring->amountFrames() == 0 && first->isRunning() && mInputError.load() == noErr &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    UInt32 frames = std::min(count, ring->amountFrames());
    OSStatus status = noErr;
    // The preview runs on the player's loader, which may wait: a ring busy for a moment (its
    // own loader publishing) must not pass for an empty one, or the slice would be silence.
    if (frames > 0)
        status = ring->readFramesWaitingForLock(&frames, bufferList);
    *readPackets = frames;
    if (frames > 0)
        return status;
    setByteSizes(bufferList, 0);
    // Nothing now: the converters try again later (an input that ended would end them for
    // good), unless the reading failed.
    if (const OSStatus error = mInputError.load())
        return error;
    return kZEPAudioSourceNoDataYet;
}
