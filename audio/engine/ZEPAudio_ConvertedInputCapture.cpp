#include "audio/engine/ZEPAudio_ConvertedInputCapture.h"

#include "audio/engine/ZEPCanonicalFormats.h"
#include "platform/audiounits/AudioComponentRegistry.h"

ZEPAudio_ConvertedInputCapture::ZEPAudio_ConvertedInputCapture(std::unique_ptr<ZEPAudio_InputCapture> capture,
                                                               double bufferedSeconds)
    : ZEPAudio_BufferedInputCapture(std::move(capture), bufferedSeconds)
{
    auto make = [](OSType type, OSType subtype) {
        return AudioComponentRegistry::instantiate({type, subtype, kAudioUnitManufacturer_System, 0, 0});
    };
    mConverter = make(kAudioUnitType_FormatConverter, kAudioUnitSubType_AUConverter);
    mVarispeed = make(kAudioUnitType_FormatConverter, kAudioUnitSubType_Varispeed);
    mOutput = make(kAudioUnitType_Output, kAudioUnitSubType_GenericOutput);
    mUnitsMade = mConverter && mVarispeed && mOutput;
    if (!mUnitsMade)
        return;
    AudioStreamBasicDescription captured;
    ZEPAudio_BufferedInputCapture::GetDescription(&captured);
    const AudioStreamBasicDescription playback = ZEPPlaybackFormat();
    mConverter->setStreamFormat(kAudioUnitScope_Input, 0, captured);
    mConverter->setStreamFormat(kAudioUnitScope_Output, 0, playback);
    mConverter->setRenderCallback(0, {&ZEPAudio_ConvertedInputCapture::pullCapture, this});
    mVarispeed->setStreamFormat(kAudioUnitScope_Input, 0, playback);
    mVarispeed->setStreamFormat(kAudioUnitScope_Output, 0, playback);
    mVarispeed->setInputConnection({mConverter.get(), 0, 0});
    mOutput->setStreamFormat(kAudioUnitScope_Input, 0, playback);
    mOutput->setStreamFormat(kAudioUnitScope_Output, 0, playback);
    mOutput->setInputConnection({mVarispeed.get(), 0, 0});
}

ZEPAudio_ConvertedInputCapture::~ZEPAudio_ConvertedInputCapture() { Stop(); }

OSStatus ZEPAudio_ConvertedInputCapture::SetOutputDescription(const AudioStreamBasicDescription& format)
{
    if (!mUnitsMade)
        return kAudioComponentErr_NotFound;
    return mOutput->setStreamFormat(kAudioUnitScope_Output, 0, format);
}

OSStatus ZEPAudio_ConvertedInputCapture::pullCapture(void* refCon, AudioUnitRenderActionFlags* flags,
                                                     const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                                     AudioBufferList* ioData)
{
    auto* self = static_cast<ZEPAudio_ConvertedInputCapture*>(refCon);
    return self->ZEPAudio_BufferedInputCapture::Render(flags, timeStamp, bus, frames, ioData);
}

OSStatus ZEPAudio_ConvertedInputCapture::Start()
{
    if (!Capture())
        return kZEPAudio_NoCaptureError;
    if (!mUnitsMade)
        return kAudioComponentErr_NotFound;
    for (AudioUnit* unit : {mConverter.get(), mVarispeed.get(), mOutput.get()}) {
        if (const OSStatus status = unit->initialize())
            return status;
    }
    // The device stream delivers the capture at exactly the playback rate, so the measured
    // rate the varispeed follows is 1.
    mVarispeed->setParameter(kVarispeedParam_PlaybackRate, kAudioUnitScope_Global, 0, 1.0f);
    mOutput->start();
    return ZEPAudio_BufferedInputCapture::Start();
}

OSStatus ZEPAudio_ConvertedInputCapture::Stop()
{
    if (!Capture())
        return kZEPAudio_NoCaptureError;
    if (mUnitsMade) {
        mOutput->stop();
        for (AudioUnit* unit : {mOutput.get(), mVarispeed.get(), mConverter.get()})
            unit->uninitialize();
    }
    return ZEPAudio_BufferedInputCapture::Stop();
}

OSStatus ZEPAudio_ConvertedInputCapture::GetDescription(AudioStreamBasicDescription* outDescription)
{
    if (!mUnitsMade)
        return kAudioComponentErr_NotFound;
    return mOutput->getStreamFormat(kAudioUnitScope_Output, 0, outDescription);
}

OSStatus ZEPAudio_ConvertedInputCapture::Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp* timeStamp,
                                                UInt32, UInt32 frames, AudioBufferList* ioData)
{
    if (!mUnitsMade || !mOutput->isInitialized()) {
        ZEPRenderSilence(ioData, ioFlags);
        return noErr;
    }
    return mOutput->render(ioFlags, timeStamp, 0, frames, ioData);
}
