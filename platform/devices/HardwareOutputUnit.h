#pragma once
// The hardware output unit ('auou' 'ahal'), in place of the system's device output unit: a
// unit whose output bus is an audio device. Its input bus 0 takes any linear PCM stereo
// format (a render callback or a connected unit feeds it) and is converted, when it differs,
// to the device side's format (44100 Hz non-interleaved float stereo; the device stream
// converts further when the device runs at another rate).
//
// 'auou' 'def ' is the same unit made to follow the default output device.
//
// Properties beyond the unit's own: kAudioOutputUnitProperty_CurrentDevice (UInt32 device id
// of platform/devices/AudioHardware, global scope; 0 = the default device), IsRunning, and
// LastRenderError (an underrun reported by the device since the last read, then 0).
// Parameter kHALOutputParam_Volume (global scope): the output gain, 0..1.
//
// Threads: control calls on the main thread; the device's thread renders. start() reports
// why it failed through startErrorText().

#include "platform/audiounits/FormatConverterUnit.h"
#include "platform/devices/AudioDeviceStream.h"

constexpr AudioUnitParameterID kHALOutputParam_Volume = 14;

class HardwareOutputUnit : public FormatConverterUnit {
public:
    explicit HardwareOutputUnit(bool followsDefaultDevice = false);
    ~HardwareOutputUnit() override;

    // Registers 'auou' 'ahal' 'appl' and 'auou' 'def ' 'appl' with the component registry;
    // safe to call any number of times.
    static void registerComponents();

    OSStatus start() override;
    OSStatus stop() override;
    bool isRunning() const override { return mStream.isRunning(); }
    QString startErrorText() const { return mStream.errorText(); }
    // The device the stream plays on now (the resolved default when following it).
    AudioObjectID currentDevice() const;

    OSStatus getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue* outValue) const override;
    OSStatus setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue value) override;
    OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                         UInt32* ioDataSize) const override;
    OSStatus setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void* data,
                         UInt32 dataSize) override;

protected:
    OSStatus validateStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                  const AudioStreamBasicDescription& format) const override;

private:
    static OSStatus renderDevice(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                 UInt32 frames, AudioBufferList* ioData);

    mutable AudioDeviceStream mStream{AudioDeviceStream::Direction::Output};
};
