#pragma once
// An input capture that stores what it records in a time-stamped sample ring (CASampleRing)
// and renders from it: the device's input thread writes at the recorded sample times, the
// consumer's render thread fetches at its own read position, and the two meet only in the
// lock-free ring. A fetch whose window the ring does not hold returns CASampleRing's code
// (silence in the list), unless errors are ignored, when it returns 0.

#include "audio/engine/CASampleRing.h"
#include "audio/engine/ZEPAudio_InputCapture.h"
#include "audio/engine/ZEPAudio_Source.h"

#include <atomic>
#include <memory>

class ZEPAudio_BufferedInputCapture : public ZEPAudio_Source {
public:
    // A capture of its own (on the default input) unless one is given; the ring holds
    // bufferedSeconds of audio.
    explicit ZEPAudio_BufferedInputCapture(std::unique_ptr<ZEPAudio_InputCapture> capture = nullptr,
                                           double bufferedSeconds = 2.0);
    ~ZEPAudio_BufferedInputCapture() override;

    ZEPAudio_InputCapture* Capture() const { return mCapture.get(); }
    // Start: the read position and the ring start afresh; '!Cap' without a capture.
    virtual OSStatus Start();
    virtual OSStatus Stop();
    bool IsCapturing() const { return mCapturing.load(); }
    void SetIgnoreErrors(bool ignore) { mIgnoreErrors.store(ignore); }
    Float64 ReadPosition() const { return mReadPosition.load(); }

    OSStatus GetDescription(AudioStreamBasicDescription* outDescription) override;
    OSStatus SetMaxRequestFrames(UInt32) override { return noErr; }
    OSStatus GetMaxRequestFrames(UInt32* outFrames) override;
    OSStatus Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                    AudioBufferList* ioData) override;

private:
    static void store(void* refCon, const AudioTimeStamp* timeStamp, UInt32 frames, const AudioBufferList* data);

    std::unique_ptr<ZEPAudio_InputCapture> mCapture;
    double mBufferedSeconds;
    CASampleRing mRing;
    std::atomic<Float64> mReadPosition{0};
    std::atomic<bool> mCapturing{false};
    std::atomic<bool> mIgnoreErrors{false};
};
