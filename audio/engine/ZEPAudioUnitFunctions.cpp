#include "audio/engine/ZEPAudioUnitFunctions.h"

#include "platform/audiounits/AudioComponentRegistry.h"

#include <cstdlib>

OSStatus ZEPGraphNodeInfo(const AUGraph* graph, AUNode node, AudioComponentDescription* outDescription,
                          AudioUnit** outUnit)
{
    if (!graph)
        return kAudio_ParamError;
    if (outUnit)
        *outUnit = nullptr;
    return graph->nodeInfo(node, outDescription, outUnit);
}

OSStatus ZEPGraphAddNode(AUGraph* graph, const AudioComponentDescription* description, AUNode* outNode)
{
    if (!graph || !description || !outNode)
        return kAudio_ParamError;
    *outNode = 0;
    return graph->addNode(*description, outNode);
}

OSStatus ZEPCopyOutputFormatToInput(AudioUnit** unit, AudioStreamBasicDescription* outDescription,
                                    AudioUnitElement element)
{
    if (!unit || !*unit || !outDescription)
        return kAudio_ParamError;
    if (const OSStatus status = (*unit)->getStreamFormat(kAudioUnitScope_Output, 0, outDescription))
        return status;
    return (*unit)->setStreamFormat(kAudioUnitScope_Input, element, *outDescription);
}

void ZEPOpenDefaultOutputUnit(std::unique_ptr<AudioUnit>* outUnit)
{
    const AudioComponentDescription description{kAudioUnitType_Output, kAudioUnitSubType_DefaultOutput,
                                                kAudioUnitManufacturer_System, 0, 0};
    std::unique_ptr<AudioUnit> unit = AudioComponentRegistry::instantiate(description);
    if (!unit || !outUnit)
        std::exit(-1);
    *outUnit = std::move(unit);
}

OSStatus ZEPSetInputElementCount(AudioUnit* unit, UInt32 count)
{
    return unit->setElementCount(kAudioUnitScope_Input, count);
}

UInt32 ZEPAudioUnitParameterCount(AudioUnit* unit, AudioUnitScope scope)
{
    UInt32 size = 0;
    if (unit->getProperty(kAudioUnitProperty_ParameterList, scope, 0, nullptr, &size) != noErr)
        return 0;
    return size / sizeof(AudioUnitParameterID);
}

AudioUnitParameterID* ZEPCopyAudioUnitParameterList(AudioUnit* unit, AudioUnitScope scope, UInt32* outCount)
{
    if (outCount)
        *outCount = 0;
    const UInt32 count = ZEPAudioUnitParameterCount(unit, scope);
    if (count == 0)
        return nullptr;
    auto* ids = static_cast<AudioUnitParameterID*>(std::malloc(count * sizeof(AudioUnitParameterID)));
    if (!ids)
        return nullptr;
    UInt32 size = count * sizeof(AudioUnitParameterID);
    if (unit->getProperty(kAudioUnitProperty_ParameterList, scope, 0, ids, &size) != noErr) {
        std::free(ids);
        return nullptr;
    }
    if (outCount)
        *outCount = size / sizeof(AudioUnitParameterID);
    return ids;
}
