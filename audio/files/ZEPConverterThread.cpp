// The conversion thread: creation, the decoder and down-mixer, control from the main
// thread, settings, the writer lookups and the end on the main thread. The thread's cycles
// are in ZEPConverterThreadLoop.cpp, the encoders' input in ZEPConverterThreadReading.cpp.
#include "audio/files/ZEPConverterThread.h"

#include "audio/engine/CAPThread.h"
#include "audio/engine/ZEPAudioBufferList.h"
#include "audio/engine/ZEPAudioGraph.h"
#include "audio/engine/ZEPAudioRingBuffer.h"
#include "audio/engine/ZEPAudioUnitUtils.h"
#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPAudioFileWriting.h"
#include "audio/files/ZEPCoreAudioConverter.h"
#include "platform/audiounits/AudioComponentRegistry.h"

#include <algorithm>

namespace {

constexpr OSStatus kNoEncoderError = OSStatus(FourCC("!Enc"));
constexpr OSStatus kNoDecoderError = OSStatus(FourCC("!Dec"));
// Seconds of decoded audio the limbo ring holds.
constexpr Float64 kLimboSeconds = 3.0;

const AudioComponentDescription kMatrixMixer{kAudioUnitType_Mixer, kAudioUnitSubType_MatrixMixer,
                                             kAudioUnitManufacturer_System, 0, 0};

AudioTimeStamp sampleTimeStamp()
{
    AudioTimeStamp timeStamp;
    timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    return timeStamp;
}

OSStatus downMixerInput(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                        UInt32 bus, UInt32 frames, AudioBufferList* ioData)
{
    return static_cast<ZEPConverterThread*>(refCon)->inputMixerCallback(flags, timeStamp, bus, frames, ioData);
}

} // namespace

std::unique_ptr<ZEPConverterThread> ZEPConverterThread::initWithEncoders(const ZEPAudioConverterList& encoders,
                                                                         const ZEPAudioFileWriterList& fileWriters,
                                                                         const ZEPAudioSourceList& audioSources,
                                                                         bool writeToFile, OSStatus* outStatus)
{
    std::unique_ptr<ZEPConverterThread> thread(new ZEPConverterThread(encoders, fileWriters, audioSources, writeToFile));
    const OSStatus status = thread->init();
    if (outStatus)
        *outStatus = status;
    return status == noErr ? std::move(thread) : nullptr;
}

ZEPConverterThread::ZEPConverterThread(const ZEPAudioConverterList& encoders, const ZEPAudioFileWriterList& fileWriters,
                                       const ZEPAudioSourceList& audioSources, bool writeToFile)
    : mEncoders(encoders), mFileWriters(fileWriters), mWriteToFile(writeToFile), mAudioSources(audioSources),
      mDownMixerTimeStamp(sampleTimeStamp()), mMaxEncodeDurationTimeStamp(sampleTimeStamp()),
      mAlive(std::make_shared<bool>(true))
{
}

OSStatus ZEPConverterThread::init()
{
    if (mEncoders.empty() || !mEncoders.front())
        return kNoEncoderError;
    mMainEncoder = mEncoders.front();
    mRealTime = true;

    if (mAudioSources.empty() || !mAudioSources.front())
        return kAudio_ParamError;
    AudioStreamBasicDescription source;
    if (const OSStatus status = mAudioSources.front()->getAudioDescription(&source))
        return status;
    if (const OSStatus status = setupDecoder())
        return status;

    const size_t count = std::max(mEncoders.size(), mAudioSources.size());
    mTimeStamps.assign(count, sampleTimeStamp());
    mInputASBDs.assign(count, AudioStreamBasicDescription());
    mOutputASBDs.assign(count, AudioStreamBasicDescription());
    mEncodersRunning.assign(mEncoders.size(), 0);
    mSourceEnded.assign(count, 0);
    mOutputPacketDescriptions.resize(kMaxPackets);
    mDecoderInputBufferList = ZEPCreateAudioBufferList(1, kDecoderInputBufferSize);
    if (!mDecoderInputBufferList || !mDecoderInputBufferList->mBuffers[0].mData)
        return kAudio_MemFullError;
    mDecoderInputBufferList->mBuffers[0].mNumberChannels = 2;

    OSStatus status = noErr;
    mMainGraph = ZEPAudioGraph::create(&status);
    if (!mMainGraph)
        return status;
    mMainGraph->setInputSource(mAudioSources.front());
    mBypassGraph = false;

    AudioStreamBasicDescription decoded;
    AudioStreamBasicDescription encoderInput;
    mMainEncoder->getInputDescription(&encoderInput);
    ZEPCanonicalFloatASBD(&decoded, 2, true);
    decoded.mSampleRate = encoderInput.mSampleRate > 0 ? encoderInput.mSampleRate : kZEPPlaybackSampleRate;
    try {
        mLimboRingBuffer =
            std::make_unique<ZEPAudioRingBuffer>(decoded, UInt32(decoded.mSampleRate * kLimboSeconds));
    } catch (const std::bad_alloc&) {
        return kAudio_MemFullError;
    }
    mTempInputBufferList = ZEPCreateEmptyAudioBufferList(4);
    if (!mTempInputBufferList)
        return kAudio_MemFullError;

    pauseConversion();
    mThreadPriority = 0.1f;
    return noErr;
}

OSStatus ZEPConverterThread::setupDecoder()
{
    AudioStreamBasicDescription source, encoderInput, encoderOutput;
    if (const OSStatus status = mAudioSources.front()->getAudioDescription(&source))
        return status;
    if (const OSStatus status = mMainEncoder->getInputDescription(&encoderInput))
        return status;
    mNeedsDownMixing = source.mChannelsPerFrame > encoderInput.mChannelsPerFrame;

    ZEPAudioConverterRef decoder;
    if (mNeedsDownMixing) {
        if (const OSStatus status = mMainEncoder->getOutputDescription(&encoderOutput))
            return status;
        AudioStreamBasicDescription decoded;
        ZEPCanonicalFloatASBD(&decoded, 2, true);
        decoded.mSampleRate = encoderInput.mSampleRate;
        decoder = ZEPCoreAudioConverter::initWithInputDescription(encoderOutput, decoded, 0, 0);
        if (!decoder)
            return kNoDecoderError;
        QByteArray cookie;
        if (mMainEncoder->getCompressionMagicCookie(&cookie) == noErr && !cookie.isEmpty()) {
            if (const OSStatus status = decoder->setDecompressionCookie(cookie.constData(), UInt32(cookie.size())))
                return status;
        }
        if (const OSStatus status = setupDownMixer())
            return status;
    } else {
        // A codec that cannot decode what it encodes leaves the conversion without a
        // decoder: it converts, but cannot be previewed live.
        decoder = mMainEncoder->inverseConverter();
    }
    if (decoder) {
        if (const OSStatus status = decoder->getReadyToEncode())
            return status;
    }
    setDecoder(decoder);
    return noErr;
}

OSStatus ZEPConverterThread::setupDownMixer()
{
    OSStatus status = noErr;
    if (!mDownMixerMatrixMixer) {
        mDownMixerMatrixMixer = AudioComponentRegistry::instantiate(kMatrixMixer, &status);
        if (!mDownMixerMatrixMixer)
            return kZEPNoMatrixMixerError;
        if ((status = ZEPAudioUnitUtils::setUpMatrixMixer(mDownMixerMatrixMixer.get(), 1, 1)))
            return status;
    }
    if (mDownMixerSetup)
        mDownMixerMatrixMixer->uninitialize();
    AudioStreamBasicDescription source, encoderInput;
    if ((status = mAudioSources.front()->getAudioDescription(&source)) ||
        (status = mMainEncoder->getInputDescription(&encoderInput)))
        return status;
    AudioStreamBasicDescription format;
    ZEPCanonicalFloatASBD(&format, source.mChannelsPerFrame, true);
    if ((status = mDownMixerMatrixMixer->setStreamFormat(kAudioUnitScope_Input, 0, format)))
        return status;
    ZEPCanonicalFloatASBD(&format, encoderInput.mChannelsPerFrame, true);
    if ((status = mDownMixerMatrixMixer->setStreamFormat(kAudioUnitScope_Output, 0, format)))
        return status;
    if ((status = mDownMixerMatrixMixer->initialize()))
        return status;
    if ((status = mDownMixerMatrixMixer->setRenderCallback(0, {&downMixerInput, this})))
        return status;
    if ((status = ZEPAudioUnitUtils::resetVolumesForMatrixMixer(mDownMixerMatrixMixer.get())))
        return status;
    mDownMixerTimeStamp = sampleTimeStamp();
    mDownMixerSetup = true;
    return noErr;
}

ZEPConverterThread::~ZEPConverterThread()
{
    if (mThread)
        stopConversion();
    *mAlive = false;
    if (mMainEncoder)
        mMainEncoder->setDataSource(nullptr);
    for (const ZEPAudioConverterRef& encoder : mEncoders) {
        if (encoder && encoder->dataSource() == this)
            encoder->setDataSource(nullptr);
    }
    if (mDecoder)
        mDecoder->setDataSource(nullptr);
    freeRunBuffers();
    ZEPDisposeAudioBufferList(mDecoderInputBufferList);
    ZEPFreeEmptyAudioBufferList(mTempInputBufferList);
    if (mDownMixerMatrixMixer)
        mDownMixerMatrixMixer->uninitialize();
}

void ZEPConverterThread::freeRunBuffers()
{
    ZEPDisposeAudioBufferList(mSourceInputBufferList);
    mSourceInputBufferList = nullptr;
    ZEPDisposeAudioBufferList(mLivePreviewInputBufferList);
    mLivePreviewInputBufferList = nullptr;
    ZEPDisposeAudioBufferList(mConverterInputBufferList);
    mConverterInputBufferList = nullptr;
}

// Control.

OSStatus ZEPConverterThread::start()
{
    if (const OSStatus status = mMainGraph->start())
        return status;
    if (!mThread) {
        // The run state is set here rather than on the thread, so that a finish or a stop
        // given before the thread gets going is not undone by it.
        mKeepConverting = true;
        mConversionFinished = false;
        mRunning = true;
        mThread = std::make_unique<CAPThread>(&ZEPConverterThreadEntry, this, CAPThread::kDefaultThreadPriority, false);
        mThread->Start();
    }
    return noErr;
}

void ZEPConverterThread::pauseConversion()
{
    CAMutexLocker cycle(mConversionLock);
    mPaused = true;
}

void ZEPConverterThread::resumeConversion()
{
    CAMutexLocker cycle(mConversionLock);
    if (!mPaused)
        return;
    mPaused = false;
    mConversionLock.NotifyAll();
}

void ZEPConverterThread::finishConversion()
{
    mKeepConverting = false;
    mStopWhenEncodersAreDone = true;
    mMaxEncodeAmount = 0;
    mMaxEncodeDuration = 0;
    resumeConversion();
    for (ZEPAudioSource* source : mAudioSources) {
        if (source)
            source->flush();
    }
}

void ZEPConverterThread::stopConversion()
{
    mStopConverting = true;
    mMaxEncodeAmount = 0;
    mMaxEncodeDuration = 0;
    wakeFileRequest();
    finishConversion();
    join();
}

void ZEPConverterThread::join()
{
    if (!mThread)
        return;
    mThread->WaitForExit();
    mThread.reset();
}

// Settings.

void ZEPConverterThread::setMaxEncodeAmount(UInt32 bytes)
{
    mMaxEncodeAmount = bytes > 0 && bytes < kMinimumEncodeAmount ? kMinimumEncodeAmount : bytes;
}

void ZEPConverterThread::setThreadPriority(Float32 priority)
{
    mThreadPriority = priority;
    mThreadPriorityChanged = true;
}

void ZEPConverterThread::setGraphSettings(const QVariantList& settings)
{
    mMainGraph->setWithArray(settings);
}

void ZEPConverterThread::setLivePreviewDelegate(ZEPConverterThreadLivePreviewDelegate* delegate)
{
    mLivePreviewDelegate = delegate;
    mEncoderInputFramesCount = 0;
    mEncoderOutputPackets = 0;
    mDecoderInputPackets = 0;
    mDecoderOutputFramesCount = 0;
    mSwitchExtraInputFrames = 0;
}

void ZEPConverterThread::swapMainEncoder(const ZEPAudioConverterRef& encoder)
{
    CAMutexLocker swap(mSwapEncoderLock);
    mNewMainEncoder = encoder;
    mNewMainEncoderPending = bool(encoder);
}

void ZEPConverterThread::setDecoder(const ZEPAudioConverterRef& decoder)
{
    if (mDecoder && mDecoder != decoder)
        mDecoder->setDataSource(nullptr);
    mDecoder = decoder;
    if (mDecoder)
        mDecoder->setDataSource(this);
}

// Writers and tracks.

ZEPAudioFileWriting* ZEPConverterThread::fileWriterForConverter(UInt32 encoderIndex, UInt32* track) const
{
    UInt32 first = 0;
    for (const ZEPAudioFileWriterRef& writer : mFileWriters) {
        const UInt32 tracks = writer->trackCount();
        if (encoderIndex < first + tracks) {
            if (track)
                *track = encoderIndex - first;
            return writer.get();
        }
        first += tracks;
    }
    return nullptr;
}

SInt32 ZEPConverterThread::inputIndexForFileWriter(const ZEPAudioFileWriting* writer, UInt32 track) const
{
    SInt32 first = 0;
    for (const ZEPAudioFileWriterRef& candidate : mFileWriters) {
        if (candidate.get() == writer)
            return first + SInt32(track);
        first += SInt32(candidate->trackCount());
    }
    return -1;
}

// The end.

void ZEPConverterThread::converterFinished()
{
    join();
    freeRunBuffers();
    mFileWriters.clear();
    mAudioSources.clear();
    mConversionFinished = true;
    // Last: the delegate may destroy the thread.
    if (ZEPConverterThreadDelegate* delegate = mDelegate)
        delegate->converterFinished(this);
}
