#pragma once
// A ZEPAudioSource presented as a ZEPAudio_Source: every call goes to the source it holds
// (shared: the bridge keeps it alive), renders passing the stored sender.

#include "audio/engine/ZEPAudioSource.h"
#include "audio/engine/ZEPAudio_Source.h"

#include <memory>

class ZEPAudio_SourceBridge : public ZEPAudio_Source {
public:
    ZEPAudio_SourceBridge() = default;
    void SetSource(std::shared_ptr<ZEPAudioSource> source, void* sender = nullptr)
    {
        mSource = std::move(source);
        mSender = sender;
    }
    ZEPAudioSource* GetSource() const { return mSource.get(); }

    OSStatus GetDescription(AudioStreamBasicDescription* outDescription) override
    {
        return mSource ? mSource->getAudioDescription(outDescription) : kAudio_ParamError;
    }
    OSStatus SetMaxRequestFrames(UInt32 frames) override
    {
        return mSource ? mSource->setMaxRequestFrames(frames) : kAudio_ParamError;
    }
    OSStatus GetMaxRequestFrames(UInt32* outFrames) override
    {
        if (!outFrames)
            return kAudio_ParamError;
        *outFrames = mSource ? mSource->maxRequestFrames() : 0;
        return noErr;
    }
    OSStatus Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                    AudioBufferList* ioData) override
    {
        if (!mSource) {
            ZEPRenderSilence(ioData, ioFlags);
            return noErr;
        }
        return mSource->renderFrames(&frames, ioData, ioFlags, timeStamp, mSender);
    }

private:
    std::shared_ptr<ZEPAudioSource> mSource;
    void* mSender = nullptr;
};
