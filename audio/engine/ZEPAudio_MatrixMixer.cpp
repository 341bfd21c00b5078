#include "audio/engine/ZEPAudio_MatrixMixer.h"

#include "platform/audiounits/AudioComponentRegistry.h"

#include <cstdio>

ZEPAudio_MatrixMixer::~ZEPAudio_MatrixMixer()
{
    if (mMixer)
        mMixer->uninitialize();
}

OSStatus ZEPAudio_MatrixMixer::SetUp(UInt32 inputBuses, UInt32 outputBuses)
{
    mInputs.clear();
    for (UInt32 bus = 0; bus < inputBuses; ++bus)
        mInputs.push_back(std::make_unique<Input>(Input{this, bus, nullptr}));
    mMixer = AudioComponentRegistry::instantiate(
        {kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer, kAudioUnitManufacturer_System, 0, 0});
    if (!mMixer)
        return 1;
    OSStatus status = mMixer->setElementCount(kAudioUnitScope_Input, inputBuses);
    if (status == noErr)
        status = mMixer->setElementCount(kAudioUnitScope_Output, outputBuses);
    for (UInt32 bus = 0; bus < inputBuses && status == noErr; ++bus)
        status = mMixer->setRenderCallback(bus, {&ZEPAudio_MatrixMixer::inputCallback, mInputs[bus].get()});
    return status;
}

OSStatus ZEPAudio_MatrixMixer::inputCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                             const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                                             AudioBufferList* ioData)
{
    auto* input = static_cast<Input*>(refCon);
    if (!input->source) {
        ZEPRenderSilence(ioData, flags);
        return noErr;
    }
    return input->source->Render(flags, timeStamp, input->bus, frames, ioData);
}

OSStatus ZEPAudio_MatrixMixer::SetSourceForBus(ZEPAudio_Source* source, UInt32 bus)
{
    if (bus >= mInputs.size())
        return kAudio_ParamError;
    mInputs[bus]->source = source;
    return noErr;
}

ZEPAudio_Source* ZEPAudio_MatrixMixer::SourceForBus(UInt32 bus) const
{
    return bus < mInputs.size() ? mInputs[bus]->source : nullptr;
}

OSStatus ZEPAudio_MatrixMixer::BusForSource(const ZEPAudio_Source* source, UInt32* outBus) const
{
    for (const auto& input : mInputs) {
        if (input->source == source) {
            *outBus = input->bus;
            return noErr;
        }
    }
    return kZEPAudio_NotAnInputError;
}

OSStatus ZEPAudio_MatrixMixer::Initialize()
{
    if (!mMixer)
        return 1;
    for (const auto& input : mInputs) {
        if (!input->source)
            continue;
        AudioStreamBasicDescription format;
        if (const OSStatus status = input->source->GetDescription(&format))
            return status;
        if (format.mChannelsPerFrame == 1)
            format.mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
        if (const OSStatus status = mMixer->setStreamFormat(kAudioUnitScope_Input, input->bus, format))
            return status;
    }
    if (const OSStatus status = mMixer->initialize())
        return status;
    return ResetVolumes();
}

UInt32 ZEPAudio_MatrixMixer::ChannelCount(AudioUnitScope scope) const
{
    UInt32 channels = 0;
    for (UInt32 bus = 0; mMixer && bus < mMixer->elementCount(scope); ++bus) {
        AudioStreamBasicDescription format;
        if (mMixer->getStreamFormat(scope, bus, &format) == noErr)
            channels += format.mChannelsPerFrame;
    }
    return channels;
}

UInt32 ZEPAudio_MatrixMixer::FirstChannelOfBus(UInt32 bus) const
{
    UInt32 channel = 0;
    for (UInt32 b = 0; b < bus && mMixer && b < mMixer->elementCount(kAudioUnitScope_Input); ++b) {
        AudioStreamBasicDescription format;
        if (mMixer->getStreamFormat(kAudioUnitScope_Input, b, &format) == noErr)
            channel += format.mChannelsPerFrame;
    }
    return channel;
}

OSStatus ZEPAudio_MatrixMixer::ResetVolumes()
{
    SetMasterVolume(1.0f);
    const UInt32 inputs = ChannelCount(kAudioUnitScope_Input);
    const UInt32 outputs = ChannelCount(kAudioUnitScope_Output);
    for (UInt32 i = 0; i < inputs; ++i)
        SetInputVolume(1.0f, i);
    for (UInt32 o = 0; o < outputs; ++o)
        SetOutputVolume(1.0f, o);
    for (UInt32 bus = 0; bus < mMixer->elementCount(kAudioUnitScope_Input); ++bus) {
        AudioStreamBasicDescription format;
        if (mMixer->getStreamFormat(kAudioUnitScope_Input, bus, &format) != noErr)
            continue;
        const UInt32 first = FirstChannelOfBus(bus);
        for (UInt32 c = 0; c < format.mChannelsPerFrame; ++c) {
            for (UInt32 o = 0; o < outputs; ++o)
                SetCrosspointVolume(o == c ? 1.0f : 0.0f, first + c, o);
        }
    }
    return noErr;
}

Float32 ZEPAudio_MatrixMixer::volume(AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterID parameter) const
{
    AudioUnitParameterValue value = 0;
    return mMixer && mMixer->getParameter(parameter, scope, element, &value) == noErr ? value : 0.0f;
}

OSStatus ZEPAudio_MatrixMixer::SetMasterVolume(Float32 volume)
{
    return mMixer->setParameter(0, kAudioUnitScope_Global, 0xFFFFFFFF, volume);
}
Float32 ZEPAudio_MatrixMixer::GetMasterVolume() const { return volume(kAudioUnitScope_Global, 0xFFFFFFFF); }

OSStatus ZEPAudio_MatrixMixer::SetCrosspointVolume(Float32 volume, UInt32 inputChannel, UInt32 outputChannel)
{
    return mMixer->setParameter(0, kAudioUnitScope_Global, (inputChannel << 16) | (outputChannel & 0xFFFF), volume);
}
Float32 ZEPAudio_MatrixMixer::GetCrosspointVolume(UInt32 inputChannel, UInt32 outputChannel) const
{
    return volume(kAudioUnitScope_Global, (inputChannel << 16) | (outputChannel & 0xFFFF));
}

OSStatus ZEPAudio_MatrixMixer::SetInputVolume(Float32 volume, UInt32 inputChannel)
{
    return mMixer->setParameter(0, kAudioUnitScope_Global, (inputChannel << 16) | 0xFFFF, volume);
}
Float32 ZEPAudio_MatrixMixer::GetInputVolume(UInt32 inputChannel) const
{
    return volume(kAudioUnitScope_Global, (inputChannel << 16) | 0xFFFF);
}

OSStatus ZEPAudio_MatrixMixer::SetOutputVolume(Float32 volume, UInt32 outputChannel)
{
    return mMixer->setParameter(0, kAudioUnitScope_Global, (0xFFFFu << 16) | outputChannel, volume);
}
Float32 ZEPAudio_MatrixMixer::GetOutputVolume(UInt32 outputChannel) const
{
    return volume(kAudioUnitScope_Global, (0xFFFFu << 16) | outputChannel);
}

OSStatus ZEPAudio_MatrixMixer::SetBusEnabled(bool enabled, UInt32 bus)
{
    return mMixer->setParameter(1, kAudioUnitScope_Input, bus, enabled ? 1.0f : 0.0f);
}
bool ZEPAudio_MatrixMixer::IsBusEnabled(UInt32 bus) const { return volume(kAudioUnitScope_Input, bus, 1) == 1.0f; }

std::vector<Float32> ZEPAudio_MatrixMixer::GetCrosspointVolumes() const
{
    std::vector<Float32> volumes;
    const UInt32 inputs = ChannelCount(kAudioUnitScope_Input), outputs = ChannelCount(kAudioUnitScope_Output);
    for (UInt32 i = 0; i < inputs; ++i)
        for (UInt32 o = 0; o < outputs; ++o)
            volumes.push_back(GetCrosspointVolume(i, o));
    return volumes;
}

std::vector<Float32> ZEPAudio_MatrixMixer::GetInputVolumes() const
{
    std::vector<Float32> volumes;
    for (UInt32 i = 0; i < ChannelCount(kAudioUnitScope_Input); ++i)
        volumes.push_back(GetInputVolume(i));
    return volumes;
}

std::vector<Float32> ZEPAudio_MatrixMixer::GetOutputVolumes() const
{
    std::vector<Float32> volumes;
    for (UInt32 o = 0; o < ChannelCount(kAudioUnitScope_Output); ++o)
        volumes.push_back(GetOutputVolume(o));
    return volumes;
}

OSStatus ZEPAudio_MatrixMixer::SetCrosspointVolumes(const std::vector<Float32>& volumes)
{
    const UInt32 inputs = ChannelCount(kAudioUnitScope_Input), outputs = ChannelCount(kAudioUnitScope_Output);
    if (volumes.size() != size_t(inputs) * outputs)
        return kAudio_ParamError;
    for (UInt32 i = 0; i < inputs; ++i)
        for (UInt32 o = 0; o < outputs; ++o)
            SetCrosspointVolume(volumes[size_t(i) * outputs + o], i, o);
    return noErr;
}

OSStatus ZEPAudio_MatrixMixer::GetStreamFormat(AudioUnitScope scope, UInt32 bus,
                                               AudioStreamBasicDescription* outFormat) const
{
    return mMixer->getStreamFormat(scope, bus, outFormat);
}

OSStatus ZEPAudio_MatrixMixer::SetStreamFormat(AudioUnitScope scope, UInt32 bus,
                                               const AudioStreamBasicDescription& format)
{
    return mMixer->setStreamFormat(scope, bus, format);
}

OSStatus ZEPAudio_MatrixMixer::SetMeteringMode(bool enabled)
{
    const UInt32 mode = enabled ? 1 : 0;
    return mMixer->setProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &mode, sizeof mode);
}

bool ZEPAudio_MatrixMixer::GetMeteringMode() const
{
    UInt32 mode = 0;
    UInt32 size = sizeof mode;
    return mMixer->getProperty(kAudioUnitProperty_MeteringMode, kAudioUnitScope_Global, 0, &mode, &size) == noErr &&
           mode != 0;
}

Float32 ZEPAudio_MatrixMixer::GetLevel(AudioUnitParameterID parameter, AudioUnitScope scope,
                                       AudioUnitElement element) const
{
    return volume(scope, element, parameter);
}

void ZEPAudio_MatrixMixer::PrintVolumes() const
{
    std::printf("input volumes:\n");
    for (Float32 v : GetInputVolumes())
        std::printf("%f\n", double(v));
    std::printf("crosspoint volumes:\n");
    const UInt32 inputs = ChannelCount(kAudioUnitScope_Input), outputs = ChannelCount(kAudioUnitScope_Output);
    for (UInt32 i = 0; i < inputs; ++i)
        for (UInt32 o = 0; o < outputs; ++o)
            std::printf("crosspoint volume[%lu][%lu] = %f\n", (unsigned long)i, (unsigned long)o,
                        double(GetCrosspointVolume(i, o)));
}

OSStatus ZEPAudio_MatrixMixer::GetDescription(AudioStreamBasicDescription* outDescription)
{
    return mMixer->getStreamFormat(kAudioUnitScope_Output, 0, outDescription);
}

OSStatus ZEPAudio_MatrixMixer::SetMaxRequestFrames(UInt32 frames) { return mMixer->setMaxFramesPerSlice(frames); }

OSStatus ZEPAudio_MatrixMixer::GetMaxRequestFrames(UInt32* outFrames)
{
    if (!outFrames)
        return kAudio_ParamError;
    *outFrames = mMixer->maxFramesPerSlice();
    return noErr;
}

OSStatus ZEPAudio_MatrixMixer::Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp* timeStamp,
                                      UInt32 bus, UInt32 frames, AudioBufferList* ioData)
{
    return mMixer->render(ioFlags, timeStamp, bus, frames, ioData);
}
