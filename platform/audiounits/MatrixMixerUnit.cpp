#include "platform/audiounits/MatrixMixerUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

// Mean squares below this are silence (keeps the smoothing out of denormals).
constexpr Float64 kSilentMeanSquare = 1e-20;

template <typename T>
std::unique_ptr<std::atomic<T>[]> makeAtomics(UInt32 count, T value)
{
    auto values = std::make_unique<std::atomic<T>[]>(count);
    for (UInt32 i = 0; i < count; ++i)
        values[i].store(value, kRelaxed);
    return values;
}

AudioUnitParameterValue decibels(Float64 linear, Float64 scale)
{
    if (!(linear > 0))
        return kMatrixMixerMeterFloorDecibels;
    return std::max(kMatrixMixerMeterFloorDecibels, AudioUnitParameterValue(scale * std::log10(linear)));
}

bool isMeterParameter(AudioUnitParameterID id)
{
    return id == kMatrixMixerParam_PostAveragePower || id == kMatrixMixerParam_PostPeakHoldLevel ||
           id == kMatrixMixerParam_PostAveragePowerLinear || id == kMatrixMixerParam_PostPeakHoldLevelLinear;
}

} // namespace

MatrixMixerUnit::MatrixMixerUnit()
    : AudioUnit(AudioComponentDescription{kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer,
                                          kAudioUnitManufacturer_System, 0, 0},
                1, 1)
{
    elementCountDidChange(kAudioUnitScope_Input, 1);
    elementCountDidChange(kAudioUnitScope_Output, 1);
}

MatrixMixerUnit::~MatrixMixerUnit() = default;

bool MatrixMixerUnit::canChangeElementCount(AudioUnitScope) const { return true; }

void MatrixMixerUnit::elementCountDidChange(AudioUnitScope scope, UInt32 count)
{
    if (scope == kAudioUnitScope_Input)
        mInputEnables = makeAtomics(count, true);
    else
        mOutputEnables = makeAtomics(count, true);
}

OSStatus MatrixMixerUnit::validateStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                               const AudioStreamBasicDescription& format) const
{
    if (const OSStatus status = AudioUnit::validateStreamFormat(scope, element, format))
        return status;
    const AudioFormatFlags required = kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved;
    if ((format.mFormatFlags & required) != required || format.mBitsPerChannel != 32 ||
        (format.mFormatFlags & kAudioFormatFlagIsBigEndian))
        return kAudioUnitErr_FormatNotSupported;
    return noErr;
}

UInt32 MatrixMixerUnit::channelCount(AudioUnitScope scope) const
{
    return scope == kAudioUnitScope_Input ? mInputChannels : scope == kAudioUnitScope_Output ? mOutputChannels : 0;
}

OSStatus MatrixMixerUnit::initializeUnit()
{
    const UInt32 inputBuses = elementCount(kAudioUnitScope_Input);
    const UInt32 outputBuses = elementCount(kAudioUnitScope_Output);
    UInt32 inputs = 0;
    mInputBusFirstChannel.assign(inputBuses, 0);
    for (UInt32 b = 0; b < inputBuses; ++b) {
        mInputBusFirstChannel[b] = inputs;
        inputs += inputFormat(b).mChannelsPerFrame;
    }
    UInt32 outputs = 0;
    mOutputBusFirstChannel.assign(outputBuses, 0);
    for (UInt32 b = 0; b < outputBuses; ++b) {
        mOutputBusFirstChannel[b] = outputs;
        outputs += outputFormat(b).mChannelsPerFrame;
    }
    if (!mCrosspoints || inputs != mInputChannels || outputs != mOutputChannels) {
        mCrosspoints = makeAtomics(inputs * outputs, 0.0f);
        mInputVolumes = makeAtomics(inputs, 0.0f);
        mOutputVolumes = makeAtomics(outputs, 0.0f);
        mInputMeters = std::make_unique<Meter[]>(inputs);
        mOutputMeters = std::make_unique<Meter[]>(outputs);
        mInputChannels = inputs;
        mOutputChannels = outputs;
    }
    mSampleRate = outputBuses > 0 ? outputFormat(0).mSampleRate : 44100.0;
    UInt32 widestInput = 0;
    for (UInt32 b = 0; b < inputBuses; ++b)
        widestInput = std::max(widestInput, inputFormat(b).mChannelsPerFrame);
    mInputSamples.assign(size_t(widestInput) * maxFramesPerSlice(), 0.0f);
    mOutputSamples.assign(size_t(outputs) * maxFramesPerSlice(), 0.0f);
    mBallisticsFrames = 0;
    resetState();
    return noErr;
}

void MatrixMixerUnit::resetState()
{
    mMixIsCached = false;
    for (UInt32 c = 0; mInputMeters && c < mInputChannels; ++c)
        mInputMeters[c].meanSquare = 0, mInputMeters[c].peak = 0, mInputMeters[c].holdFramesLeft = 0;
    for (UInt32 c = 0; mOutputMeters && c < mOutputChannels; ++c)
        mOutputMeters[c].meanSquare = 0, mOutputMeters[c].peak = 0, mOutputMeters[c].holdFramesLeft = 0;
}

std::atomic<Float32>* MatrixMixerUnit::volumeFor(AudioUnitScope scope, AudioUnitElement element) const
{
    if (scope == kAudioUnitScope_Input)
        return element < mInputChannels ? &mInputVolumes[element] : nullptr;
    if (scope == kAudioUnitScope_Output)
        return element < mOutputChannels ? &mOutputVolumes[element] : nullptr;
    if (scope != kAudioUnitScope_Global)
        return nullptr;
    const UInt32 in = element >> 16;
    const UInt32 out = element & 0xFFFF;
    if (in == 0xFFFF && out == 0xFFFF)
        return &mMasterVolume;
    if (in == 0xFFFF)
        return out < mOutputChannels ? &mOutputVolumes[out] : nullptr;
    if (out == 0xFFFF)
        return in < mInputChannels ? &mInputVolumes[in] : nullptr;
    if (in < mInputChannels && out < mOutputChannels)
        return &mCrosspoints[in * mOutputChannels + out];
    return nullptr;
}

const MatrixMixerUnit::Meter* MatrixMixerUnit::meterFor(AudioUnitScope scope, AudioUnitElement element) const
{
    if (scope == kAudioUnitScope_Input && element < mInputChannels)
        return &mInputMeters[element];
    if (scope == kAudioUnitScope_Output && element < mOutputChannels)
        return &mOutputMeters[element];
    return nullptr;
}

OSStatus MatrixMixerUnit::getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                       AudioUnitParameterValue* outValue) const
{
    if (!outValue)
        return kAudio_ParamError;
    if (id == kMatrixMixerParam_Enable) {
        if (scope == kAudioUnitScope_Input && element < elementCount(scope))
            *outValue = mInputEnables[element].load(kRelaxed) ? 1.0f : 0.0f;
        else if (scope == kAudioUnitScope_Output && element < elementCount(scope))
            *outValue = mOutputEnables[element].load(kRelaxed) ? 1.0f : 0.0f;
        else
            return kAudioUnitErr_InvalidElement;
        return noErr;
    }
    if (id != kMatrixMixerParam_Volume && !isMeterParameter(id))
        return kAudioUnitErr_InvalidParameter;
    if (!mCrosspoints)
        return kAudioUnitErr_Uninitialized;
    if (id == kMatrixMixerParam_Volume) {
        const std::atomic<Float32>* volume = volumeFor(scope, element);
        if (!volume)
            return kAudioUnitErr_InvalidElement;
        *outValue = volume->load(kRelaxed);
        return noErr;
    }
    const Meter* meter = meterFor(scope, element);
    if (!meter)
        return kAudioUnitErr_InvalidElement;
    const bool metering = mMetering.load(kRelaxed);
    const Float64 meanSquare = metering ? meter->publishedMeanSquare.load(kRelaxed) : 0.0;
    const Float64 peak = metering ? meter->publishedPeak.load(kRelaxed) : 0.0;
    switch (id) {
    case kMatrixMixerParam_PostAveragePower:
        *outValue = decibels(meanSquare, 10.0);
        break;
    case kMatrixMixerParam_PostPeakHoldLevel:
        *outValue = decibels(peak, 20.0);
        break;
    case kMatrixMixerParam_PostAveragePowerLinear:
        *outValue = AudioUnitParameterValue(meanSquare);
        break;
    default:
        *outValue = AudioUnitParameterValue(peak);
        break;
    }
    return noErr;
}

OSStatus MatrixMixerUnit::setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                       AudioUnitParameterValue value)
{
    if (!std::isfinite(value))
        return kAudioUnitErr_InvalidPropertyValue;
    if (id == kMatrixMixerParam_Enable) {
        if (scope == kAudioUnitScope_Input && element < elementCount(scope))
            mInputEnables[element].store(value != 0.0f, kRelaxed);
        else if (scope == kAudioUnitScope_Output && element < elementCount(scope))
            mOutputEnables[element].store(value != 0.0f, kRelaxed);
        else
            return kAudioUnitErr_InvalidElement;
        return noErr;
    }
    if (isMeterParameter(id))
        return kAudioUnitErr_PropertyNotWritable;
    if (id != kMatrixMixerParam_Volume)
        return kAudioUnitErr_InvalidParameter;
    if (!mCrosspoints)
        return kAudioUnitErr_Uninitialized;
    std::atomic<Float32>* volume = volumeFor(scope, element);
    if (!volume)
        return kAudioUnitErr_InvalidElement;
    volume->store(value, kRelaxed);
    return noErr;
}

std::vector<AudioUnitParameterID> MatrixMixerUnit::parameterList(AudioUnitScope scope) const
{
    if (scope == kAudioUnitScope_Global)
        return {kMatrixMixerParam_Volume};
    if (scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Output)
        return {kMatrixMixerParam_Volume, kMatrixMixerParam_Enable, kMatrixMixerParam_PostAveragePower,
                kMatrixMixerParam_PostPeakHoldLevel};
    return {};
}

OSStatus MatrixMixerUnit::getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                      void* outData, UInt32* ioDataSize) const
{
    if (id != kAudioUnitProperty_MeteringMode)
        return AudioUnit::getProperty(id, scope, element, outData, ioDataSize);
    if (scope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidScope;
    return answerProperty(UInt32(mMetering.load() ? 1 : 0), outData, ioDataSize);
}

OSStatus MatrixMixerUnit::setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                      const void* data, UInt32 dataSize)
{
    if (id != kAudioUnitProperty_MeteringMode)
        return AudioUnit::setProperty(id, scope, element, data, dataSize);
    if (scope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidScope;
    UInt32 mode = 0;
    if (!takeProperty(mode, data, dataSize))
        return kAudioUnitErr_InvalidPropertyValue;
    if (mode != 0 && !mMetering.exchange(true))
        mMetersNeedReset.store(true);
    if (mode == 0)
        mMetering.store(false);
    return noErr;
}

OSStatus MatrixMixerUnit::renderBus(AudioUnitRenderActionFlags&, const AudioTimeStamp& timeStamp, UInt32 outputBus,
                                    UInt32 frames, AudioBufferList* ioData)
{
    const bool timed = timeStamp.mFlags & kAudioTimeStampSampleTimeValid;
    if (!(mMixIsCached && timed && timeStamp.mSampleTime == mCachedSampleTime && frames == mCachedFrames)) {
        mix(timeStamp, frames);
        mMixIsCached = timed;
        mCachedSampleTime = timeStamp.mSampleTime;
        mCachedFrames = frames;
    }
    const UInt32 first = mOutputBusFirstChannel[outputBus];
    const UInt32 channels = std::min(outputFormat(outputBus).mChannelsPerFrame, ioData->mNumberBuffers);
    const size_t stride = maxFramesPerSlice();
    for (UInt32 c = 0; c < channels; ++c) {
        AudioBuffer& buffer = ioData->mBuffers[c];
        if (buffer.mData)
            std::memcpy(buffer.mData, mOutputSamples.data() + (first + c) * stride, size_t(frames) * sizeof(Float32));
        buffer.mDataByteSize = frames * UInt32(sizeof(Float32));
    }
    return noErr;
}

void MatrixMixerUnit::mix(const AudioTimeStamp& timeStamp, UInt32 frames)
{
    const size_t stride = maxFramesPerSlice();
    const bool metering = mMetering.load(kRelaxed);
    if (metering) {
        if (mMetersNeedReset.exchange(false))
            resetState();
        updateBallistics(frames);
    }
    // Only the frames of this slice: the scratch holds the largest slice there can be.
    for (UInt32 out = 0; out < mOutputChannels; ++out)
        std::fill_n(mOutputSamples.data() + out * stride, frames, 0.0f);

    const UInt32 inputBuses = elementCount(kAudioUnitScope_Input);
    for (UInt32 bus = 0; bus < inputBuses; ++bus) {
        const UInt32 first = mInputBusFirstChannel[bus];
        const UInt32 channels = inputFormat(bus).mChannelsPerFrame;
        const bool live = mInputEnables[bus].load(kRelaxed) && hasInput(bus);
        StackAudioBufferList<64> list;
        list.mNumberBuffers = std::min<UInt32>(channels, 64);
        for (UInt32 c = 0; c < list.mNumberBuffers; ++c) {
            Float32* samples = mInputSamples.data() + c * stride;
            list.mBuffers[c] = AudioBuffer{1, frames * UInt32(sizeof(Float32)), samples};
        }
        AudioUnitRenderActionFlags flags = 0;
        if (!live || pullInput(bus, flags, timeStamp, frames, list.list()) != noErr) {
            for (UInt32 c = 0; metering && c < channels; ++c)
                measure(mInputMeters[first + c], nullptr, frames, 0.0f);
            continue;
        }
        for (UInt32 c = 0; c < channels; ++c) {
            const UInt32 in = first + c;
            const Float32* samples = mInputSamples.data() + c * stride;
            const Float32 inputGain = mInputVolumes[in].load(kRelaxed);
            if (metering)
                measure(mInputMeters[in], samples, frames, inputGain);
            if (inputGain == 0.0f)
                continue;
            for (UInt32 out = 0; out < mOutputChannels; ++out) {
                const Float32 gain = inputGain * mCrosspoints[in * mOutputChannels + out].load(kRelaxed);
                if (gain == 0.0f)
                    continue;
                Float32* sum = mOutputSamples.data() + out * stride;
                if (gain == 1.0f) {
                    for (UInt32 i = 0; i < frames; ++i)
                        sum[i] += samples[i];
                } else {
                    for (UInt32 i = 0; i < frames; ++i)
                        sum[i] += gain * samples[i];
                }
            }
        }
    }

    const Float32 master = mMasterVolume.load(kRelaxed);
    const UInt32 outputBuses = elementCount(kAudioUnitScope_Output);
    for (UInt32 bus = 0; bus < outputBuses; ++bus) {
        const bool enabled = mOutputEnables[bus].load(kRelaxed);
        const UInt32 first = mOutputBusFirstChannel[bus];
        for (UInt32 c = 0; c < outputFormat(bus).mChannelsPerFrame; ++c) {
            const UInt32 out = first + c;
            Float32* samples = mOutputSamples.data() + out * stride;
            const Float32 gain = enabled ? mOutputVolumes[out].load(kRelaxed) * master : 0.0f;
            if (gain == 0.0f)
                std::fill_n(samples, frames, 0.0f);
            else if (gain != 1.0f)
                for (UInt32 i = 0; i < frames; ++i)
                    samples[i] *= gain;
            if (metering)
                measure(mOutputMeters[out], samples, frames, 1.0f);
        }
    }
}

void MatrixMixerUnit::updateBallistics(UInt32 frames)
{
    if (frames == mBallisticsFrames)
        return;
    mBallisticsFrames = frames;
    mAverageCoefficient = 1.0 - std::exp(-Float64(frames) / (kAveragePowerSeconds * mSampleRate));
    mPeakReleaseFactor =
        Float32(std::pow(10.0, -kPeakReleaseDecibelsPerSecond / 20.0 * Float64(frames) / mSampleRate));
    mPeakHoldFrames = UInt32(kPeakHoldSeconds * mSampleRate);
}

void MatrixMixerUnit::measure(Meter& meter, const Float32* samples, UInt32 frames, Float32 gain)
{
    Float64 sumOfSquares = 0;
    Float32 peak = 0;
    if (samples && gain != 0.0f && frames > 0) {
        Float32 sum = 0;
        for (UInt32 i = 0; i < frames; ++i) {
            sum += samples[i] * samples[i];
            peak = std::max(peak, std::fabs(samples[i]));
        }
        sumOfSquares = Float64(sum) * gain * gain;
        peak *= std::fabs(gain);
    }
    const Float64 sliceMeanSquare = frames > 0 ? sumOfSquares / frames : 0.0;
    meter.meanSquare += mAverageCoefficient * (sliceMeanSquare - meter.meanSquare);
    if (meter.meanSquare < kSilentMeanSquare)
        meter.meanSquare = 0;
    if (peak >= meter.peak) {
        meter.peak = peak;
        meter.holdFramesLeft = mPeakHoldFrames;
    } else if (meter.holdFramesLeft > frames) {
        meter.holdFramesLeft -= frames;
    } else {
        meter.holdFramesLeft = 0;
        meter.peak = std::max(peak, meter.peak * mPeakReleaseFactor);
        if (meter.peak < 1e-9f)
            meter.peak = 0;
    }
    meter.publishedMeanSquare.store(Float32(meter.meanSquare), kRelaxed);
    meter.publishedPeak.store(meter.peak, kRelaxed);
}
