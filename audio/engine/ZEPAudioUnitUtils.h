#pragma once
// Class operations that wrap the unit calls the engine repeats: largest render slice,
// presets, class info, parameter listeners, matrix mixer set-up and volumes, and the
// canonical stream descriptions. Preset dictionaries hold "number" (the preset's number)
// and "name".
//
// Threads: the control thread (normally the main thread) for everything but the matrix
// mixer volume calls, which may come from any thread. Nothing here runs on a render thread.

#include "platform/audiounits/AUGraph.h"
#include "platform/audiounits/AUParameterListener.h"
#include "platform/audiounits/AudioUnit.h"

#include <QVariantList>
#include <QVariantMap>

class ZEPAudioUnitUtils {
public:
    ZEPAudioUnitUtils() = delete;

    // Does nothing (ZEPPrintASBD prints).
    static void printASBD(const AudioStreamBasicDescription* description);
    // The unit of a node of graph.
    static OSStatus getAudioUnit(AudioUnit** outUnit, AUNode fromNode, const AUGraph* inGraph);
    static OSStatus setMaxRenderSlice(UInt32 slice, AudioUnit* forAudioUnit);
    static OSStatus getMaxRenderSlice(UInt32* outSlice, AudioUnit* forAudioUnit);
    // Answers 0 and reads nothing.
    static OSStatus getVolume(Float32* outVolume, AudioUnit* forAudioUnit);

    // The factory presets as preset dictionaries; empty when there are none or on failure.
    static QVariantList getFactoryPresetsFromAudioUnit(AudioUnit* unit);
    // The current preset; an empty map on failure.
    static QVariantMap getCurrentPresetFromAudioUnit(AudioUnit* unit);
    // The present preset, else the current one; an empty map when both fail.
    static QVariantMap getPresentPresetFromAudioUnit(AudioUnit* unit);
    // Sets the preset as the present preset (else as the current preset, whose failure is
    // returned), then tells every listener that all the unit's parameters changed; returns
    // that notification's status.
    static OSStatus setPresentPreset(const QVariantMap& preset, AudioUnit* forAudioUnit);

    // The unit's class info (its saved state); an invalid QVariant on failure.
    static QVariant getClassInfoFromAudioUnit(AudioUnit* unit);
    // Sets the class info, then tells every listener that all parameters changed; returns the
    // notification's status, else the set status.
    static OSStatus setClassInfo(const QVariant& classInfo, AudioUnit* forAudioUnit);

    // Makes a parameter listener (interval 1.0 s; calls on the main thread) and adds every
    // global parameter of the unit (element 0) to it. Returns '!Prm' when the parameter
    // list cannot be made, the last failing add's status, else the creation status.
    static OSStatus registerListenerProcForAllProperties(AUParameterListenerProc proc, AudioUnit* audioUnit,
                                                         AUParameterListenerRef* listenerOut, void* refCon);
    // The same with an event listener (granularity and interval 0.25 s).
    static OSStatus registerAUEventListenerProcForAllProperties(AUEventListenerProc proc, AudioUnit* audioUnit,
                                                                AUEventListenerRef* listenerOut, void* refCon);

    // Crosspoint volume (parameter 0, global scope, element (input << 16) | (output & 0xFFFF)).
    static OSStatus matrixMixerUnit(AudioUnit* unit, Float32 setCrosspointVolume, UInt32 atInput, UInt32 atOutput);
    // Unit gains 1.0 and crosspoint input channel c to output channel c mod output channels
    // (to 0 when there are none). A failed read of the bus layout sets nothing. Returns 0.
    static OSStatus resetVolumesForMatrixMixer(AudioUnit* unit);
    // Bus counts of the input then the output scope; the first failure is returned.
    static OSStatus setUpMatrixMixer(AudioUnit* unit, UInt32 inputBuses, UInt32 outputBuses);

    // 44100 Hz stereo 32-bit float, interleaved / non-interleaved.
    static AudioStreamBasicDescription canonicalASBD();
    static AudioStreamBasicDescription nonInterleavedCanonicalASBD();
};
