#include "platform/devices/HardwareOutputUnit.h"

#include "platform/audiounits/AudioComponentRegistry.h"

#include <algorithm>
#include <mutex>

namespace {

AudioComponentDescription describe(bool followsDefault)
{
    return {kAudioUnitType_Output, followsDefault ? kAudioUnitSubType_DefaultOutput : kAudioUnitSubType_HALOutput,
            kAudioUnitManufacturer_System, 0, 0};
}

} // namespace

HardwareOutputUnit::HardwareOutputUnit(bool followsDefaultDevice)
    : FormatConverterUnit(describe(followsDefaultDevice), kRenderQuality_Medium)
{
    setMaxFramesPerSlice(8192);
    mStream.setRenderProc(&HardwareOutputUnit::renderDevice, this);
}

HardwareOutputUnit::~HardwareOutputUnit() { mStream.stop(); }

void HardwareOutputUnit::registerComponents()
{
    static std::once_flag once;
    std::call_once(once, [] {
        AudioComponentRegistry::registerComponent(describe(false), QStringLiteral("Clipdeck: Device Output"),
                                                  [] { return std::make_unique<HardwareOutputUnit>(false); });
        AudioComponentRegistry::registerComponent(describe(true), QStringLiteral("Clipdeck: Default Output"),
                                                  [] { return std::make_unique<HardwareOutputUnit>(true); });
    });
}

OSStatus HardwareOutputUnit::start()
{
    if (!isInitialized())
        return kAudioUnitErr_Uninitialized;
    return mStream.start();
}

OSStatus HardwareOutputUnit::stop() { return mStream.stop(); }

AudioObjectID HardwareOutputUnit::currentDevice() const
{
    return mStream.device() ? mStream.device() : AudioHardware::shared().defaultOutputDevice();
}

OSStatus HardwareOutputUnit::renderDevice(void* refCon, AudioUnitRenderActionFlags* flags,
                                          const AudioTimeStamp* timeStamp, UInt32 frames, AudioBufferList* ioData)
{
    auto* unit = static_cast<HardwareOutputUnit*>(refCon);
    // The device may ask for more than one slice: render it slice by slice into place.
    const UInt32 slice = unit->maxFramesPerSlice();
    AudioTimeStamp time = *timeStamp;
    UInt32 done = 0;
    OSStatus status = noErr;
    while (done < frames && status == noErr) {
        const UInt32 chunk = std::min(frames - done, slice);
        StackAudioBufferList<2> part;
        part.mNumberBuffers = std::min<UInt32>(ioData->mNumberBuffers, 2);
        for (UInt32 b = 0; b < part.mNumberBuffers; ++b)
            part.mBuffers[b] = {1, chunk * 4, static_cast<float*>(ioData->mBuffers[b].mData) + done};
        status = unit->render(flags, &time, 0, chunk, part.list());
        time.mSampleTime += chunk;
        done += chunk;
    }
    return status;
}

OSStatus HardwareOutputUnit::getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                          AudioUnitParameterValue* outValue) const
{
    if (id == kHALOutputParam_Volume && scope == kAudioUnitScope_Global) {
        *outValue = mStream.volume();
        return noErr;
    }
    return FormatConverterUnit::getParameter(id, scope, element, outValue);
}

OSStatus HardwareOutputUnit::setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                          AudioUnitParameterValue value)
{
    if (id == kHALOutputParam_Volume && scope == kAudioUnitScope_Global) {
        mStream.setVolume(std::clamp(value, 0.0f, 1.0f));
        return noErr;
    }
    return FormatConverterUnit::setParameter(id, scope, element, value);
}

OSStatus HardwareOutputUnit::getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                         void* outData, UInt32* ioDataSize) const
{
    switch (id) {
    case kAudioOutputUnitProperty_CurrentDevice:
        return answerProperty(UInt32(currentDevice()), outData, ioDataSize);
    case kAudioOutputUnitProperty_IsRunning:
        return answerProperty(UInt32(isRunning() ? 1 : 0), outData, ioDataSize);
    case kAudioUnitProperty_LastRenderError:
        return answerProperty(OSStatus(outData ? mStream.takeLastRenderError() : noErr), outData, ioDataSize);
    default:
        return FormatConverterUnit::getProperty(id, scope, element, outData, ioDataSize);
    }
}

OSStatus HardwareOutputUnit::setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                         const void* data, UInt32 dataSize)
{
    if (id == kAudioOutputUnitProperty_CurrentDevice) {
        UInt32 device = 0;
        if (!takeProperty(device, data, dataSize))
            return kAudioUnitErr_InvalidPropertyValue;
        return mStream.setDevice(device);
    }
    return FormatConverterUnit::setProperty(id, scope, element, data, dataSize);
}

OSStatus HardwareOutputUnit::validateStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                                  const AudioStreamBasicDescription& format) const
{
    // The device side speaks the playback format; the stream converts from there.
    if (scope == kAudioUnitScope_Output)
        return AudioUnitFormatsEqual(format, AudioUnitCanonicalFormat(2)) ? noErr : kAudioUnitErr_FormatNotSupported;
    return FormatConverterUnit::validateStreamFormat(scope, element, format);
}
