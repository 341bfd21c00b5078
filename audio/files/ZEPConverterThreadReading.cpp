// The conversion thread as the data source of its encoders and its decoder: one fill of an
// encoder with the write of its packets, the reads that feed each encoder (the limbo ring
// of an encoder swap, the duration limit, the down-mixer, the graph or the source itself,
// a secondary encoder's lag) and the down-mixer's input.
#include "audio/files/ZEPConverterThread.h"

#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPAudioRingBuffer.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriting.h"
#include "platform/audiounits/AudioUnit.h"

#include <algorithm>
#include <cstring>

namespace {

// The most frames one read takes in real time.
constexpr UInt32 kRealTimeReadFrames = 1024;

void setByteSizes(AudioBufferList* list, UInt32 bytes)
{
    for (UInt32 b = 0; b < list->mNumberBuffers; ++b)
        list->mBuffers[b].mDataByteSize = bytes;
}

} // namespace

void ZEPConverterThread::pointAt(AudioBufferList* list, const AudioBufferList* buffers, UInt32 frames)
{
    for (UInt32 b = 0; b < list->mNumberBuffers; ++b) {
        list->mBuffers[b].mData = buffers->mBuffers[std::min(b, buffers->mNumberBuffers - 1)].mData;
        list->mBuffers[b].mDataByteSize = frames * UInt32(sizeof(Float32));
    }
}

UInt32 ZEPConverterThread::maximumPacketSize(UInt32 encoderIndex) const
{
    UInt32 size = mOutputASBDs[encoderIndex].mBytesPerPacket;
    if (size == 0)
        size = mEncoders[encoderIndex]->maxmimumOutputPacketSize();
    // A codec that names neither is taken one byte at a time: the fill then asks for as
    // many packets as the buffer has bytes and the codec stops where its buffer ends.
    return std::max<UInt32>(size, 1);
}

OSStatus ZEPConverterThread::fillWithWrite(UInt32 encoderIndex, UInt32* ioPackets, AudioBufferList* bufferList,
                                           AudioStreamPacketDescription* packetDescriptions,
                                           ZEPAudioFileWriting* writer, UInt32 track)
{
    ZEPAudioConverter& encoder = *mEncoders[encoderIndex];
    const bool isMain = encoderIndex == 0;
    const UInt32 maxPacketSize = maximumPacketSize(encoderIndex);
    const UInt32 bufferBytes = bufferList->mBuffers[0].mDataByteSize;
    const UInt32 byteLimit = mMaxEncodeAmount;

    UInt32 packets = std::min(kMaxPackets, bufferBytes / maxPacketSize);
    if (isMain && byteLimit != 0) {
        const UInt32 left = byteLimit > mNumBytesEncoded ? byteLimit - mNumBytesEncoded : 0;
        if (left < bufferBytes)
            packets = left / maxPacketSize;
    }
    if (encoder.outputIsExternallyFramed())
        packets = std::min(packets, kMaxPackets);
    packets = std::min(packets, *ioPackets);
    if (mOutputASBDs[encoderIndex].mBytesPerPacket != 0)
        packets = std::max<UInt32>(packets, 4);
    packets = packets < 4 ? 1 : packets & ~UInt32(3);

    mDoneConverting = false;
    OSStatus status = encoder.fillComplexBuffer(bufferList, packetDescriptions, &packets);
    const UInt32 bytes = bufferList->mBuffers[0].mDataByteSize;
    if (writer && packets > 0 && bytes > 0) {
        const OSStatus written = writer->writeBytes(bufferList->mBuffers[0].mData, bytes, packets,
                                                    encoder.outputIsExternallyFramed() ? packetDescriptions : nullptr,
                                                    track);
        if (written != noErr)
            status = written;
        else if (isMain)
            mNumBytesEncoded += bytes;
    }
    if (isMain && byteLimit != 0 && mNumBytesEncoded > byteLimit)
        mEncodersRunning[0] = 0;

    *ioPackets = packets;
    if ((packets > 0 || bytes > 0 || status != noErr) &&
        (status == noErr || status == kZEPAudioSourceNoDataYet))
        return status;
    // Nothing came back, or a failure: this encoder is done.
    mEncodersRunning[encoderIndex] = 0;
    if (!mConvertUntilStopped)
        mStopWhenEncodersAreDone = true;
    return status;
}

OSStatus ZEPConverterThread::converter(ZEPAudioConverter* converter, UInt32* readPackets, AudioBufferList* bufferList,
                                       AudioStreamPacketDescription** packetDescriptions)
{
    if (converter && converter == mDecoder.get())
        return readForDecoder(readPackets, bufferList, packetDescriptions);
    for (UInt32 i = 0; i < mEncoders.size(); ++i) {
        if (mEncoders[i].get() == converter)
            return readForEncoder(i, readPackets, bufferList);
    }
    *readPackets = 0;
    if (bufferList && bufferList->mNumberBuffers > 0)
        bufferList->mBuffers[0].mDataByteSize = 0;
    return noErr;
}

OSStatus ZEPConverterThread::readForDecoder(UInt32* ioPackets, AudioBufferList* bufferList,
                                            AudioStreamPacketDescription** packetDescriptions)
{
    AudioBuffer& input = mDecoderInputBufferList->mBuffers[0];
    const UInt32 inputSize = kDecoderInputBufferSize;
    input.mDataByteSize = inputSize;
    UInt32 count = *ioPackets;
    if (!mLivePreviewDelegate)
        count = std::min(inputSize / maximumPacketSize(0), inputSize / 8);
    AudioStreamPacketDescription* descriptions = nullptr;
    if (mMainEncoder->outputIsExternallyFramed()) {
        descriptions = mOutputPacketDescriptions.data();
        count = std::min(count, kMaxPackets);
        if (packetDescriptions)
            *packetDescriptions = descriptions;
    }
    ZEPAudioFileWriting* writer = mFileWriters.empty() ? nullptr : mFileWriters.front().get();
    const OSStatus status = fillWithWrite(0, &count, mDecoderInputBufferList, descriptions, writer, 0);
    if (status == noErr || status == kZEPAudioSourceNoDataYet) {
        mEncoderOutputPackets += count;
        mDecoderInputPackets += count;
    }
    if (bufferList && bufferList->mNumberBuffers > 0) {
        bufferList->mBuffers[0].mData = input.mData;
        bufferList->mBuffers[0].mDataByteSize = input.mDataByteSize;
    }
    *ioPackets = count;
    return status;
}

OSStatus ZEPConverterThread::readForEncoder(UInt32 index, UInt32* ioPackets, AudioBufferList* bufferList)
{
    const bool isMain = index == 0;
    UInt32 count = std::min(*ioPackets, mConverterInputBufferSize / UInt32(sizeof(Float32)));
    OSStatus status = noErr;
    bool fromLimbo = false;
    pointAt(bufferList, mConverterInputBufferList, count);

    if (isMain && mIsSwitching && !mNeedsDownMixing && mLimboRingBuffer->amountFrames() > 0) {
        // The frames the old encoder never handed out go to the new one first.
        count = std::min(count, mLimboRingBuffer->amountFrames());
        setByteSizes(bufferList, count * UInt32(sizeof(Float32)));
        mLimboRingBuffer->readFrames(&count, bufferList);
        mDidPullFromLimbo = true;
        fromLimbo = true;
    } else if (index >= mAudioSources.size() || !mAudioSources[index]) {
        count = 0;
        mDoneConverting = true;
    } else {
        ZEPAudioSource* source = mAudioSources[index];
        if (source->isFlushing())
            count = UInt32(std::clamp<SInt64>(source->framesAvailable(), 0, count));
        if (!isMain) {
            const SInt64 lag = lagOfEncoder(index);
            if (lag > 0) {
                count = UInt32(std::min<SInt64>(count, lag));
                status = readSource(index, &count, bufferList);
            } else if (!mEncodersRunning[0]) {
                count = 0;
                mDoneConverting = true;
            } else {
                count = 0;
                status = kZEPAudioSourceNoDataYet;
            }
        } else {
            const Float64 durationLimit = mMaxEncodeDuration;
            if (durationLimit > 0) {
                const Float64 left = durationLimit - mMaxEncodeDurationTimeStamp.mSampleTime;
                count = left > 0 ? UInt32(std::min<Float64>(count, left)) : 0;
                if (count == 0)
                    mDoneConverting = true;
            }
            if (mDoneConverting) {
                count = 0;
            } else if (mSourceEnded[0]) {
                count = 0;
                mDoneConverting = true;
            } else if (mNeedsDownMixing) {
                if (mRealTime)
                    count = std::min(count, kRealTimeReadFrames);
                setByteSizes(bufferList, count * UInt32(sizeof(Float32)));
                AudioUnitRenderActionFlags flags = 0;
                mDownMixerFrames = 0;
                mDownMixerInputStatus = noErr;
                status = mDownMixerMatrixMixer->render(&flags, &mDownMixerTimeStamp, 0, count, bufferList);
                if (status == noErr && mDownMixerInputStatus == kZEPAudioSourceNoDataYet) {
                    count = 0;
                    status = kZEPAudioSourceNoDataYet;
                } else if (status == noErr) {
                    mDownMixerTimeStamp.mSampleTime += count;
                    if (mSourceEnded[0])
                        count = std::min(count, mDownMixerFrames);
                    if (count == 0)
                        mDoneConverting = true;
                    advance(0, count);
                }
            } else if (!mBypassGraph) {
                if (mRealTime)
                    count = std::min(count, kRealTimeReadFrames);
                setByteSizes(bufferList, count * UInt32(sizeof(Float32)));
                AudioUnitRenderActionFlags flags = 0;
                status = settle(0, mMainGraph->renderFrames(&count, bufferList, &flags, &mTimeStamps[0], this), &count,
                                bufferList);
                if (count == 0 && mSourceEnded[0])
                    mDoneConverting = true;
                advance(0, count);
            } else {
                status = readSource(0, &count, bufferList);
            }
        }
    }

    if (isMain) {
        mEncoderInputFramesCount += count;
        if (mIsSwitching) {
            if (!fromLimbo) {
                mSwitchExtraInputFrames += count;
                if (count == 0 && status == noErr && !mDoneConverting)
                    status = kZEPAudioSourceNoDataYet;
            }
        } else if (mLivePreviewDelegate && !mNeedsDownMixing && count > 0) {
            mLimboRingBuffer->writeFrames(count, bufferList);
        }
    }

    if (!mDoneConverting && (status == noErr || status == kZEPAudioSourceNoDataYet)) {
        setByteSizes(bufferList, count * UInt32(sizeof(Float32)));
        *ioPackets = count;
        return status;
    }
    // The end of this encoder's input: its converter drains what it holds.
    setByteSizes(bufferList, 0);
    *ioPackets = 0;
    mDoneConverting = true;
    return noErr;
}

OSStatus ZEPConverterThread::readSource(UInt32 index, UInt32* ioFrames, AudioBufferList* bufferList)
{
    ZEPAudioSource* source = mAudioSources[index];
    UInt32 count = *ioFrames;
    if (index == 0 && mRealTime)
        count = std::min(count, kRealTimeReadFrames);
    const SInt64 available = source->framesAvailable();
    if (available != -1)
        count = UInt32(std::clamp<SInt64>(available, 0, count));
    if (count == 0 || mSourceEnded[index]) {
        mSourceEnded[index] = 1;
        mDoneConverting = true;
        *ioFrames = 0;
        return noErr;
    }
    setByteSizes(bufferList, count * UInt32(sizeof(Float32)));
    AudioUnitRenderActionFlags flags = 0;
    const OSStatus status = settle(index, source->renderFrames(&count, bufferList, &flags, &mTimeStamps[index], this),
                                   &count, bufferList);
    if (count == 0 && mSourceEnded[index])
        mDoneConverting = true;
    advance(index, count);
    *ioFrames = count;
    return status;
}

OSStatus ZEPConverterThread::settle(UInt32 index, OSStatus status, UInt32* count, const AudioBufferList* bufferList)
{
    if (bufferList->mNumberBuffers > 0 && bufferList->mBuffers[0].mDataByteSize == 0)
        *count = 0;
    const bool ended = status == kZEPAudioSourceEndOfData || (status == noErr && *count == 0) ||
                       (status != noErr && status != kZEPAudioSourceNoDataYet);
    if (!ended)
        return status;
    // The end of a source (or its failure) ends its encoder's input, and is no error of
    // the conversion. Frames that came with it are kept: the next read finds the end.
    mSourceEnded[index] = 1;
    return noErr;
}

void ZEPConverterThread::advance(UInt32 index, UInt32 frames)
{
    mTimeStamps[index].mSampleTime += frames;
    if (index == 0)
        mMaxEncodeDurationTimeStamp.mSampleTime += frames;
}

SInt64 ZEPConverterThread::lagOfEncoder(UInt32 index) const
{
    const Float64 mainRate = mInputASBDs[0].mSampleRate;
    const Float64 ratio = mainRate > 0 ? mInputASBDs[index].mSampleRate / mainRate : 1.0;
    return SInt64(mTimeStamps[0].mSampleTime * ratio - mTimeStamps[index].mSampleTime);
}

OSStatus ZEPConverterThread::inputMixerCallback(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                                UInt32, UInt32 numFrames, AudioBufferList* ioData)
{
    const UInt32 buffers = std::min<UInt32>(ioData->mNumberBuffers, 4);
    AudioBufferList* rest = mTempInputBufferList;
    auto pointRestAt = [&](UInt32 filled) {
        rest->mNumberBuffers = buffers;
        for (UInt32 b = 0; b < buffers; ++b) {
            rest->mBuffers[b].mNumberChannels = 1;
            rest->mBuffers[b].mData = static_cast<Float32*>(ioData->mBuffers[b].mData) + filled;
            rest->mBuffers[b].mDataByteSize = (numFrames - filled) * UInt32(sizeof(Float32));
        }
    };

    UInt32 filled = 0;
    if (mIsSwitching && mLimboRingBuffer->amountFrames() > 0) {
        UInt32 frames = std::min(numFrames, mLimboRingBuffer->amountFrames());
        pointRestAt(0);
        mLimboRingBuffer->readFrames(&frames, rest);
        filled = frames;
        mDidPullFromLimbo = true;
    }
    OSStatus status = noErr;
    while (filled < numFrames && !mSourceEnded[0]) {
        pointRestAt(filled);
        UInt32 frames = numFrames - filled;
        AudioTimeStamp time = *timeStamp;
        time.mSampleTime += filled;
        OSStatus rendered = mBypassGraph ? mAudioSources[0]->renderFrames(&frames, rest, flags, &time, this)
                                         : mMainGraph->renderFrames(&frames, rest, flags, &time, this);
        frames = std::min(frames, numFrames - filled);
        if (rendered == kZEPAudioSourceNoDataYet && frames == 0) {
            status = rendered;
            break;
        }
        rendered = settle(0, rendered, &frames, rest);
        if (frames > 0 && !mIsSwitching && mLivePreviewDelegate) {
            pointRestAt(filled);
            mLimboRingBuffer->writeFrames(frames, rest);
        }
        filled += frames;
    }
    // The mixer mixes whole slices: what the source did not give is silence, and the read
    // keeps only the frames given before the end.
    mDownMixerFrames = filled;
    for (UInt32 b = 0; b < buffers; ++b) {
        std::memset(static_cast<Float32*>(ioData->mBuffers[b].mData) + filled, 0,
                    (numFrames - filled) * sizeof(Float32));
        ioData->mBuffers[b].mDataByteSize = numFrames * UInt32(sizeof(Float32));
    }
    // Nothing yet: the read answers "no data yet" rather than the mixer's silence.
    mDownMixerInputStatus = status == kZEPAudioSourceNoDataYet && filled == 0 ? status : noErr;
    return noErr;
}
