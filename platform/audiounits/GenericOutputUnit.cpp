#include "platform/audiounits/GenericOutputUnit.h"

GenericOutputUnit::GenericOutputUnit()
    : FormatConverterUnit(AudioComponentDescription{kAudioUnitType_Output, kAudioUnitSubType_GenericOutput,
                                                    kAudioUnitManufacturer_System, 0, 0},
                          kRenderQuality_Medium)
{
}

OSStatus GenericOutputUnit::start()
{
    if (!isInitialized())
        return kAudioUnitErr_Uninitialized;
    mRunning.store(true);
    return noErr;
}

OSStatus GenericOutputUnit::stop()
{
    mRunning.store(false);
    return noErr;
}

OSStatus GenericOutputUnit::getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                        void* outData, UInt32* ioDataSize) const
{
    if (id != kAudioOutputUnitProperty_IsRunning)
        return FormatConverterUnit::getProperty(id, scope, element, outData, ioDataSize);
    return answerProperty(UInt32(isRunning() ? 1 : 0), outData, ioDataSize);
}
