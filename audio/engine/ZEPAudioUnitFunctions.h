#pragma once
// C helpers over units and graphs: node shims, format copying, element counts, parameter
// lists. Control thread only (they may allocate); none is for a render thread.

#include "platform/audiounits/AUGraph.h"
#include "platform/audiounits/AudioUnit.h"

#include <memory>

// The node's description and unit; -50 without a graph. *outUnit is cleared first.
OSStatus ZEPGraphNodeInfo(const AUGraph* graph, AUNode node, AudioComponentDescription* outDescription,
                          AudioUnit** outUnit);
// Adds a node; -50 without a graph. *outNode is cleared first.
OSStatus ZEPGraphAddNode(AUGraph* graph, const AudioComponentDescription* description, AUNode* outNode);

// Reads the unit's output format (element 0) into outDescription and sets it as the input
// format of element.
OSStatus ZEPCopyOutputFormatToInput(AudioUnit** unit, AudioStreamBasicDescription* outDescription,
                                    AudioUnitElement element);
// Makes the default output unit ('auou' 'def '); ends the process with status -1 when there
// is none or it cannot be made.
void ZEPOpenDefaultOutputUnit(std::unique_ptr<AudioUnit>* outUnit);
// Element count of the input scope.
OSStatus ZEPSetInputElementCount(AudioUnit* unit, UInt32 count);

// Number of parameters of a scope (parameter-list size / 4); 0 on failure.
UInt32 ZEPAudioUnitParameterCount(AudioUnit* unit, AudioUnitScope scope);
// A new array (free it with free()) of the scope's parameter ids and their count; null when
// there are none or on failure.
AudioUnitParameterID* ZEPCopyAudioUnitParameterList(AudioUnit* unit, AudioUnitScope scope, UInt32* outCount);
