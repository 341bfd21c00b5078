#pragma once
// A second, callback-style source model beside the pull contract of ZEPAudioSource.h: a
// ZEPAudio_Source renders into a buffer list on demand, for one of its buses. The family
// (bridges both ways, a matrix mixer of such sources, input capture and a file reader) is a
// self-contained toolkit; render calls follow the pull contract's render-thread rules.

#include "audio/engine/ZEPAudioSource.h"

// An operation needs an input capture that is not there.
constexpr OSStatus kZEPAudio_NoCaptureError = OSStatus(FourCC("!Cap"));
// A source is not one of the mixer's inputs.
constexpr OSStatus kZEPAudio_NotAnInputError = OSStatus(FourCC("!Src"));
// ZEPAudio_File does not accept a largest request.
constexpr OSStatus kZEPAudio_CannotSetMaxRequestError = OSStatus(FourCC("!set"));
// An input-capture operation the capture does not provide (devices here have no data
// sources, preferred stereo channels or input gain).
constexpr OSStatus kZEPAudio_CaptureUnsupportedError = OSStatus(FourCC("Wcap"));

class ZEPAudio_Source {
public:
    virtual ~ZEPAudio_Source() = default;
    virtual OSStatus GetDescription(AudioStreamBasicDescription* outDescription) = 0;
    virtual OSStatus SetMaxRequestFrames(UInt32 frames) = 0;
    virtual OSStatus GetMaxRequestFrames(UInt32* outFrames) = 0;
    virtual OSStatus Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp* timeStamp, UInt32 bus,
                            UInt32 frames, AudioBufferList* ioData) = 0;
};
