#pragma once
// A stream on one audio device, in place of the hardware output unit's device side: an
// output stream pulls audio from a render procedure, an input stream hands captured audio
// to a capture procedure. Both speak the playback format (44100 Hz, non-interleaved
// 32-bit float, two channels) whatever the device runs at: when its rate differs, the
// stream converts with libsamplerate. On JACK the stream is a JACK client of its own
// (JackStreamClient.h); on the other sound systems an RtAudio stream.
//
// Threads: open/start/stop/close and the setters are called from one control thread (the
// main thread in the program). The procedures run on the device's own thread and must obey
// the render rules: no allocation, no lock, no logging. Everything the stream itself does
// on that thread is allocation- and lock-free too.

#include "platform/CoreAudioTypes.h"
#include "platform/devices/AudioHardware.h"

#include <QString>

#include <atomic>
#include <memory>

// Fills ioData with frames of audio for the sample time in timeStamp. A non-zero result
// or the silence flag makes the stream play silence for this slice.
using AudioDeviceRenderProc = OSStatus (*)(void* refCon, AudioUnitRenderActionFlags* flags,
                                           const AudioTimeStamp* timeStamp, UInt32 frames, AudioBufferList* ioData);
// Receives frames of captured audio.
using AudioDeviceCaptureProc = void (*)(void* refCon, const AudioTimeStamp* timeStamp, UInt32 frames,
                                        const AudioBufferList* data);

// Called on the device's thread around every callback of every stream while it is set: how
// the tests watch what a device slice does. The program sets none.
struct AudioDeviceSliceObserver {
    void (*begin)();
    void (*end)();
};

class AudioDeviceStream {
public:
    enum class Direction { Output, Input };

    explicit AudioDeviceStream(Direction direction);
    ~AudioDeviceStream();
    AudioDeviceStream(const AudioDeviceStream&) = delete;
    AudioDeviceStream& operator=(const AudioDeviceStream&) = delete;

    void setRenderProc(AudioDeviceRenderProc proc, void* refCon);
    void setCaptureProc(AudioDeviceCaptureProc proc, void* refCon);

    // The device to open; 0 = the current default. Takes effect at the next start(); a
    // running stream is restarted on the new device. Fails with kAudioHardwareBadDeviceError
    // for an unknown device (the stream keeps its device).
    OSStatus setDevice(AudioObjectID device);
    AudioObjectID device() const { return device_; }

    // Opens the device and starts the stream; a device missing from the device list is
    // looked for in a fresh read of it first. On failure the status tells why
    // (kAudioHardwareBadDeviceError when there is no device at all) and errorText() says it
    // in words.
    OSStatus start();
    OSStatus stop();
    // False as well once the device went away under a running stream (its sound server quit):
    // the stream then stops by itself, errorText() tells, the device list hears of it at once
    // (AudioHardware announces the device's death), and start() may be called again later.
    bool isRunning() const { return running_.load(); }
    QString errorText() const;

    // The rate the device runs at while started; 0 when stopped.
    UInt32 deviceSampleRate() const { return deviceRate_; }
    // Frames per device callback, chosen when the stream opened.
    UInt32 deviceBufferFrames() const { return bufferFrames_; }

    // Gain applied to the output, 0..1 (the output volume parameter).
    void setVolume(Float32 volume) { volume_.store(volume); }
    Float32 volume() const { return volume_.load(); }

    // Underruns the device reported since start.
    UInt64 underrunCount() const { return underruns_.load(); }
    // kAudioDeviceProcessorOverloadError after an underrun, else 0; reading clears it.
    OSStatus takeLastRenderError() { return lastError_.exchange(0); }

    // Name the stream's client carries on servers that show one (JACK).
    static inline const char* kClientName = "Clipdeck";

    // Any thread; null removes the observer. The observer must outlive its use.
    static void setSliceObserver(const AudioDeviceSliceObserver* observer);

private:
    struct Engine; // the RtAudio stream and its converter, made by start()
    static int callback(void* output, void* input, unsigned frames, double streamTime, unsigned status, void* self);
    static void jackProcess(void* self, float* const* channels, unsigned frames, bool underrun);
    static void deviceWentAway(void* self);
    void slice(float* const* outputs, float* const* inputs, unsigned frames, bool underrun);
    void renderOutput(float* const* output, unsigned frames);
    void deliverInput(const float* const* input, unsigned frames);
    long pullForConverter(float** data);
    void closeEngine();

    const Direction direction_;
    AudioDeviceRenderProc renderProc_ = nullptr;
    void* renderRefCon_ = nullptr;
    AudioDeviceCaptureProc captureProc_ = nullptr;
    void* captureRefCon_ = nullptr;
    AudioObjectID device_ = 0;
    QString deviceUID_; // of the device the stream last started on
    AudioObjectID runningDevice_ = 0; // its id, set before the sound server can call us
    QString errorText_;
    UInt32 deviceRate_ = 0;
    UInt32 bufferFrames_ = 0;
    std::unique_ptr<Engine> engine_;
    std::atomic<bool> running_{false};
    std::atomic<bool> deviceGone_{false}; // the sound server dropped the running stream
    std::atomic<Float32> volume_{1.0f};
    std::atomic<UInt64> underruns_{0};
    std::atomic<OSStatus> lastError_{0};
};
