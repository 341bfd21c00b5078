#include "audio/engine/ZEPAudioPlayer.h"

#include "audio/engine/ZEPAudioDevice.h"
#include "audio/engine/ZEPAudioUnitBufferLists.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/audiounits/AudioComponentRegistry.h"
#include "platform/devices/HardwareOutputUnit.h"

#include <cmath>
#include <cstring>
#include <mutex>

namespace {

// Once for all players: the default output device's changes become a notification on the
// main thread.
void listenForDefaultOutputChanges()
{
    static std::once_flag once;
    std::call_once(once, [] {
        AudioHardware::shared().addListener([](AudioHardware::Change change, AudioObjectID) {
            if (change == AudioHardware::Change::DefaultOutputChanged)
                NotificationCenter::defaultCenter().postOnMainThread(kZEPAudioPlayer_DefaultOutputDeviceChanged);
        });
    });
}

void zeroList(AudioBufferList* list)
{
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        if (list->mBuffers[i].mData)
            std::memset(list->mBuffers[i].mData, 0, list->mBuffers[i].mDataByteSize);
    }
}

} // namespace

ZEPAudioPlayer::ZEPAudioPlayer() = default;

std::unique_ptr<ZEPAudioPlayer> ZEPAudioPlayer::create(AudioObjectID device, ZEPAudioSource* audioSource,
                                                       const AudioStreamBasicDescription& inputDescription,
                                                       OSStatus* outStatus)
{
    std::unique_ptr<ZEPAudioPlayer> player(new ZEPAudioPlayer());
    const OSStatus status = player->initWithDevice(device, audioSource, inputDescription);
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(player) : nullptr;
}

std::unique_ptr<ZEPAudioPlayer> ZEPAudioPlayer::create(ZEPAudioSource* audioSource,
                                                       const AudioStreamBasicDescription& inputDescription,
                                                       OSStatus* outStatus)
{
    return create(0, audioSource, inputDescription, outStatus);
}

std::unique_ptr<ZEPAudioPlayer> ZEPAudioPlayer::createWithDeviceUID(const QString& deviceUID,
                                                                    ZEPAudioSource* audioSource,
                                                                    const AudioStreamBasicDescription& inputDescription,
                                                                    OSStatus* outStatus)
{
    AudioObjectID device = 0;
    if (!deviceUID.isNull() && ZEPDeviceIDForUID(deviceUID, &device) != noErr) {
        if (outStatus)
            *outStatus = kAudioHardwareBadDeviceError;
        return nullptr;
    }
    return create(device, audioSource, inputDescription, outStatus);
}

OSStatus ZEPAudioPlayer::initWithDevice(AudioObjectID device, ZEPAudioSource* audioSource,
                                        const AudioStreamBasicDescription& inputDescription)
{
    listenForDefaultOutputChanges();
    mStopOnError = true;
    HardwareOutputUnit::registerComponents();
    OSStatus status = noErr;
    mOutputUnit = AudioComponentRegistry::instantiate(
        {kAudioUnitType_Output, kAudioUnitSubType_HALOutput, kAudioUnitManufacturer_System, 0, 0}, &status);
    if (!mOutputUnit)
        return status;
    setDevice(device);
    if ((status = mOutputUnit->setStreamFormat(kAudioUnitScope_Input, 0, inputDescription)))
        return status;
    mOutputUnit->getStreamFormat(kAudioUnitScope_Input, 0, &mInputDesc);
    if ((status = mOutputUnit->setRenderCallback(0, {&ZEPAudioPlayer::outputCallback, this})))
        return status;
    mSampleTime = 0;
    mPrevAudio = ZEPNewAudioBufferList(2, kPrevAudioSize);
    setAudioSource(audioSource);
    if ((status = setupMixer()))
        return status;
    NotificationCenter::defaultCenter().addObserver(this, kZEPAudioPlayer_DefaultOutputDeviceChanged, nullptr,
                                                    [this](const Notification&) { defaultOutputChanged(); });
    return noErr;
}

ZEPAudioPlayer::~ZEPAudioPlayer()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (mOutputUnit && isRunning())
        ZEPAudioPlayer::stop();
    if (mOutputUnit)
        mOutputUnit->uninitialize();
    mEffectsGraph.reset();
    ZEPDeleteAudioBufferList(mPrevAudio);
    if (mStereoMatrixMixer)
        mStereoMatrixMixer->uninitialize();
}

OSStatus ZEPAudioPlayer::setupMixer()
{
    OSStatus status = noErr;
    mStereoMatrixMixer = AudioComponentRegistry::instantiate(
        {kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer, kAudioUnitManufacturer_System, 0, 0}, &status);
    if (!mStereoMatrixMixer)
        return kZEPNoMatrixMixerError;
    if ((status = mStereoMatrixMixer->setElementCount(kAudioUnitScope_Input, 1)) ||
        (status = mStereoMatrixMixer->setElementCount(kAudioUnitScope_Output, 1)))
        return status;
    if ((status = mStereoMatrixMixer->setRenderCallback(0, {&ZEPAudioPlayer::meteringCallback, this})))
        return status;
    if ((status = mStereoMatrixMixer->setStreamFormat(kAudioUnitScope_Input, 0, mInputDesc)) ||
        (status = mStereoMatrixMixer->setStreamFormat(kAudioUnitScope_Output, 0, mInputDesc)))
        return status;
    if ((status = mStereoMatrixMixer->setMaxFramesPerSlice(mOutputUnit->maxFramesPerSlice())))
        return status;
    if ((status = mStereoMatrixMixer->initialize()))
        return status;
    return setMatrixMixerVolumes(mStereoMatrixMixer.get());
}

OSStatus ZEPAudioPlayer::setMatrixMixerVolumes(AudioUnit* unit)
{
    auto channelsOf = [unit](AudioUnitScope scope, UInt32* total) {
        *total = 0;
        for (UInt32 bus = 0; bus < unit->elementCount(scope); ++bus) {
            AudioStreamBasicDescription format;
            if (unit->getStreamFormat(scope, 0, &format) != noErr)
                return false;
            *total += format.mChannelsPerFrame;
        }
        return true;
    };
    UInt32 inputs = 0, outputs = 0;
    if (!channelsOf(kAudioUnitScope_Input, &inputs) || !channelsOf(kAudioUnitScope_Output, &outputs))
        return noErr;
    unit->setParameter(0, kAudioUnitScope_Global, 0xFFFFFFFF, 1.0f);
    for (UInt32 j = 0; j < outputs; ++j)
        unit->setParameter(0, kAudioUnitScope_Global, 0xFFFF0000 | j, 1.0f);
    for (UInt32 i = 0; i < inputs; ++i) {
        unit->setParameter(0, kAudioUnitScope_Global, (i << 16) | 0xFFFF, 1.0f);
        if (outputs > 0)
            unit->setParameter(0, kAudioUnitScope_Global, (i << 16) | (i % outputs), 1.0f);
    }
    return noErr;
}

void ZEPAudioPlayer::setDevice(AudioObjectID device)
{
    mUsesDefaultOutputDevice = device == 0;
    if (device == 0) {
        device = AudioHardware::shared().defaultOutputDevice();
        if (device == 0)
            return;
    }
    mOutputUnit->setProperty(kAudioOutputUnitProperty_CurrentDevice, kAudioUnitScope_Global, 0, &device,
                             sizeof device);
}

AudioObjectID ZEPAudioPlayer::device() const
{
    UInt32 device = 0;
    UInt32 size = sizeof device;
    mOutputUnit->getProperty(kAudioOutputUnitProperty_CurrentDevice, kAudioUnitScope_Global, 0, &device, &size);
    return device;
}

void ZEPAudioPlayer::setDeviceUID(const QString& uid)
{
    if (uid.isNull() || uid == QLatin1String("Default Device")) {
        setDevice(0);
        return;
    }
    AudioObjectID device = 0;
    if (ZEPDeviceIDForUID(uid, &device) != noErr || device == 0)
        return;
    setDevice(device);
}

QString ZEPAudioPlayer::deviceUID() const
{
    const auto info = AudioHardware::shared().device(device());
    return info ? info->uid : QString();
}

void ZEPAudioPlayer::defaultOutputChanged()
{
    if (mUsesDefaultOutputDevice)
        updateDefaultDevice();
}

void ZEPAudioPlayer::setAudioGraph(std::shared_ptr<ZEPAudioGraph> graph)
{
    mRenderGraph.store(graph.get());
    // The old graph may still be rendering this very moment: let its render finish first.
    if (mOutputUnit->isInitialized() && mEffectsGraph && mEffectsGraph != graph) {
        mOutputUnit->uninitialize();
        mOutputUnit->initialize();
    }
    mEffectsGraph = std::move(graph);
    setGraphInput(this);
}

OSStatus ZEPAudioPlayer::getInputDescription(AudioStreamBasicDescription* description) const
{
    return mOutputUnit->getStreamFormat(kAudioUnitScope_Input, 0, description);
}

OSStatus ZEPAudioPlayer::setInputDescription(const AudioStreamBasicDescription& description)
{
    const OSStatus status = mOutputUnit->setStreamFormat(kAudioUnitScope_Input, 0, description);
    if (status == noErr)
        mOutputUnit->getStreamFormat(kAudioUnitScope_Input, 0, &mInputDesc);
    return status;
}

void ZEPAudioPlayer::announce(const char* key, bool oldValue, bool newValue)
{
    didChangeValueForKey(QString::fromLatin1(key), oldValue, newValue);
}

OSStatus ZEPAudioPlayer::play()
{
    const bool wasRunning = isRunning();
    mLastErrorText.clear();
    if (mEffectsGraph) {
        if (const OSStatus status = startGraph()) {
            announce("playing", wasRunning, isRunning());
            announce("running", wasRunning, isRunning());
            return status;
        }
    }
    mStopMessageAlreadySent = false;
    OSStatus status = mOutputUnit->initialize();
    if (status == noErr)
        status = mOutputUnit->start();
    if (status == noErr)
        setPaused(false);
    else if (auto* hardware = dynamic_cast<HardwareOutputUnit*>(mOutputUnit.get()))
        mLastErrorText = hardware->startErrorText();
    const bool running = isRunning();
    announce("playing", wasRunning, running);
    announce("running", wasRunning, running);
    return status;
}

OSStatus ZEPAudioPlayer::stop()
{
    const bool wasRunning = isRunning();
    const OSStatus stopStatus = mOutputUnit->stop();
    const OSStatus uninitializeStatus = mOutputUnit->uninitialize();
    const OSStatus graphStatus = mEffectsGraph ? stopGraph() : noErr;
    setPaused(false);
    const bool running = isRunning();
    announce("playing", wasRunning, running);
    announce("running", wasRunning, running);
    if (graphStatus)
        return graphStatus;
    return uninitializeStatus ? uninitializeStatus : stopStatus;
}

OSStatus ZEPAudioPlayer::pause()
{
    setPaused(true);
    return noErr;
}

OSStatus ZEPAudioPlayer::resume()
{
    setPaused(false);
    return noErr;
}

void ZEPAudioPlayer::setPaused(bool paused)
{
    mPaused.store(paused);
    statusChanged();
}

void ZEPAudioPlayer::statusChanged()
{
    if (ZEPAudioPlayerDelegate* delegate = mDelegate.load())
        delegate->playerStatusChanged(this);
}

bool ZEPAudioPlayer::isRunning() const
{
    UInt32 running = 0;
    UInt32 size = sizeof running;
    return mOutputUnit->getProperty(kAudioOutputUnitProperty_IsRunning, kAudioUnitScope_Global, 0, &running, &size) ==
               noErr &&
           running != 0;
}

void ZEPAudioPlayer::stopPlaybackOnMainThread()
{
    // A request the full queue did not take counts as not made: the next one is sent (a
    // render past the stop time or a dry end asks every slice), so the stop is not lost.
    if (!mStopMessageAlreadySent.exchange(true) && !sendRealtimeMessage(kStopMessage))
        mStopMessageAlreadySent.store(false);
}

void ZEPAudioPlayer::handleRealtimeMessage(uint16_t message)
{
    if (message == kStopMessage)
        stop();
}

OSStatus ZEPAudioPlayer::setVolume(Float32 volume)
{
    return mOutputUnit->setParameter(kHALOutputParam_Volume, kAudioUnitScope_Global, 0, volume);
}

Float32 ZEPAudioPlayer::volume() const
{
    AudioUnitParameterValue value = 0;
    return mOutputUnit->getParameter(kHALOutputParam_Volume, kAudioUnitScope_Global, 0, &value) == noErr ? value : 0;
}

OSStatus ZEPAudioPlayer::setLevelsEnabled(bool enabled)
{
    const UInt32 mode = enabled ? 1 : 0;
    const OSStatus status =
        mStereoMatrixMixer->setProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &mode, sizeof mode);
    mLevelsEnabled.store(readLevelsEnabled());
    return status;
}

bool ZEPAudioPlayer::readLevelsEnabled() const
{
    UInt32 mode = 0;
    UInt32 size = sizeof mode;
    return mStereoMatrixMixer->getProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &mode, &size) ==
               noErr &&
           mode != 0;
}

Float32 ZEPAudioPlayer::level(AudioUnitParameterID parameter, AudioUnitElement element) const
{
    if (!isPlaying() || mInputDesc.mChannelsPerFrame == 0)
        return 0;
    if (element > 0 && mInputDesc.mChannelsPerFrame < 2)
        element = 0; // a mono input's right level is its left one
    AudioUnitParameterValue decibels = 0;
    if (mStereoMatrixMixer->getParameter(parameter, kAudioUnitScope_Output, element, &decibels) != noErr)
        return decibels;
    return std::pow(10.0f, decibels * 0.05f) - 0.000001f;
}

Float32 ZEPAudioPlayer::leftLevel() const { return level(3000, 0); }
Float32 ZEPAudioPlayer::rightLevel() const { return level(3000, 1); }
Float32 ZEPAudioPlayer::leftPeakLevel() const { return level(4000, 0); }
Float32 ZEPAudioPlayer::rightPeakLevel() const { return level(4000, 1); }

OSStatus ZEPAudioPlayer::lastRenderError() const
{
    OSStatus error = noErr;
    UInt32 size = sizeof error;
    if (mOutputUnit->getProperty(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, &error, &size) != noErr)
        return noErr;
    return error;
}

void ZEPAudioPlayer::burnFrames(UInt32 frames)
{
    if (!mEffectsGraph)
        return;
    AudioTimeStamp time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    while (frames > 0) {
        UInt32 chunk = std::min<UInt32>(frames, 512);
        for (UInt32 b = 0; b < mPrevAudio->mNumberBuffers; ++b)
            mPrevAudio->mBuffers[b].mDataByteSize = kPrevAudioSize;
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = renderGraph(&chunk, mPrevAudio, &flags, &time);
        time.mSampleTime += chunk;
        frames -= std::min(frames, chunk);
        if (status != noErr || chunk == 0)
            break;
    }
}

OSStatus ZEPAudioPlayer::renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                                      const AudioTimeStamp* timeStamp, void*)
{
    ZEPAudioSource* source = mAudioSource.load(std::memory_order_acquire);
    OSStatus status = noErr;
    if (source && !mPaused.load(std::memory_order_relaxed)) {
        status = source->renderFrames(frames, ioData, renderFlags, timeStamp, this);
        if (status == noErr)
            return noErr;
    }
    zeroList(ioData);
    if (renderFlags)
        *renderFlags |= kAudioUnitRenderAction_OutputIsSilence;
    return status;
}

OSStatus ZEPAudioPlayer::renderSourceOrGraph(UInt32* frames, AudioBufferList* ioData,
                                             AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp)
{
    ZEPAudioGraph* graph = mRenderGraph.load(std::memory_order_acquire);
    if (!graph || mBypassGraph.load(std::memory_order_relaxed))
        return renderFrames(frames, ioData, flags, timeStamp, this);
    const SInt64 untilBypass = mFramesUntilBypass.load(std::memory_order_relaxed);
    const OSStatus status = renderGraph(frames, ioData, flags, timeStamp);
    if (untilBypass > 0) {
        const SInt64 left = untilBypass - SInt64(*frames);
        mFramesUntilBypass.store(left > 0 ? left : 0, std::memory_order_relaxed);
        if (left <= 0)
            mBypassGraph.store(true, std::memory_order_relaxed);
    }
    return status;
}

OSStatus ZEPAudioPlayer::inputCallback(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32,
                                       UInt32 frames, AudioBufferList* ioData)
{
    // G counts the graph path, D the direct path; the metering path counts the frames asked.
    UInt32 graphFrames = frames;
    UInt32 directFrames = frames;
    OSStatus status = noErr;
    if (mPaused.load(std::memory_order_relaxed)) {
        zeroList(ioData);
    } else {
        if (mLevelsEnabled.load(std::memory_order_relaxed)) {
            status = mStereoMatrixMixer->render(flags, timeStamp, 0, frames, ioData);
        } else if (!mRenderGraph.load(std::memory_order_acquire) || mBypassGraph.load(std::memory_order_relaxed)) {
            status = renderFrames(&directFrames, ioData, flags, timeStamp, this);
        } else {
            status = renderSourceOrGraph(&graphFrames, ioData, flags, timeStamp);
        }
        // Added, not stored: an owner that resets the count meanwhile keeps its reset.
        mFramesPlayed.fetch_add(graphFrames, std::memory_order_relaxed);
    }
    if (status != noErr && mStopOnError.load(std::memory_order_relaxed)) {
        stopPlaybackOnMainThread();
        return status;
    }
    if (directFrames == 0 && ioData->mBuffers[0].mDataByteSize == 0)
        stopPlaybackOnMainThread();
    return status;
}

OSStatus ZEPAudioPlayer::outputCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                        const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                        AudioBufferList* ioData)
{
    auto* player = static_cast<ZEPAudioPlayer*>(refCon);
    if (!player->mAudioSource.load(std::memory_order_acquire)) {
        *flags |= kAudioUnitRenderAction_OutputIsSilence;
        zeroList(ioData);
        return noErr;
    }
    const OSStatus status = player->inputCallback(flags, timeStamp, bus, frames, ioData);
    if (status != noErr) {
        *flags |= kAudioUnitRenderAction_OutputIsSilence;
        zeroList(ioData);
    }
    return status;
}

OSStatus ZEPAudioPlayer::meteringCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                          const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                                          AudioBufferList* ioData)
{
    auto* player = static_cast<ZEPAudioPlayer*>(refCon);
    UInt32 count = frames;
    return player->renderSourceOrGraph(&count, ioData, flags, timeStamp);
}
