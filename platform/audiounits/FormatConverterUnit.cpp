#include "platform/audiounits/FormatConverterUnit.h"

#include "platform/audiounits/LinearPCMConversion.h"
#include "platform/audiounits/WindowedSincResampler.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// libsamplerate's sinc converters for Medium quality and above; below it our own lighter
// windowed sinc (WindowedSincResampler.h) serves.
int resamplerTypeForQuality(UInt32 quality)
{
    if (quality >= kRenderQuality_Max)
        return SRC_SINC_BEST_QUALITY;
    if (quality >= kRenderQuality_High)
        return SRC_SINC_MEDIUM_QUALITY;
    return SRC_SINC_FASTEST;
}

// A failed or stalled pull ends the slice with silence after this many empty passes.
constexpr int kMaxIdlePasses = 64;

} // namespace

FormatConverterUnit::FormatConverterUnit()
    : FormatConverterUnit(AudioComponentDescription{kAudioUnitType_FormatConverter, kAudioUnitSubType_AUConverter,
                                                    kAudioUnitManufacturer_System, 0, 0},
                          kRenderQuality_Medium)
{
}

FormatConverterUnit::FormatConverterUnit(const AudioComponentDescription& description, UInt32 renderQuality)
    : AudioUnit(description, 1, 1), mRenderQuality(renderQuality)
{
}

FormatConverterUnit::~FormatConverterUnit() { FormatConverterUnit::uninitializeUnit(); }

OSStatus FormatConverterUnit::getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                          void* outData, UInt32* ioDataSize) const
{
    if (id != kAudioUnitProperty_RenderQuality)
        return AudioUnit::getProperty(id, scope, element, outData, ioDataSize);
    return answerProperty(mRenderQuality, outData, ioDataSize);
}

OSStatus FormatConverterUnit::setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                          const void* data, UInt32 dataSize)
{
    if (id != kAudioUnitProperty_RenderQuality)
        return AudioUnit::setProperty(id, scope, element, data, dataSize);
    UInt32 quality = 0;
    if (!takeProperty(quality, data, dataSize))
        return kAudioUnitErr_InvalidPropertyValue;
    if (isInitialized())
        return kAudioUnitErr_Initialized;
    mRenderQuality = quality;
    return noErr;
}

OSStatus FormatConverterUnit::initializeUnit()
{
    const AudioStreamBasicDescription& in = inputFormat(0);
    const AudioStreamBasicDescription& out = outputFormat(0);
    if (in.mChannelsPerFrame != out.mChannelsPerFrame)
        return kAudioUnitErr_FormatNotSupported;
    mChannels = in.mChannelsPerFrame;
    mSameFormat = AudioUnitFormatsEqual(in, out);
    mSampleRateRatio = out.mSampleRate / in.mSampleRate;

    mQueueCapacityFrames = 2 * kConverterBlockFrames;
    if (mRenderQuality < kRenderQuality_Medium) {
        mSincResampler = std::make_unique<WindowedSincResampler>(int(mChannels), long(mQueueCapacityFrames));
    } else {
        int error = 0;
        mResampler = src_new(resamplerTypeForQuality(mRenderQuality), int(mChannels), &error);
        if (!mResampler)
            return kAudio_MemFullError;
    }

    mQueue.assign(size_t(mQueueCapacityFrames) * mChannels, 0.0f);
    mOutputBlock.assign(size_t(kConverterBlockFrames) * mChannels, 0.0f);

    const bool nonInterleaved = in.mFormatFlags & kAudioFormatFlagIsNonInterleaved;
    const UInt32 buffers = nonInterleaved ? mChannels : 1;
    const size_t bufferBytes = size_t(in.mBytesPerFrame) * kConverterBlockFrames;
    mInputData.assign(bufferBytes * buffers, 0);
    mInputListStorage.assign(offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * buffers, 0);
    auto* list = reinterpret_cast<AudioBufferList*>(mInputListStorage.data());
    list->mNumberBuffers = buffers;
    for (UInt32 i = 0; i < buffers; ++i) {
        list->mBuffers[i].mNumberChannels = nonInterleaved ? 1 : mChannels;
        list->mBuffers[i].mData = mInputData.data() + bufferBytes * i;
        list->mBuffers[i].mDataByteSize = UInt32(bufferBytes);
    }
    resetState();
    return noErr;
}

void FormatConverterUnit::uninitializeUnit()
{
    if (mResampler)
        mResampler = src_delete(mResampler);
    mSincResampler.reset();
    mQueue = {};
    mOutputBlock = {};
    mInputData = {};
    mInputListStorage = {};
    mQueueFrames = 0;
}

void FormatConverterUnit::resetResampler()
{
    if (mResampler)
        src_reset(mResampler);
    if (mSincResampler)
        mSincResampler->reset();
}

bool FormatConverterUnit::resample(const float* input, long inputFrames, float* output, long outputFrames,
                                   double ratio, long* inputUsed, long* outputGenerated)
{
    if (mSincResampler) {
        mSincResampler->process(input, inputFrames, output, outputFrames, ratio, inputUsed, outputGenerated);
        return true;
    }
    SRC_DATA data{};
    data.data_in = input;
    data.input_frames = inputFrames;
    data.data_out = output;
    data.output_frames = outputFrames;
    data.src_ratio = ratio;
    data.end_of_input = 0;
    const bool ok = src_process(mResampler, &data) == 0;
    *inputUsed = data.input_frames_used;
    *outputGenerated = data.output_frames_gen;
    return ok;
}

void FormatConverterUnit::resetState()
{
    resetResampler();
    mResampling = false;
    mQueueFrames = 0;
    mInputTimeValid = false;
}

void FormatConverterUnit::setByteSizes(AudioBufferList* ioData, UInt32 frames) const
{
    const UInt32 bytes = outputFormat(0).mBytesPerFrame * frames;
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i)
        ioData->mBuffers[i].mDataByteSize = bytes;
}

OSStatus FormatConverterUnit::renderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                                        UInt32, UInt32 frames, AudioBufferList* ioData)
{
    if (!mInputTimeValid) {
        mInputSampleTime = timeStamp.mSampleTime;
        mInputTimeValid = true;
    }
    const Float64 rate = playbackRate();
    const Float64 ratio = mSampleRateRatio / rate;
    OSStatus status = noErr;
    if (ratio == 1.0) {
        if (mResampling) {
            // Leave the resampler: what it holds is dropped, what is queued plays on.
            mResampling = false;
            resetResampler();
        }
        status = mSameFormat ? renderPassThrough(ioActionFlags, timeStamp, frames, ioData)
                             : renderConverted(ioActionFlags, frames, ioData);
    } else {
        if (!mResampling) {
            mResampling = true;
            resetResampler();
        }
        status = renderResampled(ioActionFlags, ratio, frames, ioData);
    }
    setByteSizes(ioData, frames);
    return status;
}

OSStatus FormatConverterUnit::renderPassThrough(AudioUnitRenderActionFlags& ioActionFlags,
                                                const AudioTimeStamp& timeStamp, UInt32 frames,
                                                AudioBufferList* ioData)
{
    UInt32 done = 0;
    if (mQueueFrames > 0) {
        done = std::min(frames, mQueueFrames);
        drainQueue(done, ioData, 0);
    }
    if (done == frames)
        return noErr;
    if (done == 0) {
        const OSStatus status = pullInput(0, ioActionFlags, timeStamp, frames, ioData);
        mInputSampleTime = timeStamp.mSampleTime + frames;
        return status;
    }
    // The rest follows what was queued: pull it into the caller's buffers past those frames.
    StackAudioBufferList<64> rest;
    rest.mNumberBuffers = std::min<UInt32>(ioData->mNumberBuffers, 64);
    const UInt32 bytesPerFrame = outputFormat(0).mBytesPerFrame;
    for (UInt32 i = 0; i < rest.mNumberBuffers; ++i) {
        rest.mBuffers[i].mNumberChannels = ioData->mBuffers[i].mNumberChannels;
        rest.mBuffers[i].mData = static_cast<UInt8*>(ioData->mBuffers[i].mData) + size_t(done) * bytesPerFrame;
        rest.mBuffers[i].mDataByteSize = (frames - done) * bytesPerFrame;
    }
    AudioTimeStamp inputTime;
    inputTime.mSampleTime = mInputSampleTime;
    inputTime.mFlags = kAudioTimeStampSampleTimeValid;
    const OSStatus status = pullInput(0, ioActionFlags, inputTime, frames - done, rest.list());
    mInputSampleTime += frames - done;
    return status;
}

OSStatus FormatConverterUnit::pullIntoQueue(AudioUnitRenderActionFlags& ioActionFlags, UInt32 frames)
{
    frames = std::min({frames, kConverterBlockFrames, mQueueCapacityFrames - mQueueFrames});
    if (frames == 0)
        return noErr;
    const AudioStreamBasicDescription& in = inputFormat(0);
    auto* list = reinterpret_cast<AudioBufferList*>(mInputListStorage.data());
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i)
        list->mBuffers[i].mDataByteSize = in.mBytesPerFrame * frames;
    AudioTimeStamp inputTime;
    inputTime.mSampleTime = mInputSampleTime;
    inputTime.mFlags = kAudioTimeStampSampleTimeValid;
    const OSStatus status = pullInput(0, ioActionFlags, inputTime, frames, list);
    if (status != noErr)
        return status;
    mInputSampleTime += frames;
    LinearPCMToInterleavedFloat(in, list, 0, frames, mQueue.data() + size_t(mQueueFrames) * mChannels);
    mQueueFrames += frames;
    return noErr;
}

void FormatConverterUnit::dropFromQueue(UInt32 frames)
{
    frames = std::min(frames, mQueueFrames);
    mQueueFrames -= frames;
    if (mQueueFrames > 0)
        std::memmove(mQueue.data(), mQueue.data() + size_t(frames) * mChannels,
                     size_t(mQueueFrames) * mChannels * sizeof(Float32));
}

void FormatConverterUnit::drainQueue(UInt32 frames, AudioBufferList* ioData, UInt32 frameOffset)
{
    LinearPCMFromInterleavedFloat(outputFormat(0), mQueue.data(), frames, ioData, frameOffset);
    dropFromQueue(frames);
}

void FormatConverterUnit::silence(AudioBufferList* ioData, UInt32 fromFrame, UInt32 frames)
{
    std::fill(mOutputBlock.begin(), mOutputBlock.end(), 0.0f);
    for (UInt32 f = fromFrame; f < frames; f += kConverterBlockFrames)
        LinearPCMFromInterleavedFloat(outputFormat(0), mOutputBlock.data(), std::min(kConverterBlockFrames, frames - f),
                                      ioData, f);
}

OSStatus FormatConverterUnit::renderConverted(AudioUnitRenderActionFlags& ioActionFlags, UInt32 frames,
                                              AudioBufferList* ioData)
{
    UInt32 done = 0;
    while (done < frames) {
        if (mQueueFrames == 0) {
            if (const OSStatus status = pullIntoQueue(ioActionFlags, frames - done)) {
                silence(ioData, done, frames);
                return status;
            }
        }
        const UInt32 n = std::min(frames - done, mQueueFrames);
        drainQueue(n, ioData, done);
        done += n;
    }
    return noErr;
}

OSStatus FormatConverterUnit::renderResampled(AudioUnitRenderActionFlags& ioActionFlags, Float64 ratio,
                                              UInt32 frames, AudioBufferList* ioData)
{
    UInt32 done = 0;
    int idlePasses = 0;
    while (done < frames) {
        const UInt32 wanted = std::min(frames - done, kConverterBlockFrames);
        struct {
            long input_frames_used = 0;
            long output_frames_gen = 0;
        } data;
        if (!resample(mQueue.data(), long(mQueueFrames), mOutputBlock.data(), long(wanted), ratio,
                      &data.input_frames_used, &data.output_frames_gen))
            break;
        dropFromQueue(UInt32(data.input_frames_used));
        if (data.output_frames_gen > 0) {
            LinearPCMFromInterleavedFloat(outputFormat(0), mOutputBlock.data(), UInt32(data.output_frames_gen), ioData,
                                          done);
            done += UInt32(data.output_frames_gen);
            idlePasses = 0;
        }
        if (done == frames)
            return noErr;
        if (UInt32(data.output_frames_gen) < wanted) {
            // The resampler wants more input: enough for the rest of the slice, and a little
            // more for its look-ahead.
            const UInt32 needed = UInt32(std::ceil(Float64(frames - done) / ratio)) + 8;
            const UInt32 request = needed > mQueueFrames ? needed - mQueueFrames : 16;
            if (const OSStatus status = pullIntoQueue(ioActionFlags, std::max<UInt32>(request, 16))) {
                mQueueFrames = 0;
                silence(ioData, done, frames);
                return status;
            }
            if (data.output_frames_gen == 0 && ++idlePasses > kMaxIdlePasses)
                break;
        }
    }
    // The resampler failed or stalled: the rest of the slice is silence.
    silence(ioData, done, frames);
    return noErr;
}
