#include "audio/engine/ZEPAudioMixer.h"

#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "platform/MainThread.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr UInt32 kScratchBuffers = 2;

const AudioComponentDescription kGenericOutput{kAudioUnitType_Output, kAudioUnitSubType_GenericOutput,
                                               kAudioUnitManufacturer_System, 0, 0};
const AudioComponentDescription kMatrixMixer{kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer,
                                             kAudioUnitManufacturer_System, 0, 0};
const AudioComponentDescription kVarispeed{kAudioUnitType_FormatConverter, kAudioUnitSubType_Varispeed,
                                           kAudioUnitManufacturer_System, 0, 0};

// Zeroes bytes of every buffer of list from byteOffset on (within each buffer's size).
void zeroFrom(AudioBufferList* list, UInt32 byteOffset)
{
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        AudioBuffer& buffer = list->mBuffers[i];
        if (buffer.mData && byteOffset < buffer.mDataByteSize)
            std::memset(static_cast<UInt8*>(buffer.mData) + byteOffset, 0, buffer.mDataByteSize - byteOffset);
    }
}

} // namespace

ZEPAudioMixer::ZEPAudioMixer(UInt32 numInputs, UInt32 numOutputs, const AudioStreamBasicDescription& audioDescription)
    : mNumInputs(numInputs), mNumOutputs(numOutputs), mMixerDesc(audioDescription),
      mLifeToken(std::make_shared<ZEPAudioMixer*>(this))
{
}

std::unique_ptr<ZEPAudioMixer> ZEPAudioMixer::create(UInt32 numInputs, UInt32 numOutputs, UInt32 maxRenderSlice,
                                                     const AudioStreamBasicDescription& audioDescription,
                                                     OSStatus* outStatus)
{
    std::unique_ptr<ZEPAudioMixer> mixer(new ZEPAudioMixer(numInputs, numOutputs, audioDescription));
    const OSStatus status = mixer->build(maxRenderSlice);
    if (outStatus)
        *outStatus = status;
    if (status != noErr)
        return nullptr;
    return mixer;
}

OSStatus ZEPAudioMixer::build(UInt32 maxRenderSlice)
{
    mGraph = std::make_unique<AUGraph>();
    mRenderBufferList = ZEPCreateEmptyAudioBufferList(kScratchBuffers);
    if (!mRenderBufferList)
        return kAudio_MemFullError;
    mAudioSources.resize(mNumInputs);
    for (UInt32 i = 0; i < mNumInputs; ++i)
        mAudioSourceMutexes.push_back(std::make_unique<CAMutex>("mixer source mutex"));
    mInputErrorArray = std::make_unique<std::atomic<UInt8>[]>(mNumInputs);
    for (UInt32 i = 0; i < mNumInputs; ++i)
        mInputErrorArray[i].store(0);
    mInputMappers.resize(mNumInputs);
    mInputConverterNodes.resize(mNumInputs);
    mInputConverters.resize(mNumInputs);

    if (OSStatus status = mGraph->addNode(kGenericOutput, &mOutputNode))
        return status;
    if (OSStatus status = mGraph->addNode(kMatrixMixer, &mMixerNode))
        return status;
    for (UInt32 i = 0; i < mNumInputs; ++i) {
        if (OSStatus status = mGraph->addNode(kVarispeed, &mInputConverterNodes[i]))
            return status;
    }
    if (OSStatus status = mGraph->open())
        return status;
    mGraph->nodeInfo(mOutputNode, nullptr, &mOutputUnit);
    mGraph->nodeInfo(mMixerNode, nullptr, &mMixer);

    if (OSStatus status = mOutputUnit->setStreamFormat(kAudioUnitScope_Output, 0, mMixerDesc))
        return status;
    if (OSStatus status = mOutputUnit->setStreamFormat(kAudioUnitScope_Input, 0, mMixerDesc))
        return status;
    if (OSStatus status = ZEPAudioUnitUtils::setUpMatrixMixer(mMixer, mNumInputs, mNumOutputs))
        return status;
    if (OSStatus status = mGraph->connectNodeInput(mMixerNode, 0, mOutputNode, 0))
        return status;
    for (UInt32 i = 0; i < mNumInputs; ++i) {
        mInputMappers[i] = ZEPAudioMixerMapper{i, this};
        if (OSStatus status = mGraph->connectNodeInput(mInputConverterNodes[i], 0, mMixerNode, i))
            return status;
        const AURenderCallbackStruct callback{&ZEPAudioMixer::inputCallback, &mInputMappers[i]};
        if (OSStatus status = mGraph->setNodeInputCallback(mInputConverterNodes[i], 0, callback))
            return status;
        mGraph->nodeInfo(mInputConverterNodes[i], nullptr, &mInputConverters[i]);
        if (OSStatus status = ZEPAudioUnitUtils::setMaxRenderSlice(maxRenderSlice, mInputConverters[i]))
            return status;
    }
    if (OSStatus status = ZEPAudioUnitUtils::setMaxRenderSlice(maxRenderSlice, mOutputUnit))
        return status;
    if (OSStatus status = ZEPAudioUnitUtils::setMaxRenderSlice(maxRenderSlice, mMixer))
        return status;
    if (OSStatus status = mGraph->initialize())
        return status;
    if (OSStatus status = mGraph->start())
        return status;

    ZEPAudioUnitUtils::resetVolumesForMatrixMixer(mMixer);
    for (UInt32 i = 0; i < mNumInputs; ++i)
        setInputAtIndex(i, false);
    mLevelsInDecibels.store(true);
    return noErr;
}

ZEPAudioMixer::~ZEPAudioMixer()
{
    if (mGraph) {
        mGraph->stop();
        mGraph.reset(); // uninitialises and closes every unit
    }
    ZEPFreeEmptyAudioBufferList(mRenderBufferList);
}

OSStatus ZEPAudioMixer::start() { return mGraph->start(); }

OSStatus ZEPAudioMixer::stop() { return mGraph->stop(); }

std::vector<std::shared_ptr<ZEPAudioSource>> ZEPAudioMixer::removedSources() { return std::exchange(mRemovedSources, {}); }

std::vector<std::shared_ptr<ZEPAudioSource>> ZEPAudioMixer::addedSources() { return std::exchange(mAddedSources, {}); }

bool ZEPAudioMixer::lockSource(UInt32 input) { return input < mNumInputs && mAudioSourceMutexes[input]->Lock(); }

bool ZEPAudioMixer::tryLockSource(UInt32 input) noexcept
{
    if (input >= mNumInputs)
        return false;
    bool tookIt = false;
    mAudioSourceMutexes[input]->Try(tookIt);
    return tookIt;
}

void ZEPAudioMixer::unlockSource(UInt32 input) noexcept
{
    if (input < mNumInputs)
        mAudioSourceMutexes[input]->Unlock();
}

void ZEPAudioMixer::setStopWhenAllInputsFinish(bool stopWhenAllInputsFinish)
{
    if (stopWhenAllInputsFinish) {
        for (UInt32 i = 0; i < mNumInputs; ++i) {
            const bool taken = lockSource(i);
            mInputErrorArray[i].store(mAudioSources[i] ? 0 : 1);
            if (taken)
                unlockSource(i);
        }
    }
    mStopWhenAllInputsFinish.store(stopWhenAllInputsFinish);
}

OSStatus ZEPAudioMixer::setVolume(Float32 volume)
{
    if (const OSStatus status = setVolumeForElement(volume, 0xFFFF0000))
        return status;
    return setVolumeForElement(volume, 0xFFFF0001);
}

OSStatus ZEPAudioMixer::setVolumeForElement(Float32 volume, UInt32 element)
{
    return mMixer->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, element, volume);
}

OSStatus ZEPAudioMixer::setVolumeForInput(Float32 volume, UInt32 input)
{
    if (const OSStatus status = setVolumeForElement(volume, ((2 * input) << 16) | 0xFFFF))
        return status;
    return setVolumeForElement(volume, ((2 * input + 1) << 16) | 0xFFFF);
}

Float32 ZEPAudioMixer::volumeForInput(UInt32 input)
{
    AudioUnitParameterValue volume = 0;
    if (mMixer->getParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, ((2 * input) << 16) | 0xFFFF,
                             &volume) != noErr)
        return 0;
    return volume;
}

Float32 ZEPAudioMixer::volumeForTrack(UInt32) const { return 0.0f; }

OSStatus ZEPAudioMixer::setLevelsEnabled(bool enabled)
{
    const UInt32 mode = enabled ? 1 : 0;
    return mMixer->setProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &mode, sizeof mode);
}

bool ZEPAudioMixer::levelsEnabled() const
{
    UInt32 mode = 0;
    UInt32 size = sizeof mode;
    return mMixer->getProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &mode, &size) == noErr &&
           mode == 1;
}

Float32 ZEPAudioMixer::minimumPowerLevel() const { return levelsInDecibels() ? kMatrixMixerMeterFloorDecibels : 0.0f; }

Float32 ZEPAudioMixer::level(AudioUnitParameterID parameter, AudioUnitScope scope, AudioUnitElement element) const
{
    AudioUnitParameterValue decibels = 0;
    if (mMixer->getParameter(parameter, scope, element, &decibels) != noErr)
        return minimumPowerLevel();
    if (levelsInDecibels())
        return decibels;
    return Float32(std::pow(10.0, decibels * 0.05) - 0.000001);
}

Float32 ZEPAudioMixer::leftOutputLevel() const { return level(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Output, 0); }

Float32 ZEPAudioMixer::rightOutputLevel() const
{
    return level(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Output, 1);
}

Float32 ZEPAudioMixer::leftPeakLevel() const { return level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Output, 0); }

Float32 ZEPAudioMixer::rightPeakLevel() const { return level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Output, 1); }

Float32 ZEPAudioMixer::leftAvgLevelForInput(UInt32 input) const
{
    return level(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Input, 2 * input);
}

Float32 ZEPAudioMixer::rightAvgLevelForInput(UInt32 input) const
{
    return level(kMatrixMixerParam_PostAveragePower, kAudioUnitScope_Input, 2 * input + 1);
}

Float32 ZEPAudioMixer::leftPeakLevelForInput(UInt32 input) const
{
    return level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Input, 2 * input);
}

Float32 ZEPAudioMixer::rightPeakLevelForInput(UInt32 input) const
{
    return level(kMatrixMixerParam_PostPeakHoldLevel, kAudioUnitScope_Input, 2 * input + 1);
}

OSStatus ZEPAudioMixer::setInputAtIndex(UInt32 input, bool enabled)
{
    return mMixer->setParameter(kMatrixMixerParam_Enable, kAudioUnitScope_Input, input, enabled ? 1.0f : 0.0f);
}

bool ZEPAudioMixer::isInputAtIndexEnabled(UInt32 input) const
{
    AudioUnitParameterValue value = 0;
    return mMixer->getParameter(kMatrixMixerParam_Enable, kAudioUnitScope_Input, input, &value) == noErr &&
           value == 1.0f;
}

void ZEPAudioMixer::tellDelegate()
{
    std::weak_ptr<ZEPAudioMixer*> token = mLifeToken;
    mainthread::post([token] {
        const auto alive = token.lock();
        if (!alive)
            return;
        ZEPAudioMixer* mixer = *alive;
        if (ZEPAudioMixerDelegate* delegate = mixer->delegate())
            delegate->mixerDidUpdateSources(mixer);
    });
}

OSStatus ZEPAudioMixer::setAudioSource(std::shared_ptr<ZEPAudioSource> audioSource, UInt32 forInput)
{
    if (forInput >= mNumInputs)
        return kAudio_ParamError;
    OSStatus status = kZEPSourceLockError;
    if (lockSource(forInput)) {
        status = noErr;
        std::shared_ptr<ZEPAudioSource>& current = mAudioSources[forInput];
        if (audioSource != current) {
            if (current)
                mRemovedSources.push_back(current);
            current = audioSource;
            // Nothing the varispeed buffered from the previous producer plays into the next.
            mInputConverters[forInput]->reset();
            if (audioSource) {
                mAddedSources.push_back(audioSource);
                AudioStreamBasicDescription sourceFormat;
                AudioStreamBasicDescription converterFormat;
                status = audioSource->getAudioDescription(&sourceFormat);
                if (status == noErr)
                    status = mInputConverters[forInput]->getStreamFormat(kAudioUnitScope_Input, 0, &converterFormat);
                if (status == noErr)
                    status = mInputConverters[forInput]->setParameter(
                        kVarispeedParam_PlaybackRate, kAudioUnitScope_Global, 0,
                        AudioUnitParameterValue(sourceFormat.mSampleRate / converterFormat.mSampleRate));
            }
            if (status == noErr)
                tellDelegate();
        }
        // An input counts as finished while it has no producer, as when the switch is turned on.
        if (status == noErr && mStopWhenAllInputsFinish.load())
            mInputErrorArray[forInput].store(audioSource ? 0 : 1);
        unlockSource(forInput);
        if (status == noErr)
            return noErr;
    }
    // Failure: leave the input without a producer (when its lock can be had).
    if (lockSource(forInput)) {
        mAudioSources[forInput].reset();
        unlockSource(forInput);
    }
    return status;
}

std::shared_ptr<ZEPAudioSource> ZEPAudioMixer::audioSourceForInput(UInt32 input) const
{
    return input < mNumInputs ? mAudioSources[input] : nullptr;
}

UInt32 ZEPAudioMixer::indexForAudioSource(const ZEPAudioSource* audioSource) const
{
    for (UInt32 i = 0; i < mNumInputs; ++i) {
        if (mAudioSources[i].get() == audioSource)
            return i;
    }
    return kNoInput;
}

OSStatus ZEPAudioMixer::getAudioDescription(AudioStreamBasicDescription* description)
{
    return mMixer->getStreamFormat(kAudioUnitScope_Output, 0, description);
}

AudioStreamBasicDescription ZEPAudioMixer::audioDescription()
{
    AudioStreamBasicDescription description;
    getAudioDescription(&description);
    return description;
}

OSStatus ZEPAudioMixer::renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                                     const AudioTimeStamp* timeStamp, void* sender)
{
    return renderFrames(frames, ioData, renderFlags, timeStamp, 0, sender);
}

OSStatus ZEPAudioMixer::renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                                     const AudioTimeStamp* timeStamp, UInt32 busNumber, void*)
{
    const AudioTimeStamp noTime;
    return mOutputUnit->render(renderFlags, timeStamp ? timeStamp : &noTime, busNumber, *frames, ioData);
}

OSStatus ZEPAudioMixer::setMaxRequestFrames(UInt32 maxRequestFrames)
{
    return ZEPAudioUnitUtils::setMaxRenderSlice(maxRequestFrames, mOutputUnit);
}

UInt32 ZEPAudioMixer::maxRequestFrames() { return mOutputUnit->maxFramesPerSlice(); }

OSStatus ZEPAudioMixer::inputCallback(void* refCon, AudioUnitRenderActionFlags* ioActionFlags,
                                      const AudioTimeStamp* timeStamp, UInt32, UInt32 frames, AudioBufferList* ioData)
{
    const auto* mapper = static_cast<const ZEPAudioMixerMapper*>(refCon);
    // The bus the graph passes is the varispeed's own input (0): the mapper knows the input.
    return mapper->mixer->outputMixerCallback(ioActionFlags, timeStamp, mapper->index, frames, ioData);
}

bool ZEPAudioMixer::anotherInputIsPlaying(UInt32 input) const
{
    for (UInt32 i = 0; i < mNumInputs; ++i) {
        if (i == input)
            continue;
        // With the switch on, an input without a producer counts as finished, so the flags
        // alone tell which inputs still play (no other input's lock is needed).
        if (mInputErrorArray[i].load(std::memory_order_relaxed) == 0)
            return true;
    }
    return false;
}

OSStatus ZEPAudioMixer::outputMixerCallback(AudioUnitRenderActionFlags* ioActionFlags,
                                            const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                            AudioBufferList* ioData)
{
    AudioTimeStamp time = *timeStamp;
    if (!tryLockSource(bus)) {
        ZEPZeroAudioBufferList(ioData);
        return noErr;
    }
    ZEPAudioSource* source = mAudioSources[bus].get();
    if (!source) {
        ZEPRenderSilence(ioData, ioActionFlags);
        unlockSource(bus);
        return noErr;
    }
    UInt32 maxFrames = source->maxRequestFrames();
    if (maxFrames == 0)
        maxFrames = 0xFFFFFFFF; // a producer without a stated limit
    AudioStreamBasicDescription format;
    OSStatus result = source->getAudioDescription(&format);
    if (result == noErr && frames == 0) {
        unlockSource(bus);
        return noErr;
    }
    const UInt32 buffers = std::min(ioData->mNumberBuffers, kScratchBuffers);
    const bool mono = format.mChannelsPerFrame == 1 && buffers == 2;
    UInt32 filled = 0;
    UInt32 bytesDelivered = 0;
    while (result == noErr) {
        const UInt32 chunk = std::min(frames - filled, maxFrames);
        AudioBufferList* scratch = mRenderBufferList;
        scratch->mNumberBuffers = mono ? 1 : buffers;
        for (UInt32 i = 0; i < scratch->mNumberBuffers; ++i) {
            scratch->mBuffers[i].mNumberChannels = ioData->mBuffers[i].mNumberChannels;
            scratch->mBuffers[i].mData = static_cast<UInt8*>(ioData->mBuffers[i].mData) + size_t(filled) * 4;
            scratch->mBuffers[i].mDataByteSize = format.mBytesPerFrame * chunk;
        }
        UInt32 delivered = chunk;
        result = source->renderFrames(&delivered, scratch, ioActionFlags, &time, this);
        if (result != noErr)
            break;
        delivered = std::min(delivered, chunk);
        if (mono)
            std::memcpy(static_cast<UInt8*>(ioData->mBuffers[1].mData) + size_t(filled) * 4,
                        scratch->mBuffers[0].mData, size_t(delivered) * 4);
        bytesDelivered += scratch->mBuffers[0].mDataByteSize;
        time.mSampleTime += delivered;
        filled += delivered;
        if (filled >= frames || delivered == 0) {
            // A success with nothing delivered would be asked again forever: the rest of the
            // slice is silence.
            if (filled < frames)
                zeroFrom(ioData, filled * 4);
            unlockSource(bus);
            return noErr;
        }
    }
    if (bytesDelivered < ioData->mBuffers[0].mDataByteSize)
        zeroFrom(ioData, filled * 4);
    if (result == kZEPAudioSourceEndOfData) {
        mInputErrorArray[bus].store(1, std::memory_order_relaxed);
        if (mStopWhenAllInputsFinish.load(std::memory_order_relaxed) && anotherInputIsPlaying(bus)) {
            unlockSource(bus);
            return noErr;
        }
    }
    ZEPZeroAudioBufferList(ioData);
    unlockSource(bus);
    return noErr;
}
