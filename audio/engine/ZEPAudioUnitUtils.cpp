#include "audio/engine/ZEPAudioUnitUtils.h"

#include "audio/engine/ZEPCanonicalFormats.h"

#include <new>
#include <vector>

namespace {

QVariantMap presetDictionary(const AUPreset& preset)
{
    return QVariantMap{{QStringLiteral("number"), preset.presetNumber}, {QStringLiteral("name"), preset.presetName}};
}

// Tells every listener that all parameters of unit changed.
OSStatus notifyAllParametersChanged(AudioUnit* unit)
{
    AudioUnitParameter all;
    all.mAudioUnit = unit;
    all.mParameterID = kAUParameterListener_AnyParameter;
    all.mScope = kAudioUnitScope_Global;
    all.mElement = 0;
    return AUParameterListenerNotify(nullptr, nullptr, &all);
}

// Adds every global parameter of unit to listener.
OSStatus addAllParameters(AUParameterListenerRef listener, AudioUnit* unit, OSStatus creationStatus)
{
    std::vector<AudioUnitParameterID> ids;
    try {
        ids = unit->parameterList(kAudioUnitScope_Global);
    } catch (const std::bad_alloc&) {
        return kZEPParameterListError;
    }
    OSStatus result = creationStatus;
    for (const AudioUnitParameterID id : ids) {
        AudioUnitParameter parameter;
        parameter.mAudioUnit = unit;
        parameter.mParameterID = id;
        parameter.mScope = kAudioUnitScope_Global;
        parameter.mElement = 0;
        if (const OSStatus status = AUListenerAddParameter(listener, nullptr, &parameter))
            result = status;
    }
    return result;
}

} // namespace

void ZEPAudioUnitUtils::printASBD(const AudioStreamBasicDescription*) {}

OSStatus ZEPAudioUnitUtils::getAudioUnit(AudioUnit** outUnit, AUNode fromNode, const AUGraph* inGraph)
{
    if (!inGraph)
        return kAudio_ParamError;
    return inGraph->nodeInfo(fromNode, nullptr, outUnit);
}

OSStatus ZEPAudioUnitUtils::setMaxRenderSlice(UInt32 slice, AudioUnit* forAudioUnit)
{
    return forAudioUnit->setProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &slice,
                                     sizeof slice);
}

OSStatus ZEPAudioUnitUtils::getMaxRenderSlice(UInt32* outSlice, AudioUnit* forAudioUnit)
{
    UInt32 size = sizeof(UInt32);
    return forAudioUnit->getProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, outSlice,
                                     &size);
}

OSStatus ZEPAudioUnitUtils::getVolume(Float32*, AudioUnit*) { return noErr; }

QVariantList ZEPAudioUnitUtils::getFactoryPresetsFromAudioUnit(AudioUnit* unit)
{
    QList<AUPreset> presets;
    QVariantList dictionaries;
    if (unit->getFactoryPresets(&presets) != noErr)
        return dictionaries;
    for (const AUPreset& preset : presets)
        dictionaries.append(presetDictionary(preset));
    return dictionaries;
}

QVariantMap ZEPAudioUnitUtils::getCurrentPresetFromAudioUnit(AudioUnit* unit)
{
    AUPreset preset;
    if (unit->getCurrentPreset(&preset) != noErr)
        return {};
    return presetDictionary(preset);
}

QVariantMap ZEPAudioUnitUtils::getPresentPresetFromAudioUnit(AudioUnit* unit)
{
    AUPreset preset;
    if (unit->getPresentPreset(&preset) == noErr)
        return presetDictionary(preset);
    return getCurrentPresetFromAudioUnit(unit);
}

OSStatus ZEPAudioUnitUtils::setPresentPreset(const QVariantMap& preset, AudioUnit* forAudioUnit)
{
    const AUPreset value{SInt32(preset.value(QStringLiteral("number")).toULongLong()),
                         preset.value(QStringLiteral("name")).toString()};
    if (forAudioUnit->setPresentPreset(value) != noErr) {
        if (const OSStatus status = forAudioUnit->setCurrentPreset(value))
            return status;
    }
    return notifyAllParametersChanged(forAudioUnit);
}

QVariant ZEPAudioUnitUtils::getClassInfoFromAudioUnit(AudioUnit* unit)
{
    QVariant classInfo;
    if (unit->getClassInfo(&classInfo) != noErr)
        return {};
    return classInfo;
}

OSStatus ZEPAudioUnitUtils::setClassInfo(const QVariant& classInfo, AudioUnit* forAudioUnit)
{
    const OSStatus setStatus = forAudioUnit->setClassInfo(classInfo);
    if (const OSStatus status = notifyAllParametersChanged(forAudioUnit))
        return status;
    return setStatus;
}

OSStatus ZEPAudioUnitUtils::registerListenerProcForAllProperties(AUParameterListenerProc proc, AudioUnit* audioUnit,
                                                                 AUParameterListenerRef* listenerOut, void* refCon)
{
    const OSStatus status = AUListenerCreate(proc, refCon, 1.0f, listenerOut);
    if (status != noErr)
        return status;
    return addAllParameters(*listenerOut, audioUnit, status);
}

OSStatus ZEPAudioUnitUtils::registerAUEventListenerProcForAllProperties(AUEventListenerProc proc,
                                                                        AudioUnit* audioUnit,
                                                                        AUEventListenerRef* listenerOut, void* refCon)
{
    const OSStatus status = AUEventListenerCreate(proc, refCon, 0.25f, 0.25f, listenerOut);
    if (status != noErr)
        return status;
    return addAllParameters(*listenerOut, audioUnit, status);
}

OSStatus ZEPAudioUnitUtils::matrixMixerUnit(AudioUnit* unit, Float32 setCrosspointVolume, UInt32 atInput,
                                            UInt32 atOutput)
{
    return unit->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, (atInput << 16) | (atOutput & 0xFFFF),
                              setCrosspointVolume);
}

OSStatus ZEPAudioUnitUtils::resetVolumesForMatrixMixer(AudioUnit* unit)
{
    // Channel totals of each scope, from each bus's format.
    UInt32 totals[2] = {0, 0};
    const AudioUnitScope scopes[2] = {kAudioUnitScope_Input, kAudioUnitScope_Output};
    for (int s = 0; s < 2; ++s) {
        UInt32 buses = 0;
        UInt32 size = sizeof buses;
        if (unit->getProperty(kAudioUnitProperty_ElementCount, scopes[s], 0, &buses, &size) != noErr)
            return noErr;
        for (UInt32 bus = 0; bus < buses; ++bus) {
            AudioStreamBasicDescription format;
            if (unit->getStreamFormat(scopes[s], bus, &format) != noErr)
                return noErr;
            totals[s] += format.mChannelsPerFrame;
        }
    }
    const UInt32 inputs = totals[0];
    const UInt32 outputs = totals[1];
    unit->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Global, kMatrixMixerMasterElement, 1.0f);
    for (UInt32 i = 0; i < inputs; ++i)
        unit->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Input, i, 1.0f);
    for (UInt32 o = 0; o < outputs; ++o)
        unit->setParameter(kMatrixMixerParam_Volume, kAudioUnitScope_Output, o, 1.0f);
    for (UInt32 i = 0; i < inputs; ++i)
        matrixMixerUnit(unit, 1.0f, i, outputs ? i % outputs : 0);
    return noErr;
}

OSStatus ZEPAudioUnitUtils::setUpMatrixMixer(AudioUnit* unit, UInt32 inputBuses, UInt32 outputBuses)
{
    if (const OSStatus status = unit->setElementCount(kAudioUnitScope_Input, inputBuses))
        return status;
    return unit->setElementCount(kAudioUnitScope_Output, outputBuses);
}

AudioStreamBasicDescription ZEPAudioUnitUtils::canonicalASBD()
{
    AudioStreamBasicDescription description;
    ZEPCanonicalFloatASBD(&description, 2, false);
    return description;
}

AudioStreamBasicDescription ZEPAudioUnitUtils::nonInterleavedCanonicalASBD()
{
    AudioStreamBasicDescription description;
    ZEPCanonicalFloatASBD(&description, 2, true);
    return description;
}
