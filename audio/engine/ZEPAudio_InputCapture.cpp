#include "audio/engine/ZEPAudio_InputCapture.h"

#include "audio/engine/CAStreamFormat.h"
#include "audio/engine/ZEPAudio_Source.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "platform/MainThread.h"

#include <algorithm>

namespace {
// The largest chunk the capture interleaves at once; longer ones go in pieces.
constexpr UInt32 kMaxChunkFrames = 8192;
} // namespace

ZEPAudio_InputCapture::ZEPAudio_InputCapture()
    : mInterleaved(size_t(kMaxChunkFrames) * 2), mLifeToken(std::make_shared<ZEPAudio_InputCapture*>(this))
{
    mStream.setCaptureProc(&ZEPAudio_InputCapture::receive, this);
    std::weak_ptr<ZEPAudio_InputCapture*> token = mLifeToken;
    mListenerToken = AudioHardware::shared().addListener([token](AudioHardware::Change change, AudioObjectID device) {
        if (change != AudioHardware::Change::DeviceDied)
            return;
        mainthread::post([token, device] {
            if (const auto alive = token.lock()) {
                ZEPAudio_InputCapture* capture = *alive;
                if (capture->IsRunning() && (capture->mDevice == device || capture->mDevice == 0))
                    capture->Stop();
            }
        });
    });
}

ZEPAudio_InputCapture::~ZEPAudio_InputCapture()
{
    AudioHardware::shared().removeListener(mListenerToken);
    mStream.stop();
}

OSStatus ZEPAudio_InputCapture::SetDeviceUID(const QString& uid)
{
    AudioObjectID device = 0;
    if (!uid.isNull()) {
        device = AudioHardware::shared().deviceIDForUID(uid);
        if (device == 0)
            return kAudioHardwareBadDeviceError;
    }
    mDevice = device;
    return mStream.setDevice(device);
}

OSStatus ZEPAudio_InputCapture::SetDataSource(UInt32) { return kZEPAudio_CaptureUnsupportedError; }
OSStatus ZEPAudio_InputCapture::SetStereoChannels(UInt32, UInt32) { return kZEPAudio_CaptureUnsupportedError; }
OSStatus ZEPAudio_InputCapture::GetInputVolume(Float32*) const { return kZEPAudio_CaptureUnsupportedError; }
OSStatus ZEPAudio_InputCapture::SetInputVolume(Float32) { return kZEPAudio_CaptureUnsupportedError; }

OSStatus ZEPAudio_InputCapture::GetStreamFormat(AudioStreamBasicDescription* outFormat) const
{
    CAStreamFormat format(kZEPPlaybackSampleRate, kAudioFormatLinearPCM, 0, 0, 0, 2, 0, 0);
    format.NormalizeToCanonical();
    *outFormat = format;
    return noErr;
}

void ZEPAudio_InputCapture::SetCallback(ZEPAudioCaptureCallback callback, void* refCon)
{
    mCallback = callback;
    mCallbackRefCon = refCon;
}

OSStatus ZEPAudio_InputCapture::Start()
{
    mStartSampleTime = -1;
    return mStream.start();
}

OSStatus ZEPAudio_InputCapture::Stop() { return mStream.stop(); }

void ZEPAudio_InputCapture::receive(void* refCon, const AudioTimeStamp* timeStamp, UInt32 frames,
                                    const AudioBufferList* data)
{
    auto* capture = static_cast<ZEPAudio_InputCapture*>(refCon);
    if (!capture->mCallback)
        return;
    Float64 start = capture->mStartSampleTime.load(std::memory_order_relaxed);
    if (start < 0) {
        start = timeStamp->mSampleTime;
        capture->mStartSampleTime.store(start, std::memory_order_relaxed);
    }
    const auto* left = static_cast<const float*>(data->mBuffers[0].mData);
    const auto* right = static_cast<const float*>(data->mBuffers[data->mNumberBuffers > 1 ? 1 : 0].mData);
    UInt32 done = 0;
    while (done < frames) {
        const UInt32 chunk = std::min(frames - done, kMaxChunkFrames);
        float* out = capture->mInterleaved.data();
        for (UInt32 i = 0; i < chunk; ++i) {
            out[2 * i] = left[done + i];
            out[2 * i + 1] = right[done + i];
        }
        StackAudioBufferList<1> list;
        list.mBuffers[0] = {2, chunk * 8, out};
        AudioTimeStamp shifted = *timeStamp;
        shifted.mSampleTime = timeStamp->mSampleTime - start + done;
        capture->mCallback(capture->mCallbackRefCon, &shifted, chunk, list.list());
        done += chunk;
    }
}
