#include "audio/engine/ZEPAudio_BufferedInputCapture.h"

ZEPAudio_BufferedInputCapture::ZEPAudio_BufferedInputCapture(std::unique_ptr<ZEPAudio_InputCapture> capture,
                                                             double bufferedSeconds)
    : mCapture(capture ? std::move(capture) : std::make_unique<ZEPAudio_InputCapture>()),
      mBufferedSeconds(bufferedSeconds)
{
}

ZEPAudio_BufferedInputCapture::~ZEPAudio_BufferedInputCapture() { Stop(); }

OSStatus ZEPAudio_BufferedInputCapture::Start()
{
    if (!mCapture)
        return kZEPAudio_NoCaptureError;
    if (mCapture->IsRunning())
        return noErr;
    AudioStreamBasicDescription format;
    mCapture->GetStreamFormat(&format);
    try {
        mRing.Allocate(1, format.mBytesPerFrame, UInt32(format.mSampleRate * mBufferedSeconds));
    } catch (const std::bad_alloc&) {
        return kRingBufferMemoryError;
    }
    mReadPosition = 0;
    mCapture->SetCallback(&ZEPAudio_BufferedInputCapture::store, this);
    const OSStatus status = mCapture->Start();
    mCapturing = status == noErr;
    return status;
}

OSStatus ZEPAudio_BufferedInputCapture::Stop()
{
    if (!mCapture)
        return kZEPAudio_NoCaptureError;
    mCapturing = false;
    return mCapture->Stop();
}

void ZEPAudio_BufferedInputCapture::store(void* refCon, const AudioTimeStamp* timeStamp, UInt32 frames,
                                          const AudioBufferList* data)
{
    auto* self = static_cast<ZEPAudio_BufferedInputCapture*>(refCon);
    self->mRing.Store(data, frames, SInt64(timeStamp->mSampleTime));
}

OSStatus ZEPAudio_BufferedInputCapture::GetDescription(AudioStreamBasicDescription* outDescription)
{
    return mCapture ? mCapture->GetStreamFormat(outDescription) : kZEPAudio_NoCaptureError;
}

OSStatus ZEPAudio_BufferedInputCapture::GetMaxRequestFrames(UInt32* outFrames)
{
    if (!outFrames)
        return kAudio_ParamError;
    *outFrames = mRing.GetCapacityFrames();
    return noErr;
}

OSStatus ZEPAudio_BufferedInputCapture::Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp*, UInt32,
                                               UInt32 frames, AudioBufferList* ioData)
{
    if (!mCapture)
        return kZEPAudio_NoCaptureError;
    const UInt32 bytes = ioData->mBuffers[0].mDataByteSize;
    if (!mCapturing.load(std::memory_order_relaxed)) {
        ZEPRenderSilence(ioData, ioFlags);
        return noErr;
    }
    const Float64 position = mReadPosition.load(std::memory_order_relaxed);
    const SInt32 result = mRing.FetchWithinBounds(ioData, frames, SInt64(position));
    mReadPosition.store(position + frames, std::memory_order_relaxed);
    if (result == 0)
        return noErr;
    ioData->mBuffers[0].mDataByteSize = bytes;
    ZEPRenderSilence(ioData, ioFlags);
    return mIgnoreErrors.load(std::memory_order_relaxed) ? noErr : OSStatus(result);
}
