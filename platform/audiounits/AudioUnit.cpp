#include "platform/audiounits/AudioUnit.h"

#include <QVariantMap>

#include <cstring>
#include <thread>

namespace {

// Marks a render in progress for as long as it lives.
class RenderEpochScope {
public:
    explicit RenderEpochScope(std::atomic<UInt32>& epoch) : mEpoch(epoch) { mEpoch.fetch_add(1); }
    ~RenderEpochScope() { mEpoch.fetch_add(1); }

private:
    std::atomic<UInt32>& mEpoch;
};

} // namespace

AudioStreamBasicDescription AudioUnitCanonicalFormat(UInt32 channels)
{
    AudioStreamBasicDescription format;
    format.mSampleRate = 44100.0;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 32;
    return format;
}

bool AudioUnitFormatsEqual(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b)
{
    return a.mSampleRate == b.mSampleRate && a.mFormatID == b.mFormatID && a.mFormatFlags == b.mFormatFlags &&
           a.mBytesPerPacket == b.mBytesPerPacket && a.mFramesPerPacket == b.mFramesPerPacket &&
           a.mBytesPerFrame == b.mBytesPerFrame && a.mChannelsPerFrame == b.mChannelsPerFrame &&
           a.mBitsPerChannel == b.mBitsPerChannel;
}

AudioUnit::AudioUnit(const AudioComponentDescription& description, UInt32 inputBuses, UInt32 outputBuses)
    : mDescription(description), mOutputCount(outputBuses),
      mOutputFormats(outputBuses, AudioUnitCanonicalFormat())
{
    resizeInputs(inputBuses);
}

AudioUnit::~AudioUnit()
{
    for (UInt32 i = 0; i < mInputCount; ++i)
        delete mInputSources[i].load();
}

OSStatus AudioUnit::initialize()
{
    if (mInitialized.load())
        return noErr;
    if (const OSStatus status = initializeUnit())
        return status;
    mResetRequested.store(false);
    mLastRenderError.store(noErr);
    mInitialized.store(true);
    return noErr;
}

OSStatus AudioUnit::uninitialize()
{
    if (!mInitialized.exchange(false))
        return noErr;
    waitForRenderToFinish();
    uninitializeUnit();
    return noErr;
}

void AudioUnit::reset()
{
    if (mInitialized.load()) {
        mResetRequested.store(true);
        return;
    }
    resetState();
}

OSStatus AudioUnit::start() { return kAudioUnitErr_NotAnOutputUnit; }

OSStatus AudioUnit::stop() { return kAudioUnitErr_NotAnOutputUnit; }

UInt32 AudioUnit::elementCount(AudioUnitScope scope) const
{
    switch (scope) {
    case kAudioUnitScope_Input:
        return mInputCount;
    case kAudioUnitScope_Output:
        return mOutputCount;
    case kAudioUnitScope_Global:
        return 1;
    default:
        return 0;
    }
}

bool AudioUnit::canChangeElementCount(AudioUnitScope) const { return false; }

OSStatus AudioUnit::setElementCount(AudioUnitScope scope, UInt32 count)
{
    if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output)
        return kAudioUnitErr_InvalidScope;
    if (count == elementCount(scope))
        return noErr;
    if (!canChangeElementCount(scope))
        return kAudioUnitErr_PropertyNotWritable;
    if (mInitialized.load())
        return kAudioUnitErr_Initialized;
    if (scope == kAudioUnitScope_Input) {
        resizeInputs(count);
    } else {
        mOutputFormats.resize(count, AudioUnitCanonicalFormat());
        mOutputCount = count;
    }
    elementCountDidChange(scope, count);
    return noErr;
}

void AudioUnit::resizeInputs(UInt32 count)
{
    auto sources = std::make_unique<std::atomic<InputSource*>[]>(count);
    for (UInt32 i = 0; i < count; ++i)
        sources[i].store(i < mInputCount ? mInputSources[i].load() : nullptr);
    for (UInt32 i = count; i < mInputCount; ++i)
        delete mInputSources[i].load();
    mInputSources = std::move(sources);
    mInputFormats.resize(count, AudioUnitCanonicalFormat());
    mInputCount = count;
}

OSStatus AudioUnit::getStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                    AudioStreamBasicDescription* outFormat) const
{
    if (!outFormat)
        return kAudio_ParamError;
    if (scope == kAudioUnitScope_Input) {
        if (element >= mInputCount)
            return kAudioUnitErr_InvalidElement;
        *outFormat = mInputFormats[element];
        return noErr;
    }
    if (scope == kAudioUnitScope_Output) {
        if (element >= mOutputCount)
            return kAudioUnitErr_InvalidElement;
        *outFormat = mOutputFormats[element];
        return noErr;
    }
    return kAudioUnitErr_InvalidScope;
}

OSStatus AudioUnit::validateStreamFormat(AudioUnitScope, AudioUnitElement,
                                         const AudioStreamBasicDescription& format) const
{
    const bool nonInterleaved = format.mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    const UInt32 bits = format.mBitsPerChannel;
    const bool isFloat = format.mFormatFlags & kAudioFormatFlagIsFloat;
    const bool supportedWidth = isFloat ? (bits == 32 || bits == 64) : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    const UInt32 channels = format.mChannelsPerFrame;
    const UInt32 expectedBytesPerFrame = nonInterleaved ? bits / 8 : bits / 8 * channels;
    if (format.mFormatID != kAudioFormatLinearPCM || !(format.mSampleRate > 0) || channels == 0 || channels > 64 ||
        !supportedWidth || format.mFramesPerPacket != 1 || format.mBytesPerFrame != expectedBytesPerFrame ||
        format.mBytesPerPacket != format.mBytesPerFrame)
        return kAudioUnitErr_FormatNotSupported;
    return noErr;
}

OSStatus AudioUnit::setStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                    const AudioStreamBasicDescription& format)
{
    std::vector<AudioStreamBasicDescription>* formats = nullptr;
    if (scope == kAudioUnitScope_Input)
        formats = &mInputFormats;
    else if (scope == kAudioUnitScope_Output)
        formats = &mOutputFormats;
    else
        return kAudioUnitErr_InvalidScope;
    if (element >= formats->size())
        return kAudioUnitErr_InvalidElement;
    if (AudioUnitFormatsEqual((*formats)[element], format))
        return noErr;
    if (mInitialized.load())
        return kAudioUnitErr_Initialized;
    if (const OSStatus status = validateStreamFormat(scope, element, format))
        return status;
    (*formats)[element] = format;
    return noErr;
}

OSStatus AudioUnit::setMaxFramesPerSlice(UInt32 frames)
{
    if (frames == mMaxFramesPerSlice)
        return noErr;
    if (mInitialized.load())
        return kAudioUnitErr_Initialized;
    if (frames == 0)
        return kAudioUnitErr_InvalidPropertyValue;
    mMaxFramesPerSlice = frames;
    return noErr;
}

OSStatus AudioUnit::replaceInput(AudioUnitElement input, InputSource* source)
{
    if (input >= mInputCount) {
        delete source;
        return kAudioUnitErr_InvalidElement;
    }
    InputSource* previous = mInputSources[input].exchange(source);
    if (previous) {
        waitForRenderToFinish();
        delete previous;
    }
    return noErr;
}

OSStatus AudioUnit::setRenderCallback(AudioUnitElement input, const AURenderCallbackStruct& callback)
{
    InputSource* source = nullptr;
    if (callback.inputProc)
        source = new InputSource{callback.inputProc, callback.inputProcRefCon, nullptr, 0};
    return replaceInput(input, source);
}

OSStatus AudioUnit::setInputConnection(const AudioUnitConnection& connection)
{
    if (connection.sourceAudioUnit == this)
        return kAudioUnitErr_InvalidPropertyValue;
    if (connection.sourceAudioUnit &&
        connection.sourceOutputNumber >= connection.sourceAudioUnit->elementCount(kAudioUnitScope_Output))
        return kAudioUnitErr_InvalidElement;
    InputSource* source = nullptr;
    if (connection.sourceAudioUnit)
        source = new InputSource{nullptr, nullptr, connection.sourceAudioUnit, connection.sourceOutputNumber};
    return replaceInput(connection.destInputNumber, source);
}

bool AudioUnit::hasInput(AudioUnitElement input) const
{
    return input < mInputCount && mInputSources[input].load(std::memory_order_acquire) != nullptr;
}

void AudioUnit::waitForRenderToFinish() const
{
    const UInt32 epoch = mRenderEpoch.load();
    if ((epoch & 1) == 0)
        return;
    while (mRenderEpoch.load() == epoch)
        std::this_thread::yield();
}

OSStatus AudioUnit::getParameter(AudioUnitParameterID, AudioUnitScope, AudioUnitElement,
                                 AudioUnitParameterValue*) const
{
    return kAudioUnitErr_InvalidParameter;
}

OSStatus AudioUnit::setParameter(AudioUnitParameterID, AudioUnitScope, AudioUnitElement, AudioUnitParameterValue)
{
    return kAudioUnitErr_InvalidParameter;
}

std::vector<AudioUnitParameterID> AudioUnit::parameterList(AudioUnitScope) const { return {}; }

OSStatus AudioUnit::getParameterInfo(AudioUnitParameterID, AudioUnitScope, AudioUnitElement,
                                     AudioUnitParameterInfo*) const
{
    return kAudioUnitErr_InvalidParameter;
}

OSStatus AudioUnit::getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                                UInt32* ioDataSize) const
{
    switch (id) {
    case kAudioUnitProperty_StreamFormat: {
        AudioStreamBasicDescription format;
        if (const OSStatus status = getStreamFormat(scope, element, &format))
            return status;
        return answerProperty(format, outData, ioDataSize);
    }
    case kAudioUnitProperty_ElementCount:
        if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output && scope != kAudioUnitScope_Global)
            return kAudioUnitErr_InvalidScope;
        return answerProperty(elementCount(scope), outData, ioDataSize);
    case kAudioUnitProperty_MaximumFramesPerSlice:
        return answerProperty(mMaxFramesPerSlice, outData, ioDataSize);
    case kAudioUnitProperty_LastRenderError:
        return answerProperty(mLastRenderError.load(), outData, ioDataSize);
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
        return answerProperty(Float64(0), outData, ioDataSize);
    case kAudioUnitProperty_ParameterList: {
        if (!ioDataSize)
            return kAudio_ParamError;
        const std::vector<AudioUnitParameterID> ids = parameterList(scope);
        const UInt32 bytes = UInt32(ids.size() * sizeof(AudioUnitParameterID));
        if (outData) {
            if (*ioDataSize < bytes)
                return kAudioUnitErr_InvalidPropertyValue;
            if (bytes)
                std::memcpy(outData, ids.data(), bytes);
        }
        *ioDataSize = bytes;
        return noErr;
    }
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AudioUnit::setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                const void* data, UInt32 dataSize)
{
    switch (id) {
    case kAudioUnitProperty_StreamFormat: {
        AudioStreamBasicDescription format;
        if (!takeProperty(format, data, dataSize))
            return kAudioUnitErr_InvalidPropertyValue;
        return setStreamFormat(scope, element, format);
    }
    case kAudioUnitProperty_ElementCount: {
        UInt32 count = 0;
        if (!takeProperty(count, data, dataSize))
            return kAudioUnitErr_InvalidPropertyValue;
        return setElementCount(scope, count);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        UInt32 frames = 0;
        if (!takeProperty(frames, data, dataSize))
            return kAudioUnitErr_InvalidPropertyValue;
        return setMaxFramesPerSlice(frames);
    }
    case kAudioUnitProperty_SetRenderCallback: {
        AURenderCallbackStruct callback;
        if (scope != kAudioUnitScope_Input)
            return kAudioUnitErr_InvalidScope;
        if (!takeProperty(callback, data, dataSize))
            return kAudioUnitErr_InvalidPropertyValue;
        return setRenderCallback(element, callback);
    }
    case kAudioUnitProperty_MakeConnection: {
        AudioUnitConnection connection;
        if (scope != kAudioUnitScope_Input)
            return kAudioUnitErr_InvalidScope;
        if (!takeProperty(connection, data, dataSize))
            return kAudioUnitErr_InvalidPropertyValue;
        connection.destInputNumber = element;
        return setInputConnection(connection);
    }
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AudioUnit::getClassInfo(QVariant* outClassInfo) const
{
    if (!outClassInfo)
        return kAudio_ParamError;
    QVariantMap parameters;
    for (const AudioUnitParameterID id : parameterList(kAudioUnitScope_Global)) {
        AudioUnitParameterValue value = 0;
        if (getParameter(id, kAudioUnitScope_Global, 0, &value) == noErr)
            parameters.insert(QString::number(id), double(value));
    }
    QVariantMap info;
    info.insert(QStringLiteral("type"), qlonglong(mDescription.componentType));
    info.insert(QStringLiteral("subtype"), qlonglong(mDescription.componentSubType));
    info.insert(QStringLiteral("manufacturer"), qlonglong(mDescription.componentManufacturer));
    info.insert(QStringLiteral("version"), qlonglong(0x10000));
    info.insert(QStringLiteral("name"), mPresentPreset.presetName);
    info.insert(QStringLiteral("data"), parameters);
    *outClassInfo = info;
    return noErr;
}

OSStatus AudioUnit::setClassInfo(const QVariant& classInfo)
{
    if (classInfo.typeId() != QMetaType::QVariantMap)
        return kAudioUnitErr_InvalidPropertyValue;
    const QVariantMap info = classInfo.toMap();
    if (info.value(QStringLiteral("type")).toLongLong() != qlonglong(mDescription.componentType) ||
        info.value(QStringLiteral("subtype")).toLongLong() != qlonglong(mDescription.componentSubType) ||
        info.value(QStringLiteral("manufacturer")).toLongLong() != qlonglong(mDescription.componentManufacturer))
        return kAudioUnitErr_InvalidPropertyValue;
    const QVariantMap parameters = info.value(QStringLiteral("data")).toMap();
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        bool isNumber = false;
        const AudioUnitParameterID id = it.key().toUInt(&isNumber);
        if (isNumber)
            setParameter(id, kAudioUnitScope_Global, 0, AudioUnitParameterValue(it.value().toDouble()));
    }
    if (info.contains(QStringLiteral("name")))
        mPresentPreset = AUPreset{-1, info.value(QStringLiteral("name")).toString()};
    return noErr;
}

OSStatus AudioUnit::getFactoryPresets(QList<AUPreset>*) const { return kAudioUnitErr_InvalidProperty; }

OSStatus AudioUnit::getPresentPreset(AUPreset* outPreset) const
{
    if (!outPreset)
        return kAudio_ParamError;
    *outPreset = mPresentPreset;
    return noErr;
}

OSStatus AudioUnit::setPresentPreset(const AUPreset& preset)
{
    mPresentPreset = preset;
    return noErr;
}

OSStatus AudioUnit::getCurrentPreset(AUPreset* outPreset) const { return AudioUnit::getPresentPreset(outPreset); }

OSStatus AudioUnit::setCurrentPreset(const AUPreset& preset) { return AudioUnit::setPresentPreset(preset); }

OSStatus AudioUnit::render(AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                           UInt32 outputBus, UInt32 frames, AudioBufferList* ioData)
{
    RenderEpochScope inRender(mRenderEpoch);
    if (!mInitialized.load())
        return kAudioUnitErr_Uninitialized;
    if (!ioData || !timeStamp)
        return kAudio_ParamError;
    if (outputBus >= mOutputCount)
        return kAudioUnitErr_InvalidElement;
    if (frames > mMaxFramesPerSlice)
        return kAudioUnitErr_TooManyFramesToProcess;
    if (mResetRequested.load(std::memory_order_relaxed) && mResetRequested.exchange(false))
        resetState();
    AudioUnitRenderActionFlags localFlags = 0;
    const OSStatus status = renderBus(ioActionFlags ? *ioActionFlags : localFlags, *timeStamp, outputBus, frames, ioData);
    if (status != noErr)
        mLastRenderError.store(status, std::memory_order_relaxed);
    return status;
}

OSStatus AudioUnit::pullInput(UInt32 input, AudioUnitRenderActionFlags& ioActionFlags,
                              const AudioTimeStamp& timeStamp, UInt32 frames, AudioBufferList* ioData)
{
    // Sequentially consistent, like the epoch: a control thread that swapped this input and
    // then saw no render in progress knows every later render reads the new input.
    const InputSource* source = input < mInputCount ? mInputSources[input].load() : nullptr;
    if (!source)
        return kAudioUnitErr_NoConnection;
    if (source->proc)
        return source->proc(source->refCon, &ioActionFlags, &timeStamp, input, frames, ioData);
    return source->unit->render(&ioActionFlags, &timeStamp, source->bus, frames, ioData);
}
