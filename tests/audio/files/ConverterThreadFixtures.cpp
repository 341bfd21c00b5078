#include "ConverterThreadFixtures.h"

#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "support/TestSignals.h"

#include <algorithm>

namespace clipdeck::test {

OSStatus PatternSource::getAudioDescription(AudioStreamBasicDescription* description)
{
    *description = ZEPPlaybackFormat();
    return noErr;
}

long long PatternSource::remaining() const
{
    const long long delivered = mDelivered.load();
    long long left = mFrames < 0 ? (1LL << 40) : mFrames - delivered;
    const long long held = mHeld.load();
    if (held >= 0)
        left = std::min(left, held - delivered);
    return std::max(left, 0LL);
}

SInt64 PatternSource::framesAvailable()
{
    return mFlushing ? remaining() : -1;
}

OSStatus PatternSource::renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags*,
                                     const AudioTimeStamp* timeStamp, void*)
{
    const long long left = remaining();
    const UInt32 count = UInt32(std::min<long long>(*frames, left));
    if (onRender)
        onRender(*timeStamp, count);
    const long long first = mDelivered.load();
    auto* l = static_cast<float*>(ioData->mBuffers[0].mData);
    auto* r = static_cast<float*>(ioData->mBuffers[1].mData);
    for (UInt32 i = 0; i < count; ++i) {
        l[i] = patternSample(first + mOffset + i);
        r[i] = -l[i];
    }
    mDelivered += count;
    *frames = count;
    ioData->mBuffers[0].mDataByteSize = ioData->mBuffers[1].mDataByteSize = count * 4;
    if (count > 0)
        return noErr;
    const bool holding = mHeld >= 0 && !mFlushing && (mFrames < 0 || first < mFrames);
    return holding ? kZEPAudioSourceNoDataYet : kZEPAudioSourceEndOfData;
}

AudioStreamBasicDescription floatWaveFormat()
{
    AudioStreamBasicDescription format;
    format.mSampleRate = 44100;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked;
    format.mBytesPerPacket = format.mBytesPerFrame = 8;
    format.mFramesPerPacket = 1;
    format.mChannelsPerFrame = 2;
    format.mBitsPerChannel = 32;
    return format;
}

ZEPAudioConverterRef floatWaveEncoder()
{
    return ZEPAudioConverter::initWithInputDescription(ZEPPlaybackFormat(), floatWaveFormat(), 0, 0);
}

ZEPAudioFileWriterRef floatWaveWriter(const QString& path)
{
    return ZEPAudioFileWriter::initWithPath(path, kAudioFileWAVEType, floatWaveFormat());
}

std::vector<float> patternLeft(long long first, long long count)
{
    std::vector<float> samples;
    for (long long k = first; k < first + count; ++k)
        samples.push_back(patternSample(k));
    return samples;
}

ZEPAudioFileWriterList RecordingThreadDelegate::nextAudioFilesForConverters(const ZEPAudioConverterList&,
                                                                            const ZEPAudioFileWriterList&)
{
    if (whileMakingFiles)
        whileMakingFiles(thread);
    const ZEPAudioFileWriterRef writer = floatWaveWriter(mBase + QString::number(requests++) + ".wav");
    return writer ? ZEPAudioFileWriterList{writer} : ZEPAudioFileWriterList{};
}

void RecordingThreadDelegate::addFileWriters(const ZEPAudioFileWriterList& writers)
{
    for (const ZEPAudioFileWriterRef& writer : writers)
        addedPaths.append(writer->file()->path());
}

void RecordingThreadDelegate::converterFinished(ZEPConverterThread* converterThread)
{
    ++finishedCalls;
    finishedError = converterThread->conversionError();
}

void RecordingPreview::writePreviewBufferList(const AudioBufferList* bufferList, UInt32 numPackets)
{
    const auto* l = static_cast<const float*>(bufferList->mBuffers[0].mData);
    const auto* r = static_cast<const float*>(bufferList->mBuffers[1].mData);
    left.insert(left.end(), l, l + numPackets);
    right.insert(right.end(), r, r + numPackets);
    frames += numPackets;
}

void RecordingPreview::beginSwitch(SInt64 inFlight)
{
    begins.push_back(inFlight);
}

void RecordingPreview::finishSwitch(SInt64 frames)
{
    finishes.push_back(frames);
}

} // namespace clipdeck::test
