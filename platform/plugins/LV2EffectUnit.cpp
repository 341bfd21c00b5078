#include "platform/plugins/LV2EffectUnit.h"

#include "platform/audiounits/AudioComponentRegistry.h"
#include "platform/plugins/LV2World.h"

#include <QHash>
#include <QVariantMap>

#include <lv2/units/units.h>

#include <algorithm>

namespace {

AudioComponentDescription descriptionOf(const LV2PluginInfo& plugin)
{
    return AudioComponentDescription{plugin.type, plugin.subtype, plugin.manufacturer, 0, 0};
}

bool sameKind(const AudioComponentDescription& a, const AudioComponentDescription& b)
{
    return a.componentType == b.componentType && a.componentSubType == b.componentSubType &&
           a.componentManufacturer == b.componentManufacturer;
}

// The unit code of an LV2 unit; the generic unit for units without a code of their own.
AudioUnitParameterUnit parameterUnitForURI(const QString& uri)
{
    static const QHash<QString, AudioUnitParameterUnit> units{
        {LV2_UNITS__db, kAudioUnitParameterUnit_Decibels},
        {LV2_UNITS__hz, kAudioUnitParameterUnit_Hertz},
        {LV2_UNITS__s, kAudioUnitParameterUnit_Seconds},
        {LV2_UNITS__ms, kAudioUnitParameterUnit_Milliseconds},
        {LV2_UNITS__frame, kAudioUnitParameterUnit_SampleFrames},
        {LV2_UNITS__pc, kAudioUnitParameterUnit_Percent},
        {LV2_UNITS__cent, kAudioUnitParameterUnit_Cents},
        {LV2_UNITS__semitone12TET, kAudioUnitParameterUnit_RelativeSemiTones},
        {LV2_UNITS__midiNote, kAudioUnitParameterUnit_MIDINoteNumber},
        {LV2_UNITS__oct, kAudioUnitParameterUnit_Octaves},
        {LV2_UNITS__bpm, kAudioUnitParameterUnit_BPM},
        {LV2_UNITS__beat, kAudioUnitParameterUnit_Beats},
        {LV2_UNITS__degree, kAudioUnitParameterUnit_Degrees},
        {LV2_UNITS__coef, kAudioUnitParameterUnit_LinearGain},
    };
    return units.value(uri, kAudioUnitParameterUnit_Generic);
}

// The kinds this layer registered, so that a reload can take back those that went away.
std::vector<AudioComponentDescription>& registeredKinds()
{
    static std::vector<AudioComponentDescription> kinds;
    return kinds;
}

} // namespace

std::unique_ptr<LV2EffectUnit> LV2EffectUnit::create(const LV2PluginInfo& plugin, QString* error)
{
    std::unique_ptr<LV2EffectInstance> effect = LV2EffectInstance::create(plugin, error);
    if (!effect)
        return nullptr;
    // Plugins report their latency from run(): a zero-frame run makes it known at once.
    effect->refreshControlOutputs();
    return std::unique_ptr<LV2EffectUnit>(new LV2EffectUnit(std::move(effect)));
}

LV2EffectUnit::LV2EffectUnit(std::unique_ptr<LV2EffectInstance> effect)
    : AudioUnit(descriptionOf(effect->plugin()), 1, 1), mEffect(std::move(effect))
{
}

LV2EffectUnit::~LV2EffectUnit() = default;

void LV2EffectUnit::registerEffects()
{
    std::vector<AudioComponentDescription> offered;
    for (const LV2PluginInfo& plugin : LV2Catalogue::shared().effects()) {
        const AudioComponentDescription description = descriptionOf(plugin);
        // The factory keeps the URI, not the catalogue entry, which a reload replaces.
        const QString uri = plugin.uri;
        AudioComponentRegistry::registerComponent(description, plugin.componentName(),
                                                  [uri]() -> std::unique_ptr<AudioUnit> {
                                                      const LV2PluginInfo* info =
                                                          LV2Catalogue::shared().effectWithURI(uri);
                                                      return info ? LV2EffectUnit::create(*info) : nullptr;
                                                  });
        offered.push_back(description);
    }
    for (const AudioComponentDescription& previous : registeredKinds()) {
        if (std::none_of(offered.begin(), offered.end(), [&](const auto& d) { return sameKind(d, previous); }))
            AudioComponentRegistry::unregisterComponent(previous);
    }
    registeredKinds() = std::move(offered);
}

void LV2EffectUnit::registerEffectsOnce()
{
    static bool registered = false;
    if (!registered) {
        registered = true;
        registerEffects();
    }
}

bool LV2EffectUnit::componentDescriptionForURI(const QString& uri, AudioComponentDescription* outDescription)
{
    registerEffectsOnce();
    const LV2PluginInfo* plugin = LV2Catalogue::shared().effectWithURI(uri);
    if (!plugin)
        return false;
    if (outDescription)
        *outDescription = descriptionOf(*plugin);
    return true;
}

bool LV2EffectUnit::isOwnParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element) const
{
    return scope == kAudioUnitScope_Global && element == 0 && plugin().controlInput(id) != nullptr;
}

OSStatus LV2EffectUnit::getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterValue* outValue) const
{
    if (!outValue)
        return kAudio_ParamError;
    if (!isOwnParameter(id, scope, element))
        return kAudioUnitErr_InvalidParameter;
    *outValue = mEffect->parameter(id);
    return noErr;
}

OSStatus LV2EffectUnit::setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterValue value)
{
    if (!isOwnParameter(id, scope, element))
        return kAudioUnitErr_InvalidParameter;
    mEffect->setParameter(id, value);
    return noErr;
}

std::vector<AudioUnitParameterID> LV2EffectUnit::parameterList(AudioUnitScope scope) const
{
    std::vector<AudioUnitParameterID> ids;
    if (scope == kAudioUnitScope_Global) {
        for (const LV2ControlPort& port : plugin().controlInputs)
            ids.push_back(port.index);
    }
    return ids;
}

OSStatus LV2EffectUnit::getParameterInfo(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                        AudioUnitParameterInfo* outInfo) const
{
    if (!outInfo)
        return kAudio_ParamError;
    if (!isOwnParameter(id, scope, element))
        return kAudioUnitErr_InvalidParameter;
    const LV2ControlPort& port = *plugin().controlInput(id);
    AudioUnitParameterInfo info;
    info.name = port.name;
    info.minValue = port.minimum;
    info.maxValue = port.maximum;
    info.defaultValue = port.defaultValue;
    info.unitName = port.unitSymbol;
    info.unit = parameterUnitForURI(port.unitURI);
    if (info.unit == kAudioUnitParameterUnit_Generic && port.toggled)
        info.unit = kAudioUnitParameterUnit_Boolean;
    else if (info.unit == kAudioUnitParameterUnit_Generic && (!port.unitURI.isEmpty() || !port.unitSymbol.isEmpty()))
        info.unit = kAudioUnitParameterUnit_CustomUnit;
    info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    if (port.toggled)
        info.flags |= kAudioUnitParameterFlag_IsToggled;
    if (port.integer)
        info.flags |= kAudioUnitParameterFlag_IsInteger;
    if (port.enumeration)
        info.flags |= kAudioUnitParameterFlag_IsEnumeration;
    if (port.logarithmic)
        info.flags |= kAudioUnitParameterFlag_DisplayLogarithmic;
    for (const LV2ScalePoint& point : port.scalePoints)
        info.valueNames.append({point.value, point.label});
    if (!info.valueNames.isEmpty())
        info.flags |= kAudioUnitParameterFlag_ValuesHaveStrings;
    *outInfo = std::move(info);
    return noErr;
}

OSStatus LV2EffectUnit::getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    void* outData, UInt32* ioDataSize) const
{
    switch (id) {
    case kAudioUnitProperty_BypassEffect:
        if (scope != kAudioUnitScope_Global)
            return kAudioUnitErr_InvalidScope;
        return answerProperty(UInt32(mEffect->bypass() ? 1 : 0), outData, ioDataSize);
    case kAudioUnitProperty_Latency:
        if (scope != kAudioUnitScope_Global)
            return kAudioUnitErr_InvalidScope;
        return answerProperty(Float64(mEffect->latencyFrames()) / Float64(LV2World::kSampleRate), outData,
                              ioDataSize);
    default:
        return AudioUnit::getProperty(id, scope, element, outData, ioDataSize);
    }
}

OSStatus LV2EffectUnit::setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    const void* data, UInt32 dataSize)
{
    if (id != kAudioUnitProperty_BypassEffect)
        return AudioUnit::setProperty(id, scope, element, data, dataSize);
    if (scope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidScope;
    UInt32 bypass = 0;
    if (!takeProperty(bypass, data, dataSize))
        return kAudioUnitErr_InvalidPropertyValue;
    mEffect->setBypass(bypass != 0);
    return noErr;
}

OSStatus LV2EffectUnit::getClassInfo(QVariant* outClassInfo) const
{
    if (!outClassInfo)
        return kAudio_ParamError;
    QVariantMap info = plugin().identity();
    AUPreset preset;
    AudioUnit::getPresentPreset(&preset);
    info.insert(QStringLiteral("name"), preset.presetName);
    info.insert(QStringLiteral("data"), mEffect->saveState());
    *outClassInfo = info;
    return noErr;
}

OSStatus LV2EffectUnit::setClassInfo(const QVariant& classInfo)
{
    if (classInfo.typeId() != QMetaType::QVariantMap)
        return kAudioUnitErr_InvalidPropertyValue;
    const QVariantMap info = classInfo.toMap();
    const QString uri = info.value(QStringLiteral("uri")).toString();
    if (!uri.isEmpty()) {
        if (uri != plugin().uri)
            return kAudioUnitErr_InvalidPropertyValue;
    } else {
        const AudioComponentDescription& own = componentDescription();
        if (info.value(QStringLiteral("type")).toLongLong() != qlonglong(own.componentType) ||
            info.value(QStringLiteral("subtype")).toLongLong() != qlonglong(own.componentSubType) ||
            info.value(QStringLiteral("manufacturer")).toLongLong() != qlonglong(own.componentManufacturer))
            return kAudioUnitErr_InvalidPropertyValue;
    }
    const auto data = info.find(QStringLiteral("data"));
    if (data != info.end()) {
        // Settings saved elsewhere carry other data (bytes): refused, never guessed at.
        if (data->typeId() != QMetaType::QString)
            return kAudioUnitErr_InvalidPropertyValue;
        std::lock_guard lock(mPluginMutex);
        if (!mEffect->restoreState(data->toString()))
            return kAudioUnitErr_InvalidPropertyValue;
    }
    if (info.contains(QStringLiteral("name")))
        AudioUnit::setPresentPreset(AUPreset{-1, info.value(QStringLiteral("name")).toString()});
    return noErr;
}

OSStatus LV2EffectUnit::validateStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                             const AudioStreamBasicDescription& format) const
{
    if (const OSStatus status = AudioUnit::validateStreamFormat(scope, element, format))
        return status;
    const AudioFormatFlags required = kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved;
    // The plugin was made for its rate; it runs on one or two channels.
    if ((format.mFormatFlags & required) != required || (format.mFormatFlags & kAudioFormatFlagIsBigEndian) ||
        format.mBitsPerChannel != 32 || format.mChannelsPerFrame > 2 ||
        format.mSampleRate != Float64(LV2World::kSampleRate))
        return kAudioUnitErr_FormatNotSupported;
    return noErr;
}

OSStatus LV2EffectUnit::initializeUnit()
{
    if (inputFormat(0).mChannelsPerFrame != outputFormat(0).mChannelsPerFrame)
        return kAudioUnitErr_FormatNotSupported;
    mMonoScratch.assign(maxFramesPerSlice(), 0.0f);
    if (mResetWanted.exchange(false)) {
        std::lock_guard lock(mPluginMutex);
        mEffect->reset();
    }
    return noErr;
}

void LV2EffectUnit::uninitializeUnit() {}

void LV2EffectUnit::resetState()
{
    // Reactivation is no render-thread work: it waits for the next initialize, which the
    // control thread makes (a graph resets its units by uninitialising them around it).
    mResetWanted.store(true);
}

OSStatus LV2EffectUnit::renderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                                  UInt32, UInt32 frames, AudioBufferList* ioData)
{
    if (const OSStatus status = pullInput(0, ioActionFlags, timeStamp, frames, ioData))
        return status;
    std::unique_lock lock(mPluginMutex, std::try_to_lock);
    if (!lock.owns_lock())
        return noErr; // the control thread is restoring the plugin: the input passes
    const UInt32 channels = std::min(ioData->mNumberBuffers, outputFormat(0).mChannelsPerFrame);
    if (channels == 0)
        return noErr;
    auto* left = static_cast<Float32*>(ioData->mBuffers[0].mData);
    if (channels >= 2) {
        auto* right = static_cast<Float32*>(ioData->mBuffers[1].mData);
        mEffect->process(left, right, left, right, frames);
    } else {
        Float32* other = mMonoScratch.data();
        mEffect->process(left, left, left, other, frames);
        for (UInt32 i = 0; i < frames; ++i)
            left[i] = 0.5f * (left[i] + other[i]);
    }
    for (UInt32 c = 0; c < channels; ++c)
        ioData->mBuffers[c].mDataByteSize = frames * UInt32(sizeof(Float32));
    // An effect may sound after its input fell silent (a delay's tail).
    if (!mEffect->bypass())
        ioActionFlags &= ~kAudioUnitRenderAction_OutputIsSilence;
    return noErr;
}
