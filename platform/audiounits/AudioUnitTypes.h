#pragma once
// Identifiers and plain types of the processing units (platform/audiounits): component
// descriptions, scopes, property and parameter identifiers, render callbacks and presets.
// Values keep the numbers the audio code and saved settings use.

#include "platform/CoreAudioTypes.h"

#include <QList>
#include <QString>

using AudioUnitScope = UInt32;
using AudioUnitElement = UInt32;
using AudioUnitPropertyID = UInt32;
using AudioUnitParameterID = UInt32;
using AudioUnitParameterValue = Float32;
using OSType = UInt32;

class AudioUnit;

// Identifies a kind of unit: type, subtype and manufacturer codes. In a search a field of 0
// matches anything.
struct AudioComponentDescription {
    OSType componentType = 0;
    OSType componentSubType = 0;
    OSType componentManufacturer = 0;
    UInt32 componentFlags = 0;
    UInt32 componentFlagsMask = 0;
};

constexpr OSType kAudioUnitType_Output = FourCC("auou");
constexpr OSType kAudioUnitType_Mixer = FourCC("aumx");
constexpr OSType kAudioUnitType_FormatConverter = FourCC("aufc");
constexpr OSType kAudioUnitType_Effect = FourCC("aufx");
constexpr OSType kAudioUnitType_MusicEffect = FourCC("aumf");
constexpr OSType kAudioUnitType_Panner = FourCC("aupn");

constexpr OSType kAudioUnitSubType_GenericOutput = FourCC("genr");
constexpr OSType kAudioUnitSubType_DefaultOutput = FourCC("def ");
constexpr OSType kAudioUnitSubType_HALOutput = FourCC("ahal");
constexpr OSType kAudioUnitSubType_MatrixMixer = FourCC("mxmx");
constexpr OSType kAudioUnitSubType_Varispeed = FourCC("vari");
constexpr OSType kAudioUnitSubType_AUConverter = FourCC("conv");
// The manufacturer code of the units the platform itself provides.
constexpr OSType kAudioUnitManufacturer_System = FourCC("appl");

// Scopes.
constexpr AudioUnitScope kAudioUnitScope_Global = 0;
constexpr AudioUnitScope kAudioUnitScope_Input = 1;
constexpr AudioUnitScope kAudioUnitScope_Output = 2;
constexpr AudioUnitScope kAudioUnitScope_Group = 3;

// Properties (getProperty / setProperty; typed accessors exist for the common ones).
constexpr AudioUnitPropertyID kAudioUnitProperty_ClassInfo = 0;
constexpr AudioUnitPropertyID kAudioUnitProperty_MakeConnection = 1;
constexpr AudioUnitPropertyID kAudioUnitProperty_SampleRate = 2;
constexpr AudioUnitPropertyID kAudioUnitProperty_ParameterList = 3;
constexpr AudioUnitPropertyID kAudioUnitProperty_StreamFormat = 8;
constexpr AudioUnitPropertyID kAudioUnitProperty_ElementCount = 11;
constexpr AudioUnitPropertyID kAudioUnitProperty_Latency = 12;
constexpr AudioUnitPropertyID kAudioUnitProperty_MaximumFramesPerSlice = 14;
constexpr AudioUnitPropertyID kAudioUnitProperty_TailTime = 20;
constexpr AudioUnitPropertyID kAudioUnitProperty_BypassEffect = 21;
constexpr AudioUnitPropertyID kAudioUnitProperty_LastRenderError = 22;
constexpr AudioUnitPropertyID kAudioUnitProperty_SetRenderCallback = 23;
constexpr AudioUnitPropertyID kAudioUnitProperty_FactoryPresets = 24;
constexpr AudioUnitPropertyID kAudioUnitProperty_RenderQuality = 26;
constexpr AudioUnitPropertyID kAudioUnitProperty_CurrentPreset = 28;
constexpr AudioUnitPropertyID kAudioUnitProperty_PresentPreset = 36;
constexpr AudioUnitPropertyID kAudioUnitProperty_MeteringMode = 3007;
constexpr AudioUnitPropertyID kAudioOutputUnitProperty_CurrentDevice = 2000;
constexpr AudioUnitPropertyID kAudioOutputUnitProperty_IsRunning = 2001;

// Render quality (kAudioUnitProperty_RenderQuality, UInt32).
constexpr UInt32 kRenderQuality_Max = 0x7F;
constexpr UInt32 kRenderQuality_High = 0x60;
constexpr UInt32 kRenderQuality_Medium = 0x40;
constexpr UInt32 kRenderQuality_Low = 0x20;
constexpr UInt32 kRenderQuality_Min = 0;

// Matrix mixer parameters. Volume (linear gain) in the global scope takes the element
// (input channel << 16) | output channel for a crosspoint; an input half of 0xFFFF names an
// output channel's volume, an output half of 0xFFFF an input channel's volume, and both
// halves 0xFFFF (0xFFFFFFFF) the master volume. In the input and output scopes the volume's
// element is a channel; the enable's element is a bus. Levels are read-only, per channel of
// the scope, after the channel's volume ("post"); in decibels or linear.
constexpr AudioUnitParameterID kMatrixMixerParam_Volume = 0;
constexpr AudioUnitParameterID kMatrixMixerParam_Enable = 1;
constexpr AudioUnitParameterID kMatrixMixerParam_PostAveragePower = 3000;
constexpr AudioUnitParameterID kMatrixMixerParam_PostPeakHoldLevel = 4000;
constexpr AudioUnitParameterID kMatrixMixerParam_PostAveragePowerLinear = 7000;
constexpr AudioUnitParameterID kMatrixMixerParam_PostPeakHoldLevelLinear = 8000;
constexpr AudioUnitElement kMatrixMixerMasterElement = 0xFFFFFFFF;
constexpr AudioUnitParameterValue kMatrixMixerMeterFloorDecibels = -160.0f;

// Varispeed parameters (global scope, element 0).
constexpr AudioUnitParameterID kVarispeedParam_PlaybackRate = 0;
constexpr AudioUnitParameterID kVarispeedParam_PlaybackCents = 1;

// Status codes of the unit layer beyond those of platform/CoreAudioTypes.h.
constexpr OSStatus kAudioUnitErr_Initialized = -10849;
constexpr OSStatus kAudioUnitErr_PropertyNotWritable = -10865;
// No registered unit matches a description (this layer's own code).
constexpr OSStatus kAudioComponentErr_NotFound = -66750;
constexpr OSStatus kAudioUnitErr_NotAnOutputUnit = kAudio_ParamError;

// A render callback on a unit's input: fills ioData with frames of the input's stream
// format. Called on the thread that renders the unit; must not block, allocate or log.
using AURenderCallback = OSStatus (*)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                      const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber, UInt32 inNumberFrames,
                                      AudioBufferList* ioData);

struct AURenderCallbackStruct {
    AURenderCallback inputProc = nullptr;
    void* inputProcRefCon = nullptr;
};

// A connection of one unit's output bus to another unit's input bus.
struct AudioUnitConnection {
    AudioUnit* sourceAudioUnit = nullptr;
    UInt32 sourceOutputNumber = 0;
    UInt32 destInputNumber = 0;
};

// A preset of a unit: its number and name.
struct AUPreset {
    SInt32 presetNumber = 0;
    QString presetName;
};

// One parameter of one unit, as listeners address it. mParameterID
// kAUParameterListener_AnyParameter stands for every parameter of the unit.
struct AudioUnitParameter {
    AudioUnit* mAudioUnit = nullptr;
    AudioUnitParameterID mParameterID = 0;
    AudioUnitScope mScope = 0;
    AudioUnitElement mElement = 0;
};
constexpr AudioUnitParameterID kAUParameterListener_AnyParameter = 0xFFFFFFFF;

// What a parameter is: its name, unit, range, default and kind, for an editor that shows
// it (AudioUnit::getParameterInfo).
using AudioUnitParameterUnit = UInt32;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Generic = 0;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Indexed = 1;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Boolean = 2;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Percent = 3;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Seconds = 4;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_SampleFrames = 5;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Hertz = 8;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Cents = 9;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_RelativeSemiTones = 10;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_MIDINoteNumber = 11;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Decibels = 13;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_LinearGain = 14;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Degrees = 15;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Octaves = 21;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_BPM = 22;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Beats = 23;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Milliseconds = 24;
// A unit of the parameter's own, named by AudioUnitParameterInfo::unitName.
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_CustomUnit = 26;

// Flags of AudioUnitParameterInfo.
constexpr UInt32 kAudioUnitParameterFlag_IsToggled = 1u << 0;     // off (minimum) or on (maximum)
constexpr UInt32 kAudioUnitParameterFlag_IsInteger = 1u << 1;     // whole numbers only
constexpr UInt32 kAudioUnitParameterFlag_IsEnumeration = 1u << 2; // only the values of valueNames
constexpr UInt32 kAudioUnitParameterFlag_ValuesHaveStrings = 1u << 21;
constexpr UInt32 kAudioUnitParameterFlag_DisplayLogarithmic = 1u << 22;
constexpr UInt32 kAudioUnitParameterFlag_IsReadable = 1u << 30;
constexpr UInt32 kAudioUnitParameterFlag_IsWritable = 1u << 31;

// A value of a parameter that has a name of its own ("Small radio speaker").
struct AudioUnitParameterValueName {
    AudioUnitParameterValue value = 0;
    QString name;
};

struct AudioUnitParameterInfo {
    QString name;
    AudioUnitParameterUnit unit = kAudioUnitParameterUnit_Generic;
    // The unit's short sign ("dB", "Hz", "ct"), empty when it has none.
    QString unitName;
    AudioUnitParameterValue minValue = 0;
    AudioUnitParameterValue maxValue = 1;
    AudioUnitParameterValue defaultValue = 0;
    UInt32 flags = 0;
    // The named values, by ascending value; kAudioUnitParameterFlag_ValuesHaveStrings is set
    // when there are any.
    QList<AudioUnitParameterValueName> valueNames;
};

// Is query matched by description (0 fields of query match anything)?
constexpr bool AudioComponentDescriptionMatches(const AudioComponentDescription& query,
                                                const AudioComponentDescription& description)
{
    return (query.componentType == 0 || query.componentType == description.componentType) &&
           (query.componentSubType == 0 || query.componentSubType == description.componentSubType) &&
           (query.componentManufacturer == 0 || query.componentManufacturer == description.componentManufacturer);
}
