#include "platform/audiounits/VarispeedUnit.h"

#include <algorithm>
#include <cmath>

VarispeedUnit::VarispeedUnit()
    : FormatConverterUnit(AudioComponentDescription{kAudioUnitType_FormatConverter, kAudioUnitSubType_Varispeed,
                                                    kAudioUnitManufacturer_System, 0, 0},
                          kRenderQuality_Low)
{
}

OSStatus VarispeedUnit::getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterValue* outValue) const
{
    if (scope != kAudioUnitScope_Global || element != 0)
        return FormatConverterUnit::getParameter(id, scope, element, outValue);
    if (!outValue)
        return kAudio_ParamError;
    const Float64 rate = mRate.load(std::memory_order_relaxed);
    switch (id) {
    case kVarispeedParam_PlaybackRate:
        *outValue = AudioUnitParameterValue(rate);
        return noErr;
    case kVarispeedParam_PlaybackCents:
        *outValue = AudioUnitParameterValue(1200.0 * std::log2(rate));
        return noErr;
    default:
        return FormatConverterUnit::getParameter(id, scope, element, outValue);
    }
}

OSStatus VarispeedUnit::setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterValue value)
{
    if (scope != kAudioUnitScope_Global || element != 0 || !std::isfinite(value))
        return FormatConverterUnit::setParameter(id, scope, element, value);
    Float64 rate = 0;
    switch (id) {
    case kVarispeedParam_PlaybackRate:
        rate = value;
        break;
    case kVarispeedParam_PlaybackCents:
        rate = std::exp2(Float64(value) / 1200.0);
        break;
    default:
        return FormatConverterUnit::setParameter(id, scope, element, value);
    }
    if (!(rate > 0))
        return kAudioUnitErr_InvalidPropertyValue;
    mRate.store(std::clamp(rate, kMinimumRate, kMaximumRate), std::memory_order_relaxed);
    return noErr;
}

std::vector<AudioUnitParameterID> VarispeedUnit::parameterList(AudioUnitScope scope) const
{
    if (scope != kAudioUnitScope_Global)
        return {};
    return {kVarispeedParam_PlaybackRate, kVarispeedParam_PlaybackCents};
}
