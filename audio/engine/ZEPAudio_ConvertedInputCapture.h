#pragma once
// A buffered capture resampled through a chain of units: a format converter fed by the
// buffered capture, a varispeed whose rate follows the capture's measured rate, and a
// generic output in the format the client asks for (non-interleaved float stereo at 44100 Hz
// unless set otherwise). Rendering the object renders the generic output.

#include "audio/engine/ZEPAudio_BufferedInputCapture.h"
#include "platform/audiounits/AudioUnit.h"

class ZEPAudio_ConvertedInputCapture : public ZEPAudio_BufferedInputCapture {
public:
    explicit ZEPAudio_ConvertedInputCapture(std::unique_ptr<ZEPAudio_InputCapture> capture = nullptr,
                                            double bufferedSeconds = 2.0);
    ~ZEPAudio_ConvertedInputCapture() override;

    // Only while stopped.
    OSStatus SetOutputDescription(const AudioStreamBasicDescription& format);

    // Initialises the chain, then starts the capture; Stop does the reverse. '!Cap' without
    // a capture.
    OSStatus Start() override;
    OSStatus Stop() override;

    OSStatus GetDescription(AudioStreamBasicDescription* outDescription) override;
    OSStatus Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                    AudioBufferList* ioData) override;

private:
    static OSStatus pullCapture(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    std::unique_ptr<AudioUnit> mConverter;
    std::unique_ptr<AudioUnit> mVarispeed;
    std::unique_ptr<AudioUnit> mOutput;
    bool mUnitsMade = false;
};
