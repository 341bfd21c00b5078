#pragma once
// A matrix mixer unit with one ZEPAudio_Source per input bus: set up the buses, put sources
// in, initialise (each bus takes its source's format), and render.
//
// Volumes are the mixer's volume parameter in the global scope: master (element
// 0xFFFFFFFF), crosspoint (input channel << 16 | output channel), input channel
// (input << 16 | 0xFFFF), output channel (0xFFFF << 16 | output); a bus enable is parameter 1
// in the input scope.
//
// Threads: set-up and volumes on the control thread; Render on the render thread.

#include "audio/engine/ZEPAudio_Source.h"
#include "platform/audiounits/AudioUnit.h"

#include <memory>
#include <vector>

class ZEPAudio_MatrixMixer : public ZEPAudio_Source {
public:
    ZEPAudio_MatrixMixer() = default;
    ~ZEPAudio_MatrixMixer() override;

    // Sizes the source list (all empty), makes the mixer (1 when none can be made), sets the
    // bus counts and a render callback on every input bus.
    OSStatus SetUp(UInt32 inputBuses, UInt32 outputBuses);

    OSStatus SetSourceForBus(ZEPAudio_Source* source, UInt32 bus);
    ZEPAudio_Source* SourceForBus(UInt32 bus) const;
    // '!Src' when the source is in no bus.
    OSStatus BusForSource(const ZEPAudio_Source* source, UInt32* outBus) const;

    // Each bus with a source takes its format (a mono one made non-interleaved); then
    // initialises the mixer and resets the volumes.
    OSStatus Initialize();
    // Master, every input and output channel 1; each input bus's channels to the output
    // channels of the same number 1, to every other 0.
    OSStatus ResetVolumes();

    OSStatus SetMasterVolume(Float32 volume);
    Float32 GetMasterVolume() const;
    OSStatus SetCrosspointVolume(Float32 volume, UInt32 inputChannel, UInt32 outputChannel);
    Float32 GetCrosspointVolume(UInt32 inputChannel, UInt32 outputChannel) const;
    OSStatus SetInputVolume(Float32 volume, UInt32 inputChannel);
    Float32 GetInputVolume(UInt32 inputChannel) const;
    OSStatus SetOutputVolume(Float32 volume, UInt32 outputChannel);
    Float32 GetOutputVolume(UInt32 outputChannel) const;
    OSStatus SetBusEnabled(bool enabled, UInt32 bus);
    bool IsBusEnabled(UInt32 bus) const;
    // Whole arrays: crosspoints row by row (inputs x outputs), input and output channels.
    std::vector<Float32> GetCrosspointVolumes() const;
    std::vector<Float32> GetInputVolumes() const;
    std::vector<Float32> GetOutputVolumes() const;
    OSStatus SetCrosspointVolumes(const std::vector<Float32>& volumes);

    UInt32 ChannelCount(AudioUnitScope scope) const;
    UInt32 FirstChannelOfBus(UInt32 bus) const;

    OSStatus GetStreamFormat(AudioUnitScope scope, UInt32 bus, AudioStreamBasicDescription* outFormat) const;
    OSStatus SetStreamFormat(AudioUnitScope scope, UInt32 bus, const AudioStreamBasicDescription& format);

    OSStatus SetMeteringMode(bool enabled);
    bool GetMeteringMode() const;
    // Linear levels: parameter 7000 (average power) or 8000 (peak hold) of a scope's element.
    Float32 GetLevel(AudioUnitParameterID parameter, AudioUnitScope scope, AudioUnitElement element) const;

    void PrintVolumes() const;

    // The source contract: the mixer's output bus 0 format, its slice size, and its render.
    OSStatus GetDescription(AudioStreamBasicDescription* outDescription) override;
    OSStatus SetMaxRequestFrames(UInt32 frames) override;
    OSStatus GetMaxRequestFrames(UInt32* outFrames) override;
    OSStatus Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                    AudioBufferList* ioData) override;

    AudioUnit* Unit() const { return mMixer.get(); }

private:
    struct Input {
        ZEPAudio_MatrixMixer* mixer = nullptr;
        UInt32 bus = 0;
        ZEPAudio_Source* source = nullptr;
    };
    static OSStatus inputCallback(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                  UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    Float32 volume(AudioUnitScope scope, AudioUnitElement element, AudioUnitParameterID parameter = 0) const;

    std::unique_ptr<AudioUnit> mMixer;
    std::vector<std::unique_ptr<Input>> mInputs;
};
