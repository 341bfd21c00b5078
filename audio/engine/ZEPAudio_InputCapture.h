#pragma once
// Records from an audio input device: the device's input stream (platform/devices) hands
// each captured chunk, as 44100 Hz interleaved float stereo (the canonical fill of the
// playback rate), to the client's callback, time-stamped from the capture's start (the
// first chunk is at sample time 0). When the device goes away the capture stops itself on
// the main thread.
//
// Devices here have no data sources, preferred stereo channels or input gain: those calls
// answer 'Wcap'.
//
// Threads: set-up, Start and Stop on the main thread; the callback runs on the device's
// input thread under the render rules.

#include "platform/CoreAudioTypes.h"
#include "platform/devices/AudioDeviceStream.h"

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

using ZEPAudioCaptureCallback = void (*)(void* refCon, const AudioTimeStamp* timeStamp, UInt32 frames,
                                         const AudioBufferList* data);

class ZEPAudio_InputCapture {
public:
    ZEPAudio_InputCapture();
    virtual ~ZEPAudio_InputCapture();
    ZEPAudio_InputCapture(const ZEPAudio_InputCapture&) = delete;
    ZEPAudio_InputCapture& operator=(const ZEPAudio_InputCapture&) = delete;

    // A null uid records from the default input device; an unknown one answers '!dev'.
    OSStatus SetDeviceUID(const QString& uid);
    AudioObjectID Device() const { return mDevice; }
    OSStatus SetDataSource(UInt32 source);
    OSStatus SetStereoChannels(UInt32 left, UInt32 right);
    OSStatus GetInputVolume(Float32* outVolume) const;
    OSStatus SetInputVolume(Float32 volume);

    // The format handed to the callback.
    OSStatus GetStreamFormat(AudioStreamBasicDescription* outFormat) const;
    // Frames of the device's own buffering while running (0 when stopped); no safety offset.
    UInt32 GetLatencyFrames() const { return mStream.deviceBufferFrames(); }
    UInt32 GetSafetyOffsetFrames() const { return 0; }

    void SetCallback(ZEPAudioCaptureCallback callback, void* refCon);
    OSStatus Start();
    OSStatus Stop();
    bool IsRunning() const { return mStream.isRunning(); }
    QString ErrorText() const { return mStream.errorText(); }

    // A device sample time as a capture time (from the capture's start).
    Float64 DeviceTimeToCaptureTime(Float64 deviceSampleTime) const { return deviceSampleTime - mStartSampleTime; }

private:
    static void receive(void* refCon, const AudioTimeStamp* timeStamp, UInt32 frames, const AudioBufferList* data);

    AudioDeviceStream mStream{AudioDeviceStream::Direction::Input};
    AudioObjectID mDevice = 0;
    ZEPAudioCaptureCallback mCallback = nullptr;
    void* mCallbackRefCon = nullptr;
    std::vector<float> mInterleaved;
    std::atomic<Float64> mStartSampleTime{-1};
    std::shared_ptr<ZEPAudio_InputCapture*> mLifeToken;
    int mListenerToken = 0;
};
