#pragma once
// One bus of a ZEPAudio_Source presented as a ZEPAudioSource (the source is not owned).

#include "audio/engine/ZEPAudioSource.h"
#include "audio/engine/ZEPAudio_Source.h"

class ZEPAudioSourceBridge : public ZEPAudioSource {
public:
    void setAudioSource(ZEPAudio_Source* source) { mAudioSource = source; }
    ZEPAudio_Source* audioSource() const { return mAudioSource; }
    void setBus(UInt32 bus) { busNumber = bus; }
    UInt32 bus() const { return busNumber; }

    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override
    {
        return mAudioSource ? mAudioSource->GetDescription(description) : kAudio_ParamError;
    }
    AudioStreamBasicDescription audioDescription()
    {
        AudioStreamBasicDescription description;
        getAudioDescription(&description);
        return description;
    }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void*) override
    {
        if (!mAudioSource) {
            ZEPRenderSilence(ioData, renderFlags);
            return noErr;
        }
        return mAudioSource->Render(renderFlags, timeStamp, busNumber, *frames, ioData);
    }
    OSStatus setMaxRequestFrames(UInt32 frames) override
    {
        return mAudioSource ? mAudioSource->SetMaxRequestFrames(frames) : kAudio_ParamError;
    }
    UInt32 maxRequestFrames() override
    {
        UInt32 frames = 0;
        return mAudioSource && mAudioSource->GetMaxRequestFrames(&frames) == noErr ? frames : 0;
    }
    SInt64 framesAvailable() override { return -1; }
    bool isFlushing() override { return false; }
    void flush() override {}

private:
    ZEPAudio_Source* mAudioSource = nullptr;
    UInt32 busNumber = 0;
};
